// The main of every test binary: it owns the Qt application object for the whole run, so that
// tests can use the event loop, timers and queued calls. GUI binaries render offscreen on two
// screens side by side (tests/support/offscreen_screens.json: "Primary" 1920 x 1080 at the
// origin, "Second" 1280 x 1024 to its right) unless the caller chose a platform.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  // Where tests find the built binaries and the sources (the python scripts we install).
  if (qEnvironmentVariableIsEmpty("TANDREL_TEST_BINARY_DIR")) {
    qputenv("TANDREL_TEST_BINARY_DIR", TANDREL_TEST_BINARY_DIR);
  }
  if (qEnvironmentVariableIsEmpty("TANDREL_SOURCE_DIR")) {
    qputenv("TANDREL_SOURCE_DIR", TANDREL_SOURCE_DIR);
  }
  // No test reaches the session bus of the shell that runs it, nor does the application a test
  // starts: a desktop's notification server would show the tests' banners (and under
  // dbus-run-session the bus would start one), and its appearance portal would choose light or
  // dark. Tests that need a bus start their own (support/private_session_bus.h).
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tandrel-tests-have-no-session-bus");
#ifdef TANDREL_TEST_GUI_APP
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TANDREL_SOURCE_DIR "/tests/support/offscreen_screens.json");
  }
  QApplication app(argc, argv);
#else
  QCoreApplication app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
