#include "base/log.h"

#include <QDebug>

namespace tandrel {

void logInfo(const QString& message) {
  qInfo().noquote() << QLatin1String(kLogPrefix) + message;
}

void logWarning(const QString& message) {
  qWarning().noquote() << QLatin1String(kLogPrefix) + message;
}

}  // namespace tandrel
