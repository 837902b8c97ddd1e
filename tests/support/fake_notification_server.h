#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tandrel::test {

// A freedesktop notification server in this process, on its own bus connection and thread, under
// a bus name of its own (so that parallel tests on one session bus do not collide). It records
// what it is asked and emits the signals a real server would.
class FakeNotificationServer {
 public:
  struct Posted {
    quint32 id = 0;
    QString appName;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    qint32 timeout = -1;
  };

  // On the session bus, or on the bus at `busAddress` when one is given.
  explicit FakeNotificationServer(QStringList capabilities = {QStringLiteral("actions"), QStringLiteral("body")},
                                  const QString& busAddress = QString());
  ~FakeNotificationServer();
  FakeNotificationServer(const FakeNotificationServer&) = delete;
  FakeNotificationServer& operator=(const FakeNotificationServer&) = delete;

  // The bus name clients talk to.
  const QString& service() const { return service_; }
  bool registered() const { return registered_; }

  std::vector<Posted> posted() const;
  std::vector<quint32> closed() const;
  // The notifications posted and not closed, by summary order of posting.
  std::vector<Posted> shown() const;

  // The user chose an action, or closed the notification with a reason.
  void invokeAction(quint32 id, const QString& actionKey);
  void closeByUser(quint32 id, quint32 reason = 2);

  // Called on the server's thread for every Notify, before the reply is sent.
  std::function<void(const Posted&)> onNotify;

  class Object;

 private:
  QString service_;
  QString connectionName_;
  QThread thread_;
  std::unique_ptr<Object> object_;
  bool registered_ = false;
  mutable std::mutex mutex_;
  std::vector<Posted> posted_;
  std::vector<quint32> closed_;
  quint32 nextID_ = 1;

  friend class Object;
};

}  // namespace tandrel::test
