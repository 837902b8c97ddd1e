#include "attention/event_priority.h"
#include "attention/event_reminder_policy.h"

#include "reminder_test_events.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using test::answerablePermission;
using test::humanCompletion;
using test::rateLimitUsage;
using test::reminderEvent;
using test::withChange;

TEST(EventReminderPolicyTest, PackedValueLaysOutKindAndFlags) {
  EventReminderPolicy policy{true, true, true, EventReminderKind::permission};
  EXPECT_EQ(policy.packed(), 0x02010101u);
  EXPECT_EQ((EventReminderPolicy{false, false, true, EventReminderKind::failure}.packed()), 0x06010000u);
  EXPECT_EQ(EventReminderPolicy{}.packed(), 0u);
}

struct PolicyCase {
  const char* name;
  TandrelEvent event;
  quint32 packed;  // kind << 24 | classified << 16 | human-facing << 8 | allows
};

TEST(EventReminderPolicyTest, RulesInOrder) {
  const PolicyCase cases[] = {
      // 1. receipts are passive whatever their type
      {"receipt on permission", withChange(answerablePermission("a"), [](TandrelEvent& e) {
         ResponseReceipt receipt;
         receipt.eventID = QStringLiteral("x");
         e.responseReceipt = receipt;
       }), 0},
      // 2. permission requests need a way to answer
      {"permission with decision file", answerablePermission("a"), 0x02010101},
      {"permission with decision command", withChange(reminderEvent("a", "permission_request"), [](TandrelEvent& e) {
         e.decisionCommand = QStringLiteral("approve");
       }), 0x02010101},
      {"permission with response-file channel", withChange(reminderEvent("a", "permission_request"), [](TandrelEvent& e) {
         e.responseChannel = ResponseChannel::responseFile(QStringLiteral("/tmp/r.json"));
       }), 0x02010101},
      {"permission with action kind", withChange(reminderEvent("a", "permission_request"), [](TandrelEvent& e) {
         e.actionKind = QStringLiteral("command");
       }), 0x02010101},
      {"permission with only a command channel", withChange(reminderEvent("a", "permission_request"), [](TandrelEvent& e) {
         e.responseChannel = ResponseChannel::responseCommand(QStringLiteral("reply"));
       }), 0},
      {"bare permission", reminderEvent("a", "permission_request"), 0},
      {"permission, silent in any case", withChange(answerablePermission("a"), [](TandrelEvent& e) {
         e.notifyPolicy = QStringLiteral("  SiLeNt \n");
       }), 0x02010000},
      {"permission, usage only", withChange(answerablePermission("a"), [](TandrelEvent& e) {
         e.notifyPolicy = QStringLiteral("Usage_Only");
       }), 0x02010000},
      // 3. rate limits, before failures
      {"rate_limited and critical", withChange(reminderEvent("a", "rate_limited"), [](TandrelEvent& e) {
         e.severity = QStringLiteral("critical");
       }), 0x07010000},
      {"status usage_limited", withChange(reminderEvent("a", "task_updated"), [](TandrelEvent& e) {
         e.status = QStringLiteral("usage_limited");
       }), 0x07010000},
      {"usage rate limit error", withChange(reminderEvent("a", "task_updated"), [](TandrelEvent& e) {
         e.usage = rateLimitUsage(QStringLiteral("error"));
       }), 0x07010000},
      {"usage rate limit Error is not exact", withChange(reminderEvent("a", "task_updated"), [](TandrelEvent& e) {
         e.usage = rateLimitUsage(QStringLiteral("Error"));
       }), 0x01010000},
      // 4. failures
      {"task_failed", reminderEvent("a", "task_failed"), 0x06010000},
      {"error type", reminderEvent("a", "error"), 0x06010000},
      {"critical severity", withChange(reminderEvent("a", "task_started"), [](TandrelEvent& e) {
         e.severity = QStringLiteral("critical");
       }), 0x06010000},
      {"status failed", withChange(reminderEvent("a", "task_updated"), [](TandrelEvent& e) {
         e.status = QStringLiteral("failed");
       }), 0x06010000},
      // 5. and 6. prompts
      {"waiting_input with options", withChange(reminderEvent("a", "waiting_input"), [](TandrelEvent& e) {
         e.choiceOptions = {test::choice(QStringLiteral("1"), QStringLiteral("Yes"))};
       }), 0x03010101},
      {"plan_ready with options, silent", withChange(reminderEvent("a", "plan_ready"), [](TandrelEvent& e) {
         e.choiceOptions = {test::choice(QStringLiteral("1"), QStringLiteral("Approve"))};
         e.notifyPolicy = QStringLiteral("silent");
       }), 0x03010000},
      {"waiting_input with a response file", withChange(reminderEvent("a", "waiting_input"), [](TandrelEvent& e) {
         e.responseChannel = ResponseChannel::responseFile(QStringLiteral("/tmp/r.json"));
       }), 0x04010101},
      {"plan_ready with a decision file channel", withChange(reminderEvent("a", "plan_ready"), [](TandrelEvent& e) {
         e.responseChannel = ResponseChannel::decisionFile(QStringLiteral("/tmp/d.json"));
       }), 0x04010101},
      {"waiting_input without options or channel", reminderEvent("a", "waiting_input"), 0},
      // 7. completions
      {"Stop completion with a message", humanCompletion("a"), 0x05010101},
      {"Stop completion with a placeholder", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.message = QStringLiteral("  Completed. ");
       }), 0x05010000},
      {"Stop completion with the lifecycle placeholder", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.message = QStringLiteral("Lifecycle event captured locally.");
       }), 0x05010000},
      {"Stop completion with the turn placeholder", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.message = QStringLiteral("Turn complete. Prompt and response text were not stored by Tandrel.");
       }), 0x05010000},
      {"Stop completion with a blank message", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.message = QStringLiteral(" \n");
       }), 0x05010000},
      {"Stop completion with an empty snippet", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.message.clear();
         e.completionSnippet = QString();
       }), 0x05010101},
      {"Stop completion with an agent preview", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.message.clear();
         e.preview.agent = QStringLiteral("Done");
       }), 0x05010101},
      {"TASK-COMPLETED hook with a message", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.rawEventName = QStringLiteral("TASK-COMPLETED");
       }), 0x05010101},
      {"session end, whatever its spelling", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.rawEventName = QStringLiteral(" Session_End ");
         e.completionSnippet = QStringLiteral("Bye");
       }), 0x05010000},
      {"turn boundary with only a preview", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.rawEventName = QStringLiteral("agent-turn-complete");
         e.preview.user = QStringLiteral("You are re-reviewing Task 4");
       }), 0x05010000},
      {"turn boundary with a snippet", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.rawEventName = QStringLiteral("agent-turn-complete");
         e.completionSnippet = QStringLiteral("Fixed");
       }), 0x05010101},
      {"completion without a hook name", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.rawEventName.reset();
       }), 0x05010000},
      {"completed status of another type", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.eventType = QStringLiteral("task_updated");
         e.status = QStringLiteral("completed");
       }), 0x05010101},
      {"silent completion", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.notifyPolicy = QStringLiteral("silent");
       }), 0x05010000},
      // 8. usage-only updates say nothing else
      {"usage-only task start", withChange(reminderEvent("a", "task_started"), [](TandrelEvent& e) {
         e.notifyPolicy = QStringLiteral(" usage_only");
       }), 0},
      // 9. work in progress
      {"silent task start", withChange(reminderEvent("a", "task_started"), [](TandrelEvent& e) {
         e.notifyPolicy = QStringLiteral("silent");
       }), 0x01010000},
      {"working type", reminderEvent("a", "working"), 0x01010000},
      {"tool event in phase runningTool", withChange(reminderEvent("a", "tool_use"), [](TandrelEvent& e) {
         e.phase = QStringLiteral("runningTool");
       }), 0x01010000},
      {"tool event in phase running", withChange(reminderEvent("a", "tool_use"), [](TandrelEvent& e) {
         e.phase = QStringLiteral("running");
       }), 0x01010000},
      // 10. everything else
      {"tool event in another phase", withChange(reminderEvent("a", "tool_use"), [](TandrelEvent& e) {
         e.phase = QStringLiteral("tooluse");
       }), 0},
  };
  for (const PolicyCase& c : cases) {
    EXPECT_EQ(eventReminderPolicy(c.event).packed(), c.packed) << c.name;
  }
}

TEST(EventReminderPolicyTest, ClassifierDerivesSignificanceFromPolicy) {
  static_assert(int(EventSignificance::needsUser) == 0 && int(EventSignificance::quiet) == 3);
  const struct {
    const char* name;
    TandrelEvent event;
    EventSignificance expected;
  } cases[] = {
      {"answerable permission", answerablePermission("a"), EventSignificance::needsUser},
      {"silent permission", withChange(answerablePermission("a"), [](TandrelEvent& e) {
         e.notifyPolicy = QStringLiteral("silent");
       }), EventSignificance::quiet},
      {"human completion", humanCompletion("a"), EventSignificance::completed},
      {"session end completion", withChange(humanCompletion("a"), [](TandrelEvent& e) {
         e.rawEventName = QStringLiteral("SessionEnd");
       }), EventSignificance::quiet},
      {"silent task start", withChange(reminderEvent("a", "task_started"), [](TandrelEvent& e) {
         e.notifyPolicy = QStringLiteral("silent");
       }), EventSignificance::inProgress},
      {"failure", reminderEvent("a", "task_failed"), EventSignificance::quiet},
      {"rate limit", reminderEvent("a", "rate_limited"), EventSignificance::quiet},
      {"unclassified", reminderEvent("a", "tool_use"), EventSignificance::quiet},
  };
  for (const auto& c : cases) EXPECT_EQ(EventClassifier::classify(c.event), c.expected) << c.name;
}

// Bridge records as the hook scripts write them, through the real parser.
TEST(EventReminderPolicyTest, ParsedBridgeRecords) {
  test::TempHome home;
  const struct {
    const char* record;
    EventSignificance expected;
  } cases[] = {
      {R"({"event_id":"p","source":"codex","event_type":"permission_request","action":{"decision_file":"/tmp/d.json"}})",
       EventSignificance::needsUser},
      {R"({"event_id":"p","source":"codex","event_type":"permission_request","title":"Bypassed"})",
       EventSignificance::quiet},
      {R"({"event_id":"p","source":"claude_code","event_type":"permission_request","notify_policy":"silent",)"
       R"("action":{"decision_file":"/tmp/d.json"}})",
       EventSignificance::quiet},
      {R"({"event_id":"w","source":"claude_code","event_type":"plan_ready","options":[{"id":"1","label":"Approve"}],)"
       R"("response":{"response_file":"/tmp/p.json"}})",
       EventSignificance::needsUser},
      {R"({"event_id":"w","event_type":"waiting_input","title":"No opts","message":"Empty"})",
       EventSignificance::quiet},
      {R"({"event_id":"d","event_type":"task_completed","raw_event_name":"Stop","message":"All tests passed"})",
       EventSignificance::completed},
      {R"({"event_id":"d","event_type":"task_completed","raw_event_name":"Stop","message":"completed."})",
       EventSignificance::quiet},
      {R"({"event_id":"r","event_type":"response_receipt","target_event_id":"x","action":"approve",)"
       R"("receipt_status":"submitted"})",
       EventSignificance::quiet},
      {R"({"event_id":"s","event_type":"task_started","notify_policy":"silent"})", EventSignificance::inProgress},
      {R"({"event_id":"s","event_type":"task_updated","status":"running_tool","notify_policy":"silent"})",
       EventSignificance::inProgress},
      {R"({"event_id":"u","event_type":"task_updated","status":"usage_limited","title":"Paused"})",
       EventSignificance::quiet},
  };
  for (const auto& c : cases) {
    const std::optional<TandrelEvent> event = test::parsedEvent(c.record);
    ASSERT_TRUE(event) << c.record;
    EXPECT_EQ(EventClassifier::classify(*event), c.expected) << c.record;
  }
}

TEST(EventPriorityTest, PriorityByTypeAndSeverity) {
  const struct {
    TandrelEvent event;
    int priority;
  } cases[] = {
      {reminderEvent("a", "permission_request"), 0},
      {reminderEvent("a", "waiting_input"), 0},
      {withChange(reminderEvent("a", "plan_ready"), [](TandrelEvent& e) { e.severity = QStringLiteral("critical"); }), 0},
      {withChange(reminderEvent("a", "task_updated"), [](TandrelEvent& e) { e.severity = QStringLiteral("critical"); }), 1},
      {reminderEvent("a", "task_failed"), 1},
      {reminderEvent("a", "rate_limited"), 2},
      {reminderEvent("a", "task_completed"), 4},
      {reminderEvent("a", "task_started"), 5},
  };
  for (const auto& c : cases) EXPECT_EQ(eventPriority(c.event), c.priority) << c.event.eventType.toStdString();
}

TEST(EventPriorityTest, SortIsStableByPriorityThenNewerFirst) {
  std::vector<TandrelEvent> events = {
      reminderEvent("started-old", "task_started", 1), reminderEvent("done", "task_completed", 0),
      reminderEvent("tie-1", "task_updated", 5),       reminderEvent("waiting", "waiting_input", 0),
      reminderEvent("tie-2", "task_updated", 5),       reminderEvent("started-new", "task_started", 9),
  };
  sortEventsByPriority(events);
  QStringList ids;
  for (const TandrelEvent& event : events) ids << event.id;
  EXPECT_EQ(ids, QStringList({"waiting", "done", "started-new", "tie-1", "tie-2", "started-old"}));
}

}  // namespace
}  // namespace tandrel
