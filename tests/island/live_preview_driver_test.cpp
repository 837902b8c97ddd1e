#include "island/island_view_fixture.h"

#include "platform/user_defaults.h"
#include "settings/pages/live_preview_layout.h"
#include "settings/pages/pets_page_layout.h"
#include "ui/settings_model.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

struct LivePreviewDriverGui : test::IslandFixture, ::testing::Test {
  LivePreviewDriverGui() { load({}); }

  std::unique_ptr<TandrelView> settingsView() {
    auto view = std::make_unique<TandrelView>(QSize(860, 780), *store, settings, clock);
    view->setMode(OverlayMode::settings);
    return view;
  }

  UserDefaults defaults{home.file(QStringLiteral("defaults.json"))};
  SettingsModel settings{defaults};
};

TEST_F(LivePreviewDriverGui, RunsOnlyWhileTheAnimatedPreviewShows) {
  const struct {
    const char* name;
    OverlayMode mode;
    SettingsTab tab;
    PetPreviewMode preview;
    bool previewReduce;
    bool appReduce;
    bool fixture;
    bool runs;
  } cases[] = {
      {"floating", OverlayMode::settings, SettingsTab::pets, PetPreviewMode::floating, false, false, false, true},
      {"roaming", OverlayMode::settings, SettingsTab::pets, PetPreviewMode::roaming, false, false, false, true},
      {"bubble", OverlayMode::settings, SettingsTab::pets, PetPreviewMode::bubble, false, false, false, false},
      {"tucked", OverlayMode::settings, SettingsTab::pets, PetPreviewMode::tucked, false, false, false, false},
      {"other tab", OverlayMode::settings, SettingsTab::sound, PetPreviewMode::roaming, false, false, false, false},
      {"expanded", OverlayMode::expanded, SettingsTab::pets, PetPreviewMode::roaming, false, false, false, false},
      {"preview reduce", OverlayMode::settings, SettingsTab::pets, PetPreviewMode::roaming, true, false, false, false},
      {"app reduce", OverlayMode::settings, SettingsTab::pets, PetPreviewMode::roaming, false, true, false, false},
      {"fixture", OverlayMode::settings, SettingsTab::pets, PetPreviewMode::roaming, false, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings.change([&](UserSettings& values) { values.reduceMotion = c.appReduce; });
    auto view = settingsView();
    view->previewMode = c.preview;
    view->previewReduceMotion = c.previewReduce;
    view->isLivePreviewFixtureMode = c.fixture;
    view->activateSettingsTab(c.tab);
    view->setMode(c.mode);
    EXPECT_EQ(view->hasLivePreviewDriver(), c.runs);
    if (!c.runs && !c.fixture) {
      EXPECT_EQ(view->livePreviewPhase, 0);
    }
  }
  settings.change([](UserSettings& values) { values.reduceMotion = false; });
}

TEST_F(LivePreviewDriverGui, ThePhaseGrowsByCappedStepsAndRestartsFromZero) {
  auto view = settingsView();
  view->previewMode = PetPreviewMode::roaming;
  view->activateSettingsTab(SettingsTab::pets);
  ASSERT_TRUE(view->hasLivePreviewDriver());
  const double start = clock.monotonicMs() / 1000.0;
  view->livePreviewDriverTick(start + 0.016);
  EXPECT_NEAR(view->livePreviewPhase, 0.016, 1e-9);
  view->livePreviewDriverTick(start + 0.010);  // earlier than the last tick: nothing
  EXPECT_NEAR(view->livePreviewPhase, 0.016, 1e-9);
  view->livePreviewDriverTick(start + 1.010);  // a stall counts 50 ms
  EXPECT_NEAR(view->livePreviewPhase, 0.066, 1e-9);
  view->evaluateLivePreviewDriver();  // still running: the phase stays
  EXPECT_NEAR(view->livePreviewPhase, 0.066, 1e-9);
  view->activateSettingsTab(SettingsTab::general);
  EXPECT_FALSE(view->hasLivePreviewDriver());
  EXPECT_EQ(view->livePreviewPhase, 0);
}

TEST_F(LivePreviewDriverGui, ClicksChooseModeStateSizeAndReduceMotion) {
  auto view = settingsView();
  view->activateSettingsTab(SettingsTab::pets);
  view->scrollPetsTabToLivePreviewCanvas();
  const qreal below = pets_page::livePreviewTop(static_cast<int>(view->petChoices.size()));
  EXPECT_EQ(view->settingsScrollOffset(), view->unscrolledLivePreviewCanvasY() - 80);
  EXPECT_EQ(view->unscrolledLivePreviewCanvasY(), below + 142);

  const auto modes = live_preview::modeRowPillRects(live_preview::modeRowRect(below));
  ASSERT_TRUE(view->handleSettingsClick(modes[2].second.center()));
  EXPECT_EQ(view->previewMode, PetPreviewMode::roaming);
  EXPECT_TRUE(view->hasLivePreviewDriver());
  ASSERT_TRUE(view->handleSettingsClick(live_preview::reduceMotionToggleRect(below).center()));
  EXPECT_TRUE(view->previewReduceMotion);
  EXPECT_FALSE(view->hasLivePreviewDriver());

  const auto states = live_preview::statePillRects(live_preview::statePillArea(below));
  ASSERT_TRUE(view->handleSettingsClick(states[7].second.center()));
  EXPECT_EQ(settings.values().previewState, PetPreviewStateID::sleeping);

  const QRectF control = live_preview::sizeControlRect(below);
  ASSERT_TRUE(view->handleSettingsClick(live_preview::sizePillRects(control)[2].center()));
  EXPECT_DOUBLE_EQ(settings.values().floatingPetScale, 1.28);
  const QRectF track = live_preview::sliderTrackRect(control);
  ASSERT_TRUE(view->handleSettingsClick(QPointF(track.center().x(), track.center().y())));
  EXPECT_NEAR(settings.values().floatingPetScale, 1.175, 1e-9);
  ASSERT_TRUE(view->settingsPanelPointerInteraction);
  // Dragged past the track's right end (view coordinates of the scrolled page).
  const qreal viewY = track.center().y() + 20 - view->settingsScrollOffset();
  view->continueSettingsPointerInteraction(QPointF(track.right() + 50, viewY), QPointF());
  EXPECT_DOUBLE_EQ(settings.values().floatingPetScale, 1.6);
}

}  // namespace
}  // namespace tandrel
