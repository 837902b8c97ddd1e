#include "platform/desktop_notifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <functional>

namespace tandrel {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// Runs `handle` with the finished call on `context`'s thread, always after the caller returns. A
// call made without a bus is finished from the start, and a watcher never reports it: each such
// watcher, and what its handler holds, would stay for the life of the process.
void whenFinished(const QDBusPendingCall& call, QObject* context,
                  std::function<void(const QDBusPendingCall&)> handle) {
  if (call.isFinished()) {
    QMetaObject::invokeMethod(
        context, [call, handle = std::move(handle)] { handle(call); }, Qt::QueuedConnection);
    return;
  }
  auto* watcher = new QDBusPendingCallWatcher(call, context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [handle = std::move(handle)](QDBusPendingCallWatcher* finished) {
                     handle(*finished);
                     finished->deleteLater();
                   });
}

}  // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection connection, QString service, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), service_(std::move(service)) {
  connection_.connect(service_, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                      SLOT(onActionInvoked(uint, QString)));
  connection_.connect(service_, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                      SLOT(onNotificationClosed(uint, uint)));
}

void DesktopNotifications::capabilities(std::function<void(QStringList)> done) {
  const QDBusMessage call = QDBusMessage::createMethodCall(service_, kPath, kInterface, QStringLiteral("GetCapabilities"));
  whenFinished(connection_.asyncCall(call), this, [done = std::move(done)](const QDBusPendingCall& finished) {
    const QDBusPendingReply<QStringList> reply = finished;
    done(reply.isError() ? QStringList() : reply.value());
  });
}

void DesktopNotifications::notify(const Notification& notification, std::function<void(Result<quint32>)> done) {
  QDBusMessage call = QDBusMessage::createMethodCall(service_, kPath, kInterface, QStringLiteral("Notify"));
  // A request waits for the user: the notification never expires by itself, is marked critical
  // so that servers keep it on screen, and is resident so that servers which remove a
  // notification after any action (Jump, "More…") keep it; we close it ourselves.
  const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue<uchar>(2)},
                          {QStringLiteral("desktop-entry"), QStringLiteral("tandrel")},
                          {QStringLiteral("resident"), true}};
  call << QStringLiteral("Tandrel") << 0u << QString() << notification.summary << notification.body
       << notification.actions << hints << 0;
  whenFinished(connection_.asyncCall(call), this, [done = std::move(done)](const QDBusPendingCall& finished) {
    const QDBusPendingReply<uint> reply = finished;
    if (reply.isError()) {
      done(Result<quint32>::failure(reply.error().message()));
    } else {
      done(reply.value());
    }
  });
}

void DesktopNotifications::close(quint32 id) {
  QDBusMessage call = QDBusMessage::createMethodCall(service_, kPath, kInterface, QStringLiteral("CloseNotification"));
  call << id;
  connection_.asyncCall(call);
}

void DesktopNotifications::onActionInvoked(uint id, const QString& actionKey) { Q_EMIT actionInvoked(id, actionKey); }

void DesktopNotifications::onNotificationClosed(uint id, uint reason) { Q_EMIT notificationClosed(id, reason); }

}  // namespace tandrel
