#pragma once

#include "base/result.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// Claude Code's settings file: our hooks and status line merged into the user's settings. Pure
// functions over the parsed file; the hook manager reads and writes it.

namespace tandrel {

struct ClaudeHookCommands {
  QString eventCommandPath;      // tandrel-event
  QString claudeHookPath;        // tandrel-hook-claude
  QString claudeStatusLinePath;  // tandrel-claude-statusline
};

// The settings text with our entries added: the event writer on every lifecycle and tool event,
// the blocking client on "PermissionRequest" (matcher "*") and "Stop" with an explicit time-out,
// and our status line. The text is edited in place (see `plannedHookEntriesText`): the user's
// keys, their order, the indentation and every other value stay as written. An entry that
// already runs our script stays where it is (a blocking entry gets the time-out when it lacks
// it). An error, and no text, for settings that cannot be edited safely: not a JSON object, a
// `hooks` value that is not an object, an event value that is not an array.
Result<QString> plannedClaudeSettingsText(const QString& settings, const ClaudeHookCommands& commands);

// The user's own status line, to keep running after ours: the `statusLine` object when it has a
// string `command` that is not our script.
std::optional<QJsonObject> claudeStatusLineChain(const QJsonObject& settings);

// True when the settings run the blocking client on "PermissionRequest" and "Stop" with the
// time-out.
bool claudeGatesInstalled(const QJsonObject& settings, const ClaudeHookCommands& commands);

// True when the gates are installed, some event runs the event writer and the status line is
// ours, each command written so that the shell runs it (see `shellWord`).
bool claudeHooksInstalled(const QJsonObject& settings, const ClaudeHookCommands& commands);

}  // namespace tandrel
