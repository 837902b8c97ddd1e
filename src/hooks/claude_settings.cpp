#include "hooks/claude_settings.h"

#include "hooks/codex_config.h"

#include <QJsonArray>

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

QJsonArray entriesOf(const QJsonObject& hooks, const QString& event) {
  const QJsonValue value = hooks.value(event);
  if (!value.isArray()) {
    return {};
  }
  const QJsonArray array = value.toArray();
  const bool allObjects =
      std::all_of(array.begin(), array.end(), [](const QJsonValue& v) { return v.isObject(); });
  return allObjects ? array : QJsonArray();
}

// The position of the first handler whose command contains `needle`.
std::optional<std::pair<int, int>> findHandler(const QJsonArray& entries, const QString& needle) {
  for (int i = 0; i < entries.size(); ++i) {
    const QJsonArray handlers = entries.at(i).toObject().value(kHooks).toArray();
    for (int j = 0; j < handlers.size(); ++j) {
      if (handlers.at(j).toObject().value(kCommand).toString().contains(needle)) {
        return std::make_pair(i, j);
      }
    }
  }
  return std::nullopt;
}

void appendEntry(QJsonObject& hooks, const QString& event, bool matchAll, QJsonObject handler) {
  QJsonArray entries = entriesOf(hooks, event);
  QJsonObject entry{{kHooks, QJsonArray{std::move(handler)}}};
  if (matchAll) {
    entry.insert(QStringLiteral("matcher"), QStringLiteral("*"));
  }
  entries.append(entry);
  hooks.insert(event, entries);
}

void appendClaudeHook(QJsonObject& hooks, const QString& event, bool matchAll,
                      const ClaudeHookCommands& commands) {
  if (findHandler(entriesOf(hooks, event), commands.eventCommandPath)) {
    return;
  }
  appendEntry(hooks, event, matchAll,
              {{QStringLiteral("type"), QStringLiteral("command")},
               {kCommand, commands.eventCommandPath + QStringLiteral(" --source claude_code")}});
}

void appendClosedLoopClaudeHook(QJsonObject& hooks, const QString& event, bool matchAll,
                                const ClaudeHookCommands& commands) {
  QJsonArray entries = entriesOf(hooks, event);
  if (const auto at = findHandler(entries, commands.claudeHookPath)) {
    // Ours already: only make sure that it carries the time-out.
    QJsonObject entry = entries.at(at->first).toObject();
    QJsonArray handlers = entry.value(kHooks).toArray();
    QJsonObject handler = handlers.at(at->second).toObject();
    if (handler.value(kTimeout) != QJsonValue(kGateTimeoutSeconds)) {
      handler.insert(kTimeout, kGateTimeoutSeconds);
      handlers.replace(at->second, handler);
      entry.insert(kHooks, handlers);
      entries.replace(at->first, entry);
      hooks.insert(event, entries);
    }
    return;
  }
  appendEntry(hooks, event, matchAll,
              {{QStringLiteral("type"), QStringLiteral("command")},
               {kCommand, commands.claudeHookPath},
               {kTimeout, kGateTimeoutSeconds}});
}

}  // namespace

QJsonObject plannedClaudeSettingsObject(QJsonObject settings, const ClaudeHookCommands& commands) {
  QJsonObject hooks = settings.value(kHooks).toObject();
  for (const char* event : kLifecycleEvents) {
    appendClaudeHook(hooks, QString::fromLatin1(event), false, commands);
  }
  for (const char* event : kToolEvents) {
    appendClaudeHook(hooks, QString::fromLatin1(event), true, commands);
  }
  for (const Gate& gate : kGates) {
    appendClosedLoopClaudeHook(hooks, QString::fromLatin1(gate.event), gate.matchAll, commands);
  }
  settings.insert(kHooks, hooks);

  QJsonObject statusLine = settings.value(QStringLiteral("statusLine")).toObject();
  statusLine.insert(QStringLiteral("type"), QStringLiteral("command"));
  statusLine.insert(kCommand, commands.claudeStatusLinePath);
  if (!statusLine.contains(QStringLiteral("refreshInterval"))) {
    statusLine.insert(QStringLiteral("refreshInterval"), 60);
  }
  settings.insert(QStringLiteral("statusLine"), statusLine);
  return settings;
}

std::optional<QJsonObject> claudeStatusLineChain(const QJsonObject& settings) {
  const QJsonValue statusLine = settings.value(QStringLiteral("statusLine"));
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
    const QJsonArray entries = entriesOf(hooks, QString::fromLatin1(gate.event));
    const auto at = findHandler(entries, commands.claudeHookPath);
    return at && entries.at(at->first)
                         .toObject()
                         .value(kHooks)
                         .toArray()
                         .at(at->second)
                         .toObject()
                         .value(kTimeout) == QJsonValue(kGateTimeoutSeconds);
  });
}

}  // namespace tandrel
