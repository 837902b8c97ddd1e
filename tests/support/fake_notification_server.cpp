#include "support/fake_notification_server.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>

#include <unistd.h>

namespace tandrel::test {

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
QAtomicInt serverCount;

}  // namespace

class FakeNotificationServer::Object final : public QDBusVirtualObject {
 public:
  Object(FakeNotificationServer& server, QStringList capabilities)
      : server_(server), capabilities_(std::move(capabilities)) {}

  QString introspect(const QString&) const override {
    return QStringLiteral("<interface name=\"org.freedesktop.Notifications\"/>");
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != kInterface) {
      return false;
    }
    const QList<QVariant> args = message.arguments();
    const QString member = message.member();
    if (member == QLatin1String("GetCapabilities")) {
      connection.send(message.createReply(QVariant(capabilities_)));
      return true;
    }
    if (member == QLatin1String("GetServerInformation")) {
      connection.send(message.createReply(
          {QStringLiteral("fake"), QStringLiteral("tandrel"), QStringLiteral("1"), QStringLiteral("1.2")}));
      return true;
    }
    if (member == QLatin1String("Notify") && args.size() == 8) {
      Posted posted;
      posted.appName = args[0].toString();
      posted.summary = args[3].toString();
      posted.body = args[4].toString();
      posted.actions = args[5].toStringList();
      posted.hints = qdbus_cast<QVariantMap>(args[6].value<QDBusArgument>());
      posted.timeout = args[7].toInt();
      {
        std::lock_guard lock(server_.mutex_);
        posted.id = server_.nextID_++;
        server_.posted_.push_back(posted);
      }
      if (server_.onNotify) {
        server_.onNotify(posted);
      }
      connection.send(message.createReply(QVariant::fromValue(posted.id)));
      return true;
    }
    if (member == QLatin1String("CloseNotification") && args.size() == 1) {
      const quint32 id = args[0].toUInt();
      {
        std::lock_guard lock(server_.mutex_);
        server_.closed_.push_back(id);
      }
      connection.send(message.createReply());
      QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("NotificationClosed"));
      signal << id << 3u;
      connection.send(signal);
      return true;
    }
    connection.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    return true;
  }

 private:
  FakeNotificationServer& server_;
  QStringList capabilities_;
};

FakeNotificationServer::FakeNotificationServer(QStringList capabilities, const QString& busAddress) {
  const int n = serverCount.fetchAndAddRelaxed(1);
  service_ = QStringLiteral("org.tandrel.test.Notifications.p%1_%2").arg(::getpid()).arg(n);
  connectionName_ = QStringLiteral("fake-notification-server-%1").arg(n);
  thread_.setObjectName(QStringLiteral("fake-notifications"));
  thread_.start();
  object_ = std::make_unique<Object>(*this, std::move(capabilities));
  object_->moveToThread(&thread_);
  QDBusConnection connection = busAddress.isEmpty()
                                   ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)
                                   : QDBusConnection::connectToBus(busAddress, connectionName_);
  registered_ = connection.isConnected() && connection.registerService(service_) &&
                connection.registerVirtualObject(kPath, object_.get());
}

FakeNotificationServer::~FakeNotificationServer() {
  {
    QDBusConnection connection(connectionName_);
    connection.unregisterObject(kPath);
    connection.unregisterService(service_);
  }
  QDBusConnection::disconnectFromBus(connectionName_);
  thread_.quit();
  thread_.wait();
}

std::vector<FakeNotificationServer::Posted> FakeNotificationServer::posted() const {
  std::lock_guard lock(mutex_);
  return posted_;
}

std::vector<quint32> FakeNotificationServer::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

std::vector<FakeNotificationServer::Posted> FakeNotificationServer::shown() const {
  std::lock_guard lock(mutex_);
  std::vector<Posted> list;
  for (const Posted& p : posted_) {
    if (std::find(closed_.begin(), closed_.end(), p.id) == closed_.end()) {
      list.push_back(p);
    }
  }
  return list;
}

void FakeNotificationServer::invokeAction(quint32 id, const QString& actionKey) {
  QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("ActionInvoked"));
  signal << id << actionKey;
  QDBusConnection(connectionName_).send(signal);
}

void FakeNotificationServer::closeByUser(quint32 id, quint32 reason) {
  {
    std::lock_guard lock(mutex_);
    closed_.push_back(id);
  }
  QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("NotificationClosed"));
  signal << id << reason;
  QDBusConnection(connectionName_).send(signal);
}

}  // namespace tandrel::test
