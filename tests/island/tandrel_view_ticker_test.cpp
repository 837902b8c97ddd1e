// The view's collapsed ticker and usage tools over a real store: the queue from the store's events,
// its cache, the rotation on the fake clock, the usage-tool rotation and pinning, the wrapper
// readiness's lifetime and the tab rectangles.

#include "island/tandrel_view.h"

#include "events/event_store_test_support.h"
#include "island/usage_header.h"
#include "platform/user_defaults.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using std::chrono::milliseconds;
using K = CollapsedTickerKind;

ToolHealth healthy(const QString& id) {
  ToolHealth tool;
  tool.id = id;
  tool.name = id;
  tool.status = HookStatus::healthy;
  tool.detected = true;
  return tool;
}

QByteArray usage(const QString& id, const QString& source, QJsonObject fields) {
  return test::bridgeLine(id, {{"source", source},
                               {"notify_policy", "usage_only"},
                               {"timestamp", "2027-01-15T08:00:00Z"},
                               {"usage", fields}});
}

class TandrelViewTickerGui : public ::testing::Test {
 protected:
  TandrelViewTickerGui() {
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
    EventStoreOptions options;
    options.eventFile = home.file(QStringLiteral("events.jsonl"));
    options.testEnvironment = true;
    options.clock = &clock;
    store = std::make_unique<EventStore>(options);
  }

  void append(const QByteArray& line) {
    test::appendBytes(home.file(QStringLiteral("events.jsonl")), line);
    store->reload(true);
  }

  void appendApprovalAndTwoUsageTools() {
    append(test::bridgeLine("a1", {{"source", "claude_code"},
                                   {"event_type", "permission_request"},
                                   {"title", "Run rm?"},
                                   {"action", QJsonObject{{"kind", "command"}}},
                                   {"timestamp", "2027-01-15T07:59:00Z"}}));
    append(usage("u1", "claude_code", {{"five_hour_percent", 42}, {"weekly_percent", 18}}));
    append(usage("u2", "codex", {{"five_hour_percent", 23}, {"five_hour_reset", "3pm"}}));
  }

  std::unique_ptr<TandrelView> view(OverlayMode mode = OverlayMode::collapsed) {
    auto v = std::make_unique<TandrelView>(QSize(332, 32), *store, settings, clock);
    v->toolHealth = {healthy("claude-code"), healthy("codex-cli")};
    v->wrapperBridgeReadyProbe = [this] {
      ++wrapperProbes;
      return true;
    };
    v->setMode(mode);
    v->evaluatePetAnimationTimer();
    return v;
  }

  static std::vector<K> kinds(const std::vector<CollapsedTickerDisplay>& items) {
    std::vector<K> result;
    for (const auto& item : items) {
      result.push_back(item.kind);
    }
    return result;
  }

  test::TempHome home;
  UserDefaults defaults{home.file(QStringLiteral("defaults.json"))};
  SettingsModel settings{defaults};
  FakeClock clock;
  std::unique_ptr<EventStore> store;
  int wrapperProbes = 0;
};

TEST_F(TandrelViewTickerGui, AnEmptyStoreShowsAllClearAndTheCapsuleStaysStill) {
  auto v = view();
  ASSERT_EQ(v->collapsedTickerItems().size(), 1u);
  EXPECT_EQ(v->collapsedTickerDisplayForTests().label, QStringLiteral("All clear"));
  EXPECT_EQ(v->collapsedTickerDisplayForTests().tool, QStringLiteral("Tandrel"));
  EXPECT_FALSE(v->petAnimationTimerInterval());
  const int work = TandrelView::animationTickWorkCountForTests;
  const int rotations = TandrelView::rotationCallCountForTests;
  clock.advance(milliseconds(60'000));
  v->animationTick();
  EXPECT_EQ(TandrelView::animationTickWorkCountForTests, work);
  EXPECT_EQ(TandrelView::rotationCallCountForTests, rotations);  // returned before the rotations
}

TEST_F(TandrelViewTickerGui, TheCollapsedTickerRotatesEveryFourSecondsAndRedrawsOnlyThen) {
  appendApprovalAndTwoUsageTools();
  auto v = view();
  EXPECT_EQ(v->enabledUsageTools(), QStringList({"Claude", "Codex"}));
  const auto& items = v->collapsedTickerItems();
  ASSERT_EQ(kinds(items), std::vector<K>({K::approval, K::usage, K::usage}));
  EXPECT_EQ(items[1].tool, QStringLiteral("Claude"));
  EXPECT_EQ(items[2].tool, QStringLiteral("Codex"));
  EXPECT_EQ(items[2].deadlineLabel, QStringLiteral("Resets 3pm"));
  EXPECT_EQ(v->petAnimationTimerInterval(), milliseconds(1000));

  const int work = TandrelView::animationTickWorkCountForTests;
  std::vector<QString> shown;
  for (int second = 1; second <= 12; ++second) {
    clock.advance(milliseconds(1000));
    v->animationTick();
    shown.push_back(v->collapsedTickerDisplayForTests().tool + QLatin1Char('/') +
                    QString::number(static_cast<int>(v->collapsedTickerDisplayForTests().kind)));
  }
  EXPECT_EQ(TandrelView::animationTickWorkCountForTests, work + 3);  // three redraws in 12 ticks
  EXPECT_EQ(v->collapsedMessageRotationIndex, 0);                    // wrapped
  EXPECT_EQ(shown[2], "Claude Code/0");
  EXPECT_EQ(shown[3], "Claude/3");
  EXPECT_EQ(shown[7], "Codex/3");
  EXPECT_EQ(shown[11], "Claude Code/0");

  v->forceCollapsedMessageRotationDueForTests();
  v->animationTick();
  EXPECT_EQ(v->collapsedMessageRotationIndex, 1);
}

TEST_F(TandrelViewTickerGui, TheQueueIsRebuiltWhenAKeyChangesAndAShrunkenQueueShowsItsFirstItem) {
  appendApprovalAndTwoUsageTools();
  auto v = view();
  const auto* first = &v->collapsedTickerItems();
  const auto before = *first;
  EXPECT_EQ(v->collapsedTickerItems(), before);  // cached
  v->collapsedMessageRotationIndex = 2;

  settings.change([](UserSettings& s) { s.disabledToolIDs = {QStringLiteral("claude-code")}; });
  ASSERT_EQ(kinds(v->collapsedTickerItems()), std::vector<K>({K::usage}));
  EXPECT_EQ(v->collapsedTickerDisplay().tool, QStringLiteral("Codex"));
  EXPECT_EQ(v->collapsedMessageRotationIndex, 0);

  settings.change([](UserSettings& s) { s.disabledToolIDs.clear(); });
  append(test::bridgeLine("done", {{"source", "codex"},
                                   {"event_type", "task_completed"},
                                   {"completion_snippet", "Shipped the fix"},
                                   {"timestamp", "2027-01-15T07:59:30Z"}}));
  const auto& items = v->collapsedTickerItems();
  ASSERT_EQ(kinds(items), std::vector<K>({K::approval, K::completion, K::usage, K::usage}));
  EXPECT_EQ(items[1].label, QStringLiteral("Shipped the fix"));
}

TEST_F(TandrelViewTickerGui, AWaitingFinishedTurnIsShownFirstAndCountsDownEverySecond) {
  appendApprovalAndTwoUsageTools();
  auto v = view();
  std::vector<PendingAction> waiting;
  v->waitingFinishedTurns = [&waiting] { return waiting; };
  v->collapsedMessageRotationIndex = 2;

  PendingAction turn;
  turn.requestID = QStringLiteral("stop-1");
  turn.agent = QStringLiteral("claude_code");
  turn.kind = PendingActionKind::waitingInput;
  turn.createdAt = clock.now();
  turn.timeoutSeconds = 120;
  turn.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("Stop")}};
  waiting = {turn};
  v->showFinishedTurnsFirst();
  EXPECT_EQ(v->collapsedTickerDisplayForTests().label, QString::fromUtf8("Claude Code waits for your reply \u00B7 2:00"));
  EXPECT_EQ(v->petAnimationTimerInterval(), milliseconds(1000));

  // Each tick redraws the countdown; after 4 s the ticker moves on to the approval (the usage
  // meters wait while the agent is held), and comes back.
  const int work = TandrelView::animationTickWorkCountForTests;
  clock.advance(milliseconds(1000));
  v->animationTick();
  EXPECT_EQ(v->collapsedTickerDisplayForTests().label, QString::fromUtf8("Claude Code waits for your reply \u00B7 1:59"));
  EXPECT_EQ(TandrelView::animationTickWorkCountForTests, work + 1);
  clock.advance(milliseconds(3000));
  v->animationTick();
  EXPECT_EQ(v->collapsedTickerDisplayForTests().label, QStringLiteral("Need approve"));
  for (int second = 0; second < 12; ++second) {
    clock.advance(milliseconds(1000));
    v->animationTick();
  }
  EXPECT_EQ(v->collapsedTickerDisplayForTests().label, QString::fromUtf8("Claude Code waits for your reply \u00B7 1:44"));

  // Once it ends, the queue is as before and an idle ticker stands still again.
  waiting.clear();
  v->evaluatePetAnimationTimer();
  EXPECT_EQ(v->collapsedTickerDisplayForTests().label, QStringLiteral("Need approve"));
}

TEST_F(TandrelViewTickerGui, WrapperReadinessIsAskedAtMostEveryTenSecondsUnlessTheToolsWereUnset) {
  auto v = view();
  const int asked = wrapperProbes;
  for (int i = 0; i < 5; ++i) {
    v->enabledUsageTools();
    v->collapsedTickerItems();
  }
  clock.advance(milliseconds(9'999));
  v->enabledUsageTools();
  EXPECT_EQ(wrapperProbes, asked);
  clock.advance(milliseconds(1));
  v->enabledUsageTools();
  EXPECT_EQ(wrapperProbes, asked + 1);
  v->markUsageToolsUnset();
  v->enabledUsageTools();
  EXPECT_EQ(wrapperProbes, asked + 2);
  v->enabledUsageTools();
  EXPECT_EQ(wrapperProbes, asked + 2);
}

TEST_F(TandrelViewTickerGui, TheActiveUsageToolRotatesUnlessPinnedAndNormalizingPicksTheFirst) {
  append(usage("u1", "claude_code", {{"five_hour_percent", 42}}));
  append(usage("u2", "codex", {{"five_hour_percent", 23}}));
  auto v = view(OverlayMode::expanded);
  ASSERT_TRUE(v->filteredMessages().empty());
  EXPECT_EQ(v->activeUsageTool, QStringLiteral("Claude"));

  clock.advance(milliseconds(4000));
  v->animationTick();
  EXPECT_EQ(v->activeUsageTool, QStringLiteral("Codex"));
  EXPECT_EQ(v->usageAnimationStarted, clock.monotonicMs() / 1000.0);  // the bars grow afresh

  v->selectUsageTool(QStringLiteral("Claude"), true);
  clock.advance(milliseconds(8000));
  v->animationTick();
  EXPECT_EQ(v->activeUsageTool, QStringLiteral("Claude"));

  // A tool that is no longer listed: the next rotation moves to the second tool, while
  // normalizing makes the first active and unpins.
  v->usageRotationPinnedByUser = false;
  v->activeUsageTool = QStringLiteral("Gone");
  v->rotateUsageToolIfNeeded();
  EXPECT_EQ(v->activeUsageTool, QStringLiteral("Codex"));
  v->activeUsageTool = QStringLiteral("Gone");
  v->usageRotationPinnedByUser = true;
  v->normalizeActiveUsageTool();
  EXPECT_EQ(v->activeUsageTool, QStringLiteral("Claude"));
  EXPECT_FALSE(v->usageRotationPinnedByUser);
}

TEST_F(TandrelViewTickerGui, TabRectanglesFollowTheEnabledToolsAndAPressPinsATool) {
  appendApprovalAndTwoUsageTools();
  auto v = view(OverlayMode::expanded);
  EXPECT_EQ(v->usageTabRect(QStringLiteral("Claude")), QRectF(138, 38, 70, 21));
  EXPECT_EQ(v->usageTabRect(QStringLiteral("Codex")), QRectF(214, 38, 63, 21));
  EXPECT_EQ(v->usageTabRect(QStringLiteral("Cursor")), QRectF());

  // A press on a tab makes its tool active and pins it.
  v->resize(540, 317);
  v->mousePressed(QPointF(240, 48), QPointF(240, 48));
  EXPECT_EQ(v->activeUsageTool, QStringLiteral("Codex"));
  EXPECT_TRUE(v->usageRotationPinnedByUser);
}

}  // namespace
}  // namespace tandrel

namespace tandrel {
namespace {

// Pixels of `image` inside `box` (logical coordinates) whose colour is close to `color`.
int pixelsNear(const QImage& image, const QRectF& box, const QColor& color) {
  const qreal ratio = image.devicePixelRatio();
  const QRect area = QRectF(box.topLeft() * ratio, box.size() * ratio).toAlignedRect().intersected(image.rect());
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      count += std::abs(c.red() - color.red()) < 40 && std::abs(c.green() - color.green()) < 40 &&
               std::abs(c.blue() - color.blue()) < 40 && c.alpha() > 200;
    }
  }
  return count;
}

TEST_F(TandrelViewTickerGui, CollapsedAndExpandedRendersShowTheUsage) {
  append(usage("u1", "claude_code", {{"five_hour_percent", 42}, {"weekly_percent", 18}, {"five_hour_reset", "3pm"}}));
  append(usage("u2", "codex", {{"five_hour_percent", 95}, {"five_hour_reset", "9pm"}}));
  const QColor amber = QColor::fromRgbF(1.0, 187 / 255.0, 0.0);
  for (const qreal ratio : {1.0, 2.0}) {
    SCOPED_TRACE(ratio);
    auto v = view();
    v->setDisplayKind(DisplayKind::externalVirtual);
    ASSERT_EQ(v->collapsedTickerDisplay().kind, K::usage);
    ASSERT_EQ(v->collapsedTickerDisplay().deadlineLabel, QStringLiteral("Resets 3pm"));
    const QImage collapsed = v->renderImage(ratio);
    // The usage line in amber from 8 after the logo, the reset text in faint white at the right.
    EXPECT_GT(pixelsNear(collapsed, QRectF(75, 8, 60, 16), amber), 10);
    EXPECT_EQ(pixelsNear(collapsed, QRectF(227, 8, 92, 16), amber), 0);
    EXPECT_GT(pixelsNear(collapsed, QRectF(227, 8, 92, 16), QColor(143, 143, 143)), 3);

    v->setMode(OverlayMode::expanded);
    v->resize(540, 260);
    v->renderingFixtures = true;
    const QImage expanded = v->renderImage(ratio);
    // Claude's bars: five hours in blue to 42 % of the track, the week in green.
    const QColor blue = QColor::fromRgbF(77 / 255.0, 159 / 255.0, 1);
    const QColor green = QColor::fromRgbF(0, 214 / 255.0, 163 / 255.0);
    const auto rows = usageMeterRows(*v->usageSnapshotForTool("Claude"), "Claude", 540, 2);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_GT(pixelsNear(expanded, rows[0].trackRect.adjusted(0, 0, -230, 0), blue), 20);
    EXPECT_EQ(pixelsNear(expanded, rows[0].trackRect.adjusted(170, 0, 0, 0), blue), 0);
    EXPECT_GT(pixelsNear(expanded, rows[1].trackRect.adjusted(0, 0, -320, 0), green), 20);
  }
}

}  // namespace
}  // namespace tandrel
