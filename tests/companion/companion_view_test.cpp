#include "companion/companion_view.h"

#include "companion/companion_layout.h"
#include "island/island_view_fixture.h"
#include "pets/pet_catalog.h"
#include "platform/user_defaults.h"
#include "support/wait.h"
#include "ui/settings_model.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWindow>

namespace tandrel {
namespace {

using std::chrono::milliseconds;

CompanionStatusItem statusItem(const QString& label) {
  CompanionStatusItem item;
  item.label = label;
  item.event.source = QStringLiteral("codex");
  return item;
}

struct CompanionViewGui : test::IslandFixture, ::testing::Test {
  CompanionViewGui() {
    load({});
    TandrelCompanionView::visibilityOverrideForTests = [] { return true; };
  }
  ~CompanionViewGui() override { TandrelCompanionView::visibilityOverrideForTests = nullptr; }

  // A bubble companion at (500, 400) whose actions are recorded.
  std::unique_ptr<TandrelCompanionView> makeView() {
    auto view = std::make_unique<TandrelCompanionView>(*store, settings, true, clock);
    view->setGeometry(QRect(QPoint(500, 400), companion::companionSize(CompanionDisplayMode::bubble, 1).toSize()));
    view->actions.openStatus = [this](const CompanionStatusItem& item) { calls.push_back("open " + item.label); };
    view->actions.persistFrame = [this](const QRectF& frame) {
      calls.push_back(QStringLiteral("persist %1,%2").arg(frame.x()).arg(frame.y()));
    };
    view->actions.endPlacement = [this] { calls.push_back(QStringLiteral("end placement")); };
    view->actions.openPetSettings = [this] { calls.push_back(QStringLiteral("pets")); };
    return view;
  }

  UserDefaults defaults{home.file(QStringLiteral("defaults.json"))};
  SettingsModel settings{defaults};
  QStringList calls;
};

TEST_F(CompanionViewGui, TickerRotatesOnlyOnTicksFourSecondsApart) {
  auto view = makeView();
  std::vector<CompanionStatusItem> items = {statusItem("a"), statusItem("b"), statusItem("c")};
  view->tickerProvider = [&] { return items; };
  const struct {
    int advanceMs;
    int index;
  } steps[] = {{3900, 0}, {100, 1}, {350, 1}, {3650, 2}, {4000, 0}};
  for (const auto& step : steps) {
    clock.advance(milliseconds(step.advanceMs));
    view->animationTick();
    EXPECT_EQ(view->tickerIndex(), step.index) << step.advanceMs;
  }
  // One item, or none (the status provider's), does not rotate.
  items.resize(1);
  clock.advance(milliseconds(8000));
  view->animationTick();
  EXPECT_EQ(view->tickerIndex(), 0);
  // A window that cannot be seen skips the tick.
  items = {statusItem("a"), statusItem("b")};
  TandrelCompanionView::visibilityOverrideForTests = [] { return false; };
  clock.advance(milliseconds(8000));
  view->animationTick();
  EXPECT_EQ(view->tickerIndex(), 0);
}

TEST_F(CompanionViewGui, PressesAreClicksUpToTwoPointsAndOpenWhatTheyHit) {
  const struct {
    const char* name;
    bool withStatus;
    bool onLabel;
    QPointF move;
    bool placement;
    int clickCount;
    QStringList calls;
    QPoint position;
  } cases[] = {
      {"click on the label opens its item", true, true, {0, 0}, false, 1, {"open Approval needed"}, {500, 400}},
      {"a 2-point wobble is still a click", true, true, {2, -2}, false, 1, {"open Approval needed"}, {502, 398}},
      {"a 3-point move is a drag", true, true, {3, 0}, false, 1, {"persist 503,400"}, {503, 400}},
      {"click on the label without an item", false, true, {0, 0}, false, 1, {"persist 500,400", "pets"}, {500, 400}},
      {"click on the pet", true, false, {1, 1}, false, 1, {"persist 501,401", "pets"}, {501, 401}},
      {"drag of the pet", true, false, {-40, 25}, false, 1, {"persist 460,425"}, {460, 425}},
      {"placement ends on any click", true, false, {0, 0}, true, 1, {"persist 500,400", "end placement"}, {500, 400}},
      {"placement ends after a drag", true, false, {30, 0}, true, 1, {"persist 530,400", "end placement"},
       {530, 400}},
      {"a double click does nothing", true, false, {0, 0}, false, 2, {}, {500, 400}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    calls.clear();
    auto view = makeView();
    if (c.withStatus) view->statusProvider = [] { return std::optional(statusItem("Approval needed")); };
    view->placementMode = c.placement;
    view->renderImage();  // the label's click area is where it was last drawn
    const QPointF local = c.onLabel ? view->labelHitRect().center() : companion::companionPetContentRect(
                                                                          QRectF(QPointF(), QSizeF(view->size())),
                                                                          CompanionDisplayMode::bubble)
                                                                          .center();
    const QPointF start = QPointF(500, 400) + local;
    view->pointerPressed(start);
    view->pointerDragged(start + c.move);
    view->pointerReleased(start + c.move, c.clickCount);
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(view->geometry().topLeft(), c.position);  // the window follows from the first point
  }
}

TEST_F(CompanionViewGui, TheTimerFollowsReduceMotionAndStopsOnceForGood) {
  const int before = TandrelView::livePetAnimationTimerCountForTests;
  settings.change([](UserSettings& values) { values.reduceMotion = true; });
  {
    auto still = makeView();
    EXPECT_FALSE(still->hasAnimationTimer());
    EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, before);
  }
  settings.change([](UserSettings& values) { values.reduceMotion = false; });
  auto view = makeView();
  EXPECT_TRUE(view->hasAnimationTimer());
  EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, before + 1);
  // Turned on while running: the next tick stops it; turning it off again needs the controller.
  settings.change([](UserSettings& values) { values.reduceMotion = true; });
  view->animationTick();
  EXPECT_FALSE(view->hasAnimationTimer());
  settings.change([](UserSettings& values) { values.reduceMotion = false; });
  view->evaluateAnimationTimer();
  EXPECT_TRUE(view->hasAnimationTimer());
  view->prepareForTermination();
  view->prepareForTermination();
  EXPECT_EQ(TandrelView::livePetAnimationTimerCountForTests, before);
  view->evaluateAnimationTimer();
  EXPECT_FALSE(view->hasAnimationTimer());
}

TEST_F(CompanionViewGui, PaintsOnlyWhenWhatItDrawsChangesAndRecutsOnlyWhenTheAlphaDoes) {
  // Reduce motion holds the pet still, so only the steps below change what is drawn.
  settings.change([](UserSettings& values) { values.reduceMotion = true; });
  auto view = makeView();
  std::optional<CompanionStatusItem> status = statusItem("Tests");
  view->statusProvider = [&] { return status; };
  view->show();
  ASSERT_TRUE(test::waitUntil([&] { return !view->drawnRegion().isEmpty(); }));
  const auto settle = [] {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  };
  settle();
  const struct {
    const char* what;
    std::function<void()> change;
    int paints;
    int recuts;
  } steps[] = {
      {"nothing changed", [&] { view->redrawIfChanged(); }, 0, 0},
      {"a move of the window", [&] { view->move(view->pos() + QPoint(40, 10)); view->redrawIfChanged(); }, 0, 0},
      {"a fresh provider with the same answer",
       [&] {
         view->statusProvider = [item = *status] { return std::optional(item); };
         view->redrawIfChanged();
       },
       0, 0},
      {"a paint of the same picture", [&] { view->update(); }, 1, 0},
      {"a wider label", [&] {
         status = statusItem("Running the whole suite");
         view->statusProvider = [&] { return status; };
         view->redrawIfChanged();
       }, 1, 1},
      {"the pet moving on the clock", [&] {
         settings.change([](UserSettings& values) { values.reduceMotion = false; });
         view->stopAnimationTimer();
         clock.advance(milliseconds(650));
         view->animationTick();
       }, 1, 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    const int paints = TandrelCompanionView::paintCountForTests + step.paints;
    const int recuts = TandrelCompanionView::maskRebuildCountForTests + step.recuts;
    step.change();
    test::waitUntil([&] { return TandrelCompanionView::paintCountForTests >= paints; }, 1000);
    settle();
    EXPECT_EQ(TandrelCompanionView::paintCountForTests, paints);
    EXPECT_EQ(TandrelCompanionView::maskRebuildCountForTests, recuts);
  }
}

TEST_F(CompanionViewGui, ALabelThatHoldsStillIsDrawnOnceAndThenCopiedToTheSamePixels) {
  auto view = makeView();
  QString label = QStringLiteral("Approval needed");
  view->statusProvider = [&] { return std::optional(statusItem(label)); };
  for (const qreal ratio : {1.0, 2.0}) {
    SCOPED_TRACE(ratio);
    label = QStringLiteral("Approval needed");
    const int start = TandrelCompanionView::labelDrawCountForTests;
    const QImage drawn = view->renderImage(ratio);
    const QRectF hit = view->labelHitRect();
    EXPECT_EQ(view->renderImage(ratio), drawn);  // the label held: drawn into its layer
    EXPECT_EQ(view->renderImage(ratio), drawn);  // ...and copied from it
    EXPECT_EQ(TandrelCompanionView::labelDrawCountForTests, start + 2);
    EXPECT_EQ(view->labelHitRect(), hit);
    label = QStringLiteral("Done");
    EXPECT_NE(view->renderImage(ratio), drawn);
    EXPECT_EQ(TandrelCompanionView::labelDrawCountForTests, start + 3);
  }
}

TEST_F(CompanionViewGui, DrawsTheLabelAndPetAndTakesThePointerOnlyThere) {
  auto view = makeView();
  view->statusProvider = [] { return std::optional(statusItem("Approval needed")); };
  const QImage image = view->renderImage(2);
  EXPECT_EQ(image.size(), QSize(368, 304));
  EXPECT_EQ(view->labelStatusItem()->label, "Approval needed");
  const QRectF hit = view->labelHitRect();
  const QPoint bubbleCentre = (hit.center() * 2).toPoint();
  EXPECT_GT(qAlpha(image.pixel(bubbleCentre)), 100);
  EXPECT_EQ(qAlpha(image.pixel(2, 300)), 0);  // the bottom-left corner is empty
  view->show();
  ASSERT_TRUE(test::waitUntil([&] { return !view->drawnRegion().isEmpty(); }));
  EXPECT_TRUE(view->drawnRegion().contains(hit.center().toPoint()));
  EXPECT_FALSE(view->drawnRegion().contains(QPoint(1, 150)));
  // The native window is cut to it; the widget is not, so that paints go unclipped.
  EXPECT_EQ(view->windowHandle()->mask(), view->drawnRegion());
  EXPECT_TRUE(view->mask().isEmpty());
  if (const char* folder = std::getenv("TANDREL_KEEP_FIXTURE_RENDERS")) {
    image.save(QString::fromLocal8Bit(folder) + "/companion-bubble@2x.png");
    view->placementMode = true;
    view->renderImage(1).save(QString::fromLocal8Bit(folder) + "/companion-bubble-placement.png");
    view->placementMode = false;
    // Each mode with the shipped pixel cat, at the largest scale too.
    PetCatalogueSources sources;
    sources.bundledBuiltInPetsURL = bundledBuiltInPetsDirectory();
    view->petSnapshotProvider = [choices = buildPetCatalogue(sources)] {
      return std::optional(PetRenderSnapshot{QStringLiteral("tandrelcat"), choices, PetState::approval, true});
    };
    for (const CompanionDisplayMode mode : {CompanionDisplayMode::bubble, CompanionDisplayMode::floating,
                                            CompanionDisplayMode::roaming, CompanionDisplayMode::tucked}) {
      for (const double scale : {1.0, 1.6}) {
        view->displayMode = mode;
        view->resize(companion::companionSize(mode, scale).toSize());
        view->renderImage(2).save(QStringLiteral("%1/companion-%2-%3@2x.png").arg(folder, rawValue(mode)).arg(scale));
      }
    }
  }
}

}  // namespace
}  // namespace tandrel
