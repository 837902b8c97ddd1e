#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

// Where the app and the agents keep their files, and a few string helpers every layer uses.
//
// Every location is a plain absolute file-system path (no trailing slash); "URL" in a name only
// says that the value names a place. Functions read the environment on every call, so tests can
// point them elsewhere with setenv.

namespace tandrel {

// The process-wide test-environment flag. The entry point computes it once at start-up and sets it
// before anything else runs; it is false until then. Only the five agent data roots below consult
// it (besides the subsystems that read it themselves).
bool isTestEnvironment();
void setTestEnvironment(bool on);

// The value of an environment variable that holds a path: set only when its value, trimmed of
// whitespace and newlines, is not empty; the trimmed value is returned.
std::optional<QString> environmentPath(const char* name);

// $XDG_DATA_HOME/Tandrel, or ~/.local/share/Tandrel when XDG_DATA_HOME is unset, blank or not an
// absolute path. Holds the bridge file, the action audit log and the jump diagnostics.
QString appSupportDirectory();

// TANDREL_EVENT_FILE when set (a leading "~" stands for the home folder), else
// appSupportDirectory() + "/events.jsonl".
QString eventFileURL();

// TANDREL_HOME when set, else ~/.tandrel (socket, approval audit log, usage files).
QString tandrelHomeURL();

// CODEX_HOME when set, else ~/.codex.
QString codexHomeURL();

// The folder of the app's own assets (sounds, pets, logos): TANDREL_RESOURCES_DIR when set, else
// share/tandrel beside the executable's folder (<root>/bin/tandrel -> <root>/share/tandrel). The
// build tree links build/share/tandrel to the sources' resources/, so a built binary finds them
// too.
QString resourcesDirectory();

// The default roots of the agents' own data. Each is the folder named by its variable when set;
// otherwise nothing in the test environment; otherwise the agent's usual folder:
//   codex sessions    TANDREL_CODEX_SESSIONS_DIR   ~/.codex/sessions
//   claude projects   TANDREL_CLAUDE_PROJECTS_DIR  ~/.claude/projects
//   cursor projects   TANDREL_CURSOR_PROJECTS_DIR  ~/.cursor/projects
//   trae trajectory   TANDREL_TRAE_TRAJECTORY_DIR  tandrelHomeURL()/usage/trae-agent
//   trae logs         TANDREL_TRAE_LOGS_DIR        traeLogsFolderChoice()
std::optional<QString> defaultCodexSessionsRootURL();
std::optional<QString> defaultClaudeProjectsRootURL();
std::optional<QString> defaultCursorProjectsRootURL();
std::optional<QString> defaultTraeTrajectoryRootURL();
std::optional<QString> defaultTraeLogsRootURL();

// The Trae log folders, in order of preference: "TRAE SOLO CN", "Trae SOLO", "Trae CN" and "Trae",
// each with "/logs", under $XDG_CONFIG_HOME (~/.config), where Electron apps keep their data.
QStringList traeLogsCandidates();
// Of the candidates that exist, the one modified last (the earlier candidate on equal dates; an
// unreadable date counts as the distant past); the first candidate when none exists.
QString traeLogsFolderChoice();

// OPENCODE_CONFIG_DIR when set, else $XDG_CONFIG_HOME/opencode when that is set, else
// ~/.config/opencode.
QString opencodeConfigRootURL();

// A text trimmed of whitespace and newlines, or nothing when it trims to empty.
std::optional<QString> nonEmptyString(const QString& value);
// The same for a JSON value; nothing for anything that is not a string (numbers are not
// converted).
std::optional<QString> nonEmptyString(const QJsonValue& value);

// The user's home folder ($HOME) with `relative` appended.
QString tilde(const QString& relative);

// `path` with the user's home folder written as "~" ("~/work/api", "~"); any other path, and a
// home folder of "/", unchanged.
QString homeAbbreviated(const QString& path);

// The last component of a path, or "Workspace" when that is empty.
QString basename(const QString& path);

// The UTF-8 bytes of `text` folded left to right as code = code << 8 | byte, from 0:
// fourCharCode("TDRL") has 'T' in the highest byte.
quint32 fourCharCode(const QString& text);

}  // namespace tandrel
