#include "support/private_session_bus.h"

#include <QAtomicInt>

namespace tandrel::test {

namespace {
QAtomicInt busCount;
}  // namespace

PrivateSessionBus::PrivateSessionBus() {
  daemon_.setProgram(QStringLiteral("dbus-daemon"));
  daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
  daemon_.setProcessChannelMode(QProcess::SeparateChannels);
  daemon_.start();
  if (!daemon_.waitForStarted(5000)) {
    return;
  }
  while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
  }
  address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

QDBusConnection PrivateSessionBus::connection() {
  if (connectionName_.isEmpty()) {
    connectionName_ = QStringLiteral("tandrel-test-private-bus-%1").arg(busCount.fetchAndAddRelaxed(1));
  }
  return QDBusConnection::connectToBus(address_, connectionName_);
}

PrivateSessionBus::~PrivateSessionBus() {
  if (!connectionName_.isEmpty()) {
    QDBusConnection::disconnectFromBus(connectionName_);
  }
  if (daemon_.state() != QProcess::NotRunning) {
    daemon_.terminate();
    if (!daemon_.waitForFinished(3000)) {
      daemon_.kill();
      daemon_.waitForFinished(3000);
    }
  }
}

}  // namespace tandrel::test
