#pragma once

// The built application on a real X server with a window manager (the x11 label: Xvfb and
// openbox, started by scripts/test), looked at from outside through a connection of the test's
// own. The application is stopped when the test ends.

#include "app/binary_runner.h"
#include "platform/x11_connection.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QStandardPaths>
#include <QStringList>

#include <signal.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace tandrel::test {

class AppX11Test : public ::testing::Test {
 protected:
  using A = X11Connection::Atom;

  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QStandardPaths::findExecutable("xdotool").isEmpty()) {
      GTEST_SKIP() << "needs an X server with a window manager, and xdotool";
    }
    x11 = X11Connection::connect(qgetenv("DISPLAY"));
    ASSERT_NE(x11, nullptr);
    // The island opens under a pointer that rests where it shows: start each test with the pointer
    // in the bottom-left corner, wherever the test before left it.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
    xcb_warp_pointer(x11->connection(), XCB_NONE, x11->root(), 0, 0, 0, 0, 0,
                     static_cast<std::int16_t>(screen->height_in_pixels - 1));
    std::free(xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr));
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

  void stopApp() {
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(5000));
  }

  // The environment of the test for the application on X11, less the application's own switches.
  static QProcessEnvironment appEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const char* name : {"TANDREL_TEST_MODE", "TANDREL_START_EXPANDED", "TANDREL_START_SETTINGS",
                             "TANDREL_DEBUG_REGULAR", "TANDREL_DISPLAY_KIND"}) {
      environment.remove(QString::fromLatin1(name));
    }
    return environment;
  }

  std::vector<std::uint32_t> stacking() const {
    return x11->property32(x11->root(), A::NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW).value_or(std::vector<std::uint32_t>{});
  }

  bool isAppWindow(xcb_window_t window) const {
    const auto pids = x11->property32(window, A::NET_WM_PID, XCB_ATOM_CARDINAL);
    return pids && !pids->empty() && pids->front() == static_cast<std::uint32_t>(app.processId());
  }

  // A viewable managed window of the application whose bounds pass `fits`, or XCB_NONE.
  xcb_window_t appWindow(const std::function<bool(const QRect&)>& fits) const {
    for (const std::uint32_t window : stacking()) {
      const auto placement = x11->placement(window);
      if (isAppWindow(window) && placement && placement->viewable && fits(placement->bounds)) {
        return window;
      }
    }
    return XCB_NONE;
  }

  // The application's viewable window with exactly these bounds, or XCB_NONE.
  xcb_window_t appWindowAt(const QRect& bounds) const {
    return appWindow([&bounds](const QRect& placed) { return placed == bounds; });
  }

  xcb_window_t activeWindow() const {
    const auto value = x11->property32(x11->root(), A::NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW);
    return value && !value->empty() ? value->front() : XCB_NONE;
  }

  static void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(process.waitForFinished(10000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
  }

  TempHome home;
  std::unique_ptr<X11Connection> x11;
  QProcess app;
};

}  // namespace tandrel::test
