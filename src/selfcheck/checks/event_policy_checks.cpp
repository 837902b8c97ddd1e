#include "selfcheck/checks/event_policy_checks.h"

#include "attention/event_reminder_policy.h"
#include "sounds/event_sound_gate.h"
#include "events/tandrel_event.h"
#include "inbox/island_message.h"
#include "selfcheck/fixture_builders.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <optional>
#include <span>
#include <vector>

namespace tandrel {

namespace {

// One row of a table: a bridge record, the verdict expected of its event and the sentence
// recorded when the verdict differs.
template <typename Verdict>
struct PolicyCase {
  QJsonObject record;
  Verdict expected;
  const char* message;
};

QJsonObject decisionAction(const char* path) { return {{QStringLiteral("decision_file"), QString::fromLatin1(path)}}; }

QJsonArray options(std::initializer_list<std::pair<const char*, const char*>> choices) {
  QJsonArray list;
  for (const auto& [id, label] : choices) {
    list.append(QJsonObject{{QStringLiteral("id"), QString::fromUtf8(id)}, {QStringLiteral("label"), QString::fromUtf8(label)}});
  }
  return list;
}

QJsonObject event(const char* id, const char* source, const char* type, const char* title, const char* message,
                  const std::optional<QJsonObject>& action = std::nullopt, const QJsonObject& extra = {},
                  const char* severity = "info") {
  return testEvent(QString::fromLatin1(id), QString::fromLatin1(source), QString::fromLatin1(type),
                   QString::fromLatin1(severity), QString::fromUtf8(title), QString::fromUtf8(message), action,
                   std::nullopt, std::nullopt, extra);
}

// A Codex "agent-turn-complete" notification whose only content is the transcript preview of a
// review turn: a turn boundary, not a finished task.
QJsonObject turnBoundary(const char* id) {
  return event(id, "codex", "task_completed", "Codex CLI turn", "### Strengths · Prior fix works", std::nullopt,
               {{QStringLiteral("raw_event_name"), QStringLiteral("agent-turn-complete")},
                {QStringLiteral("preview"),
                 QJsonObject{{QStringLiteral("user"), QStringLiteral("You are re-reviewing Task 4 code quality.")},
                             {QStringLiteral("agent"), QStringLiteral("### Strengths · Prior fix works")}}}});
}

QJsonObject contentCompletion(const char* id) {
  return event(id, "codex", "task_completed", "Codex completed", "All tests passed", std::nullopt, {}, "success");
}

QJsonObject taskStart(const char* id) { return event(id, "codex", "task_started", "Codex started", "Planning changes"); }

// Parses every row's record and checks the verdict `judge` gives its event; when one record is
// not an event, records `missing` instead and judges nothing.
template <typename Verdict, typename Judge>
void checkTable(SelfCheckFailures& failures, std::span<const PolicyCase<Verdict>> rows, const char* missing,
                Judge judge) {
  std::vector<TandrelEvent> events;
  for (const PolicyCase<Verdict>& row : rows) {
    std::optional<TandrelEvent> parsed = TandrelEvent::fromDictionary(row.record);
    if (!parsed) {
      failures.check(false, QString::fromUtf8(missing));
      return;
    }
    events.push_back(std::move(*parsed));
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    failures.check(judge(events[i]) == rows[i].expected, QString::fromUtf8(rows[i].message));
  }
}

// Whether the inbox builder makes a card of the event alone, with nothing read or hidden.
bool entersInbox(const TandrelEvent& event) {
  const MessageBuildContext context{QDateTime::currentDateTimeUtc(), nullptr, nullptr};
  return !buildIslandMessages(std::span(&event, 1), {}, {}, context).messages.empty();
}

// Whether a sound gate that has heard nothing yet sounds the event when it arrives.
bool triggersSound(const TandrelEvent& event) {
  SharedEventSoundState shared;
  EventSoundGate gate(shared);
  gate.seed({}, 0);
  return gate.eventToSound({event}, 1, 0).has_value();
}

}  // namespace

void runEventPolicyChecks(SelfCheckFailures& failures) {
  using Significance = EventSignificance;
  const QJsonObject silent{{QStringLiteral("notify_policy"), QStringLiteral("silent")}};
  const QJsonObject usageLimited{{QStringLiteral("status"), QStringLiteral("usage_limited")}};
  const QJsonObject twoOptions{{QStringLiteral("options"), options({{"a", "方案 A"}, {"b", "方案 B"}})}};

  // What the event classifier makes of each event.
  const PolicyCase<Significance> classification[] = {
      {event("clf-perm-channel", "codex", "permission_request", "Needs approval", "Run cmd", decisionAction("/tmp/clf-d.json")),
       Significance::needsUser, "permission_request with decision_file should be requiresAction"},
      {event("clf-perm-bypass", "codex", "permission_request", "Bypassed", "Auto approve"), Significance::quiet,
       "permission_request without channel (bypass) should be passive"},
      {event("clf-waiting-options", "claude_code", "waiting_input", "Pick a layout", "Choose one",
             decisionAction("/tmp/clf-w.json"), twoOptions),
       Significance::needsUser, "waiting_input with options and channel should be requiresAction"},
      {event("clf-waiting-empty", "codex", "waiting_input", "No opts", "Empty"), Significance::quiet,
       "waiting_input without options should be passive"},
      {event("clf-done", "codex", "task_completed", "Codex completed", "All tests passed"), Significance::completed,
       "task_completed with content should be completed"},
      {event("clf-boilerplate", "codex", "task_completed", "Codex completed", "Completed."), Significance::quiet,
       "task_completed with boilerplate message should be passive"},
      {taskStart("clf-started"), Significance::inProgress, "task_started should be inProgress"},
      {event("clf-usage-limited", "codex", "task_updated", "Paused", "Usage limit reached", std::nullopt, usageLimited),
       Significance::quiet, "usage_limited task_updated should be passive"},
      {event("clf-silent", "codex", "permission_request", "Needs approval", "Run cmd", decisionAction("/tmp/clf-d2.json"),
             silent),
       Significance::quiet, "silent notify_policy should always be passive"},
      // A receipt an adapter reports for an answered choice, carrying that choice's options and
      // channel.
      {event("clf-answered", "codex", "response_receipt", "Answered", "Already answered", std::nullopt,
             {{QStringLiteral("target_event_id"), QStringLiteral("clf-d3-target")},
              {QStringLiteral("action"), QStringLiteral("choose_option")},
              {QStringLiteral("receipt_status"), QStringLiteral("submitted")},
              {QStringLiteral("options"), options({{"a", "方案 A"}})},
              {QStringLiteral("response"), QJsonObject{{QStringLiteral("response_file"), QStringLiteral("/tmp/clf-d3.json")}}}}),
       Significance::quiet, "event with responseReceipt should be passive regardless of type"},
      {event("clf-usage-only", "codex", "task_started", "Started", "Quota reading", std::nullopt,
             {{QStringLiteral("notify_policy"), QStringLiteral("usage_only")}}),
       Significance::quiet, "task_started with usage_only policy should be passive"},
      {event("clf-plan", "claude_code", "plan_ready", "Plan ready", "Review the plan", std::nullopt,
             {{QStringLiteral("options"), options({{"approve", "Approve"}, {"revise", "Revise"}})},
              {QStringLiteral("response"), QJsonObject{{QStringLiteral("response_file"), QStringLiteral("/tmp/clf-plan.json")}}}}),
       Significance::needsUser, "plan_ready with options and channel should be requiresAction"},
      {event("clf-silent-started", "codex", "task_started", "Working silently", "Planning", std::nullopt, silent),
       Significance::inProgress, "task_started with silent policy should still be inProgress (UI-ambient signal)"},
      {turnBoundary("clf-turn-boundary"), Significance::quiet,
       "codex agent-turn-complete with only transcript preview should be passive (turn boundary, not real completion)"},
      {event("clf-claude-bypass", "claude_code", "permission_request", "Claude needs approval", "Bash · ls",
             decisionAction("/tmp/clf-claude-d.json"),
             {{QStringLiteral("tool_name"), QStringLiteral("Bash")}, {QStringLiteral("notify_policy"), QStringLiteral("silent")}}),
       Significance::quiet, "claude_code permission_request with notify_policy=silent (bypass mode) should be passive"},
  };
  checkTable<Significance>(failures, classification, "EventClassifier test events missing", EventClassifier::classify);

  // Which of these the inbox builder makes a card of.
  const PolicyCase<bool> inbox[] = {
      {event("inbox-bypass", "codex", "permission_request", "Bypass", "Auto"), false,
       "bypassed permission_request should not enter inbox"},
      {event("inbox-perm", "codex", "permission_request", "Needs approval", "Run cmd", decisionAction("/tmp/inbox-d.json")),
       true, "permission_request with decision_file should enter inbox"},
      {taskStart("inbox-started"), false, "task_started should never enter inbox"},
      {contentCompletion("inbox-done"), true, "task_completed with content should enter inbox"},
      {turnBoundary("inbox-turn-boundary"), false, "codex agent-turn-complete (turn boundary) must not enter inbox"},
  };
  checkTable<bool>(failures, inbox, "InboxFilter test events missing", entersInbox);

  // Which of these the sound gate sounds.
  const PolicyCase<bool> sounds[] = {
      {event("snd-bypass", "codex", "permission_request", "Bypass perm", "Auto"), false,
       "bypassed permission should not trigger sound"},
      {event("snd-perm", "codex", "permission_request", "Needs approval", "Run cmd", decisionAction("/tmp/snd-d.json")),
       true, "real permission_request should trigger sound"},
      {taskStart("snd-started"), false, "task_started should not trigger sound"},
      {contentCompletion("snd-done"), true, "task_completed with content should trigger sound"},
  };
  checkTable<bool>(failures, sounds, "sound policy test events missing", triggersSound);
  const PolicyCase<bool> soundEdges[] = {
      {event("snd-waiting", "claude_code", "waiting_input", "Choose", "Pick one", std::nullopt, twoOptions), true,
       "waiting_input with options should trigger sound"},
      {event("snd-usage-limited", "codex", "task_updated", "Paused", "Usage limit reached", std::nullopt, usageLimited),
       false, "usage_limited task_updated should not trigger sound"},
  };
  checkTable<bool>(failures, soundEdges, "sound trigger edge case events missing", triggersSound);
}

}  // namespace tandrel
