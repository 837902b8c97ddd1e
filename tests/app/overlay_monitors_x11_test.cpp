// The built application's islands on two monitors of one X screen (RandR monitors made with
// `xrandr --setmonitor`, as a desktop with two displays side by side reports them), on a real X
// server with a window manager (the x11 label). The monitors are taken away again at the end.

#include "app/app_x11_fixture.h"
#include "support/wait.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

class OverlayMonitorsX11 : public test::AppX11Test {
 protected:
  void SetUp() override {
    AppX11Test::SetUp();
    if (IsSkipped()) return;
    if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty()) {
      GTEST_SKIP() << "needs xrandr";
    }
    // The left half replaces the screen's own monitor; the right half is a second one.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
    half = screen->width_in_pixels / 2;
    height = screen->height_in_pixels;
    const QString geometry = QStringLiteral("%1/254x%2/286+%3+0").arg(half).arg(height);
    ASSERT_TRUE(xrandr({"--setmonitor", "TandrelLeft", geometry.arg(0), "screen"}));
    ASSERT_TRUE(xrandr({"--setmonitor", "TandrelRight", geometry.arg(half), "none"}));
  }

  void TearDown() override {
    AppX11Test::TearDown();
    for (const char* monitor : {"TandrelLeft", "TandrelRight"}) {
      xrandr({"--delmonitor", monitor});  // one may be gone already
    }
  }

  static bool xrandr(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xrandr"), arguments);
    return process.waitForFinished(10000) && process.exitCode() == 0;
  }

  int half = 0;
  int height = 0;
};

TEST_F(OverlayMonitorsX11, AnExpandedIslandWhoseMonitorGoesLeavesTheOtherCollapsed) {
  ASSERT_TRUE(test::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tandrel/defaults.json"),
                              R"({"displayPolicy": {"type": "string", "value": "all"},
                                  "didRequestCodexPetsDirectoryAuthorization": {"type": "bool", "value": true}})"));
  QProcessEnvironment environment = appEnvironment();
  environment.insert(QStringLiteral("TANDREL_START_EXPANDED"), QStringLiteral("1"));
  app.setProcessEnvironment(environment);
  app.start(test::tandrelBinary(), {});
  ASSERT_TRUE(app.waitForStarted());

  // One island on each monitor, one of them expanded; the pointer rests far from both.
  const auto isExpanded = [](const QRect& bounds) { return bounds.width() == 540; };
  const auto isCollapsed = [](const QRect& bounds) { return bounds.size() == QSize(332, 32); };
  xcb_window_t expanded = XCB_NONE;
  ASSERT_TRUE(test::waitUntil([&] {
    expanded = appWindow(isExpanded);
    return expanded != XCB_NONE && appWindow(isCollapsed) != XCB_NONE;
  }, 10000)) << app.readAllStandardError().constData();
  const auto placement = x11->placement(expanded);
  ASSERT_TRUE(placement);

  // Its monitor goes: the island left on the other monitor ends collapsed, at the collapse delay
  // after the panels are rebuilt, and stays so.
  ASSERT_TRUE(xrandr({"--delmonitor", placement->bounds.center().x() < half ? "TandrelLeft" : "TandrelRight"}));
  EXPECT_TRUE(test::waitUntil([&] { return appWindow(isExpanded) == XCB_NONE && appWindow(isCollapsed) != XCB_NONE; },
                              5000))
      << app.readAllStandardError().constData();
  test::waitUntil([] { return false; }, 1000);
  EXPECT_EQ(appWindow(isExpanded), XCB_NONE);
}

}  // namespace
}  // namespace tandrel
