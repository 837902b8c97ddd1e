#include "selfcheck/functional/jump_resolver_functional_tests.h"

#include "jump/jump_openers.h"
#include "jump/jump_resolver.h"
#include "platform/fake/fake_window_activator.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/jump_check_support.h"
#include "selfcheck/harness.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace tandrel {

namespace {

// What a check compares of a resolved target; a field left empty is not compared.
struct ResolvedExpectation {
  bool available = false;
  std::optional<QString> label;
  std::optional<std::optional<QString>> reason;
  std::optional<JumpQuality> quality;
  std::optional<ResolvedJumpAction> action;
  std::optional<JumpTarget> target;
};

bool matches(const ResolvedJumpTarget& resolved, const ResolvedExpectation& expected) {
  return resolved.available == expected.available && (!expected.label || resolved.label == *expected.label) &&
         (!expected.reason || resolved.reason == *expected.reason) &&
         (!expected.quality || resolved.quality == *expected.quality) &&
         (!expected.action || resolved.action == *expected.action) &&
         (!expected.target || resolved.target == *expected.target);
}

// One command a Jump opener asked to run.
struct Invocation {
  QString command;
  QStringList arguments;
  bool operator==(const Invocation&) const = default;
};

}  // namespace

bool jumpResolverFunctionalTest(const QString& tempRoot) {
  const QString workspace = scratchPath(tempRoot, QStringLiteral("workspace"));
  const QString readme = workspace + QStringLiteral("/README.md");
  const QString missing = workspace + QStringLiteral("/missing.md");
  const QString tool = scratchPath(tempRoot, QStringLiteral("jump-tool"));
  const QString text = scratchPath(tempRoot, QStringLiteral("jump-tool.txt"));
  // Failures here are left to the expectations below.
  QDir().mkpath(workspace);
  (void)writeFileAtomically("hello", readme);
  (void)writeFileAtomically("#!/bin/sh\nexit 0\n", tool);
  (void)writeFileAtomically("not executable", text);
  QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
  QFile::setPermissions(text, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);

  const JumpResolver resolver = listedJumpResolver(
      [](const QString& command) {
        return command == QLatin1String("codex") || command == QLatin1String("cmux") ||
               command.endsWith(QLatin1String("/cmux"));
      },
      onlyFor({QStringLiteral("/Applications/Codex.app"), QStringLiteral("/Applications/cmux.app")}),
      onlyFor({QStringLiteral("com.example.BundleApp"), QStringLiteral("com.cmuxterm.app"),
               QStringLiteral("com.googlecode.iterm2")}),
      onlyFor({QStringLiteral("session-1")}));

  using Q = JumpQuality;
  using A = ResolvedJumpAction;
  const auto none = std::nullopt;
  const QString bundleApp = QStringLiteral("com.example.BundleApp");
  const auto refusedLink = [](const JumpTarget& target) {
    return std::pair{target, ResolvedExpectation{false, QStringLiteral("Configure"),
                                                 std::optional<QString>(QStringLiteral("URL scheme is not allowed.")),
                                                 Q::unavailable, A::configure, std::nullopt}};
  };
  const auto link = [](const QString& url, JumpQuality quality) {
    return std::pair{JumpTarget::url(url), ResolvedExpectation{true, QStringLiteral("Open link"), std::nullopt, quality,
                                                               A::openURL, std::nullopt}};
  };
  const std::vector<std::pair<JumpTarget, ResolvedExpectation>> rows{
      {JumpTarget::cmux(QStringLiteral("session-1"), none, workspace),
       {true, none, none, Q::sessionLevel, A::openCmux, JumpTarget::cmux(QStringLiteral("session-1"), none, workspace)}},
      {JumpTarget::cmux(QStringLiteral("missing"), none, workspace),
       {false, none, none, none, A::configure, JumpTarget::cmux(QStringLiteral("missing"), none, workspace)}},
      {JumpTarget::cmux(none, none, workspace),
       {true, none, none, Q::workspaceLevel, A::openCmux, JumpTarget::cmux(none, none, workspace)}},
      {JumpTarget::cli(QStringLiteral("missing-cli"), {}, workspace),
       {false, QStringLiteral("Configure"), std::optional<QString>(QStringLiteral("CLI command is not available.")),
        Q::unavailable, A::configure, none}},
      {JumpTarget::file(readme, 2),
       {true, QStringLiteral("Open file"), std::optional<QString>(), Q::workspaceLevel, A::openFile, none}},
      link(QStringLiteral("conductor://workspace/session-1"), Q::sessionLevel),
      link(QStringLiteral("cmux://workspace/session-1"), Q::sessionLevel),
      link(QStringLiteral("iterm2://open?profile=Default"), Q::sessionLevel),
      refusedLink(JumpTarget::url(QStringLiteral("x-tandrel-unsafe://open"))),
      refusedLink(JumpTarget::url(QStringLiteral("https:foo"))),
      refusedLink(JumpTarget::url(QStringLiteral("https://"))),
      refusedLink(JumpTarget::url(QStringLiteral("file:relative"))),
      refusedLink(JumpTarget::url(QUrl::fromLocalFile(missing).toString())),
      link(QUrl::fromLocalFile(readme).toString(), Q::workspaceLevel),
      {JumpTarget::terminalCwd(readme, none),
       {false, QStringLiteral("Configure"), std::optional<QString>(QStringLiteral("Workspace folder does not exist.")),
        Q::unavailable, A::configure, none}},
      {JumpTarget::app(bundleApp, none, none), {true, none, none, none, A::openApp, none}},
      {JumpTarget::app(bundleApp, QStringLiteral("/Applications/MissingBundleApp.app"), none),
       {true, none, none, none, none, JumpTarget::app(bundleApp, none, none)}},
      {JumpTarget::app(none, none, QStringLiteral("https://example.com/open")),
       {false, none, std::optional<QString>(QStringLiteral("App is not installed.")), none, A::configure, none}},
      {JumpTarget::app(bundleApp, none, QStringLiteral("x-tandrel-unsafe://open")),
       {false, none, std::optional<QString>(QStringLiteral("App link is not allowed.")), none, A::configure, none}},
      {JumpTarget::terminalWindow(QStringLiteral("iTerm2"), none, none, none, workspace),
       {true, none, none, Q::appLevel, A::focusTerminalWindow,
        JumpTarget::terminalWindow(QStringLiteral("iTerm2"), none, none, none, workspace)}},
  };
  for (const auto& [target, expected] : rows) {
    if (!matches(resolver.resolve(target), expected)) {
      return false;
    }
  }

  return JumpResolver::defaultCommandExists(tool) && !JumpResolver::defaultCommandExists(text) &&
         !JumpResolver::defaultCommandExists(workspace) &&
         !JumpResolver::defaultCommandExists(scratchPath(tempRoot, QStringLiteral("missing-command")));
}

bool terminalJumpOpenerFunctionalTest(const QString& tempRoot) {
  const QString cwd = scratchPath(tempRoot, QStringLiteral("terminal-open-workspace"));
  const QString bin = scratchPath(tempRoot, QStringLiteral("terminal-open-bin"));
  QDir().mkpath(cwd);
  // The user's terminal here is x-terminal-emulator, a program that does nothing.
  const QString userTerminal = bin + QStringLiteral("/x-terminal-emulator");
  if (!writeFileAtomically("#!/bin/sh\nexit 0\n", userTerminal) ||
      !QFile::setPermissions(userTerminal, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
    return false;
  }

  // Every command an opener starts is recorded here and answered by `answer`; windows are raised
  // on a desktop of one window, owned by process 4242.
  std::vector<Invocation> started;
  std::function<CapturedProcessResult(const QString&, const QStringList&)> answer;
  FakeWindowActivator desktop;
  desktop.windows = {{0x3a00007, 4242, QStringLiteral("xterm")}};
  ScopedRestore restore;
  restore.setEnvironment("PATH", QFile::encodeName(bin))
      .setEnvironment("TERMINAL", std::nullopt)
      .setEnvironment("XDG_DATA_HOME", QFile::encodeName(scratchPath(tempRoot, QStringLiteral("terminal-open-data"))))
      .set(JumpOpeners::runDetachedCommandCapturingOverrideForTests,
           [&started, &answer](const QString& command, const QStringList& arguments, const std::optional<QString>&) {
             started.push_back({command, arguments});
             return answer(command, arguments);
           })
      .set(JumpOpeners::windowActivatorOverrideForTests, &desktop)
      .atExit([error = JumpOpeners::lastJumpOpenError()] { JumpOpeners::setLastJumpOpenError(error); });
  const CapturedProcessResult ok{true, 0, {}, {}, std::nullopt};
  answer = [&ok](const QString&, const QStringList&) { return ok; };

  // A terminal of our launchers opens the folder with its own flag; any other name (the macOS
  // terminals, editors by name, path or desktop id, Warp) opens it in the user's terminal.
  const LaunchCommand inUserTerminal{QStringLiteral("x-terminal-emulator"), {}, cwd};
  const std::vector<std::pair<std::optional<QString>, LaunchCommand>> openRows{
      {std::nullopt, inUserTerminal},
      {QStringLiteral("iTerm.app"), inUserTerminal},
      {QStringLiteral("Cursor"), inUserTerminal},
      {QStringLiteral("com.todesktop.230313mzl4w4u92"), inUserTerminal},
      {QStringLiteral("/Applications/Cursor.app"), inUserTerminal},
      {QStringLiteral("com.github.wez.wezterm"), {QStringLiteral("wezterm"), {QStringLiteral("start"), QStringLiteral("--cwd"), cwd}, cwd}},
      {QStringLiteral("dev.warp.Warp-Stable"), inUserTerminal},
      {QStringLiteral("Ghostty"), {QStringLiteral("ghostty"), {QStringLiteral("--working-directory=") + cwd}, cwd}},
      {QStringLiteral("cn.trae.app"), inUserTerminal},
      {QStringLiteral("cn.trae.solo.app"), inUserTerminal},
      {QStringLiteral("kitty"), {QStringLiteral("kitty"), {QStringLiteral("--directory"), cwd}, cwd}},
      {QStringLiteral("gnome-terminal"), {QStringLiteral("gnome-terminal"), {QStringLiteral("--working-directory=") + cwd}, cwd}},
  };
  for (const auto& [terminal, expected] : openRows) {
    if (JumpOpeners::terminalOpenArguments(cwd, terminal) != expected) {
      return false;
    }
  }

  // Exact focus: the tmux pane %3 in the client that shows its session, whose terminal window
  // (of the client's process) comes to the front; kitty and WezTerm through their command lines;
  // an X11 window by its id. iTerm2 and Terminal do not exist here: nothing runs.
  answer = [&ok](const QString& command, const QStringList& arguments) {
    if (command == QLatin1String("tmux") && arguments.contains(QLatin1String("display-message"))) {
      return CapturedProcessResult{true, 0, QStringLiteral("agents\n"), {}, std::nullopt};
    }
    if (command == QLatin1String("tmux") && arguments.contains(QLatin1String("list-clients"))) {
      return CapturedProcessResult{true, 0, QStringLiteral("/dev/pts/7\t4242\tagents\n"), {}, std::nullopt};
    }
    return ok;
  };
  const auto none = std::nullopt;
  const QStringList server{QStringLiteral("-S"), QStringLiteral("/tmp/tandrel-check-tmux")};
  struct FocusRow {
    QString terminal;
    std::optional<QString> windowID, tabID, sessionID, socket;
    bool focuses;
    std::vector<Invocation> lastCommands;  // the end of what it ran
    std::vector<quint64> raised;
  };
  const std::vector<FocusRow> focusRows{
      {QStringLiteral("tmux"), none, QStringLiteral("%3"), none, QStringLiteral("/tmp/tandrel-check-tmux"), true,
       {{QStringLiteral("tmux"), server + QStringList{"select-window", "-t", "%3"}},
        {QStringLiteral("tmux"), server + QStringList{"select-pane", "-t", "%3"}}},
       {0x3a00007}},
      {QStringLiteral("kitty"), QStringLiteral("7"), none, none, QStringLiteral("unix:/tmp/tandrel-check-kitty"), true,
       {{QStringLiteral("kitty"), {"@", "--to", "unix:/tmp/tandrel-check-kitty", "focus-window", "--match", "id:7"}}},
       {}},
      {QStringLiteral("WezTerm"), none, none, QStringLiteral("5"), none, true,
       {{QStringLiteral("wezterm"), {"cli", "activate-pane", "--pane-id", "5"}}}, {}},
      {QStringLiteral("xterm"), QStringLiteral("0x3a00007"), none, none, none, true, {}, {0x3a00007}},
      {QStringLiteral("iTerm2"), none, QStringLiteral("/dev/ttys123"), none, none, false, {}, {}},
      {QStringLiteral("Terminal"), none, QStringLiteral("/dev/ttys010"), none, none, false, {}, {}},
  };
  for (const FocusRow& row : focusRows) {
    started.clear();
    desktop.activated.clear();
    JumpOpeners::setLastJumpOpenError(std::nullopt);
    if (JumpOpeners::focusTerminalWindow(row.terminal, row.windowID, row.tabID, row.sessionID, cwd, row.socket) !=
            row.focuses ||
        started.size() < row.lastCommands.size() ||
        !std::equal(row.lastCommands.begin(), row.lastCommands.end(), started.end() - row.lastCommands.size()) ||
        desktop.activated != row.raised) {
      return false;
    }
    if (!row.focuses && (!started.empty() || !JumpOpeners::lastJumpOpenError()
                                                   .value_or(QString())
                                                   .contains(QLatin1String("not available on this platform")))) {
      return false;
    }
  }

  // A folder the terminal cannot open is shown by the desktop's file manager, except for editors.
  const std::vector<std::pair<std::optional<QString>, bool>> fallbackRows{
      {std::nullopt, true},
      {QStringLiteral("Cursor"), false},
      {QStringLiteral("com.todesktop.230313mzl4w4u92"), false},
      {QStringLiteral("Visual Studio Code"), false},
  };
  for (const auto& [terminal, allowed] : fallbackRows) {
    if (JumpOpeners::terminalAllowsFinderFallback(terminal) != allowed) {
      return false;
    }
  }
  answer = [&ok](const QString& command, const QStringList&) {
    return command == QLatin1String("xdg-open") ? ok : CapturedProcessResult{false, 1, {}, {}, std::nullopt};
  };
  started.clear();
  const std::vector<Invocation> shownInFileManager{{QStringLiteral("x-terminal-emulator"), {}},
                                                   {QStringLiteral("xdg-open"), {cwd}}};
  if (!JumpOpeners::openTerminalCwd(cwd, std::nullopt) || started != shownInFileManager) {
    return false;
  }
  started.clear();
  if (JumpOpeners::openTerminalCwd(cwd, QStringLiteral("Cursor")) ||
      started != std::vector<Invocation>{{QStringLiteral("x-terminal-emulator"), {}}}) {
    return false;
  }

  return JumpOpeners::cmuxPreciseCommandArguments(QStringLiteral("workspace-1"), std::nullopt) ==
             std::vector<QStringList>{{"select-workspace", "--workspace", "workspace-1"}} &&
         JumpOpeners::cmuxPreciseCommandArguments(QStringLiteral("workspace-1"), QStringLiteral("window-1")) ==
             std::vector<QStringList>{{"focus-window", "--window", "window-1"}, {"select-workspace", "--workspace", "workspace-1"}};
}

}  // namespace tandrel
