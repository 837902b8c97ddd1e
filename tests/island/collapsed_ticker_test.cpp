// The collapsed ticker's pure parts: the queue, the usage and reset labels, the health signature,
// the rotation rules and the expanded tick's redraws.

#include "island/collapsed_ticker.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using K = CollapsedTickerKind;

IslandMessage message(const QString& type, const QString& title, const QString& detail = {}, bool withUsage = false) {
  IslandMessage m;
  m.event.id = title;
  m.event.eventType = type;
  m.tool = QStringLiteral("Claude Code");
  m.toolColor = QColor(10, 20, 30);
  m.accent = QColor(40, 50, 60);
  m.badge = QStringLiteral("Update");
  m.title = title;
  m.detail = detail;
  if (withUsage) {
    m.event.usage = UsageSnapshot{};
  }
  return m;
}

UsageMetric metric(const QString& label, const QString& suffix = {}) {
  return UsageMetric{label, suffix, std::nullopt, QStringLiteral("ok")};
}

UsageSnapshot snapshot(std::optional<UsageMetric> fiveHour, std::optional<UsageMetric> weekly = std::nullopt,
                       std::optional<UsageMetric> rateLimit = std::nullopt,
                       std::optional<UsageMetric> daily = std::nullopt) {
  UsageSnapshot s;
  s.fiveHour = std::move(fiveHour);
  s.weekly = std::move(weekly);
  s.rateLimit = std::move(rateLimit);
  s.daily = std::move(daily);
  s.label = QStringLiteral("headline");
  return s;
}

struct Expected {
  K kind;
  QString tool;
  QString label;
  bool badge = false;
  int count = 0;
};

TEST(CollapsedTicker, TheQueueHoldsApprovalsThenMessagesThenCompletionsThenUsage) {
  const UsageSnapshot claude = snapshot(metric("42%", "3pm"));
  const struct Case {
    const char* name;
    std::vector<IslandMessage> messages;
    int approvalCount;
    std::vector<TickerUsageReading> usage;
    std::vector<Expected> items;
  } cases[] = {
      {"nothing: all clear", {}, 0, {}, {{K::idle, "Tandrel", "All clear"}}},
      {"one approval and two usage tools",
       {message("permission_request", "Run rm?")},
       1,
       {{"Claude", claude}, {"Codex", snapshot(std::nullopt, metric("10%"))}},
       {{K::approval, "Claude Code", "Need approve"}, {K::usage, "Claude", "42%"}, {K::usage, "Codex", "headline"}}},
      {"every kind, in kind order; messages carry the approval badge",
       {message("task_completed", "done"), message("task_updated", "  Working  "), message("plan_ready", "Plan"),
        message("waiting_input", "Answer")},
       2,
       {},
       {{K::approval, "Claude Code", "Need approve"},
        {K::approval, "Claude Code", "Need approve"},
        {K::message, "Claude Code", "Working", true, 2},
        {K::completion, "Claude Code", "Done"}}},
      {"a message label falls back to the detail, then the badge",
       {message("task_updated", " ", "\n detail \n"), message("task_updated", "", "")},
       0,
       {},
       {{K::message, "Claude Code", "detail"}, {K::message, "Claude Code", "Update"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto items = buildCollapsedTickerItems(c.messages, c.approvalCount, c.usage);
    ASSERT_EQ(items.size(), c.items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(items[i].kind, c.items[i].kind) << i;
      EXPECT_EQ(items[i].tool, c.items[i].tool) << i;
      EXPECT_EQ(items[i].label, c.items[i].label) << i;
      EXPECT_EQ(items[i].showsApprovalBadge, c.items[i].badge) << i;
      EXPECT_EQ(items[i].approvalCount, c.items[i].count) << i;
    }
  }
}

TEST(CollapsedTicker, ItemsCarryTheirColoursAndTheUsageResetText) {
  const auto items = buildCollapsedTickerItems(
      {message("permission_request", "a"), message("task_updated", "b"), message("task_completed", "c")}, 1,
      {{"Claude", snapshot(metric("42%", "3pm"))}});
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].accent, ticker::kApprovalAccent);
  EXPECT_EQ(items[1].accent, QColor(10, 20, 30));  // the tool's colour
  EXPECT_EQ(items[2].accent, QColor(40, 50, 60));  // the message's accent
  EXPECT_EQ(items[3].deadlineLabel, QStringLiteral("Resets 3pm"));
  const auto idle = buildCollapsedTickerItems({}, 0, {});
  EXPECT_EQ(idle[0].accent, QColor::fromRgbF(1, 1, 1, 0.58));
  EXPECT_FALSE(idle[0].deadlineLabel);
}

TEST(CollapsedTicker, MessagesWithAUsageReadingNeverBecomeItems) {
  const std::vector<IslandMessage> all = {message("permission_request", "usage approval", {}, true),
                                          message("task_updated", "plain")};
  const auto ticker = collapsedTickerMessages(all);
  ASSERT_EQ(ticker.size(), 1u);
  EXPECT_EQ(ticker[0].title, QStringLiteral("plain"));
  // It still counts in the badge the caller passes.
  const auto items = buildCollapsedTickerItems(ticker, 1, {});
  EXPECT_EQ(items[0].approvalCount, 1);
}

TEST(CollapsedTicker, ACompletionShowsItsSnippetOrARealMessageElseDone) {
  const struct {
    std::optional<QString> snippet;
    QString message;
    QString label;
  } cases[] = {
      {QStringLiteral("  Shipped it  "), QStringLiteral("ignored"), QStringLiteral("Shipped it")},
      {QStringLiteral("   "), QStringLiteral(" All tests pass "), QStringLiteral("All tests pass")},
      {std::nullopt, QStringLiteral("Lifecycle event captured locally."), QStringLiteral("Done")},
      {std::nullopt, QStringLiteral("Turn complete. Prompt and response text were not stored by Tandrel."),
       QStringLiteral("Done")},
      {std::nullopt, QString(), QStringLiteral("Done")},
  };
  for (const auto& c : cases) {
    IslandMessage m = message("task_completed", "title");
    m.event.completionSnippet = c.snippet;
    m.event.message = c.message;
    EXPECT_EQ(buildCollapsedTickerItems({m}, 0, {})[0].label, c.label) << c.message.toStdString();
  }
}

TEST(CollapsedTicker, UsageLabelsFollowTheMetricsAndTheResetText) {
  const UsageMetric rate = metric("Blocked");
  const UsageMetric five = metric("42%");
  const UsageMetric week = metric("18%");
  const UsageMetric day = metric("7%");
  const struct {
    const char* name;
    UsageSnapshot snapshot;
    bool deadline;
    const char* label;
  } cases[] = {
      {"rate limit with a reset", snapshot(five, week, rate), true, "Blocked"},
      {"rate limit without", snapshot(five, week, rate), false, "Usage limit \u00B7 Blocked"},
      {"five-hour and weekly", snapshot(five, week), true, "5h 42% \u00B7 7d 18%"},
      {"five-hour and weekly, no reset", snapshot(five, week), false, "5h 42% \u00B7 7d 18%"},
      {"five-hour with a reset", snapshot(five), true, "42%"},
      {"five-hour without", snapshot(five), false, "5h limit \u00B7 42%"},
      {"daily with a reset", snapshot(std::nullopt, std::nullopt, std::nullopt, day), true, "7%"},
      {"daily without", snapshot(std::nullopt, std::nullopt, std::nullopt, day), false, "headline"},
      {"weekly with a reset", snapshot(std::nullopt, week), true, "18%"},
      {"weekly without", snapshot(std::nullopt, week), false, "headline"},
      {"none of them", snapshot(std::nullopt), true, "headline"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(collapsedUsageLabel(c.snapshot, c.deadline), QString::fromUtf8(c.label)) << c.name;
  }
}

TEST(CollapsedTicker, TheResetTextIsTheFirstNonBlankSuffixWithResetsBeforeIt) {
  const struct {
    const char* name;
    std::optional<UsageSnapshot> snapshot;
    std::optional<QString> deadline;
  } cases[] = {
      {"no reading", std::nullopt, std::nullopt},
      {"no suffix", snapshot(metric("42%")), std::nullopt},
      {"a bare time on the rate limit", snapshot(std::nullopt, std::nullopt, metric("Blocked", " 3:15pm ")),
       QStringLiteral("Resets 3:15pm")},
      {"already says resets", snapshot(metric("42%", "RESETS in 2h")), QStringLiteral("RESETS in 2h")},
      {"five-hour before weekly; blanks skipped",
       snapshot(metric("42%", "  "), metric("18%", "Mon"), metric("x", "ignored")), QStringLiteral("Resets Mon")},
      {"daily before weekly", snapshot(std::nullopt, metric("18%", "Mon"), std::nullopt, metric("7%", "9am")),
       QStringLiteral("Resets 9am")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(collapsedUsageDeadlineLabel(c.snapshot), c.deadline) << c.name;
  }
}

TEST(CollapsedTicker, TheHealthSignatureNamesEachToolsStatusAndDetection) {
  ToolHealth claude;
  claude.id = QStringLiteral("claude-code");
  claude.status = HookStatus::healthy;
  claude.detected = true;
  ToolHealth codex;
  codex.id = QStringLiteral("codex-cli");
  codex.status = HookStatus::repair;
  EXPECT_EQ(usageToolsHealthSignature({}), QString());
  EXPECT_EQ(usageToolsHealthSignature({claude, codex}),
            QStringLiteral("claude-code:Healthy:true|codex-cli:Needs repair:false"));
}

TEST(CollapsedTicker, RotationIsDueEveryFourSecondsWithTwoOrMore) {
  const struct {
    int count;
    double now;
    bool due;
  } shown[] = {{1, 100, false}, {2, 103.999, false}, {2, 104, true}, {5, 200, true}, {0, 200, false}};
  for (const auto& c : shown) {
    EXPECT_EQ(collapsedMessageRotationDue(c.count, c.now, 100), c.due) << c.count << " " << c.now;
  }
  const struct {
    bool pinned;
    int count;
    double now;
    bool due;
  } usage[] = {{false, 2, 104, true}, {true, 2, 104, false}, {false, 1, 104, false}, {false, 3, 103.5, false}};
  for (const auto& c : usage) {
    EXPECT_EQ(usageToolRotationDue(c.pinned, c.count, c.now, 100), c.due) << c.pinned << c.count << c.now;
  }
}

TEST(CollapsedTicker, TheNextUsageToolWrapsAndAnUnlistedToolLeadsToTheSecond) {
  const QStringList tools = {"Claude", "Codex", "Cursor"};
  EXPECT_EQ(nextUsageTool(tools, "Claude"), "Codex");
  EXPECT_EQ(nextUsageTool(tools, "Cursor"), "Claude");
  EXPECT_EQ(nextUsageTool(tools, "Gone"), "Codex");

  const struct {
    QStringList tools;
    QString active;
    QString tool;
    bool unpin;
    bool restart;
  } cases[] = {
      {{}, "Claude", "", true, false},
      {tools, "Codex", "Codex", false, false},
      {tools, "Gone", "Claude", true, true},
  };
  for (const auto& c : cases) {
    const NormalizedUsageTool n = normalizedUsageTool(c.tools, c.active);
    EXPECT_EQ(n.tool, c.tool) << c.active.toStdString();
    EXPECT_EQ(n.unpin, c.unpin) << c.active.toStdString();
    EXPECT_EQ(n.restart, c.restart) << c.active.toStdString();
  }
}

TEST(CollapsedTicker, AFinishedTurnWaitingForAReplyHeadsTheQueueWithItsTimeLeft) {
  const struct {
    qint64 seconds;
    const char* label;
  } countdowns[] = {{120, "2:00"}, {112, "1:52"}, {65, "1:05"}, {9, "0:09"}, {0, "0:00"}, {-3, "0:00"}};
  for (const auto& c : countdowns) {
    EXPECT_EQ(minutesAndSecondsLabel(c.seconds), QString::fromLatin1(c.label)) << c.seconds;
  }
  const CollapsedTickerDisplay turn = finishedTurnTickerItem(QStringLiteral("Claude Code"), 112);
  EXPECT_EQ(turn.label, QString::fromUtf8("Claude Code waits for your reply \u00B7 1:52"));
  EXPECT_EQ(turn.tool, QStringLiteral("Claude Code"));
  EXPECT_EQ(turn.kind, K::approval);
  EXPECT_EQ(turn.accent, ticker::kApprovalAccent);

  const CollapsedTickerDisplay codex = finishedTurnTickerItem(QStringLiteral("Codex"), 30);
  const std::vector<CollapsedTickerDisplay> idle =
      buildCollapsedTickerItems({}, 0, {});  // "All clear"
  const std::vector<CollapsedTickerDisplay> busy = buildCollapsedTickerItems(
      {message(QStringLiteral("permission_request"), QStringLiteral("Run?")),
       message(QStringLiteral("task_completed"), QStringLiteral("Shipped"))},
      1, {{QStringLiteral("Claude"), snapshot(metric("42%"))}});
  const struct {
    const char* name;
    std::vector<CollapsedTickerDisplay> turns;
    const std::vector<CollapsedTickerDisplay>& items;
    std::vector<QString> labels;
  } queues[] = {
      {"nothing waits", {}, idle, {QStringLiteral("All clear")}},
      {"a turn replaces All clear", {turn}, idle, {turn.label}},
      {"turns come first, in order, beside the approvals only",
       {turn, codex},
       busy,
       {turn.label, codex.label, QStringLiteral("Need approve")}},
  };
  EXPECT_EQ(withFinishedTurnsFirst({}, busy), busy) << "with nothing held the queue is as it was";
  for (const auto& q : queues) {
    std::vector<QString> labels;
    for (const CollapsedTickerDisplay& item : withFinishedTurnsFirst(q.turns, q.items)) {
      labels.push_back(item.label);
    }
    EXPECT_EQ(labels, q.labels) << q.name;
  }
}

TEST(CollapsedTicker, TheExpandedTickRedrawsAllWhileSettlingThenOnlyThePetRailsPeek) {
  using R = ExpandedTickRedraw;
  const struct {
    double now;
    double mode;
    double usage;
    R redraw;
  } cases[] = {
      {10.5, 10, 0, R::whole},          // just expanded
      {10.7, 0, 10, R::whole},          // the usage tool just changed
      {10.75, 10, 0, R::none},          // settled, past the first peek
      {13.7, 10, 0, R::petRailStrip},   // the peek: the first 0.65 s of each 3.65 s
      {14.2, 10, 0, R::petRailStrip},
      {14.5, 10, 0, R::none},
      {10.7, 6.5, 0, R::petRailStrip},  // 4.2 s after expanding
  };
  for (const auto& c : cases) {
    EXPECT_EQ(expandedTickRedraw(c.now, c.mode, c.usage), c.redraw) << c.now << " " << c.mode << " " << c.usage;
  }
}

}  // namespace
}  // namespace tandrel
