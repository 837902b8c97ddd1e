#include "app/display_policy.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

ScreenInfo screen(const char* name, QRect geometry, int topBand = 0) {
  return {QString::fromLatin1(name), geometry, geometry.adjusted(0, topBand, 0, 0), 1, nullptr};
}

QStringList ids(const std::vector<ScreenInfo>& screens) {
  QStringList list;
  for (const ScreenInfo& s : screens) {
    list << screenID(s);
  }
  return list;
}

TEST(DisplayPolicy, ScreenIdentityIsTheNameElseTheFrameKey) {
  EXPECT_EQ(frameKey(QRectF(-1.9, 2.9, 1920.5, 1080)), QStringLiteral("-1:2:1920:1080"));
  const ScreenInfo named = screen("HDMI-1", QRect(0, 0, 1920, 1080));
  const ScreenInfo unnamed = screen("", QRect(1920, 0, 1280, 1024));
  EXPECT_EQ(screenID(named), QStringLiteral("HDMI-1"));
  EXPECT_EQ(screenID(unnamed), QStringLiteral("1920:0:1280:1024"));

  const ScreenInfo sameFrameOtherName = screen("DP-2", QRect(0, 0, 1920, 1080));
  const ScreenInfo sameNameMoved = screen("HDMI-1", QRect(100, 0, 1920, 1080));
  EXPECT_FALSE(sameScreen(named, nullptr));
  EXPECT_TRUE(sameScreen(named, &sameFrameOtherName));
  EXPECT_TRUE(sameScreen(named, &sameNameMoved));
  EXPECT_FALSE(sameScreen(named, &unnamed));
}

TEST(DisplayPolicy, PolicyPicksThePrimaryThePointersOrEveryScreen) {
  const std::vector<ScreenInfo> screens = {
      screen("A", QRect(0, 0, 1920, 1080)),
      screen("A-mirror", QRect(0, 0, 1920, 1080)),  // mirrored: one frame, one island
      screen("B", QRect(1920, 0, 1280, 1024)),
  };
  const std::vector<ScreenInfo> unique = uniqueLogicalScreens(screens);
  ASSERT_EQ(ids(unique), (QStringList{"A", "B"}));

  const struct {
    DisplayPolicy policy;
    QPoint mouse;
    QStringList expected;
  } cases[] = {
      {DisplayPolicy::primary, QPoint(2000, 10), {"A"}},
      {DisplayPolicy::all, QPoint(0, 0), {"A", "B"}},
      {DisplayPolicy::mouse, QPoint(2000, 500), {"B"}},
      {DisplayPolicy::mouse, QPoint(5, 5), {"A"}},
      {DisplayPolicy::mouse, QPoint(-400, 5000), {"A"}},  // outside every screen: the first
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ids(screensForPolicy(unique, c.policy, c.mouse)), c.expected) << rawValue(c.policy).toStdString();
  }
  EXPECT_TRUE(screensForPolicy({}, DisplayPolicy::all, QPoint()).empty());
  EXPECT_EQ(screenSignature(unique), QStringLiteral("A:0:0:1920:1080|B:1920:0:1280:1024"));

  EXPECT_EQ(parseDisplayPolicy(u"mouse"), DisplayPolicy::mouse);
  EXPECT_EQ(parseDisplayPolicy(u"Mouse"), std::nullopt);
}

TEST(DisplayPolicy, DisplayKindIsForcedByTheEnvironmentOrReadFromTheName) {
  const ScreenInfo builtIn = screen("Built-in Retina Display", QRect(0, 0, 1512, 982));
  const ScreenInfo liquid = screen("LIQUID RETINA XDR", QRect(0, 0, 1512, 982));
  const ScreenInfo external = screen("DELL U2720Q", QRect(0, 0, 2560, 1440));
  const struct {
    QByteArray forced;
    const ScreenInfo* screen;
    DisplayKind expected;
  } cases[] = {
      {"", &builtIn, DisplayKind::macBookPhysical},
      {"", &liquid, DisplayKind::macBookPhysical},
      {"", &external, DisplayKind::externalVirtual},
      {"", nullptr, DisplayKind::externalVirtual},
      {"macbook", &external, DisplayKind::macBookPhysical},
      {"macbook", nullptr, DisplayKind::macBookPhysical},
      {"Macbook", &external, DisplayKind::externalVirtual},
      {"external", &builtIn, DisplayKind::externalVirtual},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(displayKindFor(c.forced, c.screen), c.expected) << c.forced.constData();
  }
}

TEST(DisplayPolicy, PanelsHangCentredFromTheTopOfTheirScreen) {
  EXPECT_EQ(topCentredFrame(QSizeF(332, 32), QRect(0, 0, 1920, 1080)), QRectF(794, 0, 332, 32));
  EXPECT_EQ(topCentredFrame(QSizeF(540, 409), QRect(1920, -200, 1281, 1024)), QRectF(2290.5, -200, 540, 409));
  EXPECT_EQ(topReservedHeight(screen("A", QRect(0, 0, 1920, 1080), 27)), 27);
  EXPECT_EQ(topReservedHeight(screen("A", QRect(0, 0, 1920, 1080))), 0);
}

TEST(DisplayPolicy, FullScreenDisplaysAreThoseAnotherAppsWindowCovers) {
  const std::vector<std::pair<QString, QRectF>> displays = {
      {QStringLiteral("A"), QRectF(0, 0, 1000, 1000)},
      {QStringLiteral("B"), QRectF(1000, 0, 1000, 1000)},
      {QStringLiteral("empty"), QRectF(2000, 0, 0, 1000)},
  };
  auto window = [](QRectF bounds, qint32 pid = 7, int layer = 0, double alpha = 1, bool onScreen = true) {
    return WindowSnapshot{pid, layer, alpha, onScreen, bounds};
  };
  using Set = std::set<QString>;
  const struct {
    const char* what;
    std::vector<WindowSnapshot> windows;
    Set expected;
  } cases[] = {
      {"covers A", {window(QRectF(0, 0, 1000, 1000))}, {"A"}},
      {"98 % counts", {window(QRectF(0, 0, 1000, 980))}, {"A"}},
      {"97.9 % does not", {window(QRectF(0, 0, 1000, 979))}, {}},
      {"our own window", {window(QRectF(0, 0, 1000, 1000), 42)}, {}},
      {"not a normal window", {window(QRectF(0, 0, 1000, 1000), 7, 1)}, {}},
      {"alpha 0.01", {window(QRectF(0, 0, 1000, 1000), 7, 0, 0.01)}, {}},
      {"alpha 0.011", {window(QRectF(0, 0, 1000, 1000), 7, 0, 0.011)}, {"A"}},
      {"off screen", {window(QRectF(0, 0, 1000, 1000), 7, 0, 1, false)}, {}},
      {"empty bounds", {window(QRectF(0, 0, 0, 1000))}, {}},
      {"spans both", {window(QRectF(0, 0, 2000, 1000))}, {"A", "B"}},
      {"half of each", {window(QRectF(500, 0, 1000, 1000))}, {}},
      {"listed once", {window(QRectF(1000, 0, 1000, 1000)), window(QRectF(990, 0, 1010, 1000))}, {"B"}},
      {"no windows", {}, {}},
  };
  // A window manager that does not mark full-screen windows: the area alone decides.
  for (const auto& c : cases) {
    EXPECT_EQ(displayIDsWithFullScreenWindows(c.windows, displays, 42, false), c.expected) << c.what;
  }

  // One that marks them: a maximized or tiled window covering its screen does not count.
  const auto marked = [&window](QRectF bounds, qint32 pid = 7) {
    WindowSnapshot snapshot = window(bounds, pid);
    snapshot.fullScreen = true;
    return snapshot;
  };
  const struct {
    const char* what;
    std::vector<WindowSnapshot> windows;
    Set expected;
  } marks[] = {
      {"full screen on A", {marked(QRectF(0, 0, 1000, 1000))}, {"A"}},
      {"maximized on A", {window(QRectF(0, 0, 1000, 1000))}, {}},
      {"maximized on A, full screen on B", {window(QRectF(0, 0, 1000, 1000)), marked(QRectF(1000, 0, 1000, 1000))}, {"B"}},
      {"marked but half of A", {marked(QRectF(0, 0, 500, 1000))}, {}},
      {"our own full screen", {marked(QRectF(0, 0, 1000, 1000), 42)}, {}},
  };
  for (const auto& c : marks) {
    EXPECT_EQ(displayIDsWithFullScreenWindows(c.windows, displays, 42, true), c.expected) << c.what;
  }
}

TEST(DisplayPolicy, DisplayBoundsAreInWindowServerPixels) {
  ScreenInfo scaled = screen("HiDPI", QRect(1280, 0, 1280, 720));
  scaled.devicePixelRatio = 2;
  const auto bounds = activeDisplayBounds({screen("", QRect(0, 0, 1280, 720)), scaled});
  ASSERT_EQ(bounds.size(), 2u);
  EXPECT_EQ(bounds[0], std::make_pair(QStringLiteral("0:0:1280:720"), QRectF(0, 0, 1280, 720)));
  EXPECT_EQ(bounds[1], std::make_pair(QStringLiteral("HiDPI"), QRectF(1280, 0, 2560, 1440)));
}

}  // namespace
}  // namespace tandrel
