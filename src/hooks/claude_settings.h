#pragma once

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

// The settings with our entries added: the event writer on every lifecycle and tool event, the
// blocking client on "PermissionRequest" (matcher "*") and "Stop" with an explicit time-out, and
// our status line. Other keys and foreign entries stay; an entry that already runs our script
// stays where it is (a blocking entry gets the time-out when it lacks it). A `hooks` value that is
// not an object, or an event value that is not an array of objects, is replaced.
QJsonObject plannedClaudeSettingsObject(QJsonObject settings, const ClaudeHookCommands& commands);

// The user's own status line, to keep running after ours: the `statusLine` object when it has a
// string `command` that is not our script.
std::optional<QJsonObject> claudeStatusLineChain(const QJsonObject& settings);

// True when the settings run the blocking client on "PermissionRequest" and "Stop" with the
// time-out.
bool claudeGatesInstalled(const QJsonObject& settings, const ClaudeHookCommands& commands);

}  // namespace tandrel
