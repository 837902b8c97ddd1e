#pragma once

#include "jump/jump_target.h"
#include "jump/terminal_launchers.h"
#include "platform/app_locator.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// Opening resolved Jumps on this desktop: xdg-open for links, files and folders (never executing a
// file), terminal launchers for folders, command-line focus for tmux, WezTerm and kitty panes,
// X11 window activation, and the cmux command-line tool.
//
// Every opener blocks its calling thread while a child runs (each child at most
// kChildProcessTimeout): call them from a worker thread. The event store and the jump router do.
// Each returns whether it opened and, on failure, leaves a one-line reason in lastJumpOpenError();
// each attempt is written to the jump diagnostics file.

namespace tandrel {

class WindowActivator;

// The outcome of one child process.
struct CapturedProcessResult {
  bool success = false;  // exited with status 0
  qint32 exitCode = -1;  // -1 when it could not be started or did not exit
  QString standardOutput;
  QString standardError;
  std::optional<QString> launchError;  // why it did not start, or "timed out"

  bool operator==(const CapturedProcessResult&) const = default;
};

class JumpOpeners {
 public:
  static constexpr std::chrono::milliseconds kChildProcessTimeout{10'000};
  // How long xdg-open is watched for a failure before it counts as having opened.
  static constexpr std::chrono::milliseconds kDesktopOpenerWindow{3'000};

  // The cmux strategies, in the order they are tried.
  static inline const QString kDirectStrategy = QStringLiteral("direct");
  static inline const QString kShellDetachedStrategy = QStringLiteral("shell_detached");
  static inline const QString kLoginShellStrategy = QStringLiteral("login_shell");

  // ---- Test seams (process-wide; set them before the openers run and reset them after) ----
  // Replaces starting any child process; receives (command, arguments, working folder).
  static inline std::function<CapturedProcessResult(const QString&, const QStringList&, const std::optional<QString>&)>
      runDetachedCommandCapturingOverrideForTests;
  // Replaces one cmux strategy attempt; receives (strategy name, cmux arguments).
  static inline std::function<CapturedProcessResult(const QString&, const QStringList&)> openCmuxStrategyOverrideForTests;
  // Replaces activating the cmux application.
  static inline std::function<bool()> openCmuxActivateFallbackOverrideForTests;
  // Replaces finding the cmux CLI (the explicit path below wins over it).
  static inline std::function<std::optional<QString>()> cmuxExecutablePathLookupOverrideForTests;
  static inline std::optional<QString> cmuxExecutablePathOverrideForTests;
  // Replaces the desktop's window activation.
  static inline const WindowActivator* windowActivatorOverrideForTests = nullptr;

  // The reason of the last failed open on the calling thread (each thread has its own, so that
  // jumps running at once keep their own reasons); cleared by a successful cmux open.
  static std::optional<QString> lastJumpOpenError();
  static void setLastJumpOpenError(std::optional<QString> error);

  // Opens one resolved target by its kind; a target marked unavailable is not opened.
  static bool defaultJumpOpener(const ResolvedJumpTarget& target);

  // Focuses a cmux window or workspace through the CLI's strategy chain.
  static bool openCmux(const std::optional<QString>& sessionID, const std::optional<QString>& windowID,
                       const std::optional<QString>& cwd);
  // Focuses an exact terminal window, tab or pane: tmux (focusTmux), WezTerm and kitty through
  // their command lines (kitty through `socket`, its remote-control address; without remote
  // control its window comes forward as below), any other terminal through its X11 window id, else
  // the window of the agent's process `processID` or its nearest ancestor that owns one. iTerm2
  // and Terminal do not exist here.
  static bool focusTerminalWindow(const QString& terminal, const std::optional<QString>& windowID,
                                  const std::optional<QString>& tabID, const std::optional<QString>& sessionID,
                                  const std::optional<QString>& cwd, const std::optional<QString>& socket = std::nullopt,
                                  const std::optional<QString>& processID = std::nullopt);
  // Shows a tmux pane, window or session (`target`) of the server on `socket` (the default server
  // without one): a client attached to its session, else any client switched to it, selects its
  // window and pane, and the terminal window showing that client (the client's nearest ancestor
  // process that owns a window) comes to the front. Fails when tmux fails or no client is attached.
  static bool focusTmux(const QString& target, const std::optional<QString>& socket, const QJsonObject& context);
  // Opens an existing folder, text or picture with its default application; any other file shows
  // the folder that holds it.
  static bool openExistingSource(const QString& path);
  // Opens a folder in the terminal (or editor) `terminal` names, or the user's terminal for none.
  static bool openTerminalCwd(const QString& cwd, const std::optional<QString>& terminal);
  // Opens a URL, a file or a folder with the desktop's default handler, never executing a file:
  // only folders, text and pictures open as themselves; any other file (executables, desktop
  // entries, AppImages, scripts, archives) shows its folder instead.
  static bool openWithDesktop(const QString& urlOrPath, QString* error);

  // The command that opens `cwd` in the terminal `terminal` names when it is one of the terminal
  // launchers, else (no terminal, or any other name) in the user's terminal; nothing when none is
  // found.
  static std::optional<LaunchCommand> terminalOpenArguments(const QString& cwd, const std::optional<QString>& terminal);
  // The command of a desktop entry's Exec line with `target` in place of its file or URL field
  // code, or appended when it has none; other field codes are dropped. Nothing for an empty Exec.
  static std::optional<LaunchCommand> desktopEntryCommand(const DesktopEntry& entry,
                                                          const std::optional<QString>& target);
  // Whether a failed terminal open may show the folder in the file manager instead (editors may not).
  static bool terminalAllowsFinderFallback(const std::optional<QString>& terminal);

  // The cmux CLI: the explicit override, else the lookup override, else "cmux" on PATH.
  static std::optional<QString> cmuxExecutablePath();
  // Not available on this platform (there is no cmux app to bring forward), unless a test replaces it.
  static bool activateCmuxApp();
  // ["focus-window", "--window", W] with a window id, then ["select-workspace", "--workspace", S]
  // with a session id.
  static std::vector<QStringList> cmuxPreciseCommandArguments(const std::optional<QString>& sessionID,
                                                              const std::optional<QString>& windowID);
  // Runs one cmux call through "direct", "shell_detached" and "login_shell"; the error detail names
  // every failed strategy.
  static std::pair<bool, std::optional<QString>> runCmuxStrategyChain(const QString& command,
                                                                      const QStringList& arguments,
                                                                      const QJsonObject& stageContext);

  // "nohup 'cmd' 'arg' … >/dev/null 2>&1 </dev/null & wait $!; exit $?".
  static QString buildShellDetachedScript(const QString& command, const QStringList& arguments);
  // Single quotes around the text, each "'" written as '\''.
  static QString shellQuote(const QString& text);
  // The user's login shell (from the password database), else "/bin/sh".
  static QString loginShell();

  // Runs a child to its end (at most kChildProcessTimeout; then its group is killed and the result
  // says "timed out"). A command without "/" runs through "/usr/bin/env".
  static CapturedProcessResult runDetachedCommandCapturing(const QString& command, const QStringList& arguments,
                                                           const std::optional<QString>& cwd);
  // Starts a child and, with `waitForExit`, waits for its exit (true for status 0); without, starts
  // it detached (true when it could be executed). The reason of a failure goes to `error`.
  static bool runDetachedCommand(const QString& command, const QStringList& arguments, const std::optional<QString>& cwd,
                                 bool waitForExit, QString* error = nullptr);

  static const WindowActivator& windowActivator();
};

}  // namespace tandrel
