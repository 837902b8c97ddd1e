// The overlay panels on the offscreen platform's two screens (see tests/support/test_main.cpp):
// "Primary" 1920 x 1080 at the origin and "Second" 1280 x 1024 to its right.

#include "app/overlay_controller.h"

#include "island/tandrel_view.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_window_server.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <functional>

namespace tandrel {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const QRect kPrimary(0, 0, 1920, 1080);
const QRect kSecond(1920, 0, 1280, 1024);

class OverlaySurfacesGui : public ::testing::Test {
 protected:
  OverlaySurfacesGui() : defaults(home.file(QStringLiteral("defaults.json"))) {
    home.setEnv("TANDREL_DEBUG_REGULAR", std::nullopt);
    home.setEnv("TANDREL_DISPLAY_KIND", std::nullopt);
    OverlayController::runtimeVisibilityPredicateOverrideForTests = nullptr;
    OverlayController::refreshRuntimeWorkCountForTests = 0;
    OverlayController::applyModeDisplayFrameUsedForTests = false;
    OverlayController::applyModeAnimatedFrameUsedForTests = false;
    QCursor::setPos(QPoint(10, 10));
  }
  ~OverlaySurfacesGui() override { OverlayController::runtimeVisibilityPredicateOverrideForTests = nullptr; }

  OverlayControllerOptions options() {
    OverlayControllerOptions options;
    options.store.eventFile = home.file(QStringLiteral("events.jsonl"));
    options.store.testEnvironment = true;
    options.defaults = &defaults;
    options.clock = &clock;
    options.windowServer = &windowServer;
    return options;
  }

  static std::vector<QRect> panelFrames(const OverlayController& controller) {
    std::vector<QRect> frames;
    for (const auto& surface : controller.surfaces()) {
      frames.push_back(surface->panel->geometry());
    }
    return frames;
  }
  static std::vector<OverlayMode> viewModes(const OverlayController& controller) {
    std::vector<OverlayMode> modes;
    for (const auto& surface : controller.surfaces()) {
      modes.push_back(surface->view->mode());
    }
    return modes;
  }

  test::TempHome home;
  FakeClock clock;
  FakeWindowServer windowServer;
  UserDefaults defaults;
};

TEST_F(OverlaySurfacesGui, PolicyAndModeDecideWhichPanelsExistAndHowTheyAreLaidOut) {
  ASSERT_EQ(QGuiApplication::screens().size(), 2);
  const QRect collapsedPrimary(794, 0, 332, 32), collapsedSecond(2394, 0, 332, 32);
  const QRect expandedPrimary(690, 0, 540, 260);
  const QRect settingsPrimary(530, 150, 860, 780);
  const struct {
    const char* policy;
    QPoint mouse;
    OverlayMode mode;
    std::vector<QRect> frames;
    std::vector<OverlayMode> modes;
  } cases[] = {
      {"primary", QPoint(2000, 10), OverlayMode::collapsed, {collapsedPrimary}, {OverlayMode::collapsed}},
      {"bogus", QPoint(2000, 10), OverlayMode::collapsed, {collapsedPrimary}, {OverlayMode::collapsed}},
      {"mouse", QPoint(2000, 10), OverlayMode::collapsed, {collapsedSecond}, {OverlayMode::collapsed}},
      {"mouse", QPoint(-50, -50), OverlayMode::collapsed, {collapsedPrimary}, {OverlayMode::collapsed}},
      {"all", QPoint(10, 10), OverlayMode::collapsed, {collapsedPrimary, collapsedSecond},
       {OverlayMode::collapsed, OverlayMode::collapsed}},
      // Only the active (first) screen expands or shows settings; the other stays collapsed.
      {"all", QPoint(10, 10), OverlayMode::expanded, {expandedPrimary, collapsedSecond},
       {OverlayMode::expanded, OverlayMode::collapsed}},
      {"all", QPoint(10, 10), OverlayMode::settings, {settingsPrimary, collapsedSecond},
       {OverlayMode::settings, OverlayMode::collapsed}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.policy);
    defaults.set(OverlayController::kDisplayPolicyKey, QString::fromLatin1(c.policy));
    QCursor::setPos(c.mouse);
    OverlayController controller(options());
    controller.setMode(c.mode);  // no surfaces yet: only the mode is stored
    controller.rebuildSurfaces(c.mode);
    EXPECT_EQ(panelFrames(controller), c.frames);
    EXPECT_EQ(viewModes(controller), c.modes);
    ASSERT_TRUE(controller.hasSurfacesForTests());
    const TandrelOverlayPanel& first = *controller.surfaces().front()->panel;
    EXPECT_TRUE(first.isVisible());
    const bool settings = c.mode == OverlayMode::settings;
    EXPECT_EQ(first.style(), settings ? PanelStyle::settings : PanelStyle::island);
    EXPECT_EQ(first.allowsRegularWindowActivation, settings);
    EXPECT_EQ(bool(first.windowFlags() & Qt::WindowStaysOnTopHint), !settings);
    EXPECT_EQ(bool(first.windowFlags() & Qt::WindowDoesNotAcceptFocus), !settings);
    EXPECT_EQ(*controller.activeSurfaceID(), controller.surfaces().front()->id);
    // Each island panel was marked as an overlay before it was shown; a settings window is not.
    for (const auto& surface : controller.surfaces()) {
      const bool prepared = std::count(windowServer.preparedWindows.begin(), windowServer.preparedWindows.end(),
                                       surface->panel->winId()) > 0;
      EXPECT_EQ(prepared, surface->panel->style() != PanelStyle::settings);
    }
  }
}

TEST_F(OverlaySurfacesGui, CrossingTheSettingsBoundaryRebuildsAndOtherChangesRelayOut) {
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("all"));
  OverlayController controller(options());
  controller.rebuildSurfaces(OverlayMode::collapsed);
  const TandrelOverlayPanel* collapsedPanel = controller.surfaces().front()->panel.get();

  // Expanding from the second screen's view makes it active and keeps the panels.
  TandrelView* secondView = controller.surfaces()[1]->view;
  controller.setMode(OverlayMode::expanded, secondView);
  EXPECT_EQ(controller.surfaces().front()->panel.get(), collapsedPanel);
  EXPECT_EQ(*controller.activeSurfaceID(), QStringLiteral("Second"));
  EXPECT_EQ(viewModes(controller), (std::vector<OverlayMode>{OverlayMode::collapsed, OverlayMode::expanded}));
  EXPECT_TRUE(OverlayController::applyModeAnimatedFrameUsedForTests);

  secondView->activateSettingsTab(SettingsTab::about);
  controller.setMode(OverlayMode::settings, secondView);
  ASSERT_EQ(controller.surfaces().size(), 2u);
  const OverlaySurface& settingsSurface = *controller.surfaces()[1];
  EXPECT_EQ(settingsSurface.panel->style(), PanelStyle::settings);
  EXPECT_EQ(settingsSurface.panel->geometry(), QRect(2130, 122, 860, 780));
  EXPECT_EQ(settingsSurface.view->activeSettingsTab(), SettingsTab::about);
  EXPECT_EQ(controller.surfaces()[0]->view->activeSettingsTab(), SettingsTab::about);
  EXPECT_EQ(controller.activationPolicy(), ActivationPolicy::regular);

  // Closing with the pointer far from the island collapses and rebuilds island panels.
  QCursor::setPos(QPoint(1900, 1000));
  const TandrelOverlayPanel* settingsPanel = settingsSurface.panel.get();
  controller.closeSettings(settingsSurface.view);
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);
  EXPECT_NE(controller.surfaces()[1]->panel.get(), settingsPanel);
  EXPECT_EQ(controller.surfaces()[1]->panel->style(), PanelStyle::island);
  EXPECT_EQ(controller.activationPolicy(), ActivationPolicy::accessory);

  // The policy differs from the one the controller last stored (launch stores it): rebuilt.
  // Then, with policy and screens unchanged, laid out again without new panels.
  const TandrelOverlayPanel* before = controller.surfaces()[0]->panel.get();
  controller.settingsDidChange();
  const TandrelOverlayPanel* kept = controller.surfaces()[0]->panel.get();
  EXPECT_NE(kept, before);
  controller.settingsDidChange();
  EXPECT_EQ(controller.surfaces()[0]->panel.get(), kept);
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("primary"));
  controller.settingsDidChange();
  ASSERT_EQ(controller.surfaces().size(), 1u);
  // The active screen survives the rebuild when it is still shown; here it is not.
  EXPECT_EQ(*controller.activeSurfaceID(), QStringLiteral("Primary"));

  // Hiding the capsule orders the island panels out; settings would still show.
  defaults.set(OverlayController::kShowCapsuleModeKey, false);
  controller.settingsDidChange();
  EXPECT_FALSE(controller.surfaces()[0]->panel->isVisible());
}

TEST_F(OverlaySurfacesGui, RememberedSettingsFramesAreClampedOntoTheScreensAndStoredBack) {
  OverlayController controller(options());
  const ScreenInfo primary = ScreenInfo::fromScreen(QGuiApplication::primaryScreen());
  controller.settingsPanelFrames()[QStringLiteral("Primary")] = QRectF(4000, -50, 1000, 2000);
  // The desktop is both screens: 3200 x 1080; inset by 12 the panel is pulled back inside.
  EXPECT_EQ(controller.settingsFrame(primary), QRectF(2188, 12, 1000, 1056));
  EXPECT_EQ(controller.settingsPanelFrames().at(QStringLiteral("Primary")), QRectF(2188, 12, 1000, 1056));
}

TEST_F(OverlaySurfacesGui, FullScreenWindowsHideThePanelOfTheirScreenUntilTheyLeave) {
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("all"));
  windowServer.windows = {{4242, 0, 1.0, true, QRectF(kSecond), true}};
  OverlayController controller(options());
  controller.rebuildSurfaces(OverlayMode::collapsed);
  EXPECT_EQ(controller.lastFullscreenDisplayIDs(), std::set<QString>{QStringLiteral("Second")});
  EXPECT_TRUE(controller.surfaces()[0]->panel->isVisible());
  EXPECT_FALSE(controller.surfaces()[1]->panel->isVisible());

  // The window leaves: the next full-screen check (at most every 5 s) shows the panel again.
  windowServer.windows.clear();
  const int scans = windowServer.snapshotCalls;
  controller.refreshRuntime();  // 5 s have not passed since the rebuild's check
  EXPECT_EQ(windowServer.snapshotCalls, scans);
  EXPECT_FALSE(controller.surfaces()[1]->panel->isVisible());
  clock.advance(seconds(5));
  controller.refreshRuntime();
  EXPECT_EQ(windowServer.snapshotCalls, scans + 1);
  EXPECT_TRUE(controller.surfaces()[1]->panel->isVisible());

  // A full-screen window on the primary screen hides only that panel; the runtime refresh goes
  // on while a panel waits for the window to leave, even with every panel hidden.
  windowServer.windows = {{4242, 0, 1.0, true, QRectF(kPrimary), true}, {4243, 0, 1.0, true, QRectF(kSecond), true}};
  clock.advance(seconds(5));
  controller.refreshRuntime();
  EXPECT_FALSE(controller.surfaces()[0]->panel->isVisible());
  EXPECT_FALSE(controller.surfaces()[1]->panel->isVisible());
  EXPECT_TRUE(controller.defaultRuntimeVisibilityPredicate());
}

TEST_F(OverlaySurfacesGui, ANewMessageGrowsTheExpandedIslandAtTheNextTick) {
  OverlayController controller(options());
  controller.setMode(OverlayMode::expanded);
  controller.rebuildSurfaces(OverlayMode::expanded);
  TandrelOverlayPanel& panel = *controller.surfaces().front()->panel;
  EXPECT_EQ(panel.geometry(), QRect(690, 0, 540, 260));
  EXPECT_TRUE(OverlayController::applyModeDisplayFrameUsedForTests);

  ASSERT_TRUE(test::writeFile(home.file(QStringLiteral("events.jsonl")),
                              R"({"event_id":"p1","event_type":"permission_request","source":"claude_code",)"
                              R"("session_id":"s1","timestamp":"2027-01-15T07:00:00Z","action":{"decision_file":"/tmp/p1.json"}})"
                              "\n"));
  controller.store().reload(false);
  ASSERT_EQ(controller.store().allMessages().size(), 1u);
  controller.refreshRuntime();
  EXPECT_TRUE(OverlayController::applyModeAnimatedFrameUsedForTests);
  EXPECT_TRUE(panel.isAnimating());
  ASSERT_TRUE(test::waitUntil([&] { return !panel.isAnimating(); }));
  EXPECT_EQ(panel.geometry(), QRect(690, 0, 540, 317));
  EXPECT_EQ(controller.surfaces().front()->view->size(), QSize(540, 317));
}

TEST_F(OverlaySurfacesGui, AnOpenChoiceCardMakesTheIslandTallerByItsBodyUntilItCloses) {
  // One question with two options and a note: 317 high closed; its open body (96) and the gap
  // above it (8) make it 421, so the options keep their room above the footer.
  ASSERT_TRUE(test::writeFile(home.file(QStringLiteral("events.jsonl")),
                              R"({"event_id":"q1","event_type":"waiting_input","source":"codex","title":"Pick one",)"
                              R"("session_id":"s1","timestamp":"2027-01-15T07:00:00Z","note_enabled":true,)"
                              R"("options":[{"id":"a","label":"Alpha"},{"id":"b","label":"Beta"}],)"
                              R"("response":{"response_file":"/tmp/q1.json"}})"
                              "\n"));
  OverlayController controller(options());
  controller.store().reload(false);
  controller.setMode(OverlayMode::expanded);
  controller.rebuildSurfaces(OverlayMode::expanded);
  TandrelOverlayPanel& panel = *controller.surfaces().front()->panel;
  TandrelView& view = *controller.surfaces().front()->view;
  EXPECT_EQ(panel.geometry(), QRect(690, 0, 540, 317));

  const QPointF cardBody = view.messageRectsForTests().at(QStringLiteral("q1")).topLeft() + QPointF(200, 30);
  const struct {
    const char* what;
    int height;
  } steps[] = {{"a press on the card opens it", 421}, {"a second press closes it", 317},
               {"a third opens it again", 421}, {"Escape closes it", 317}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    if (QString::fromLatin1(step.what).startsWith(QLatin1String("Escape"))) {
      view.keyPressed(Qt::Key_Escape, Qt::NoModifier, QString());
    } else {
      view.mousePressed(cardBody, QPointF());
    }
    ASSERT_TRUE(test::waitUntil([&] { return !panel.isAnimating(); }));
    EXPECT_EQ(panel.geometry(), QRect(690, 0, 540, step.height));
    EXPECT_EQ(view.size(), QSize(540, step.height));
    EXPECT_EQ(view.mode(), OverlayMode::expanded);
  }
}

TEST_F(OverlaySurfacesGui, NothingRunsWhileNothingIsShown) {
  defaults.set(OverlayController::kShowCapsuleModeKey, false);
  OverlayController controller(options());
  controller.rebuildSurfaces(OverlayMode::collapsed);
  EXPECT_FALSE(controller.surfaces()[0]->panel->isVisible());
  EXPECT_FALSE(controller.defaultRuntimeVisibilityPredicate());
  const int scans = windowServer.snapshotCalls;
  for (int tick = 0; tick < 10; ++tick) {
    clock.advance(seconds(2));
    controller.refreshRuntime();
  }
  EXPECT_EQ(OverlayController::refreshRuntimeWorkCountForTests, 0);
  EXPECT_EQ(windowServer.snapshotCalls, scans);

  // The override decides when it is set.
  OverlayController::runtimeVisibilityPredicateOverrideForTests = [] { return true; };
  controller.refreshRuntime();
  EXPECT_EQ(OverlayController::refreshRuntimeWorkCountForTests, 1);
  EXPECT_EQ(windowServer.snapshotCalls, scans + 1);
}

TEST_F(OverlaySurfacesGui, TheMousePolicyFollowsThePointerOnlyWhileCollapsed) {
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("mouse"));
  OverlayController controller(options());
  controller.rebuildSurfaces(OverlayMode::collapsed);
  ASSERT_EQ(controller.surfaces().front()->id, QStringLiteral("Primary"));

  QCursor::setPos(QPoint(2500, 500));
  controller.refreshRuntime();
  ASSERT_EQ(controller.surfaces().size(), 1u);
  EXPECT_EQ(controller.surfaces().front()->id, QStringLiteral("Second"));

  controller.setMode(OverlayMode::expanded);
  QCursor::setPos(QPoint(10, 10));
  controller.refreshRuntime();
  EXPECT_EQ(controller.surfaces().front()->id, QStringLiteral("Second"));
}

TEST_F(OverlaySurfacesGui, AWorkspaceSwitchClosesSettingsExceptRightAfterTheyCameToTheFront) {
  OverlayController controller(options());
  controller.rebuildSurfaces(OverlayMode::collapsed);
  controller.setMode(OverlayMode::settings);
  controller.activeSpaceDidChange();
  EXPECT_EQ(controller.currentMode(), OverlayMode::settings);  // within 0.6 s

  clock.advance(milliseconds(600));
  controller.activeSpaceDidChange();
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);
  EXPECT_EQ(controller.surfaces().front()->panel->style(), PanelStyle::island);
}

TEST_F(OverlaySurfacesGui, AnIslandExpandedWithoutThePointerCollapsesAfterItsDelayUnlessThePointerIsNear) {
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("all"));
  defaults.set(OverlayController::kShowInDockModeKey, true);
  const QPoint away(10, 1000);
  const QPoint onThePrimaryIsland(960, 100);
  const auto reopen = [](OverlayController& controller) { controller.applicationShouldHandleReopen(); };
  const auto rebuild = [](OverlayController& controller) {
    controller.setMode(OverlayMode::expanded);
    controller.rebuildSurfaces(OverlayMode::expanded);  // as after a screen change
  };
  const auto hotKey = [](OverlayController& controller) { controller.toggleFromHotKey(); };
  const struct {
    const char* what;
    std::function<void(OverlayController&)> expand;
    QPoint pointer;
    milliseconds delay;
    OverlayMode after;
  } cases[] = {
      // Shown on request (a tray click, a second launch): open long enough to be found.
      {"reopened (a tray click), the pointer away", reopen, away, milliseconds(4000), OverlayMode::collapsed},
      {"reopened, the pointer on the island", reopen, onThePrimaryIsland, milliseconds(4000),
       OverlayMode::expanded},
      {"panels rebuilt, the pointer away", rebuild, away, milliseconds(200), OverlayMode::collapsed},
      {"panels rebuilt, the pointer on the island", rebuild, onThePrimaryIsland, milliseconds(200),
       OverlayMode::expanded},
      // The user's own key: the island stays open until the key or the pointer closes it.
      {"the hot key, the pointer away", hotKey, away, milliseconds(4000), OverlayMode::expanded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OverlayController controller(options());
    controller.rebuildSurfaces(OverlayMode::collapsed);
    QCursor::setPos(c.pointer);
    c.expand(controller);
    ASSERT_EQ(controller.currentMode(), OverlayMode::expanded);
    ASSERT_EQ(controller.activeSurface()->id, QStringLiteral("Primary"));
    // The panel's 0.18 s layout animation ends within the collapse delay.
    ASSERT_TRUE(test::waitUntil([&] { return !controller.activeSurface()->panel->isAnimating(); }));
    clock.advance(c.delay - milliseconds(1));
    EXPECT_EQ(controller.currentMode(), OverlayMode::expanded);
    clock.advance(milliseconds(1));
    EXPECT_EQ(controller.currentMode(), c.after);
    EXPECT_EQ(viewModes(controller), std::vector<OverlayMode>({c.after, OverlayMode::collapsed}));
  }
}

TEST_F(OverlaySurfacesGui, WithoutACompositorTheIslandPanelIsCutToItsShapeInDevicePixels) {
  for (const bool shapes : {true, false}) {
    SCOPED_TRACE(shapes);
    windowServer.shapes = shapes;
    OverlayController controller(options());
    controller.rebuildSurfaces(OverlayMode::collapsed);
    TandrelOverlayPanel& panel = *controller.surfaces().front()->panel;
    const TandrelView& view = *controller.surfaces().front()->view;
    const QRegion shape = view.islandShape(panel.size());
    ASSERT_FALSE(shape.isEmpty());
    if (shapes) {
      // The native window is cut (in this screen's device pixels, one per point), not the widget.
      EXPECT_EQ(windowServer.windowShapes.at(panel.winId()), shape);
      EXPECT_TRUE(panel.mask().isEmpty());
    } else {
      // A window server that cannot: the widget's mask, in points.
      EXPECT_EQ(panel.mask(), shape);
    }
  }

  // At twice the scale the round corners step by single device pixels, not by pairs of them.
  OverlayController controller(options());
  controller.rebuildSurfaces(OverlayMode::expanded);
  const TandrelOverlayPanel& panel = *controller.surfaces().front()->panel;
  const QRegion twice = controller.surfaces().front()->view->islandShape(panel.size(), 2);
  EXPECT_TRUE(QRect(QPoint(), panel.size() * 2).contains(twice.boundingRect()));
  EXPECT_GT(twice.boundingRect().width(), panel.width() * 2 - 4);
  int oddEdges = 0;
  for (const QRect& rect : twice) {
    oddEdges += (rect.left() % 2 != 0) + ((rect.right() + 1) % 2 != 0);
  }
  EXPECT_GT(oddEdges, 4);  // both lower corners
}

TEST_F(OverlaySurfacesGui, TearDownStopsEveryViewAndLeavesNoSurface) {
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("all"));
  OverlayController controller(options());
  controller.rebuildSurfaces(OverlayMode::collapsed);
  const int terminations = TandrelView::terminationCountForTests;
  controller.prepareForTermination();
  EXPECT_FALSE(controller.hasSurfacesForTests());
  EXPECT_FALSE(controller.activeSurfaceID().has_value());
  EXPECT_EQ(TandrelView::terminationCountForTests, terminations + 2);
  controller.applyMode(false);  // nothing to lay out
}

}  // namespace
}  // namespace tandrel
