#include "island/tandrel_view.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "platform/fake/fake_clock.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QCursor>

#include <chrono>

namespace tandrel {
namespace {

using std::chrono::milliseconds;

class TandrelViewGui : public ::testing::Test {
 protected:
  TandrelViewGui() {
    home.setEnv("TANDREL_LOCK_EXPANDED", std::nullopt);
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
    EventStoreOptions options;
    options.eventFile = home.file(QStringLiteral("events.jsonl"));
    options.testEnvironment = true;
    store = std::make_unique<EventStore>(options);
    TandrelView::livePetAnimationTimerCountForTests = 0;
  }

  // A collapsed capsule at the top centre of the primary screen.
  std::unique_ptr<TandrelView> capsule() {
    auto view = std::make_unique<TandrelView>(QSize(332, 32), *store, settings, clock);
    view->setGeometry(794, 0, 332, 32);
    return view;
  }

  test::TempHome home;
  UserDefaults defaults{home.file(QStringLiteral("defaults.json"))};
  SettingsModel settings{defaults};
  FakeClock clock;
  std::unique_ptr<EventStore> store;
};

TEST(TandrelViewHover, TheHoverZoneIsTheCapsuleAndTheAreaTheIslandWouldCoverBelowIt) {
  const QRectF frame(794, 0, 332, 32);
  const struct {
    OverlayMode mode;
    std::optional<QRectF> frame;
    QPointF mouse;
    bool expands;
  } cases[] = {
      {OverlayMode::collapsed, frame, QPointF(800, 10), true},
      {OverlayMode::collapsed, frame, QPointF(793.5, 10), true},  // within 1 of the edge
      {OverlayMode::collapsed, frame, QPointF(700, 10), false},   // beside it, not below
      {OverlayMode::collapsed, frame, QPointF(690 - 17, 400), true},  // below, in the grown area
      {OverlayMode::collapsed, frame, QPointF(690 - 19, 400), false},
      {OverlayMode::collapsed, frame, QPointF(960, 501 + 17), true},
      {OverlayMode::collapsed, frame, QPointF(960, 501 + 19), false},
      {OverlayMode::expanded, frame, QPointF(800, 10), false},
      {OverlayMode::collapsed, std::nullopt, QPointF(800, 10), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shouldExpandAfterHoverDelay(c.mode, c.frame, c.mouse), c.expands) << c.mouse.x() << "," << c.mouse.y();
  }
}

TEST_F(TandrelViewGui, HoverExpandsAfterTheDelayAndLeavingCollapsesUnlessThePointerStaysNear) {
  auto view = capsule();
  // Passing through within 0.28 s: no expansion; a later entry waits afresh.
  QCursor::setPos(QPoint(900, 10));
  view->mouseEnteredView();
  clock.advance(milliseconds(200));
  QCursor::setPos(QPoint(100, 600));
  view->mouseExitedView();
  clock.advance(milliseconds(200));
  EXPECT_EQ(view->mode(), OverlayMode::collapsed);
  QCursor::setPos(QPoint(900, 10));
  view->mouseEnteredView();
  clock.advance(milliseconds(279));
  EXPECT_EQ(view->mode(), OverlayMode::collapsed);
  clock.advance(milliseconds(1));
  EXPECT_EQ(view->mode(), OverlayMode::expanded);

  // The expanded view (no controller: it resizes itself here) collapses 0.2 s after the pointer
  // left, unless the pointer came back or stays within 18 of the panel.
  view->setGeometry(690, 0, 540, 260);
  QCursor::setPos(QPoint(1240, 100));  // 10 right of the panel
  view->mouseExitedView();
  clock.advance(milliseconds(200));
  EXPECT_EQ(view->mode(), OverlayMode::expanded);

  QCursor::setPos(QPoint(100, 900));
  view->mouseExitedView();
  clock.advance(milliseconds(100));
  view->mouseEnteredView();  // back within 0.2 s
  clock.advance(milliseconds(200));
  EXPECT_EQ(view->mode(), OverlayMode::expanded);

  view->mouseExitedView();
  clock.advance(milliseconds(200));
  EXPECT_EQ(view->mode(), OverlayMode::collapsed);

  // Settings never collapse on leaving.
  view->setMode(OverlayMode::settings);
  view->mouseExitedView();
  EXPECT_FALSE(view->hasPendingCollapse());
}

TEST_F(TandrelViewGui, LeavingTheCapsuleDownwardIntoTheHoverZoneOnlyRedraws) {
  auto view = capsule();
  QCursor::setPos(QPoint(900, 10));
  view->mouseEnteredView();
  QCursor::setPos(QPoint(960, 100));  // below the capsule, where the island will open
  view->mouseExitedView();
  EXPECT_TRUE(view->hasPendingHoverExpand());
  EXPECT_FALSE(view->hasPendingCollapse());
  clock.advance(milliseconds(280));
  EXPECT_EQ(view->mode(), OverlayMode::expanded);
}

TEST_F(TandrelViewGui, TheAnimationTimerFollowsTheModeAndTearDownStopsEverything) {
  auto view = capsule();
  EXPECT_FALSE(view->petAnimationTimerInterval());  // an idle capsule
  view->setMode(OverlayMode::expanded);
  EXPECT_EQ(view->petAnimationTimerInterval(), milliseconds(33));
  EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, 1);
  view->evaluatePetAnimationTimer();  // the same rate: the running timer stays
  EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, 1);

  settings.change([](UserSettings& s) { s.reduceMotion = true; });  // an empty inbox, no meters: no motion
  view->evaluatePetAnimationTimer();
  EXPECT_FALSE(view->petAnimationTimerInterval());
  EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, 0);

  settings.change([](UserSettings& s) { s.reduceMotion = false; });
  view->setMode(OverlayMode::settings);
  view->activateSettingsTab(SettingsTab::sound);
  EXPECT_FALSE(view->petAnimationTimerInterval());
  view->sounds().playingSoundKey = QStringLiteral("moonlight-sonata");
  view->evaluatePetAnimationTimer();
  EXPECT_EQ(view->petAnimationTimerInterval(), milliseconds(33));

  const int terminations = TandrelView::terminationCountForTests;
  QCursor::setPos(QPoint(900, 10));
  view->setMode(OverlayMode::collapsed);
  view->mouseEnteredView();
  view->setStatusBanner(QStringLiteral("Sent"));
  view->prepareForTermination();
  view->prepareForTermination();
  EXPECT_EQ(TandrelView::terminationCountForTests, terminations + 1);
  EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, 0);
  EXPECT_EQ(clock.pendingCount(), 0);
  view->setMode(OverlayMode::expanded);  // a torn-down view arms nothing
  EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, 0);
}

TEST_F(TandrelViewGui, IdleCapsuleTicksDoNoWork) {
  auto view = capsule();
  const int work = TandrelView::animationTickWorkCountForTests;
  view->animationTick();
  EXPECT_EQ(TandrelView::animationTickWorkCountForTests, work);
  view->setMode(OverlayMode::expanded);
  view->animationTick();
  EXPECT_EQ(TandrelView::animationTickWorkCountForTests, work + 1);
}

TEST_F(TandrelViewGui, ANewerBannerGetsItsOwnTwoSeconds) {
  auto view = capsule();
  view->setStatusBanner(QStringLiteral("first"));
  clock.advance(milliseconds(1000));
  view->setStatusBanner(QStringLiteral("second"));
  clock.advance(milliseconds(1500));
  EXPECT_EQ(view->statusBanner(), QStringLiteral("second"));
  clock.advance(milliseconds(500));
  EXPECT_FALSE(view->statusBanner());
}

TEST_F(TandrelViewGui, EnvironmentKnobsApplyOnlyWithASettingsTab) {
  const struct {
    std::vector<std::pair<const char*, const char*>> variables;
    SettingsTab tab;
    PetPreviewMode preview;
    double phase;
    bool fixture;
  } cases[] = {
      {{{"TANDREL_SETTINGS_TAB", "AI-Tools"}}, SettingsTab::aiTools, PetPreviewMode::bubble, 0, false},
      {{{"TANDREL_SETTINGS_TAB", "tools"}}, SettingsTab::aiTools, PetPreviewMode::bubble, 0, false},
      {{{"TANDREL_SETTINGS_TAB", "sounds"}}, SettingsTab::general, PetPreviewMode::bubble, 0, false},
      {{{"TANDREL_PREVIEW_MODE", "roaming"}}, SettingsTab::general, PetPreviewMode::bubble, 0, false},
      {{{"TANDREL_SETTINGS_TAB", "pets"}, {"TANDREL_PREVIEW_MODE", "Roaming"}, {"TANDREL_LIVE_PREVIEW_PHASE", "-3"}},
       SettingsTab::pets, PetPreviewMode::roaming, 0, true},
      {{{"TANDREL_SETTINGS_TAB", "pets"}, {"TANDREL_LIVE_PREVIEW_PHASE", "inf"}}, SettingsTab::pets,
       PetPreviewMode::bubble, 0, false},
      {{{"TANDREL_SETTINGS_TAB", "pets"}, {"TANDREL_LIVE_PREVIEW_PHASE", "2.5"}}, SettingsTab::pets,
       PetPreviewMode::bubble, 2.5, true},
  };
  for (const auto& c : cases) {
    QProcessEnvironment environment;
    for (const auto& [name, value] : c.variables) {
      environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    }
    settings.change([](UserSettings& s) { s.companionDisplayMode = CompanionDisplayMode::bubble; });
    TandrelView view(QSize(332, 32), *store, settings, clock);
    view.applyEnvironmentOverrides(environment);
    SCOPED_TRACE(c.variables.front().second);
    EXPECT_EQ(view.activeSettingsTab(), c.tab);
    EXPECT_EQ(view.previewMode, c.preview);
    EXPECT_EQ(settings.values().companionDisplayMode == CompanionDisplayMode::roaming, c.preview == PetPreviewMode::roaming);
    EXPECT_EQ(view.livePreviewPhase, c.phase);
    EXPECT_EQ(view.isLivePreviewFixtureMode, c.fixture);
  }
}

TEST_F(TandrelViewGui, ThePageFollowsTheStoreTheHiddenToolsAndTheOpenChoice) {
  QByteArray lines;
  for (int i = 0; i < 4; ++i) {
    lines += QStringLiteral(R"({"event_id":"p%1","event_type":"permission_request","source":"%2",)"
                            R"("session_id":"s%1","timestamp":"2027-01-15T07:0%1:00Z","action":{"decision_file":"/tmp/p%1.json"}})"
                            "\n")
                 .arg(i)
                 .arg(i == 0 ? "codex" : "claude_code")
                 .toUtf8();
  }
  ASSERT_TRUE(test::writeFile(home.file(QStringLiteral("events.jsonl")), lines));
  store->reload(false);
  TandrelView view(QSize(540, 501), *store, settings, clock);
  view.setMode(OverlayMode::expanded);
  ASSERT_EQ(view.filteredUnreadCount(), 4);
  EXPECT_EQ(view.filteredApprovalCount(), 4);
  EXPECT_EQ(view.filteredMessages().size(), 3u);
  const auto rects = view.messageRectsForTests();
  ASSERT_EQ(rects.size(), 3u);

  // An open choice card without options does not open a body.
  const QString first = view.filteredMessages().front().event.id;
  view.expandedChoiceMessageID = first;
  EXPECT_FALSE(view.choiceBodyRectForTests(first));

  // Hiding the tool of the open card closes the choice state.
  const QString tool = canonicalToolID(view.filteredMessages().front().tool);
  settings.change([&tool](UserSettings& s) { s.disabledToolIDs.insert(tool); });
  EXPECT_LT(view.filteredUnreadCount(), 4);
  EXPECT_FALSE(view.expandedChoiceMessageID);

  // A smaller view pages fewer cards.
  settings.change([](UserSettings& s) { s.disabledToolIDs.clear(); });
  view.resize(540, 317);
  EXPECT_EQ(view.filteredMessages().size(), 1u);
}

}  // namespace
}  // namespace tandrel
