// Claude Code's settings.json and Codex's hooks.json as the hook manager plans them: the plan
// installs our entries or refuses a hooks value of the wrong kind, planning it again changes
// nothing, and what is not ours stays.
#include "fuzz_target.h"

#include "hooks/claude_settings.h"
#include "hooks/codex_config.h"

#include <QJsonDocument>
#include <QJsonObject>

TANDREL_FUZZ_TARGET(agent_settings) {
  using namespace tandrel;
  const QJsonDocument document = QJsonDocument::fromJson(fuzz::bytes(data, size));
  if (!document.isObject()) {
    return 0;
  }
  const QJsonObject file = document.object();
  const QString text = QString::fromUtf8(document.toJson(QJsonDocument::Compact));

  const ClaudeHookCommands claude{QStringLiteral("/h/.tandrel/bin/tandrel-event"),
                                  QStringLiteral("/h/.tandrel/bin/tandrel-hook-claude"),
                                  QStringLiteral("/h/.tandrel/bin/tandrel-claude-statusline")};
  if (const auto chain = claudeStatusLineChain(file)) {
    FUZZ_CHECK(!chain->value(QStringLiteral("command")).toString().contains(claude.claudeStatusLinePath),
               text);
  }
  // The plans edit the text; they refuse only a `hooks` that is not an object of arrays.
  const QJsonValue userHooks = file.value(QStringLiteral("hooks"));
  bool editable = userHooks.isUndefined() || userHooks.isObject();
  for (const QJsonValue& event : userHooks.toObject()) {
    editable = editable && event.isArray();
  }
  const auto parsed = [](const QString& planned) { return QJsonDocument::fromJson(planned.toUtf8()).object(); };

  const auto claudeText = plannedClaudeSettingsText(text, claude);
  FUZZ_CHECK(claudeText.ok() == editable, text);
  const CodexHookCommands codex{QStringLiteral("/h/.tandrel/bin/tandrel-event"),
                                QStringLiteral("/h/.tandrel/bin/tandrel-hook-codex")};
  const auto codexText = plannedCodexHooksText(text, codex);
  FUZZ_CHECK(codexText.ok() == editable, text);
  if (!editable) {
    return 0;
  }
  const QJsonObject settings = parsed(claudeText.value());
  FUZZ_CHECK(claudeGatesInstalled(settings, claude), text);
  FUZZ_CHECK(plannedClaudeSettingsText(claudeText.value(), claude).value() == claudeText.value(), text);

  const QJsonObject hooks = parsed(codexText.value());
  FUZZ_CHECK(codexHooksInstalled(hooks, codex), text);
  FUZZ_CHECK(plannedCodexHooksText(codexText.value(), codex).value() == codexText.value(), text);
  FUZZ_CHECK(ourCodexHookHandlers(hooks, codex).size() >= 5, text);

  for (auto it = file.begin(); it != file.end(); ++it) {
    if (it.key() != QLatin1String("hooks")) {
      FUZZ_CHECK(hooks.value(it.key()) == it.value(), text);
      if (it.key() != QLatin1String("statusLine")) {
        FUZZ_CHECK(settings.value(it.key()) == it.value(), text);
      }
    }
  }
  return 0;
}
