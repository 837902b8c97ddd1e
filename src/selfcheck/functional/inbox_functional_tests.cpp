#include "selfcheck/functional/inbox_functional_tests.h"

#include "events/event_store.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

namespace {

QJsonObject record(const char* id, const char* source, const char* type, const char* severity, const char* title,
                   const char* message, const std::optional<QJsonObject>& action = std::nullopt,
                   const QJsonObject& extra = {}) {
  return testEvent(QString::fromLatin1(id), QString::fromLatin1(source), QString::fromLatin1(type),
                   QString::fromLatin1(severity), QString::fromUtf8(title), QString::fromUtf8(message), action,
                   std::nullopt, std::nullopt, extra);
}

QJsonObject session(const char* id) { return {{QStringLiteral("session_id"), QString::fromLatin1(id)}}; }

QSet<QString> cardEventIDs(EventStore& store, bool everyEvent) {
  store.ensureMessageCache();
  QSet<QString> ids;
  for (const IslandMessage& message : store.cachedAllMessages()) {
    if (!everyEvent) {
      ids.insert(message.event.id);
      continue;
    }
    for (const TandrelEvent& event : message.events) ids.insert(event.id);
  }
  return ids;
}

}  // namespace

bool eventStoreReadIgnoreStateFunctionalTest(const QString& tempRoot) {
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("read-ignore-events.jsonl"));
  const QString jumpFolder = scratchPath(tempRoot, QStringLiteral("read-ignore-jump-target"));
  QDir().mkpath(jumpFolder);
  const std::vector<QJsonObject> records = {
      record("read-state-message", "codex", "task_completed", "info", "Codex completed", "Ready to read", std::nullopt,
             session("read-state-session")),
      record("ignore-state-message", "claude_code", "task_completed", "info", "Claude completed", "Ready to ignore",
             std::nullopt, session("ignore-state-session")),
      record("jump-state-message", "codex", "task_completed", "info", "Codex completed", "Ready to jump", std::nullopt,
             {{QStringLiteral("session_id"), QStringLiteral("jump-state-session")}, {QStringLiteral("jump_target"), jumpFolder}}),
      record("approval-read-message", "codex", "permission_request", "warning", "Codex needs approval",
             "Approve this request",
             QJsonObject{{QStringLiteral("kind"), QStringLiteral("shell")},
                         {QStringLiteral("decision_file"), scratchPath(tempRoot, QStringLiteral("approval-read-decision.json"))}},
             session("approval-read-session")),
  };
  const QStringList ids{"read-state-message", "ignore-state-message", "jump-state-message", "approval-read-message"};
  const QStringList roles{"mark_read", "ignore", "jump", "authorize"};
  if (!writeJSONLines(records, eventFile)) return false;

  EventStoreOptions options = storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("read-ignore-audit.jsonl")));
  options.jumpOpener = [](const ResolvedJumpTarget&) { return true; };
  EventStore store(options);
  store.reload(false);
  store.ensureMessageCache();
  std::vector<IslandMessage> messages;
  for (const QString& id : ids) {
    const auto& cards = store.cachedAllMessages();
    const auto found = std::find_if(cards.begin(), cards.end(), [&](const IslandMessage& card) { return card.event.id == id; });
    if (found == cards.end()) return false;
    messages.push_back(*found);
  }
  const auto results = std::make_shared<std::vector<std::optional<ActionResult>>>(messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    store.perform(roles[int(i)], messages[i], [results, i](ActionResult result) { (*results)[i] = std::move(result); });
  }
  // The Jump's result comes back from the jump thread.
  const auto allDone = [results] {
    return std::all_of(results->begin(), results->end(), [](const auto& result) { return result.has_value(); });
  };
  if (!waitOnEventLoop(allDone, 5.0)) return false;
  const bool allSucceeded = std::all_of(results->begin(), results->end(), [](const auto& result) { return result->succeeded; });
  const QSet<QString> left = cardEventIDs(store, false);
  const bool allLeft = std::none_of(ids.begin(), ids.end(), [&](const QString& id) { return left.contains(id); });
  const bool jumpedRead = store.isReadForTests(QStringLiteral("jump-state-message"));
  const bool approvedRead = jumpedRead && store.isReadForTests(QStringLiteral("approval-read-message"));

  if (!store.clearHistory() || !writeJSONLines(records, eventFile)) return false;
  store.reload(false);
  const QSet<QString> back = cardEventIDs(store, false);
  return allSucceeded && allLeft && jumpedRead && approvedRead &&
         std::all_of(ids.begin(), ids.end(), [&](const QString& id) { return back.contains(id); });
}

bool eventStoreMessageReminderAdmissionFunctionalTest(const QString& tempRoot) {
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("message-reminder-admission-events.jsonl"));
  const QJsonArray choices{QJsonObject{{QStringLiteral("id"), QStringLiteral("ship")}, {QStringLiteral("label"), QStringLiteral("Ship")}},
                           QJsonObject{{QStringLiteral("id"), QStringLiteral("revise")}, {QStringLiteral("label"), QStringLiteral("Revise")}}};
  const QJsonObject agentTurn{{QStringLiteral("raw_event_name"), QStringLiteral("agent-turn-complete")}};
  const auto with = [](QJsonObject extra, std::initializer_list<std::pair<const char*, QJsonValue>> entries) {
    for (const auto& [key, value] : entries) extra.insert(QString::fromLatin1(key), value);
    return extra;
  };
  const std::vector<QJsonObject> records = {
      record("admission-permission", "codex", "permission_request", "info", "Codex needs approval", "Approve shell command",
             QJsonObject{{QStringLiteral("kind"), QStringLiteral("shell")}, {QStringLiteral("risk"), QStringLiteral("low")}}),
      record("admission-choice", "claude_code", "waiting_input", "info", "Pick an option", "Choose next step", std::nullopt,
             {{QStringLiteral("options"), choices},
              {QStringLiteral("response"),
               QJsonObject{{QStringLiteral("response_file"), scratchPath(tempRoot, QStringLiteral("admission-choice-response.json"))}}}}),
      record("admission-completed", "codex", "task_completed", "info", "Codex completed", "Main task finished"),
      record("admission-subagent-completed", "codex", "task_completed", "info", "Codex CLI completed",
             "Read-only pass complete.", std::nullopt,
             with(agentTurn, {{"completion_snippet", QStringLiteral("Read-only pass complete.")},
                              {"preview", QJsonObject{{QStringLiteral("user"), QStringLiteral("Read-only investigation in /tmp/tandrel.")},
                                                      {QStringLiteral("agent"), QStringLiteral("Read-only pass complete.")}}}})),
      record("admission-codex-turn-noise", "codex", "task_completed", "info", "Codex CLI turn",
             "### Strengths · max-duration fix works", std::nullopt,
             with(agentTurn, {{"preview", QJsonObject{{QStringLiteral("user"), QStringLiteral("You are re-reviewing Task 4 code quality after fixes.")},
                                                      {QStringLiteral("agent"), QStringLiteral("### Strengths · Prior max-duration issue is fixed")}}}})),
      record("admission-process-completed", "claude_code", "task_completed", "info", "Claude Code completed a task",
             "Lifecycle event captured locally.", std::nullopt, {{QStringLiteral("raw_event_name"), QStringLiteral("TaskCompleted")}}),
      record("admission-session-ended", "claude_code", "task_completed", "info", "Claude Code session ended",
             "Lifecycle event captured locally.", std::nullopt, {{QStringLiteral("raw_event_name"), QStringLiteral("SessionEnd")}}),
      record("admission-waiting-no-choice", "claude_code", "waiting_input", "info", "Claude asks for text", "Free-form input"),
      record("admission-tool-failed", "codex", "tool_call", "critical", "Tool call failed", "Tool invocation failed",
             std::nullopt, {{QStringLiteral("status"), QStringLiteral("failed")}}),
      record("admission-task-failed", "codex", "task_failed", "critical", "Codex failed", "A sub-step failed"),
      record("admission-running", "codex", "task_updated", "info", "Codex running", "Still working"),
      record("admission-integration", "codex", "integration_notice", "info", "Setup needed", "Bridge warning"),
      record("admission-usage", "codex", "task_updated", "info", "Usage", "Usage update", std::nullopt,
             {{QStringLiteral("notify_policy"), QStringLiteral("usage_only")}}),
  };
  if (!writeJSONLines(records, eventFile)) return false;
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, QStringLiteral("message-reminder-admission-audit.jsonl"))));
  store.reload(false);
  const QSet<QString> admitted = cardEventIDs(store, true);
  const std::optional<CompanionStatusItem>& status = store.companionStatus();
  store.ensureMessageCache();
  return admitted == QSet<QString>{"admission-permission", "admission-choice", "admission-completed",
                                   "admission-subagent-completed"} &&
         store.cachedApprovalCount() == 2 && status && status->event.id == u"admission-permission";
}

}  // namespace tandrel
