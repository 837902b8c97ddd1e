#include "platform/process_exit_watcher.h"

namespace tandrel {

QString processExitWatcherLabel(qint32 pid) {
  return QStringLiteral("app.tandrel.agent-pid-watcher.") + QString::number(pid);
}

}  // namespace tandrel
