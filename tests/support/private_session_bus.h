#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

namespace tandrel::test {

// A D-Bus session bus of our own (a dbus-daemon child), for code that must not share the bus of
// the test run, or where there is none. Stopped when it goes out of scope.
class PrivateSessionBus {
 public:
  PrivateSessionBus();
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // The bus address ("unix:path=…"), empty when the daemon could not start.
  const QString& address() const { return address_; }

  // This process's connection to the bus, opened on first use and closed before the bus stops.
  QDBusConnection connection();

 private:
  QProcess daemon_;
  QString address_;
  QString connectionName_;
};

}  // namespace tandrel::test
