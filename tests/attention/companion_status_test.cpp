#include "attention/companion_status.h"

#include "platform/clock.h"
#include "platform/fake/fake_clock.h"
#include "reminder_test_events.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using test::answerablePermission;
using test::humanCompletion;
using test::reminderEvent;
using test::withChange;
using test::workingEvent;

QString describe(const std::optional<CompanionStatusItem>& item) {
  if (!item) return QStringLiteral("none");
  static const char* const kinds[] = {"approval", "working", "finished"};
  return QString::fromLatin1(kinds[int(item->kind)]) + u':' + item->event.id;
}

QStringList describe(const std::vector<CompanionStatusItem>& items) {
  QStringList out;
  for (const CompanionStatusItem& item : items) out << describe(item);
  return out;
}

TEST(CompanionStatusTest, ChoosesApprovalThenTheNewestWorkOrCompletion) {
  const TandrelEvent choice = withChange(reminderEvent("choice", "waiting_input", 3), [](TandrelEvent& e) {
    e.choiceOptions = {test::choice(QStringLiteral("1"), QStringLiteral("Yes"))};
  });
  const struct {
    const char* name;
    std::vector<TandrelEvent> events;
    const char* expected;
  } cases[] = {
      {"nothing", {}, "none"},
      {"permission", {answerablePermission("perm")}, "approval:perm"},
      {"choice", {choice}, "approval:choice"},
      {"task start", {workingEvent("start")}, "working:start"},
      {"task update", {reminderEvent("update", "task_updated")}, "working:update"},
      {"human completion", {humanCompletion("done")}, "finished:done"},
      {"failure", {reminderEvent("failed", "task_failed")}, "none"},
      {"rate limit", {reminderEvent("limit", "rate_limited")}, "none"},
      {"tool call", {reminderEvent("tool", "tool_use")}, "none"},
      {"usage-only update",
       {withChange(reminderEvent("quota", "task_updated"),
                   [](TandrelEvent& e) { e.notifyPolicy = QStringLiteral("usage_only"); })},
       "none"},
      {"bare permission", {reminderEvent("bare", "permission_request")}, "none"},
      {"silent permission",
       {withChange(answerablePermission("silent"), [](TandrelEvent& e) { e.notifyPolicy = QStringLiteral("silent"); })},
       "none"},
      {"session-end completion",
       {withChange(humanCompletion("end"), [](TandrelEvent& e) { e.rawEventName = QStringLiteral("SessionEnd"); })},
       "none"},
      {"approval after working and finished",
       {workingEvent("start", 9), humanCompletion("done", 9), answerablePermission("perm", 1)},
       "approval:perm"},
      {"newer of two approvals, whatever their order",
       {answerablePermission("old", 1), choice, answerablePermission("older", 0)},
       "approval:choice"},
      {"newer working event over a stale completion", {humanCompletion("done", 1), workingEvent("start", 9)},
       "working:start"},
      {"newer working event over a stale completion listed after it",
       {workingEvent("start", 9), humanCompletion("done", 1)},
       "working:start"},
      {"newer completion over stale work", {workingEvent("start", 1), humanCompletion("done", 9)}, "finished:done"},
      {"completion before work of the same time", {workingEvent("start", 5), humanCompletion("done", 5)},
       "finished:done"},
      {"approval over newer work", {workingEvent("start", 9), answerablePermission("perm", 1)}, "approval:perm"},
      {"newer of two working events", {workingEvent("old", 1), reminderEvent("new", "task_updated", 2)}, "working:new"},
      {"list order among equals", {workingEvent("first", 1), workingEvent("second", 1)}, "working:first"},
      {"a failure does not outrank work", {reminderEvent("failed", "task_failed", 9), workingEvent("start")},
       "working:start"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(describe(companionStatusItem(c.events)), QString::fromLatin1(c.expected)) << c.name;
  }
}

TEST(CompanionStatusTest, ItemCarriesItsShortLabel) {
  const std::optional<CompanionStatusItem> item = companionStatusItem(std::vector{
      withChange(workingEvent("start"), [](TandrelEvent& e) { e.message = QStringLiteral("Build - step 2"); })});
  ASSERT_TRUE(item);
  EXPECT_EQ(item->label, QStringLiteral("Build · step 2"));
}

TEST(CompanionStatusTest, TickerListsApprovalsThenWorkThenCompletions) {
  const std::vector<TandrelEvent> candidates = {
      humanCompletion("done-1"),
      workingEvent("start-1"),
      answerablePermission("perm-1"),
      reminderEvent("failed", "task_failed"),
      withChange(humanCompletion("quiet-done"), [](TandrelEvent& e) { e.rawEventName = QStringLiteral("SessionEnd"); }),
      withChange(answerablePermission("quiet-perm"), [](TandrelEvent& e) { e.notifyPolicy = QStringLiteral("silent"); }),
      reminderEvent("start-2", "task_updated"),
      answerablePermission("perm-2"),
      humanCompletion("done-2"),
  };
  EXPECT_EQ(describe(companionTickerItems(candidates)),
            QStringList({"approval:perm-1", "approval:perm-2", "working:start-1", "working:start-2", "finished:done-1",
                         "finished:done-2"}));
  EXPECT_TRUE(companionTickerItems({}).empty());

  const std::vector<CompanionStatusItem> items = companionTickerItems(std::vector{humanCompletion("done")});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].label, QStringLiteral("All tests passed"));
}

TEST(CompanionStatusTest, CandidatesLeaveOutHiddenAndReadAndSortByPriority) {
  const std::vector<TandrelEvent> events = {
      workingEvent("start", 1), humanCompletion("done", 0), answerablePermission("hidden"),
      answerablePermission("read"), reminderEvent("failed", "task_failed", 0), workingEvent("start-new", 5),
  };
  QStringList ids;
  for (const TandrelEvent& event : companionCandidateEvents(events, {"hidden"}, {"read"})) ids << event.id;
  EXPECT_EQ(ids, QStringList({"failed", "done", "start-new", "start"}));
}

TEST(CompanionStatusTest, ShortLabels) {
  const struct {
    const char* name;
    TandrelEvent event;
    const char* label;
  } cases[] = {
      {"user preview first", withChange(workingEvent("a"), [](TandrelEvent& e) {
         e.preview.user = QStringLiteral("  Fix the build ");
         e.preview.agent = QStringLiteral("Agent");
         e.message = QStringLiteral("Message");
       }), "Fix the build"},
      {"blank user preview passed over", withChange(workingEvent("a"), [](TandrelEvent& e) {
         e.preview.user = QStringLiteral("   ");
         e.preview.agent = QStringLiteral("Agent said");
       }), "Agent said"},
      {"message, dashes turned into dots", withChange(workingEvent("a"), [](TandrelEvent& e) {
         e.message = QStringLiteral("repo - branch - step");
       }), "repo · branch · step"},
      {"title last", withChange(answerablePermission("a"), [](TandrelEvent& e) {
         e.message = QStringLiteral(" \n");
         e.title = QStringLiteral("Codex needs approval");
       }), "Codex needs approval"},
      {"permission", answerablePermission("a"), "Approval needed"},
      {"waiting input", reminderEvent("a", "waiting_input"), "Choice needed"},
      {"plan", reminderEvent("a", "plan_ready"), "Choice needed"},
      {"task start", withChange(workingEvent("a"), [](TandrelEvent& e) { e.source = QStringLiteral("claude_code"); }),
       "Claude Code working"},
      {"working", reminderEvent("a", "working"), "Codex CLI working"},
      {"task update", reminderEvent("a", "task_updated"), "Codex CLI working"},
      {"completion", reminderEvent("a", "task_completed"), "Codex CLI done"},
      {"failure", reminderEvent("a", "task_failed"), "Codex CLI failed"},
      {"rate limited", reminderEvent("a", "rate_limited"), "Rate limited"},
      {"other type, status completed", withChange(reminderEvent("a", "tool_use"), [](TandrelEvent& e) {
         e.status = QStringLiteral("completed");
       }), "Completed"},
      {"other type, status words", withChange(reminderEvent("a", "tool_use"), [](TandrelEvent& e) {
         e.status = QStringLiteral("USAGE_limited now");
       }), "Usage Limited Now"},
      {"other type, empty status", withChange(reminderEvent("a", "tool_use"), [](TandrelEvent& e) {
         e.status.clear();
       }), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shortCompanionLabel(c.event), QString::fromUtf8(c.label)) << c.name;
  }
  EXPECT_FALSE(companionEventText(reminderEvent("a", "tool_use")));
}

TEST(CompanionStatusTest, BubbleFallbackLastsUntilItsExpiry) {
  const CompanionStatusItem store{CompanionStatusKind::working, QStringLiteral("Working"), workingEvent("store")};
  const CompanionStatusItem noTask{CompanionStatusKind::approval, QStringLiteral("No linked task"),
                                   answerablePermission("clicked")};
  const CompanionBubbleFallback fallback{noTask, 100.0};
  const struct {
    std::optional<CompanionStatusItem> store;
    std::optional<CompanionBubbleFallback> fallback;
    double now;
    const char* expected;
  } cases[] = {
      {store, std::nullopt, 0, "working:store"},
      {std::nullopt, std::nullopt, 0, "none"},
      {store, fallback, 99.999, "approval:clicked"},
      {std::nullopt, fallback, 99.0, "approval:clicked"},
      {store, fallback, 100.0, "working:store"},
      {std::nullopt, fallback, 100.5, "none"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(describe(companionBubbleStatus(c.store, c.fallback, c.now)), QString::fromLatin1(c.expected)) << c.now;
  }

  // On the injected clock: a fallback made to last 1.4 s shows until 1.4 s have passed.
  FakeClock clock;
  const CompanionBubbleFallback timed{noTask, companionBubbleTime(clock) + 1.4};
  clock.advance(std::chrono::milliseconds(1399));
  EXPECT_EQ(describe(companionBubbleStatus(store, timed, companionBubbleTime(clock))), "approval:clicked");
  clock.advance(std::chrono::milliseconds(1));
  EXPECT_EQ(describe(companionBubbleStatus(store, timed, companionBubbleTime(clock))), "working:store");
}

TEST(CompanionStatusTest, JumpTargetTakesTheFirstExistingRoute) {
  const TandrelEvent routed = withChange(reminderEvent("route", "task_updated"), [](TandrelEvent& e) {
    e.jumpTarget = QStringLiteral("/tmp/tandrel-jump");
    e.transcriptPath = QStringLiteral("/tmp/tandrel-transcript");
    e.cwd = QStringLiteral("/tmp/tandrel-cwd");
    e.hasExplicitCwd = true;
  });
  const auto only = [](QStringList paths) { return [paths](const QString& path) { return paths.contains(path); }; };
  const auto all = [](const QString&) { return true; };
  const struct {
    const char* name;
    TandrelEvent event;
    PathPredicate fileExists;
    std::optional<QString> expected;
  } cases[] = {
      {"jump target first", routed, all, QStringLiteral("/tmp/tandrel-jump")},
      {"then the transcript", routed, only({"/tmp/tandrel-transcript", "/tmp/tandrel-cwd"}),
       QStringLiteral("/tmp/tandrel-transcript")},
      {"then the explicit cwd", routed, only({"/tmp/tandrel-cwd"}), QStringLiteral("/tmp/tandrel-cwd")},
      {"nothing exists", routed, [](const QString&) { return false; }, std::nullopt},
      {"a default cwd is never offered",
       withChange(routed, [](TandrelEvent& e) {
         e.jumpTarget.reset();
         e.transcriptPath.reset();
         e.hasExplicitCwd = false;
       }),
       all, std::nullopt},
      {"blank jump target skipped, paths trimmed, no tilde expansion",
       withChange(routed, [](TandrelEvent& e) {
         e.jumpTarget = QStringLiteral(" \n ");
         e.transcriptPath = QStringLiteral("  ~/t.jsonl\n");
       }),
       all, QStringLiteral("~/t.jsonl")},
  };
  for (const auto& c : cases) {
    QStringList asked;
    const std::optional<QString> target = companionJumpTarget(c.event, [&](const QString& path) {
      asked << path;
      return c.fileExists(path);
    });
    EXPECT_EQ(target, c.expected) << c.name;
    EXPECT_FALSE(asked.contains(QString())) << c.name;
  }

  // A parsed record without "cwd" gets the home folder, which is not a route.
  test::TempHome home;
  const std::optional<TandrelEvent> parsed =
      test::parsedEvent(R"({"event_id":"companion-no-route","source":"codex","event_type":"task_updated"})");
  ASSERT_TRUE(parsed);
  EXPECT_FALSE(companionJumpTarget(*parsed, all));
}

}  // namespace
}  // namespace tandrel
