#include "hooks/claude_settings.h"

#include "hooks/codex_config.h"
#include "hooks/hook_entries.h"
#include "hooks/json_outline.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace tandrel {

namespace {

const char* const kLifecycleEvents[] = {"SessionStart", "UserPromptSubmit", "Notification",
                                        "TaskCreated",  "TaskCompleted",    "Stop",
                                        "StopFailure",  "SessionEnd"};
const char* const kToolEvents[] = {"PreToolUse", "PostToolUse", "PostToolUseFailure",
                                   "PermissionRequest"};
// Where Claude waits for the user: it fires PermissionRequest only where it would ask itself.
struct Gate {
  const char* event;
  bool matchAll;
};
constexpr Gate kGates[] = {{"PermissionRequest", true}, {"Stop", false}};

const QString kHooks = QStringLiteral("hooks");
const QString kCommand = QStringLiteral("command");
const QString kTimeout = QStringLiteral("timeout");
const QString kType = QStringLiteral("type");
const QString kStatusLine = QStringLiteral("statusLine");
const QString kRefreshInterval = QStringLiteral("refreshInterval");

std::vector<HookEntryPlan> claudePlans(const ClaudeHookCommands& commands) {
  const QJsonObject writer{{kType, QStringLiteral("command")},
                           {kCommand, shellWord(commands.eventCommandPath) + QStringLiteral(" --source claude_code")}};
  const QJsonObject gate{{kType, QStringLiteral("command")},
                         {kCommand, shellWord(commands.claudeHookPath)},
                         {kTimeout, kGateTimeoutSeconds}};
  std::vector<HookEntryPlan> plans;
  for (const char* event : kLifecycleEvents) {
    plans.push_back({QString::fromLatin1(event), false, commands.eventCommandPath, QString(), writer, std::nullopt});
  }
  for (const char* event : kToolEvents) {
    plans.push_back({QString::fromLatin1(event), true, commands.eventCommandPath, QString(), writer, std::nullopt});
  }
  for (const Gate& g : kGates) {
    plans.push_back({QString::fromLatin1(g.event), g.matchAll, commands.claudeHookPath, QString(), gate,
                     kGateTimeoutSeconds});
  }
  return plans;
}

}  // namespace

Result<QString> plannedClaudeSettingsText(const QString& settings, const ClaudeHookCommands& commands) {
  auto withHooks = plannedHookEntriesText(settings, claudePlans(commands));
  if (!withHooks) {
    return withHooks;
  }
  // The status line: ours, with the user's other keys and refresh interval kept.
  JsonTextEditor editor(withHooks.value());
  const QString command = shellWord(commands.claudeStatusLinePath);
  const QJsonValue statusLine = QJsonDocument::fromJson(editor.text().toUtf8()).object().value(kStatusLine);
  Result<void> edited;
  if (!statusLine.isObject()) {
    edited = editor.setMember({}, kStatusLine,
                              QJsonObject{{kType, QStringLiteral("command")}, {kCommand, command}, {kRefreshInterval, 60}});
  } else {
    const QJsonObject line = statusLine.toObject();
    if (line.value(kType) != QJsonValue(QStringLiteral("command"))) {
      edited = editor.setMember({kStatusLine}, kType, QStringLiteral("command"));
    }
    if (edited && line.value(kCommand) != QJsonValue(command)) {
      edited = editor.setMember({kStatusLine}, kCommand, command);
    }
    if (edited && !line.contains(kRefreshInterval)) {
      edited = editor.setMember({kStatusLine}, kRefreshInterval, 60);
    }
  }
  if (!edited) {
    return Result<QString>::failure(edited.error());
  }
  return editor.text();
}

std::optional<QJsonObject> claudeStatusLineChain(const QJsonObject& settings) {
  const QJsonValue statusLine = settings.value(kStatusLine);
  const QJsonValue command = statusLine.toObject().value(kCommand);
  if (!statusLine.isObject() || !command.isString() ||
      command.toString().contains(QLatin1String("tandrel-claude-statusline"))) {
    return std::nullopt;
  }
  return statusLine.toObject();
}

bool claudeGatesInstalled(const QJsonObject& settings, const ClaudeHookCommands& commands) {
  const QJsonObject hooks = settings.value(kHooks).toObject();
  return std::all_of(std::begin(kGates), std::end(kGates), [&](const Gate& gate) {
    const QString event = QString::fromLatin1(gate.event);
    const auto at = findOurHandler(hooks, event, commands.claudeHookPath, QString(), false);
    return at && hooks.value(event)
                         .toArray()
                         .at(at->first)
                         .toObject()
                         .value(kHooks)
                         .toArray()
                         .at(at->second)
                         .toObject()
                         .value(kTimeout) == QJsonValue(kGateTimeoutSeconds);
  });
}

bool claudeHooksInstalled(const QJsonObject& settings, const ClaudeHookCommands& commands) {
  const QJsonObject hooks = settings.value(kHooks).toObject();
  bool writes = false;
  for (auto it = hooks.begin(); it != hooks.end() && !writes; ++it) {
    writes = findOurHandler(hooks, it.key(), commands.eventCommandPath, QString(), false).has_value();
  }
  const QJsonValue line = settings.value(kStatusLine).toObject().value(kCommand);
  return writes && line.isString() &&
         commandRunsScript(line.toString(), commands.claudeStatusLinePath, QString()) &&
         claudeGatesInstalled(settings, commands);
}

}  // namespace tandrel
