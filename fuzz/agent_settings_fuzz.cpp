// Claude Code's settings.json and Codex's hooks.json as the hook manager plans them: the plan
// installs our entries, planning it again changes nothing, and what is not ours stays.
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
  const QJsonObject settings = plannedClaudeSettingsObject(file, claude);
  FUZZ_CHECK(claudeGatesInstalled(settings, claude), text);
  FUZZ_CHECK(plannedClaudeSettingsObject(settings, claude) == settings, text);

  const CodexHookCommands codex{QStringLiteral("/h/.tandrel/bin/tandrel-event"),
                                QStringLiteral("/h/.tandrel/bin/tandrel-hook-codex")};
  const QJsonObject hooks = plannedCodexHooksObject(file, codex);
  FUZZ_CHECK(codexHooksInstalled(hooks, codex), text);
  FUZZ_CHECK(plannedCodexHooksObject(hooks, codex) == hooks, text);
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
