// Global hot keys on a real X server (the x11 label: Xvfb and openbox, started by scripts/test),
// pressed with xdotool's synthetic key events. The grabs live on a connection of the test's own,
// whose events the test hands to the hot keys.

#include "platform/linux/xcb_global_hot_keys.h"

#include "support/wait.h"
#include "support/x11_keys.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdlib>

namespace tandrel {
namespace {

const HotKey kToggle{1, 0x20, kHotKeyControl | kHotKeyAlt};
const HotKey kLatest{2, 0x75, kHotKeySuper | kHotKeyShift};
const HotKey kCycle{3, 0x75, kHotKeyControl | kHotKeySuper};

class GlobalHotKeysX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QStandardPaths::findExecutable("xdotool").isEmpty()) {
      GTEST_SKIP() << "needs an X server and xdotool";
    }
    x11 = X11Connection::connect(qgetenv("DISPLAY"));
    ASSERT_NE(x11, nullptr);
    keys = std::make_unique<XcbGlobalHotKeys>(*x11, false);
    keys->onPressed = [this](int id) { pressed.push_back(id); };
  }

  void TearDown() override {
    if (x11) {
      setLocks(false, false);
    }
  }

  static void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(process.waitForFinished(5000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  }

  // The server's Caps Lock and Num Lock state, as the core keyboard state reports it.
  std::uint16_t lockState() const {
    auto reply = xcb_query_pointer_reply(x11->connection(), xcb_query_pointer(x11->connection(), x11->root()), nullptr);
    const std::uint16_t mask = reply != nullptr ? reply->mask : 0;
    std::free(reply);
    return mask & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
  }

  void setLocks(bool caps, bool num) {
    const std::uint16_t state = lockState();
    if (((state & XCB_MOD_MASK_LOCK) != 0) != caps) {
      xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")});
    }
    if (((state & XCB_MOD_MASK_2) != 0) != num) {
      xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
    }
  }

  // Presses `combo` (xdotool's notation) and returns the hot keys that fired, waiting up to a
  // second for the first and a little longer for any more.
  std::vector<int> press(const QString& combo) {
    pressed.clear();
    xdotool({QStringLiteral("key"), combo});
    const auto drain = [this] {
      while (xcb_generic_event_t* event = xcb_poll_for_event(x11->connection())) {
        keys->handleEvent(event);
        std::free(event);
      }
    };
    test::waitUntil([&] {
      drain();
      return !pressed.empty();
    }, 1000);
    sync(*x11);
    drain();
    return pressed;
  }

  // A round trip: the server has handled everything sent on `connection` before.
  static void sync(const X11Connection& connection) {
    std::free(xcb_get_input_focus_reply(connection.connection(), xcb_get_input_focus(connection.connection()), nullptr));
  }

  std::unique_ptr<X11Connection> x11;
  std::unique_ptr<XcbGlobalHotKeys> keys;
  std::vector<int> pressed;
};

TEST_F(GlobalHotKeysX11, TheThreeKeysFireWithAndWithoutCapsLockAndNumLock) {
  ASSERT_TRUE(keys->registerHotKey(kToggle).ok());
  ASSERT_TRUE(keys->registerHotKey(kLatest).ok());
  ASSERT_TRUE(keys->registerHotKey(kCycle).ok());
  const struct {
    bool caps;
    bool num;
  } locks[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const auto& lock : locks) {
    SCOPED_TRACE(QStringLiteral("caps %1 num %2").arg(lock.caps).arg(lock.num).toStdString());
    setLocks(lock.caps, lock.num);
    ASSERT_EQ(lockState(), (lock.caps ? XCB_MOD_MASK_LOCK : 0) | (lock.num ? XCB_MOD_MASK_2 : 0));
    EXPECT_EQ(press(QStringLiteral("ctrl+alt+space")), std::vector<int>{1});
    EXPECT_EQ(press(QStringLiteral("super+shift+u")), std::vector<int>{2});
    EXPECT_EQ(press(QStringLiteral("ctrl+super+u")), std::vector<int>{3});
  }
  setLocks(false, false);
  // Control never stands in for Super, and a missing or extra modifier is another combination.
  for (const char* other : {"ctrl+shift+u", "ctrl+space", "ctrl+alt+shift+space", "super+u"}) {
    SCOPED_TRACE(other);
    EXPECT_TRUE(press(QString::fromLatin1(other)).empty());
  }

  keys->unregisterAll();
  EXPECT_TRUE(press(QStringLiteral("ctrl+alt+space")).empty());
}

TEST_F(GlobalHotKeysX11, AKeyAnotherClientHoldsIsReportedAndLeftWhole) {
  // Another client holds plain Ctrl+Alt+Space (without the lock variants).
  std::unique_ptr<X11Connection> other = X11Connection::connect(qgetenv("DISPLAY"));
  ASSERT_NE(other, nullptr);
  const xcb_keycode_t spaceCode = test::firstKeycode(other->connection(), 0x20);
  ASSERT_NE(spaceCode, 0);
  const auto ctrlAlt = static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
  ASSERT_EQ(xcb_request_check(other->connection(),
                              xcb_grab_key_checked(other->connection(), 1, other->root(), ctrlAlt, spaceCode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
            nullptr);

  const Result<void> taken = keys->registerHotKey(kToggle);
  ASSERT_FALSE(taken.ok());
  EXPECT_EQ(taken.error(), QStringLiteral("Ctrl+Alt+Space is already taken by another application"));
  EXPECT_TRUE(keys->registerHotKey(kLatest).ok()) << "the other keys are not affected";

  // Our refused key left no grab of its lock variants behind: once the other client lets go,
  // a third client can take every variant.
  xcb_ungrab_key(other->connection(), spaceCode, other->root(), ctrlAlt);
  sync(*other);
  std::unique_ptr<X11Connection> third = X11Connection::connect(qgetenv("DISPLAY"));
  ASSERT_NE(third, nullptr);
  XcbGlobalHotKeys thirdKeys(*third, false);
  EXPECT_TRUE(thirdKeys.registerHotKey(kToggle).ok());
}

}  // namespace
}  // namespace tandrel
