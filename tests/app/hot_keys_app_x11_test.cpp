// The built application's hot keys and menu keys on a real X server with a window manager (the
// x11 label: Xvfb and openbox, started by scripts/test), pressed with xdotool.

#include "platform/x11_connection.h"
#include "app/binary_runner.h"
#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>
#include <QStandardPaths>

#include <xcb/xcb_keysyms.h>

#include <signal.h>

#include <cstdlib>

namespace tandrel {
namespace {

using A = X11Connection::Atom;

class HotKeysAppX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QStandardPaths::findExecutable("xdotool").isEmpty()) {
      GTEST_SKIP() << "needs an X server with a window manager, and xdotool";
    }
    x11 = X11Connection::connect(qgetenv("DISPLAY"));
    ASSERT_NE(x11, nullptr);
  }

  void TearDown() override {
    if (app.state() != QProcess::NotRunning) {
      ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
      if (!app.waitForFinished(5000)) {
        app.kill();
        app.waitForFinished();
      }
    }
  }

  void start(const QStringList& extraEnvironment = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const char* name : {"TANDREL_START_EXPANDED", "TANDREL_START_SETTINGS", "TANDREL_DEBUG_REGULAR",
                             "TANDREL_DISPLAY_KIND"}) {
      environment.remove(QString::fromLatin1(name));
    }
    // No start-up prompt to take the focus.
    environment.insert(QStringLiteral("TANDREL_TEST_MODE"), QStringLiteral("1"));
    for (const QString& entry : extraEnvironment) {
      environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
    }
    app.setProcessEnvironment(environment);
    app.start(test::tandrelBinary(), {});
    ASSERT_TRUE(app.waitForStarted());
  }

  // The application's window of this size that is shown, if there is one, and where.
  std::optional<std::pair<xcb_window_t, QRect>> shownWindow(const QSize& size) const {
    for (const std::uint32_t window :
         x11->property32(x11->root(), A::NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW).value_or(std::vector<std::uint32_t>{})) {
      const auto pids = x11->property32(window, A::NET_WM_PID, XCB_ATOM_CARDINAL);
      const auto placement = x11->placement(window);
      if (pids && !pids->empty() && pids->front() == static_cast<std::uint32_t>(app.processId()) && placement &&
          placement->viewable && placement->bounds.size() == size) {
        return std::make_pair(window, placement->bounds);
      }
    }
    return std::nullopt;
  }
  std::optional<QRect> shown(const QSize& size) const {
    const auto window = shownWindow(size);
    return window ? std::optional<QRect>(window->second) : std::nullopt;
  }
  bool shows(const QSize& size) const { return shown(size).has_value(); }

  static void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(process.waitForFinished(5000));
    ASSERT_EQ(process.exitCode(), 0);
  }

  test::TempHome home;
  std::unique_ptr<X11Connection> x11;
  QProcess app;
};

TEST_F(HotKeysAppX11, CtrlAltSpaceTogglesTheIslandAndAKeyHeldElsewhereIsLogged) {
  // Another client holds Ctrl+Super+U (with and without the locks, as a hot-key program would).
  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(x11->connection());
  xcb_keycode_t* u = xcb_key_symbols_get_keycode(symbols, 0x75);
  ASSERT_NE(u, nullptr);
  const xcb_keycode_t uCode = u[0];
  std::free(u);
  xcb_key_symbols_free(symbols);
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

  ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
  ASSERT_TRUE(app.waitForFinished(5000));
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
  const xcb_window_t settings = shownWindow(QSize(860, 780))->first;
  ASSERT_TRUE(test::waitUntil([&] {
    const auto active = x11->property32(x11->root(), A::NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW);
    const std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> focus(
        xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr), &std::free);
    return active && !active->empty() && active->front() == settings && focus && focus->focus == settings;
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
