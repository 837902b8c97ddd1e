// The built application's hot keys and menu keys on a real X server with a window manager (the
// x11 label: Xvfb and openbox, started by scripts/test), pressed with xdotool.

#include "app/app_x11_fixture.h"
#include "support/wait.h"
#include "support/x11_keys.h"

#include <gtest/gtest.h>

#include <QThread>

#include <cstdlib>
#include <memory>
#include <optional>

namespace tandrel {
namespace {

class HotKeysAppX11 : public test::AppX11Test {
 protected:
  void start(const QStringList& extraEnvironment = {}) {
    QProcessEnvironment environment = appEnvironment();
    // No start-up prompt to take the focus.
    environment.insert(QStringLiteral("TANDREL_TEST_MODE"), QStringLiteral("1"));
    for (const QString& entry : extraEnvironment) {
      environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
    }
    app.setProcessEnvironment(environment);
    app.start(test::tandrelBinary(), {});
    ASSERT_TRUE(app.waitForStarted());
  }

  // The application's window of this size that is shown, or XCB_NONE.
  xcb_window_t shownWindow(const QSize& size) const {
    return appWindow([&size](const QRect& bounds) { return bounds.size() == size; });
  }
  // Where the application shows a window of this size, if it does.
  std::optional<QRect> shown(const QSize& size) const {
    const xcb_window_t window = shownWindow(size);
    const auto placement = window != XCB_NONE ? x11->placement(window) : std::nullopt;
    return placement ? std::optional<QRect>(placement->bounds) : std::nullopt;
  }
  bool shows(const QSize& size) const { return shown(size).has_value(); }
};

TEST_F(HotKeysAppX11, CtrlAltSpaceTogglesTheIslandAndAKeyHeldElsewhereIsLogged) {
  // Another client holds Ctrl+Super+U (with and without the locks, as a hot-key program would).
  const xcb_keycode_t uCode = test::firstKeycode(x11->connection(), 0x75);
  ASSERT_NE(uCode, 0);
  for (const int lock : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2}) {
    xcb_grab_key(x11->connection(), 1, x11->root(), static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_4 | lock), uCode,
                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  }
  std::free(xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr));

  start();
  ASSERT_TRUE(test::waitUntil([&] { return shows(QSize(332, 32)); }, 10000))
      << app.readAllStandardError().constData();
  QByteArray log;
  xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+space")});
  EXPECT_TRUE(test::waitUntil([&] { return shows(QSize(540, 260)) && !shows(QSize(332, 32)); }, 5000))
      << "expanded\n" << (log += app.readAllStandardError()).constData();
  xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+space")});
  EXPECT_TRUE(test::waitUntil([&] { return shows(QSize(332, 32)) && !shows(QSize(540, 260)); }, 5000))
      << "collapsed again\n" << (log += app.readAllStandardError()).constData();

  ASSERT_NO_FATAL_FAILURE(stopApp());
  log += app.readAllStandardError();
  EXPECT_TRUE(log.contains("[Tandrel] hot key not registered: Ctrl+Super+U is already taken by another application"))
      << log.constData();
  EXPECT_FALSE(log.contains("Ctrl+Alt+Space is already taken")) << log.constData();
}

TEST_F(HotKeysAppX11, CtrlWInTheSettingsWindowClosesIt) {
  start({QStringLiteral("TANDREL_START_SETTINGS=1")});
  ASSERT_TRUE(test::waitUntil([&] { return shows(QSize(860, 780)); }, 10000))
      << app.readAllStandardError().constData();
  // The settings window has the keyboard focus once the window manager gave it. The active-window
  // property alone is not enough: on a server that outlived earlier clients it can still name a
  // window id that the new app has been handed again.
  const xcb_window_t settings = shownWindow(QSize(860, 780));
  ASSERT_NE(settings, xcb_window_t(XCB_NONE));
  ASSERT_TRUE(test::waitUntil([&] {
    const std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> focus(
        xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr), &std::free);
    return activeWindow() == settings && focus && focus->focus == settings;
  }, 5000));
  xdotool({QStringLiteral("key"), QStringLiteral("ctrl+w")});
  EXPECT_TRUE(test::waitUntil([&] { return shows(QSize(332, 32)) && !shows(QSize(860, 780)); }, 5000))
      << app.readAllStandardError().constData();
}

TEST_F(HotKeysAppX11, DraggingTheSettingsHeaderMovesTheWindow) {
  start({QStringLiteral("TANDREL_START_SETTINGS=1")});
  ASSERT_TRUE(test::waitUntil([&] { return shows(QSize(860, 780)); }, 10000))
      << app.readAllStandardError().constData();
  const QRect before = *shown(QSize(860, 780));
  // Press on the header right of the sidebar, move, release: the window manager moves the window.
  const QPoint press = before.topLeft() + QPoint(500, 40);
  const auto text = [](int value) { return QString::number(value); };
  // The window manager takes the pointer over only after the application asked it to, so each
  // step leaves it a moment, as a hand would.
  const auto step = [](const QStringList& arguments) {
    xdotool(arguments);
    QThread::msleep(100);
  };
  step({QStringLiteral("mousemove"), text(press.x()), text(press.y())});
  step({QStringLiteral("mousedown"), QStringLiteral("1")});
  for (int i = 1; i <= 6; ++i) {
    step({QStringLiteral("mousemove"), text(press.x() - 10 * i), text(press.y() + 8 * i)});
  }
  step({QStringLiteral("mouseup"), QStringLiteral("1")});
  EXPECT_TRUE(test::waitUntil(
      [&] {
        const auto after = shown(QSize(860, 780));
        return after && after->topLeft() == before.topLeft() + QPoint(-60, 48);
      },
      5000))
      << "still at " << shown(QSize(860, 780)).value_or(QRect()).x() << "," << shown(QSize(860, 780)).value_or(QRect()).y();
}

}  // namespace
}  // namespace tandrel
