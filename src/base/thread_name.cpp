#include "base/thread_name.h"

#include <QByteArray>

#include <pthread.h>

namespace tandrel {

void nameCurrentThread(const QString& label) {
  QByteArray name = label.toUtf8();
  if (name.startsWith("app.tandrel.")) {
    name.remove(0, 12);
  }
  pthread_setname_np(pthread_self(), name.left(15).constData());
}

}  // namespace tandrel
