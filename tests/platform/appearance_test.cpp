// The colour scheme read from the freedesktop settings portal, against a portal of the test's own
// on a private session bus (the portal's name is fixed, so it cannot share the run's bus).

#include "platform/appearance.h"
#include "support/private_session_bus.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");

// org.freedesktop.portal.Settings with one setting, answered on a thread of its own (the client's
// reads block). A portal before version 2 has no ReadOne; a scheme of none is a missing setting.
class FakeSettingsPortal final : public QDBusVirtualObject {
 public:
  FakeSettingsPortal(const QString& busAddress, std::optional<uint> scheme, bool hasReadOne)
      : scheme_(scheme), hasReadOne_(hasReadOne) {
    thread_.start();
    moveToThread(&thread_);
    QDBusConnection connection = QDBusConnection::connectToBus(busAddress, kConnection);
    registered_ = connection.isConnected() && connection.registerService(kPortalService) &&
                  connection.registerVirtualObject(kPortalPath, this);
  }

  ~FakeSettingsPortal() override {
    {
      QDBusConnection connection(kConnection);
      connection.unregisterObject(kPortalPath);
      connection.unregisterService(kPortalService);
    }
    QDBusConnection::disconnectFromBus(kConnection);
    thread_.quit();
    thread_.wait();
  }

  bool registered() const { return registered_; }
  int reads() const { return reads_; }

  void announce(const QString& settingNamespace, const QString& key, uint scheme) {
    QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, kSettings, QStringLiteral("SettingChanged"));
    signal << settingNamespace << key << QVariant::fromValue(QDBusVariant(scheme));
    QDBusConnection(kConnection).send(signal);
  }

  QString introspect(const QString&) const override {
    return QStringLiteral("<interface name=\"org.freedesktop.portal.Settings\"/>");
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != kSettings) return false;
    const bool readOne = message.member() == QLatin1String("ReadOne") && hasReadOne_;
    if (!readOne && message.member() != QLatin1String("Read")) {
      connection.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
      return true;
    }
    ++reads_;
    const QList<QVariant> args = message.arguments();
    if (!scheme_ || args.size() != 2 || args[0].toString() != QLatin1String("org.freedesktop.appearance") ||
        args[1].toString() != QLatin1String("color-scheme")) {
      connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                                               QStringLiteral("Requested setting not found")));
      return true;
    }
    // Read answers a variant holding the variant of the value; ReadOne the value's variant.
    const QVariant value = QVariant::fromValue(QDBusVariant(*scheme_));
    connection.send(message.createReply(readOne ? value : QVariant::fromValue(QDBusVariant(value))));
    return true;
  }

 private:
  static inline const QString kConnection = QStringLiteral("fake-settings-portal");
  QThread thread_;
  std::optional<uint> scheme_;
  bool hasReadOne_;
  bool registered_ = false;
  std::atomic<int> reads_{0};
};

class PortalAppearance : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus_.address().isEmpty()) GTEST_SKIP() << "needs dbus-daemon";
  }

  QDBusConnection client() { return QDBusConnection::connectToBus(bus_.address(), QStringLiteral("appearance-client")); }

  void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("appearance-client")); }

  test::PrivateSessionBus bus_;
};

TEST_F(PortalAppearance, TheColorSchemeGivesDarkLightOrNoPreference) {
  struct Case {
    const char* what;
    std::optional<uint> scheme;
    bool hasReadOne;
    std::optional<bool> dark;
  };
  const Case cases[] = {
      {"dark, ReadOne", 1, true, true},
      {"light, ReadOne", 2, true, false},
      {"no preference", 0, true, std::nullopt},
      {"a value outside the scheme", 7, true, std::nullopt},
      {"setting missing", std::nullopt, true, std::nullopt},
      {"dark, a portal with Read only", 1, false, true},
      {"light, a portal with Read only", 2, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto portal = std::make_unique<FakeSettingsPortal>(bus_.address(), c.scheme, c.hasReadOne);
    ASSERT_TRUE(portal->registered());
    EXPECT_EQ(portalPrefersDarkAppearance(client()), c.dark);
    EXPECT_EQ(portal->reads(), 1);
  }
}

TEST_F(PortalAppearance, WithoutAPortalOrABusThereIsNoAnswer) {
  EXPECT_EQ(portalPrefersDarkAppearance(client()), std::nullopt);
  EXPECT_EQ(portalPrefersDarkAppearance(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                                      QStringLiteral("no-bus"))),
            std::nullopt);
  QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
}

TEST_F(PortalAppearance, TheWatcherTellsEveryChangeOfTheColorSchemeAndNothingElse) {
  FakeSettingsPortal portal(bus_.address(), 2, true);
  ASSERT_TRUE(portal.registered());
  AppearanceWatcher watcher(client());
  std::vector<bool> told;
  QObject::connect(&watcher, &AppearanceWatcher::darkAppearanceChanged, [&](bool dark) { told.push_back(dark); });
  // The match rule is in place once a call has gone through the bus after it.
  ASSERT_EQ(portalPrefersDarkAppearance(client()), false);

  portal.announce(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 1);
  ASSERT_TRUE(test::waitUntil([&] { return told.size() == 1; }));
  EXPECT_EQ(told.back(), true);

  // Other settings say nothing.
  portal.announce(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"), 1);
  portal.announce(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("color-scheme"), 2);
  portal.announce(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 2);
  ASSERT_TRUE(test::waitUntil([&] { return told.size() == 2; }));
  EXPECT_EQ(told.back(), false);
  // No preference: the palette's answer (light without a GUI application, as here).
  portal.announce(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 0);
  ASSERT_TRUE(test::waitUntil([&] { return told.size() == 3; }));
  EXPECT_EQ(told.back(), false);
}

}  // namespace
}  // namespace tandrel
