// The desktop companion on the offscreen platform's two screens (see tests/support/test_main.cpp):
// "Primary" 1920 x 1080 at the origin and "Second" 1280 x 1024 to its right.

#include "app/overlay_controller.h"
#include "app/overlay_controller_fixture.h"

#include "island/tandrel_view.h"
#include "jump/jump_diagnostics.h"
#include "platform/fake/fake_window_server.h"
#include "settings/pages/live_preview_layout.h"
#include "settings/pages/pets_page_layout.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QWindow>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>

#include <algorithm>
#include <chrono>
#include <functional>

namespace tandrel {
namespace {

using std::chrono::milliseconds;

class OverlayCompanionGui : public ::testing::Test, protected test::OverlayControllerFixture {
 protected:
  OverlayCompanionGui() {
    OverlayController::runtimeVisibilityPredicateOverrideForTests = [] { return true; };
    QCursor::setPos(QPoint(10, 10));
  }
  ~OverlayCompanionGui() override { OverlayController::runtimeVisibilityPredicateOverrideForTests = nullptr; }

  std::unique_ptr<OverlayController> makeController() {
    OverlayControllerOptions options = fixtureOptions();
    options.store.testEnvironment = true;
    options.windowServer = &windowServer;
    auto controller = std::make_unique<OverlayController>(std::move(options));
    controller->rebuildSurfaces(OverlayMode::collapsed);
    return controller;
  }

  void setCompanion(bool on, CompanionDisplayMode mode) {
    defaults.set(QString::fromLatin1(settings_keys::kDesktopCompanionMode), on);
    defaults.set(QString::fromLatin1(settings_keys::kCompanionDisplayMode), rawValue(mode));
  }

  static std::vector<QJsonObject> diagnostics() {
    QFile file(jumpDiagnosticFile());
    std::vector<QJsonObject> records;
    if (!file.open(QIODevice::ReadOnly)) return records;
    for (const QByteArray& line : file.readAll().split('\n')) {
      if (!line.isEmpty()) records.push_back(QJsonDocument::fromJson(line).object());
    }
    return records;
  }

  FakeWindowServer windowServer;
};

TEST_F(OverlayCompanionGui, ShownPlacedAndRemovedWithTheSetting) {
  setCompanion(false, CompanionDisplayMode::floating);
  auto controller = makeController();
  controller->syncCompanion();
  EXPECT_EQ(controller->companionView(), nullptr);

  const struct {
    CompanionDisplayMode mode;
    double scale;
    QRect frame;
    bool motion;
  } cases[] = {
      {CompanionDisplayMode::floating, 1.0, {1920 - 24 - 184, 1080 - 36 - 152, 184, 152}, false},
      {CompanionDisplayMode::bubble, 1.6, {1920 - 24 - 294, 1080 - 36 - 243, 294, 243}, false},
      {CompanionDisplayMode::tucked, 1.0, {1920 - 75, 540 - 48, 156, 96}, false},
      {CompanionDisplayMode::roaming, 1.0, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(rawValue(c.mode).toStdString());
    setCompanion(true, c.mode);
    defaults.set(QString::fromLatin1(settings_keys::kFloatingPetScale), c.scale);
    controller->syncCompanion();
    ASSERT_NE(controller->companionView(), nullptr);
    EXPECT_TRUE(controller->companionView()->isVisible());
    EXPECT_EQ(controller->companionView()->displayMode, c.mode);
    if (!c.frame.isEmpty()) {
      EXPECT_EQ(controller->companionView()->geometry(), c.frame);
    }
    EXPECT_EQ(controller->hasCompanionMotionTimer(), c.motion);
    // One timer animates the pet: the motion timer while roaming, else the view's own.
    EXPECT_EQ(controller->companionView()->animationDrivenByOwner(), c.motion);
    EXPECT_EQ(controller->companionView()->hasAnimationTimer(), !c.motion);
    // The bubble's own window is never shown.
    ASSERT_NE(controller->companionBubbleView(), nullptr);
    EXPECT_FALSE(controller->companionBubbleView()->isVisible());
  }
  // The pet is the active island view's.
  const std::optional<PetRenderSnapshot> snapshot = controller->companionView()->petSnapshotProvider();
  ASSERT_TRUE(snapshot);
  const TandrelView& island = *controller->activeSurface()->view;
  EXPECT_EQ(snapshot->petChoices, island.petChoices);
  EXPECT_EQ(snapshot->selectedPetID, island.settings().values().selectedPetID);
  EXPECT_EQ(snapshot->floatingPetScale, 1.0);
  // Roaming moves along its path on the motion timer.
  const QRect before = controller->companionView()->geometry();
  clock.advance(milliseconds(2000));
  controller->positionCompanion();
  EXPECT_NE(controller->companionView()->geometry(), before);
  // ...but stops under the pointer, and goes on once the pointer has left.
  ASSERT_TRUE(test::waitUntil([&] { return controller->companionView()->windowHandle()->isExposed(); }));
  QCursor::setPos(controller->companionView()->geometry().center());
  ASSERT_TRUE(test::waitUntil([&] { return controller->companionView()->pointerInside(); }));
  const QRect held = controller->companionView()->geometry();
  clock.advance(milliseconds(2000));
  controller->positionCompanion();
  EXPECT_EQ(controller->companionView()->geometry(), held);
  QCursor::setPos(QPoint(10, 10));
  ASSERT_TRUE(test::waitUntil([&] { return !controller->companionView()->pointerInside(); }));
  clock.advance(milliseconds(2000));
  controller->positionCompanion();
  EXPECT_NE(controller->companionView()->geometry(), held);

  controller->hideCompanionFromMenu();
  EXPECT_EQ(controller->companionView(), nullptr);
  EXPECT_FALSE(controller->hasCompanionMotionTimer());
  EXPECT_FALSE(defaults.boolean(QString::fromLatin1(settings_keys::kDesktopCompanionMode)));
}

TEST_F(OverlayCompanionGui, RoamingMovesTheWindowWithoutPaintingAndHoldsStillWithReduceMotion) {
  setCompanion(true, CompanionDisplayMode::roaming);
  auto controller = makeController();
  controller->syncCompanion();
  TandrelCompanionView* view = controller->companionView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(controller->hasCompanionMotionTimer());
  // The motion timer is stopped so that only the ticks called here happen.
  controller->companionMotionTimerForTests()->stop();
  ASSERT_TRUE(test::waitUntil([&] { return !view->drawnRegion().isEmpty(); }));
  const auto settle = [] {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  };
  settle();
  // Six steps 0.16 s apart; whether the window moved.
  const auto sixSteps = [&](const std::function<void()>& step) {
    const QRect start = view->geometry();
    for (int tick = 0; tick < 6; ++tick) {
      clock.advance(milliseconds(160));
      step();
      settle();
    }
    return view->geometry() != start;
  };
  const int paints = TandrelCompanionView::paintCountForTests;
  const int recuts = TandrelCompanionView::maskRebuildCountForTests;
  EXPECT_TRUE(sixSteps([&] { controller->positionCompanion(); }));
  EXPECT_EQ(TandrelCompanionView::paintCountForTests, paints);
  EXPECT_EQ(TandrelCompanionView::maskRebuildCountForTests, recuts);

  // The motion timer's ticks move the window every time and animate the pet every second time.
  EXPECT_TRUE(sixSteps([&] { controller->companionMotionTick(); }));
  EXPECT_EQ(TandrelCompanionView::paintCountForTests, paints + 3);
  EXPECT_FALSE(view->hasAnimationTimer());

  // Reduce motion stops the roaming as well as the pet's animation; turned off, both come back.
  defaults.set(QString::fromLatin1(settings_keys::kReduceMotion), true);
  controller->syncCompanion();
  EXPECT_FALSE(controller->hasCompanionMotionTimer());
  EXPECT_FALSE(view->hasAnimationTimer());
  EXPECT_FALSE(view->animationDrivenByOwner());
  defaults.set(QString::fromLatin1(settings_keys::kReduceMotion), false);
  controller->syncCompanion();
  EXPECT_TRUE(controller->hasCompanionMotionTimer());
  EXPECT_TRUE(view->animationDrivenByOwner());
}

TEST_F(OverlayCompanionGui, APersistedFrameIsClampedRememberedAndUsedAfterARestart) {
  setCompanion(true, CompanionDisplayMode::floating);
  {
    auto controller = makeController();
    controller->syncCompanion();
    // Partly off the second screen's right edge: pulled 8 inside it.
    controller->persistCompanionFrame(QRectF(3150, 300, 184, 152));
    EXPECT_EQ(controller->companionView()->geometry(), QRect(3200 - 184 - 8, 300, 184, 152));
  }
  EXPECT_EQ(defaults.storedAs<double>(OverlayController::kCompanionOriginXKey), 3200 - 184 - 8);
  EXPECT_EQ(defaults.storedAs<double>(OverlayController::kCompanionOriginYKey), 300);
  auto restarted = makeController();
  restarted->syncCompanion();
  EXPECT_EQ(restarted->companionView()->geometry(), QRect(3200 - 184 - 8, 300, 184, 152));

  // Roaming keeps the unclamped origin as its anchor, while the window is placed clamped.
  setCompanion(true, CompanionDisplayMode::roaming);
  restarted->syncCompanion();
  restarted->persistCompanionFrame(QRectF(-100, 500, 316, 150));
  ASSERT_TRUE(restarted->roamingCompanionAnchor());
  EXPECT_EQ(restarted->roamingCompanionAnchor()->origin, QPointF(-100, 500));
  EXPECT_EQ(restarted->companionView()->geometry().topLeft(), QPoint(8, 500));
  EXPECT_EQ(defaults.storedAs<double>(OverlayController::kCompanionOriginXKey), 3200 - 184 - 8);
}

// Claude's hooks as the event writer records them (the fields that count), appended one by one
// while the companion runs: the permission request, once it arrives, is what the label shows (with
// its approval look) at the next tick, not after the working items' rotation comes round to it.
TEST_F(OverlayCompanionGui, AnApprovalArrivingWhileTheTickerRotatesIsShownAtTheNextTick) {
  setCompanion(true, CompanionDisplayMode::bubble);
  auto controller = makeController();
  controller->syncCompanion();
  TandrelCompanionView& view = *controller->companionView();
  TandrelCompanionView::visibilityOverrideForTests = [] { return true; };
  const auto seen = qScopeGuard([] { TandrelCompanionView::visibilityOverrideForTests = nullptr; });
  const QString bridge = home.file(QStringLiteral("events.jsonl"));
  QByteArray lines;
  const auto arrive = [&](const char* line) {
    lines += QByteArray(line) + '\n';
    ASSERT_TRUE(test::writeFile(bridge, lines));
    controller->store().reload(true);
  };
  const auto shown = [&] {
    view.renderImage();
    return view.labelStatusItem() ? view.labelStatusItem()->label : QString();
  };
  arrive(R"({"event_id":"e1","source":"claude_code","event_type":"task_started",)"
         R"("message":"Lifecycle event captured locally.","timestamp":"2026-12-10T07:25:39Z"})");
  arrive(R"({"event_id":"e2","source":"claude_code","event_type":"task_started",)"
         R"("preview":{"user":"fix the tests"},"timestamp":"2026-12-10T07:25:40Z"})");
  arrive(R"({"event_id":"e3","source":"claude_code","event_type":"task_updated",)"
         R"("message":"Edit - /tmp/a.js","timestamp":"2026-12-10T07:25:41Z"})");
  // The working items take turns: the rotation stands on the second of them.
  clock.advance(milliseconds(4000));
  view.animationTick();
  EXPECT_EQ(shown(), "fix the tests");
  arrive(R"({"event_id":"e4","source":"claude_code","event_type":"permission_request","message":"Bash",)"
         R"("action":{"kind":"shell","command":"npm test"},"timestamp":"2026-12-10T07:25:42Z"})");
  ASSERT_EQ(controller->store().companionTickerItems().front().kind, CompanionStatusKind::approval);
  clock.advance(milliseconds(350));
  view.animationTick();
  EXPECT_EQ(shown(), "Bash");
  ASSERT_TRUE(view.labelStatusItem());
  EXPECT_EQ(view.labelStatusItem()->kind, CompanionStatusKind::approval);
  // It keeps the label for a whole turn; then the rotation goes on from there, and the approval,
  // seen once, does not pull the label back.
  clock.advance(milliseconds(3600));
  view.animationTick();
  EXPECT_EQ(shown(), "Bash");
  clock.advance(milliseconds(400));
  view.animationTick();
  EXPECT_EQ(shown(), QStringLiteral("Edit · /tmp/a.js"));
  // With reduce motion the view keeps no timer; the controller's refresh brings a new approval.
  controller->settings().change([](UserSettings& values) { values.reduceMotion = true; });
  view.evaluateAnimationTimer();
  arrive(R"({"event_id":"e5","source":"claude_code","event_type":"permission_request","message":"Write",)"
         R"("action":{"kind":"file","file_path":"/tmp/b.js"},"timestamp":"2026-12-10T07:25:43Z"})");
  controller->updateCompanionProviders();
  EXPECT_EQ(shown(), "Write");
}

TEST_F(OverlayCompanionGui, AStatusClickThatLeadsNowhereShowsNoLinkedTaskForAMoment) {
  setCompanion(true, CompanionDisplayMode::bubble);
  auto controller = makeController();
  controller->syncCompanion();
  CompanionStatusItem item;
  item.kind = CompanionStatusKind::approval;
  item.label = QStringLiteral("Approval needed");
  item.event.id = QStringLiteral("no-jump");
  bool finished = false;
  controller->openCompanionStatus(item, [&] { finished = true; });
  ASSERT_TRUE(test::waitUntil([&] { return finished; }));
  ASSERT_TRUE(controller->companionBubbleFallback());
  const std::optional<CompanionStatusItem> shown = controller->companionBubbleView()->statusItem();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->label, "No linked task");
  EXPECT_EQ(shown->kind, CompanionStatusKind::approval);
  EXPECT_EQ(shown->event.id, "no-jump");
  clock.advance(milliseconds(1300));
  controller->updateCompanionProviders();
  EXPECT_EQ(controller->companionBubbleView()->statusItem()->label, "No linked task");
  clock.advance(milliseconds(100));
  controller->updateCompanionProviders();
  EXPECT_FALSE(controller->companionBubbleFallback());
  EXPECT_FALSE(controller->companionBubbleView()->statusItem());  // the store has no status
}

TEST_F(OverlayCompanionGui, APetClickOpensThePetsTabOnTheCompanionsScreenAndRecordsIt) {
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("all"));
  setCompanion(true, CompanionDisplayMode::floating);
  auto controller = makeController();
  ASSERT_EQ(controller->surfaces().size(), 2u);
  controller->syncCompanion();
  controller->persistCompanionFrame(QRectF(2500, 500, 184, 152));
  TandrelCompanionView& view = *controller->companionView();
  ASSERT_TRUE(test::waitUntil([&] { return view.screen() != nullptr && view.screen()->name() == "Second"; }));
  const QPointF pet = QPointF(view.geometry().topLeft()) + QPointF(92, 120);
  view.pointerPressed(pet);
  view.pointerReleased(pet);
  EXPECT_EQ(controller->currentMode(), OverlayMode::settings);
  EXPECT_EQ(controller->activeSurface()->screen.name, "Second");
  EXPECT_EQ(controller->activeSurface()->view->activeSettingsTab(), SettingsTab::pets);
  controller->openCompanionPetSettings();
  const std::vector<QJsonObject> records = diagnostics();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].value("stage").toString(), "companion_pet_open_settings");
  EXPECT_EQ(records[0].size(), 8);  // seven keys and the timestamp
  EXPECT_EQ(records[0].value("surface_count").toInt(), 2);
  EXPECT_EQ(records[1].value("stage").toString(), "companion_pet_open_settings_duplicate");
  EXPECT_EQ(records[1].size(), 6);
}

TEST_F(OverlayCompanionGui, TheMenuSwitchesModesMovesAndHides) {
  setCompanion(true, CompanionDisplayMode::bubble);
  auto controller = makeController();
  controller->installApplicationMenu();
  controller->syncCompanion();
  std::unique_ptr<QMenu> menu = controller->createCompanionMenu();
  QStringList titles;
  for (QAction* action : menu->actions()) titles << (action->isSeparator() ? "-" : action->text());
  EXPECT_EQ(titles.mid(0, 10), QStringList({"Open Settings", "Open Pets", "-", "Bubble", "Floating", "Roaming",
                                            "Tucked", "-", "Move", "Hide Companion"}));
  EXPECT_GT(titles.size(), 11);  // and the application menu after a separator
  EXPECT_TRUE(menu->actions()[3]->isChecked());
  // Shown, it holds its rows only: the application menu whose rows it borrows is not drawn over
  // them, and its submenus still open as windows of their own.
  menu->popup(QPoint(100, 100));
  ASSERT_TRUE(test::waitUntil([&] { return menu->isVisible(); }));
  for (const QWidget* child : menu->findChildren<QWidget*>()) {
    EXPECT_TRUE(child->isWindow() || !child->isVisible()) << child->metaObject()->className();
  }
  QMenu* submenu = menu->actions()[11]->menu();
  ASSERT_NE(submenu, nullptr);
  EXPECT_TRUE(submenu->isWindow());
  menu->hide();

  controller->setCompanionModeFromMenu(QStringLiteral("sideways"));
  EXPECT_EQ(controller->companionDisplayModeSetting(), CompanionDisplayMode::bubble);
  menu->actions()[5]->trigger();
  EXPECT_EQ(controller->companionDisplayModeSetting(), CompanionDisplayMode::roaming);
  EXPECT_TRUE(controller->hasCompanionMotionTimer());
  // A roaming pet waits beside its open menu, and goes on once the menu has closed.
  controller->showCompanionMenu(QPointF(controller->companionView()->geometry().center()));
  ASSERT_TRUE(test::waitUntil([&] { return controller->companionMenu()->isVisible(); }));
  const QRect waiting = controller->companionView()->geometry();
  clock.advance(milliseconds(2000));
  controller->positionCompanion();
  EXPECT_EQ(controller->companionView()->geometry(), waiting);
  controller->companionMenu()->hide();
  clock.advance(milliseconds(2000));
  controller->positionCompanion();
  EXPECT_NE(controller->companionView()->geometry(), waiting);

  controller->moveCompanionFromMenu();
  EXPECT_EQ(controller->companionDisplayModeSetting(), CompanionDisplayMode::floating);
  EXPECT_TRUE(controller->companionView()->placementMode);
  EXPECT_TRUE(controller->hasCompanionPlacementTimer());
  EXPECT_FALSE(controller->hasCompanionMotionTimer());
  // Not roaming any more: the pet animates on the view's own timer again.
  EXPECT_TRUE(controller->companionView()->hasAnimationTimer());
  clock.advance(milliseconds(14900));
  EXPECT_TRUE(controller->companionView()->placementMode);
  clock.advance(milliseconds(100));
  EXPECT_FALSE(controller->companionView()->placementMode);
  EXPECT_FALSE(controller->hasCompanionPlacementTimer());

  // "Hide Companion" chosen in the shown menu removes the companion while the menu is still
  // handling that choice: the menu goes only once control is back in the event loop.
  controller->showCompanionMenu(QPointF(controller->companionView()->geometry().center()));
  const QPointer<QMenu> shown = controller->companionMenu();
  ASSERT_FALSE(shown.isNull());
  const QList<QAction*> rows = shown->actions();
  const auto hide = std::find_if(rows.begin(), rows.end(), [](QAction* a) { return a->text() == "Hide Companion"; });
  ASSERT_NE(hide, rows.end());
  (*hide)->trigger();
  EXPECT_EQ(controller->companionView(), nullptr);
  EXPECT_FALSE(shown.isNull());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(shown.isNull());
}

TEST_F(OverlayCompanionGui, TheLivePreviewsModePillsAndTheCompanionsMenuChooseOneSavedMode) {
  setCompanion(true, CompanionDisplayMode::bubble);
  auto controller = makeController();
  controller->syncCompanion();
  controller->openSettings(SettingsTab::pets);
  TandrelView& settingsView = *controller->activeSurface()->view;
  const qreal below = pets_page::livePreviewTop(static_cast<int>(settingsView.petChoices.size()));
  const auto pills = live_preview::modeRowPillRects(live_preview::modeRowRect(below));
  for (const auto& [mode, rect] : {pills[2], pills[3], pills[1], pills[0]}) {
    SCOPED_TRACE(rawValue(mode).toStdString());
    ASSERT_TRUE(settingsView.handleSettingsClick(rect.center()));
    const CompanionDisplayMode companion = *parseCompanionDisplayMode(rawValue(mode));
    EXPECT_EQ(settingsView.previewMode, mode);
    EXPECT_EQ(settingsView.settings().values().companionDisplayMode, companion);
    const UserDefaults saved(home.file(QStringLiteral("defaults.json")));
    EXPECT_EQ(saved.storedAs<QString>(QString::fromLatin1(settings_keys::kCompanionDisplayMode)), rawValue(mode));
    ASSERT_NE(controller->companionView(), nullptr);
    EXPECT_EQ(controller->companionView()->displayMode, companion);
    EXPECT_EQ(controller->hasCompanionMotionTimer(), mode == PetPreviewMode::roaming);
  }
  // The other way round: a mode chosen in the companion's menu is the one the pills show.
  for (const PetPreviewMode mode : {PetPreviewMode::tucked, PetPreviewMode::roaming}) {
    controller->setCompanionModeFromMenu(rawValue(mode));
    EXPECT_EQ(settingsView.previewMode, mode);
  }
  controller->moveCompanionFromMenu();
  EXPECT_EQ(settingsView.previewMode, PetPreviewMode::floating);
}

TEST_F(OverlayCompanionGui, ThePetDraggedOutOfTheIslandBecomesAPlacedFloatingCompanion) {
  setCompanion(false, CompanionDisplayMode::roaming);
  auto controller = makeController();
  TandrelView& island = *controller->surfaces().front()->view;
  ASSERT_NE(island.companionDragOut, nullptr);
  ASSERT_TRUE(island.companionDragOut->begin(QPointF(400, 300)));
  EXPECT_TRUE(controller->companionSetting());
  EXPECT_EQ(controller->companionDisplayModeSetting(), CompanionDisplayMode::floating);
  ASSERT_NE(controller->companionView(), nullptr);
  EXPECT_TRUE(controller->companionView()->placementMode);
  EXPECT_EQ(controller->companionView()->geometry(), QRect(400 - 92, 300 - 76, 184, 152));
  island.companionDragOut->move(QPointF(20, 20));  // clamped 8 inside the screen
  EXPECT_EQ(controller->companionView()->geometry().topLeft(), QPoint(8, 8));
  island.companionDragOut->finish(QPointF(600, 500));
  EXPECT_FALSE(controller->companionView()->placementMode);
  EXPECT_EQ(defaults.storedAs<double>(OverlayController::kCompanionOriginXKey), 600 - 92);
  EXPECT_EQ(defaults.storedAs<double>(OverlayController::kCompanionOriginYKey), 500 - 76);
}

}  // namespace
}  // namespace tandrel
