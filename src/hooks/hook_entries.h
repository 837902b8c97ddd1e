#pragma once

#include "base/result.h"

#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

// Our entries in an agent's JSON hooks object (`hooks` of Claude Code's settings.json and of
// Codex's hooks.json: event name -> array of entries, each {"matcher"?, "hooks": [handlers]}),
// added by editing the file's text so that everything else stays as the user wrote it.

namespace tandrel {

// `path` as one word of a shell command line: unchanged when it holds only characters no shell
// treats specially, else in single quotes (each "'" written '\''). Agents run hook commands
// through `sh -c`; a home folder with a space in it must not split the script's path.
QString shellWord(const QString& path);

// Whether `command` runs `script` followed by `arguments`, the script written as `shellWord` gives
// it. With `orUnquoted`, also when the script is written bare although it needs quotes (an entry
// of ours from before commands were quoted).
bool commandRunsScript(const QString& command, const QString& script, const QString& arguments,
                       bool orUnquoted = false);

// One handler of ours on one event.
struct HookEntryPlan {
  QString event;
  bool matchAll = false;  // the entry carries "matcher": "*"
  QString script;         // a handler is ours when its command runs this script …
  QString arguments;      // … followed by these words (" --source codex"), or "" for any
  QJsonObject handler;    // the handler added when the event has none of ours
  // Kept in step on a handler of ours that is already there.
  std::optional<int> timeout;
};

// The text with every plan in place. An event that already has a handler of ours keeps it where
// it is (its script's path is quoted when it was written bare, its time-out set when the plan has
// one); otherwise the entry goes after the event's other entries. Entries and values that are not
// hook entries stay where they are. A `hooks` value that is not an object or an event value that
// is not an array cannot be edited safely: an error names it, and no text is given.
Result<QString> plannedHookEntriesText(const QString& text, const std::vector<HookEntryPlan>& plans);

// The position of the first handler of `event` whose command runs the plan's script (see
// `commandRunsScript`): entry index and handler index.
std::optional<std::pair<int, int>> findOurHandler(const QJsonObject& hooks, const QString& event,
                                                  const QString& script, const QString& arguments,
                                                  bool orUnquoted);

}  // namespace tandrel
