#include "selfcheck/checks/tool_health_checks.h"

#include "catalog/tool_catalog.h"
#include "events/tandrel_event.h"
#include "hooks/hook_manager.h"
#include "platform/fake/fake_app_locator.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"

#include <QJsonObject>

#include <algorithm>

namespace tandrel {

namespace {

// A usage update carrying `usage`.
std::optional<TandrelEvent> usageEvent(const char* id, const QJsonObject& usage) {
  return TandrelEvent::fromDictionary(testEvent(QString::fromLatin1(id), QStringLiteral("claude_code"),
                                                QStringLiteral("task_updated"), QStringLiteral("info"),
                                                QStringLiteral("Claude Code usage updated"),
                                                QStringLiteral("Usage snapshot"), std::nullopt, usage));
}

std::optional<UsageMetric> contextOf(const TandrelEvent& event) {
  return event.usage ? event.usage->context : std::nullopt;
}

}  // namespace

void runContextUsageToolHealthAndPreviewChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  const auto check = [&](bool condition, const QString& message) { failures.check(condition, message); };

  const std::optional<TandrelEvent> percent = usageEvent(
      "context-percent-format", {{"context_used", "135.6k"}, {"context_total", "260k"}, {"context_percent", 52}});
  if (!percent) {
    check(false, QStringLiteral("context percent format fixture missing"));
  } else {
    const std::optional<UsageMetric> context = contextOf(*percent);
    check(context && context->suffix == QStringLiteral("52%"),
          QStringLiteral("context window percent suffix should not be wrapped in parentheses"));
  }
  const std::optional<TandrelEvent> large = usageEvent("large-context-format", {{"tool_id", "claude-code"},
                                                                                {"data_source", "statusline"},
                                                                                {"context_remaining", "85773"},
                                                                                {"context_total", "200000"},
                                                                                {"context_remaining_percent", 43}});
  if (!large) {
    check(false, QStringLiteral("large context format fixture missing"));
  } else {
    const std::optional<UsageMetric> context = contextOf(*large);
    check(context && context->label == QStringLiteral("85.8k / 200k"),
          QStringLiteral("large context window labels should use compact k units"));
  }

  const QStringList codexModels = {QStringLiteral("GPT-5.5-Codex"), QStringLiteral("GPT-5.4"), QStringLiteral("GPT-5.4 Mini")};
  check(codexModels.contains(defaultModel(QStringLiteral("codex-cli"))), QStringLiteral("default Codex CLI model should be selectable"));

  // A hook manager over an empty home of its own, on a machine where only Cursor is installed:
  // the rows read the same whatever this machine has, the previews show what a first
  // installation writes, and nothing reads the user's configuration.
  const QString home = scratchPath(tempRoot, QStringLiteral("tool-health-home"));
  FakeAppLocator machine;
  machine.files = {QStringLiteral("/Applications/Cursor.app")};
  machine.path = QString();
  const HookManager manager(HookPaths::forHome(home, home + QStringLiteral("/.config/opencode")), machine);
  const std::vector<ToolHealth> health = manager.health();
  QStringList ids;
  for (const ToolHealth& row : health) ids << row.id;
  check(ids == requiredToolIDs(), QStringLiteral("AI Tools health must expose product-grouped concrete tool entries"));
  const auto cursor = std::find_if(health.begin(), health.end(), [](const ToolHealth& row) { return row.id == u"cursor-ide"; });
  if (cursor == health.end()) {
    check(false, QStringLiteral("Cursor IDE health missing"));
  } else {
    check(cursor->status == HookStatus::alpha,
          QStringLiteral("Cursor IDE should be an installed Jump/Workspace adapter, not a wrapper-healthy CLI"));
    check(!cursor->path.contains(QStringLiteral("tandrel-wrap")), QStringLiteral("Cursor IDE path should not include the wrapper bridge"));
  }

  const auto preview = [&manager](const QString& id) { return manager.installationPreview(id).valueOr(QString()); };
  const QString codex = preview(QStringLiteral("codex-cli"));
  check(codex.contains(QStringLiteral("hooks = true")), QStringLiteral("Codex repair preview should enable the current hooks feature flag"));
  check(!codex.contains(QStringLiteral("+ [features] codex_hooks = true")) && !codex.contains(QStringLiteral("\n+codex_hooks = true")),
        QStringLiteral("Codex repair preview should not emit the deprecated codex_hooks feature flag"));
  check(codex.contains(QStringLiteral("hooks.json")), QStringLiteral("Codex repair preview should include hooks.json changes"));
  check(codex.contains(QStringLiteral("PermissionRequest")) && codex.contains(QStringLiteral("Stop")),
        QStringLiteral("Codex repair preview should install approval and completion hooks"));
  for (const char* id : {"cursor-agent-cli", "kilo-code", "pi", "cline", "roo-code", "factory-droid", "trae-solo",
                         "trae-agent-cli", "gemini-cli", "copilot-cli", "kimi-cli"}) {
    const QString text = preview(QString::fromLatin1(id));
    check(text.contains(QStringLiteral("tandrel-wrap")) && text.contains(QStringLiteral("--source ") + QString::fromLatin1(id)),
          QString::fromLatin1(id) + QStringLiteral(" wrapper preview should expose tandrel-wrap with the concrete source id"));
  }
  const QString opencode = preview(QStringLiteral("opencode-cli"));
  check(opencode.contains(QStringLiteral("OpenCode plugin")) && opencode.contains(QStringLiteral("tandrel.js")),
        QStringLiteral("OpenCode preview should expose the plugin install target"));
}

}  // namespace tandrel
