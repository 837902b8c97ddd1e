#include "selfcheck/checks/companion_status_checks.h"

#include "attention/companion_status.h"
#include "events/tandrel_event.h"
#include "selfcheck/fixture_builders.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <optional>
#include <vector>

namespace tandrel {

namespace {

QJsonObject event(const char* id, const char* type, const char* title, const char* message, const QJsonObject& extra = {},
                  const char* source = "codex", const char* severity = "info",
                  const std::optional<QJsonObject>& action = std::nullopt) {
  return testEvent(QString::fromLatin1(id), QString::fromLatin1(source), QString::fromLatin1(type),
                   QString::fromLatin1(severity), QString::fromLatin1(title), QString::fromLatin1(message), action,
                   std::nullopt, std::nullopt, extra);
}

// Extra keys: a session and a time, "2026-05-09T02:<minute>:00Z".
QJsonObject at(int minute, const char* session = "companion-session") {
  return {{QStringLiteral("session_id"), QString::fromLatin1(session)},
          {QStringLiteral("timestamp"), QStringLiteral("2026-05-09T02:%1:00Z").arg(minute, 2, 10, QLatin1Char('0'))}};
}

QJsonObject with(QJsonObject extra, const char* key, const QJsonValue& value) {
  extra.insert(QString::fromLatin1(key), value);
  return extra;
}

}  // namespace

void runCompanionStatusChecks(SelfCheckFailures& failures) {
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  const QJsonArray choices{QJsonObject{{QStringLiteral("id"), QStringLiteral("a")}, {QStringLiteral("label"), QStringLiteral("Keep")}},
                           QJsonObject{{QStringLiteral("id"), QStringLiteral("b")}, {QStringLiteral("label"), QStringLiteral("Revert")}}};
  // Older and newer events of two tasks: the "companion-…" ids of the table, and the rate limit,
  // tool call and usage-only reading under ids of their own.
  const std::vector<QJsonObject> records = {
      event("companion-approval", "permission_request", "Codex needs approval", "Approve command", {}, "codex", "info",
            QJsonObject{{QStringLiteral("kind"), QStringLiteral("shell")}, {QStringLiteral("command"), QStringLiteral("npm test")}}),
      event("companion-waiting", "waiting_input", "Claude needs input", "Keep the change?",
            {{QStringLiteral("options"), choices}}, "claude_code"),
      event("companion-started", "task_started", "Codex started", "Planning changes"),
      event("companion-working", "working", "Running", "Working"),
      event("companion-completed", "task_completed", "Codex completed", "All tests passed", {}, "codex", "success"),
      event("companion-failed", "task_failed", "Failed", "Tests failed", {}, "codex", "critical"),
      event("companion-rate-limit", "rate_limited", "Rate limited", "Usage limit reached", {}, "codex", "warning"),
      event("companion-tool-call", "tool_call", "Read", "Reading"),
      event("companion-update", "task_updated", "Codex running tool", "Running tests",
            {{QStringLiteral("status"), QStringLiteral("running_tool")}}),
      event("companion-older-started", "task_started", "Codex started", "Planning changes", at(1)),
      event("companion-newer-update", "task_updated", "Codex running tool", "Running tests",
            with(at(2), "status", QStringLiteral("running_tool"))),
      event("companion-usage-only", "task_updated", "Quota", "5h 42%",
            {{QStringLiteral("notify_policy"), QStringLiteral("usage_only")}}),
      event("companion-stale-finished", "task_completed", "Codex completed", "All tests passed", at(3, "finished-then-working"),
            "codex", "success"),
      event("companion-new-working", "working", "Running", "Next task", at(4, "finished-then-working")),
      event("companion-stale-working", "working", "Old work", "Refactoring", at(5, "working-then-finished")),
      event("companion-new-finished", "task_completed", "Codex completed", "Refactor finished", at(6, "working-then-finished"),
            "codex", "success"),
  };
  QMap<QString, TandrelEvent> events;
  for (const QJsonObject& record : records) {
    const std::optional<TandrelEvent> parsed = TandrelEvent::fromDictionary(record);
    if (!parsed) {
      check(false, "companion status policy events missing");
      return;
    }
    events.insert(parsed->id, *parsed);
  }
  const auto item = [&](const std::vector<const char*>& ids) {
    std::vector<TandrelEvent> list;
    for (const char* id : ids) list.push_back(events.value(QString::fromLatin1(id)));
    return companionStatusItem(list);
  };
  // No item when `kind` is empty.
  const auto itemIs = [](const std::optional<CompanionStatusItem>& item, std::optional<CompanionStatusKind> kind) {
    return kind ? item && item->kind == *kind : !item;
  };

  using Kind = CompanionStatusKind;
  const struct {
    std::vector<const char*> ids;
    std::optional<Kind> kind;
    const char* message;
  } rows[] = {
      {{"companion-approval"}, Kind::approval, "companion should surface permission requests"},
      {{"companion-waiting"}, Kind::approval, "companion should surface choice prompts"},
      {{"companion-started"}, Kind::working, "companion should surface task start as working"},
      {{"companion-working"}, Kind::working, "companion should surface active working events"},
      {{"companion-completed"}, Kind::finished, "companion should surface completed tasks"},
      {{"companion-failed"}, std::nullopt, "companion should suppress failed task/tool events"},
      {{"companion-rate-limit"}, std::nullopt, "companion should suppress rate-limit noise"},
      {{"companion-tool-call"}, std::nullopt, "companion should suppress tool calls"},
      {{"companion-update"}, Kind::working, "companion should surface task update events as working"},
      {{"companion-older-started", "companion-newer-update"}, Kind::working,
       "companion should surface lifecycle update sequences as working"},
      {{"companion-usage-only"}, std::nullopt, "companion should suppress usage-only updates"},
  };
  for (const auto& row : rows) check(itemIs(item(row.ids), row.kind), row.message);

  const std::optional<CompanionStatusItem> mixed = item({"companion-approval", "companion-working", "companion-completed"});
  check(mixed && mixed->event.id == u"companion-approval", "companion approval should outrank working and finished states");
  // An agent that finished a task and started the next one is working; one that finished the
  // task it worked on is finished.
  check(itemIs(item({"companion-stale-finished", "companion-new-working"}), Kind::working),
        "newer working status should outrank stale finished status");
  check(itemIs(item({"companion-stale-working", "companion-new-finished"}), Kind::finished),
        "new finished companion status should outrank stale working status");
}

}  // namespace tandrel
