#pragma once

#include "base/result.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The desktop's notification server (freedesktop notifications over D-Bus): posting a
// notification with action buttons, closing it, and hearing which action the user chose or that
// the user dismissed it. Every call is asynchronous and main-thread only. Without a server on the
// bus, or without a bus, posting fails with the bus's error and nothing else happens.

namespace tandrel {

class DesktopNotifications : public QObject {
  Q_OBJECT

 public:
  static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
  static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
  // NotificationClosed reasons.
  static constexpr quint32 kClosedExpired = 1;
  static constexpr quint32 kClosedDismissedByUser = 2;
  static constexpr quint32 kClosedByCall = 3;

  struct Notification {
    QString summary;
    QString body;
    // Action key and label pairs, flattened ("default" is the click on the notification itself).
    QStringList actions;
  };

  // Talks to `service` on `connection` (the session bus and the standard service by default).
  explicit DesktopNotifications(QDBusConnection connection = QDBusConnection::sessionBus(),
                                QString service = kService, QObject* parent = nullptr);

  // The server's capabilities ("actions", "body", …); an empty list when there is no server.
  void capabilities(std::function<void(QStringList)> done);
  // Posts a notification that stays until it is closed; `done` gets the server's id or the error.
  void notify(const Notification& notification, std::function<void(Result<quint32>)> done);
  // Closes a notification (an unknown id is ignored by the server).
  void close(quint32 id);

 Q_SIGNALS:
  void actionInvoked(quint32 id, const QString& actionKey);
  void notificationClosed(quint32 id, quint32 reason);

 private Q_SLOTS:
  void onActionInvoked(uint id, const QString& actionKey);
  void onNotificationClosed(uint id, uint reason);

 private:
  QDBusConnection connection_;
  QString service_;
};

}  // namespace tandrel
