// The built application's island panel on a real X server with a window manager (the x11 label:
// Xvfb and openbox, started by scripts/test), looked at from outside through our own connection.
// The server has one monitor, as scripts/test starts it.

#include "platform/x11_connection.h"
#include "app/binary_runner.h"
#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tandrel {
namespace {

using A = X11Connection::Atom;

class OverlayPanelsX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
      GTEST_SKIP() << "needs an X server with a window manager";
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
    if (normalWindow != XCB_NONE) {
      xcb_destroy_window(x11->connection(), normalWindow);
      x11->flush();
    }
  }

  std::vector<std::uint32_t> stacking() const {
    return x11->property32(x11->root(), A::NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW).value_or(std::vector<std::uint32_t>{});
  }

  // The managed window whose _NET_WM_PID is `pid`; with `overlay`, only one that skips the
  // taskbar (the island panel, not a dialog of the same process).
  xcb_window_t windowOf(qint64 pid, bool overlay = false) const {
    for (const std::uint32_t window : stacking()) {
      const auto pids = x11->property32(window, A::NET_WM_PID, XCB_ATOM_CARDINAL);
      if (!pids || pids->empty() || pids->front() != static_cast<std::uint32_t>(pid)) {
        continue;
      }
      const auto states = x11->property32(window, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
      if (!overlay || std::find(states.begin(), states.end(), x11->atom(A::NET_WM_STATE_SKIP_TASKBAR)) != states.end()) {
        return window;
      }
    }
    return XCB_NONE;
  }

  bool viewable(xcb_window_t window) const {
    const auto placement = x11->placement(window);
    return placement && placement->viewable;
  }

  void sendToRoot(xcb_window_t window, A type, std::array<std::uint32_t, 5> data) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = x11->atom(type);
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(x11->connection(), 0, x11->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    x11->flush();
  }

  xcb_window_t activeWindow() const {
    const auto value = x11->property32(x11->root(), A::NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW);
    return value && !value->empty() ? value->front() : XCB_NONE;
  }

  std::ptrdiff_t stackingIndex(xcb_window_t window) const {
    const auto list = stacking();
    return std::find(list.begin(), list.end(), window) - list.begin();
  }

  // Starts the built application with the environment of the test, less its own switches.
  void startApp() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const char* name : {"TANDREL_TEST_MODE", "TANDREL_START_EXPANDED", "TANDREL_START_SETTINGS",
                             "TANDREL_DEBUG_REGULAR", "TANDREL_DISPLAY_KIND"}) {
      environment.remove(QString::fromLatin1(name));
    }
    app.setProcessEnvironment(environment);
    app.start(test::tandrelBinary(), {});
  }

  // An ordinary application window of this test process.
  void openNormalWindow() {
    xcb_connection_t* c = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    normalWindow = xcb_generate_id(c);
    const uint32_t background = screen->white_pixel;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, normalWindow, x11->root(), 100, 100, 400, 300, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &background);
    x11->setProperty32(normalWindow, A::NET_WM_PID, XCB_ATOM_CARDINAL, {static_cast<std::uint32_t>(::getpid())});
    xcb_map_window(c, normalWindow);
    x11->flush();
  }

  test::TempHome home;
  std::unique_ptr<X11Connection> x11;
  QProcess app;
  xcb_window_t normalWindow = XCB_NONE;
};

TEST_F(OverlayPanelsX11, TheIslandSitsAboveOtherWindowsOnEveryWorkspaceAndStepsAsideForFullScreen) {
  openNormalWindow();
  ASSERT_TRUE(test::waitUntil([&] { return windowOf(::getpid()) != XCB_NONE && viewable(normalWindow); }));

  startApp();
  ASSERT_TRUE(app.waitForStarted());
  xcb_window_t panel = XCB_NONE;
  ASSERT_TRUE(test::waitUntil([&] {
    panel = windowOf(app.processId(), true);
    return panel != XCB_NONE && viewable(panel);
  }, 10000)) << app.readAllStandardError().constData();

  // At the top centre of the screen, 332 x 32.
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
  const auto placement = x11->placement(panel);
  ASSERT_TRUE(placement);
  EXPECT_EQ(placement->bounds, QRect((screen->width_in_pixels - 332) / 2, 0, 332, 32));

  // Above ordinary windows, skipped by taskbar and pager, on every workspace.
  const auto states = x11->property32(panel, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
  for (const A wanted : {A::NET_WM_STATE_ABOVE, A::NET_WM_STATE_SKIP_TASKBAR, A::NET_WM_STATE_SKIP_PAGER}) {
    EXPECT_NE(std::find(states.begin(), states.end(), x11->atom(wanted)), states.end()) << int(wanted);
  }
  EXPECT_EQ(x11->property32(panel, A::NET_WM_DESKTOP, XCB_ATOM_CARDINAL), std::vector<std::uint32_t>{0xFFFFFFFFu});

  // The normal window comes to the front and takes focus; the panel stays above it, unfocused.
  sendToRoot(normalWindow, A::NET_ACTIVE_WINDOW, {2, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return activeWindow() == normalWindow; }));
  EXPECT_GT(stackingIndex(panel), stackingIndex(normalWindow));
  EXPECT_NE(activeWindow(), panel);

  // Another workspace: the panel is still shown there.
  sendToRoot(x11->root(), A::NET_CURRENT_DESKTOP, {1, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return !viewable(normalWindow); }));
  EXPECT_TRUE(viewable(panel));
  sendToRoot(x11->root(), A::NET_CURRENT_DESKTOP, {0, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return viewable(normalWindow); }));

  // A full-screen window hides the panel within a full-screen check (5 s) and a tick (2 s);
  // it comes back when the window leaves full screen.
  sendToRoot(normalWindow, A::NET_WM_STATE, {1, x11->atom(A::NET_WM_STATE_FULLSCREEN), 0, 1, 0});
  EXPECT_TRUE(test::waitUntil([&] { return !viewable(panel); }, 9000));
  sendToRoot(normalWindow, A::NET_WM_STATE, {0, x11->atom(A::NET_WM_STATE_FULLSCREEN), 0, 1, 0});
  EXPECT_TRUE(test::waitUntil([&] { return viewable(panel); }, 9000));
  EXPECT_NE(activeWindow(), panel);
}

TEST_F(OverlayPanelsX11, TheCompanionStaysAboveANormalWindowWithoutTakingFocus) {
  ASSERT_TRUE(test::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tandrel/defaults.json"),
                              R"({"desktopCompanionMode": {"type": "bool", "value": true},
                                  "companionDisplayMode": {"type": "string", "value": "floating"}})"));
  openNormalWindow();
  ASSERT_TRUE(test::waitUntil([&] { return windowOf(::getpid()) != XCB_NONE && viewable(normalWindow); }));
  startApp();
  ASSERT_TRUE(app.waitForStarted());

  // The floating companion, 184 x 152, 24 px from the right and 36 px above the bottom.
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
  const QRect expected(screen->width_in_pixels - 24 - 184, screen->height_in_pixels - 36 - 152, 184, 152);
  xcb_window_t companion = XCB_NONE;
  ASSERT_TRUE(test::waitUntil([&] {
    for (const std::uint32_t window : stacking()) {
      const auto pids = x11->property32(window, A::NET_WM_PID, XCB_ATOM_CARDINAL);
      const auto placement = x11->placement(window);
      if (pids && !pids->empty() && pids->front() == static_cast<std::uint32_t>(app.processId()) && placement &&
          placement->viewable && placement->bounds == expected) {
        companion = window;
        return true;
      }
    }
    return false;
  }, 10000)) << app.readAllStandardError().constData();
  EXPECT_NE(activeWindow(), companion);
  const auto states = x11->property32(companion, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
  for (const A wanted : {A::NET_WM_STATE_ABOVE, A::NET_WM_STATE_SKIP_TASKBAR, A::NET_WM_STATE_SKIP_PAGER}) {
    EXPECT_NE(std::find(states.begin(), states.end(), x11->atom(wanted)), states.end()) << int(wanted);
  }

  // The normal window is raised over the companion's place and takes focus: the companion stays
  // above it and unfocused.
  const std::uint32_t over[] = {static_cast<std::uint32_t>(expected.x() - 100),
                                static_cast<std::uint32_t>(expected.y() - 100)};
  xcb_configure_window(x11->connection(), normalWindow, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, over);
  sendToRoot(normalWindow, A::NET_ACTIVE_WINDOW, {2, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return activeWindow() == normalWindow; }));
  EXPECT_GT(stackingIndex(companion), stackingIndex(normalWindow));
  EXPECT_NE(activeWindow(), companion);
}

}  // namespace
}  // namespace tandrel
