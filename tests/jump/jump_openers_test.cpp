#include "jump/jump_openers.h"

#include "jump/jump_diagnostics.h"
#include "platform/fake/fake_window_activator.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

#include <csignal>
#include <future>
#include <thread>
#include <map>

namespace tandrel {
namespace {

using test::TempHome;
using test::writeFile;

struct Invocation {
  QString command;
  QStringList arguments;
  bool operator==(const Invocation&) const = default;
};

// Resets every process-wide seam of the openers around each test and records what would have run.
class JumpOpenersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset();
    JumpOpeners::runDetachedCommandCapturingOverrideForTests = [this](const QString& command, const QStringList& arguments,
                                                                      const std::optional<QString>&) {
      started.push_back({command, arguments});
      return answer(command, arguments);
    };
  }
  void TearDown() override { reset(); }
  static void reset() {
    JumpOpeners::runDetachedCommandCapturingOverrideForTests = nullptr;
    JumpOpeners::openCmuxStrategyOverrideForTests = nullptr;
    JumpOpeners::openCmuxActivateFallbackOverrideForTests = nullptr;
    JumpOpeners::cmuxExecutablePathLookupOverrideForTests = nullptr;
    JumpOpeners::cmuxExecutablePathOverrideForTests = std::nullopt;
    JumpOpeners::windowActivatorOverrideForTests = nullptr;
    JumpOpeners::setLastJumpOpenError(std::nullopt);
  }

  static CapturedProcessResult ok() { return CapturedProcessResult{true, 0, {}, {}, std::nullopt}; }
  static CapturedProcessResult brokenPipe() {
    return CapturedProcessResult{false, 1, {}, QStringLiteral("Error: Failed to write to socket (Broken pipe, errno 32)"),
                                 std::nullopt};
  }

  TempHome home;
  std::vector<Invocation> started;
  // What a started command answers; success unless the test says otherwise.
  std::function<CapturedProcessResult(const QString&, const QStringList&)> answer = [](const QString&, const QStringList&) {
    return ok();
  };
};

TEST_F(JumpOpenersTest, CmuxStrategyChainStopsAtTheFirstSuccessAndNamesEveryFailure) {
  JumpOpeners::cmuxExecutablePathOverrideForTests = QStringLiteral("/usr/local/bin/cmux");
  JumpOpeners::openCmuxActivateFallbackOverrideForTests = [] { return true; };
  const QString folder = home.path();
  using Plan = std::map<QString, CapturedProcessResult>;
  struct Case {
    const char* name;
    Plan plan;
    std::optional<QString> session, window, cwd;
    bool opens;
    QStringList strategies;
    std::vector<QStringList> arguments;  // of each invocation, in order
    QStringList errorParts;              // all in lastJumpOpenError; none means it is absent
  };
  const QStringList selectB{QStringLiteral("select-workspace"), QStringLiteral("--workspace"), QStringLiteral("B")};
  const std::vector<Case> cases{
      {"window then workspace", {{"direct", ok()}}, QStringLiteral("A"), QStringLiteral("W"), std::nullopt, true,
       {"direct", "direct"},
       {{"focus-window", "--window", "W"}, {"select-workspace", "--workspace", "A"}}, {}},
      {"second strategy", {{"direct", brokenPipe()}, {"shell_detached", ok()}}, QStringLiteral("B"), std::nullopt,
       std::nullopt, true, {"direct", "shell_detached"}, {selectB, selectB}, {}},
      {"third strategy", {{"direct", brokenPipe()}, {"shell_detached", brokenPipe()}, {"login_shell", ok()}},
       QStringLiteral("B"), std::nullopt, std::nullopt, true, {"direct", "shell_detached", "login_shell"},
       {selectB, selectB, selectB}, {}},
      // A targeted open that fails stays failed, even though the app could be activated.
      {"all fail", {}, QStringLiteral("B"), std::nullopt, std::nullopt, false,
       {"direct", "shell_detached", "login_shell"}, {selectB, selectB, selectB},
       {"direct exit=1", "shell_detached exit=1", "login_shell exit=1", "Broken pipe"}},
      {"all fail with folder", {}, QStringLiteral("B"), std::nullopt, folder, false,
       {"direct", "shell_detached", "login_shell"}, {selectB, selectB, selectB}, {"Broken pipe"}},
      {"folder only", {{"direct", brokenPipe()}, {"shell_detached", ok()}}, std::nullopt, std::nullopt, folder, true,
       {"direct", "shell_detached"}, {{folder}, {folder}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Invocation> log;
    JumpOpeners::openCmuxStrategyOverrideForTests = [&](const QString& strategy, const QStringList& arguments) {
      log.push_back({strategy, arguments});
      const auto it = c.plan.find(strategy);
      return it != c.plan.end() ? it->second : brokenPipe();
    };
    JumpOpeners::setLastJumpOpenError(std::nullopt);
    EXPECT_EQ(JumpOpeners::openCmux(c.session, c.window, c.cwd), c.opens);
    ASSERT_EQ(log.size(), c.strategies.size());
    for (std::size_t i = 0; i < log.size(); ++i) {
      EXPECT_EQ(log[i].command, c.strategies[static_cast<qsizetype>(i)]);
      EXPECT_EQ(log[i].arguments, c.arguments[i]);
    }
    const auto error = JumpOpeners::lastJumpOpenError();
    EXPECT_EQ(error.has_value(), !c.errorParts.isEmpty());
    for (const QString& part : c.errorParts) {
      EXPECT_TRUE(error.value_or(QString()).contains(part)) << error.value_or(QString()).toStdString();
    }
  }
  EXPECT_TRUE(started.empty());
}

TEST_F(JumpOpenersTest, CmuxWithoutItsCommandLineToolActivatesTheAppOnlyForAnUntargetedOpen) {
  JumpOpeners::cmuxExecutablePathLookupOverrideForTests = [] { return std::optional<QString>(); };
  int activations = 0;
  JumpOpeners::openCmuxActivateFallbackOverrideForTests = [&activations] {
    ++activations;
    return true;
  };
  EXPECT_FALSE(JumpOpeners::openCmux(QStringLiteral("stale"), QStringLiteral("main"), home.path()));
  EXPECT_EQ(activations, 0);
  EXPECT_TRUE(JumpOpeners::lastJumpOpenError().value_or(QString()).contains(QStringLiteral("cmux CLI not found")));

  JumpOpeners::setLastJumpOpenError(std::nullopt);
  EXPECT_TRUE(JumpOpeners::openCmux(std::nullopt, std::nullopt, std::nullopt));
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(JumpOpeners::lastJumpOpenError(), std::nullopt);

  // Without the test's app, there is nothing to activate on this platform.
  JumpOpeners::openCmuxActivateFallbackOverrideForTests = nullptr;
  EXPECT_FALSE(JumpOpeners::openCmux(std::nullopt, std::nullopt, std::nullopt));
}

TEST_F(JumpOpenersTest, QuotingSurvivesTheShell) {
  JumpOpeners::runDetachedCommandCapturingOverrideForTests = nullptr;
  const QString out = home.file(QStringLiteral("out.txt"));
  const QStringList hostile{QStringLiteral("plain"), QStringLiteral("with space"), QStringLiteral("it's"),
                            QStringLiteral("\"double\" 'single'"), QStringLiteral("$HOME and ${PATH}"),
                            QStringLiteral("`id` $(id)"), QStringLiteral("line\nbreak\n"), QStringLiteral("back\\slash"),
                            QStringLiteral("; rm -rf / #"), QString()};
  for (const QString& text : hostile) {
    SCOPED_TRACE(text.toStdString());
    QFile::remove(out);
    // The detached script runs printf with the text as one argument and waits for it.
    const QString script = JumpOpeners::buildShellDetachedScript(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s' \"$1\" > \"$2\""), QStringLiteral("sh"), text, out});
    ASSERT_TRUE(script.startsWith(QStringLiteral("nohup '/bin/sh' '-c' ")));
    const CapturedProcessResult result =
        JumpOpeners::runDetachedCommandCapturing(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, std::nullopt);
    EXPECT_TRUE(result.success) << result.standardError.toStdString();
    EXPECT_EQ(QString::fromUtf8(test::readFile(out)), text);
  }
  EXPECT_EQ(JumpOpeners::shellQuote(QStringLiteral("a'b")), QStringLiteral("'a'\\''b'"));
  EXPECT_EQ(JumpOpeners::shellQuote(QString()), QStringLiteral("''"));
  EXPECT_EQ(JumpOpeners::buildShellDetachedScript(QStringLiteral("/usr/bin/cmux"), {QStringLiteral("select-workspace"), QStringLiteral("abc-123")}),
            QStringLiteral("nohup '/usr/bin/cmux' 'select-workspace' 'abc-123' >/dev/null 2>&1 </dev/null & wait $!; exit $?"));

  // A failing command reports its exit status and output; a missing program is a failure too.
  const CapturedProcessResult failed =
      JumpOpeners::runDetachedCommandCapturing(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")}, std::nullopt);
  EXPECT_EQ(failed, (CapturedProcessResult{false, 3, QStringLiteral("out\n"), QStringLiteral("err\n"), std::nullopt}));
  const CapturedProcessResult missing =
      JumpOpeners::runDetachedCommandCapturing(home.file(QStringLiteral("no-such-program")), {}, std::nullopt);
  EXPECT_FALSE(missing.success);
  EXPECT_EQ(missing.exitCode, -1);
  EXPECT_TRUE(missing.launchError.has_value());
}

TEST_F(JumpOpenersTest, TerminalLaunchCommands) {
  const QString cwd = home.file(QStringLiteral("w"));
  const QString apps = home.file(QStringLiteral("data/applications"));
  home.setEnv("XDG_DATA_HOME", QFile::encodeName(home.file(QStringLiteral("data"))));
  ASSERT_TRUE(writeFile(apps + QStringLiteral("/code.desktop"),
                        "[Desktop Entry]\nType=Application\nName=Visual Studio Code\n"
                        "Exec=/usr/share/code/code --unity-launch %F\n"));
  ASSERT_TRUE(writeFile(apps + QStringLiteral("/python3.11.desktop"),
                        "[Desktop Entry]\nType=Application\nName=Python (v3.11)\nExec=/usr/bin/python3.11\n"));
  const QString bin = home.file(QStringLiteral("bin"));
  ASSERT_TRUE(writeFile(bin + QStringLiteral("/x-terminal-emulator"), "#!/bin/sh\n"));
  QFile::setPermissions(bin + QStringLiteral("/x-terminal-emulator"), QFile::ReadOwner | QFile::ExeOwner);
  home.setEnv("PATH", QFile::encodeName(bin));
  home.setEnv("TERMINAL", std::nullopt);

  struct Case {
    std::optional<QString> terminal;
    std::optional<LaunchCommand> command;
  };
  const std::vector<Case> cases{
      {QStringLiteral("gnome-terminal"), LaunchCommand{"gnome-terminal", {"--working-directory=" + cwd}, cwd}},
      {QStringLiteral("konsole"), LaunchCommand{"konsole", {"--workdir", cwd}, cwd}},
      {QStringLiteral("xfce4-terminal"), LaunchCommand{"xfce4-terminal", {"--working-directory=" + cwd}, cwd}},
      {QStringLiteral("kitty"), LaunchCommand{"kitty", {"--directory", cwd}, cwd}},
      {QStringLiteral("Alacritty"), LaunchCommand{"alacritty", {"--working-directory", cwd}, cwd}},
      {QStringLiteral("WezTerm"), LaunchCommand{"wezterm", {"start", "--cwd", cwd}, cwd}},
      {QStringLiteral("com.mitchellh.ghostty"), LaunchCommand{"ghostty", {"--working-directory=" + cwd}, cwd}},
      {QStringLiteral("foot"), LaunchCommand{"foot", {"--working-directory=" + cwd}, cwd}},
      {std::nullopt, LaunchCommand{"x-terminal-emulator", {}, cwd}},
      {QStringLiteral("Terminal"), LaunchCommand{"x-terminal-emulator", {}, cwd}},
      // A name outside the terminal table starts no program of its own: an event could name any
      // program or desktop entry, and an interpreter given the folder runs what it holds.
      {QStringLiteral("com.microsoft.VSCode"), LaunchCommand{"x-terminal-emulator", {}, cwd}},
      {QStringLiteral("python3.11"), LaunchCommand{"x-terminal-emulator", {}, cwd}},
      {QStringLiteral("/usr/bin/python3.11"), LaunchCommand{"x-terminal-emulator", {}, cwd}},
      {QStringLiteral("iTerm.app"), LaunchCommand{"x-terminal-emulator", {}, cwd}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.terminal.value_or(QStringLiteral("<none>")).toStdString());
    EXPECT_EQ(JumpOpeners::terminalOpenArguments(cwd, c.terminal), c.command);
  }
  home.setEnv("TERMINAL", "/opt/bin/kitty");
  EXPECT_EQ(JumpOpeners::terminalOpenArguments(cwd, std::nullopt), (LaunchCommand{"/opt/bin/kitty", {"--directory", cwd}, cwd}));

  for (const auto& [terminal, allowed] : std::vector<std::pair<std::optional<QString>, bool>>{
           {std::nullopt, true}, {QStringLiteral("Cursor"), false}, {QStringLiteral("com.todesktop.230313mzl4w4u92"), false},
           {QStringLiteral("Visual Studio Code"), false}, {QStringLiteral("kitty"), true}}) {
    EXPECT_EQ(JumpOpeners::terminalAllowsFinderFallback(terminal), allowed);
  }
  EXPECT_EQ(JumpOpeners::cmuxPreciseCommandArguments(QStringLiteral("workspace-1"), std::nullopt),
            (std::vector<QStringList>{{"select-workspace", "--workspace", "workspace-1"}}));
}

TEST_F(JumpOpenersTest, ExactFocusUsesTheTerminalsCommandLineOrTheX11Window) {
  FakeWindowActivator desktop;
  // An xterm (690) runs a shell (695) that runs a tmux client (700); a kitty (900) runs an agent
  // (910); an Alacritty window is known by its id.
  desktop.windows = {{0x3a00007, 4242, QStringLiteral("Alacritty")},
                     {0x1400002, 690, QStringLiteral("xterm")},
                     {0x2200005, 900, QStringLiteral("kitty")}};
  desktop.parents = {{700, 695}, {695, 690}, {910, 900}};
  JumpOpeners::windowActivatorOverrideForTests = &desktop;
  const auto none = std::nullopt;
  QString clients;  // what "tmux list-clients" prints in the case
  bool kittyRemoteControl = true;
  answer = [&](const QString& command, const QStringList& arguments) {
    if (command == QLatin1String("tmux") && arguments.contains(QLatin1String("display-message"))) {
      return CapturedProcessResult{true, 0, QStringLiteral("work\n"), {}, std::nullopt};
    }
    if (command == QLatin1String("tmux") && arguments.contains(QLatin1String("list-clients"))) {
      return CapturedProcessResult{true, 0, clients, {}, std::nullopt};
    }
    if (command == QLatin1String("kitty") && !kittyRemoteControl) {
      return CapturedProcessResult{false, 1, {}, QStringLiteral("Error: Could not connect"), std::nullopt};
    }
    return ok();
  };
  const QString format = QStringLiteral("#{client_tty}\t#{client_pid}\t#{client_session}");
  const QStringList session{"display-message", "-p", "-t", "%3", "#{session_name}"};
  const QStringList list{"list-clients", "-F", format};
  const QStringList onWork{"-S", "/tmp/tmux-0/work"};
  struct Case {
    const char* name;
    QString terminal;
    std::optional<QString> window, tab, session, socket, pid;
    QString clients;
    bool kittyRemoteControl;
    bool opens;
    std::vector<Invocation> commands;
    std::vector<quint64> raised;
    const char* error;  // part of lastJumpOpenError when it fails
  };
  const std::vector<Case> cases{
      {"tmux pane shown by a client", "tmux", none, QStringLiteral("%3"), none, none, none, "/dev/pts/3\t700\twork\n", true,
       true,
       {{"tmux", session}, {"tmux", list}, {"tmux", {"select-window", "-t", "%3"}}, {"tmux", {"select-pane", "-t", "%3"}}},
       {0x1400002}, ""},
      {"tmux pane on a server of its own", "tmux", none, none, QStringLiteral("%3"), QStringLiteral("/tmp/tmux-0/work"), none,
       "/dev/pts/9\t1\tother\n/dev/pts/3\t700\twork\n", true, true,
       {{"tmux", onWork + session},
        {"tmux", onWork + list},
        {"tmux", onWork + QStringList{"select-window", "-t", "%3"}},
        {"tmux", onWork + QStringList{"select-pane", "-t", "%3"}}},
       {0x1400002}, ""},
      {"tmux client showing another session", "tmux", none, QStringLiteral("%3"), none, none, none,
       "/dev/pts/3\t700\tother\n", true, true,
       {{"tmux", session},
        {"tmux", list},
        {"tmux", {"switch-client", "-c", "/dev/pts/3", "-t", "%3"}},
        {"tmux", {"select-window", "-t", "%3"}},
        {"tmux", {"select-pane", "-t", "%3"}}},
       {0x1400002}, ""},
      {"tmux without a client", "tmux", none, QStringLiteral("%3"), none, none, none, "", true, false,
       {{"tmux", session}, {"tmux", list}}, {}, "no tmux client is attached to show %3"},
      {"wezterm pane", "WezTerm", none, none, QStringLiteral("17"), none, none, "", true, true,
       {{"wezterm", {"cli", "activate-pane", "--pane-id", "17"}}}, {}, ""},
      {"kitty window", "kitty", QStringLiteral("5"), none, none, QStringLiteral("unix:@kitty-9"), QStringLiteral("910"), "", true,
       true, {{"kitty", {"@", "--to", "unix:@kitty-9", "focus-window", "--match", "id:5"}}}, {0x2200005}, ""},
      {"kitty without remote control", "kitty", QStringLiteral("5"), none, none, none, QStringLiteral("910"), "", false, true,
       {{"kitty", {"@", "focus-window", "--match", "id:5"}}}, {0x2200005}, ""},
      {"kitty without remote control or agent", "kitty", QStringLiteral("5"), none, none, none, none, "", false, false,
       {{"kitty", {"@", "focus-window", "--match", "id:5"}}}, {}, "Could not connect"},
      {"x11 window", "alacritty", QStringLiteral("0x3a00007"), none, none, none, none, "", true, true, {}, {0x3a00007}, ""},
      {"x11 window gone", "alacritty", QStringLiteral("12345"), none, none, none, none, "", true, false, {}, {},
       "window could not be activated"},
      {"the agent's terminal", "x-terminal-emulator", none, none, none, none, QStringLiteral("700"), "", true, true, {},
       {0x1400002}, ""},
      {"an agent without a window", "x-terminal-emulator", none, none, none, none, QStringLiteral("4000"), "", true, false, {},
       {}, "window of the agent could not be activated"},
      {"iTerm2", "iTerm2", QStringLiteral("101"), none, none, none, none, "", true, false, {}, {},
       "iTerm exact window focus is not available"},
      {"Terminal", "Terminal", none, QStringLiteral("/dev/ttys010"), none, none, none, "", true, false, {}, {},
       "Terminal exact window focus is not available"},
      {"editor window", "Cursor", QStringLiteral("cursor-window-1"), none, none, none, none, "", true, false, {}, {},
       "Cursor exact window focus is not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    started.clear();
    desktop.activated.clear();
    clients = c.clients;
    kittyRemoteControl = c.kittyRemoteControl;
    JumpOpeners::setLastJumpOpenError(std::nullopt);
    EXPECT_EQ(JumpOpeners::focusTerminalWindow(c.terminal, c.window, c.tab, c.session, home.path(), c.socket, c.pid), c.opens);
    EXPECT_EQ(started, c.commands);
    EXPECT_EQ(desktop.activated, c.raised);
    EXPECT_TRUE(JumpOpeners::lastJumpOpenError().value_or(QString()).contains(QLatin1String(c.error)))
        << JumpOpeners::lastJumpOpenError().value_or(QString()).toStdString();
  }

  // A focus command that fails fails the open with its output.
  answer = [](const QString&, const QStringList&) {
    return CapturedProcessResult{false, 1, {}, QStringLiteral("can't find pane: %9"), std::nullopt};
  };
  EXPECT_FALSE(JumpOpeners::focusTerminalWindow(QStringLiteral("tmux"), none, QStringLiteral("%9"), none, none));
  EXPECT_EQ(JumpOpeners::lastJumpOpenError(), QStringLiteral("tmux exit=1: can't find pane: %9"));
}

TEST_F(JumpOpenersTest, DefaultOpenerOpensByKindAndNeverRunsAFile) {
  const QString folder = home.file(QStringLiteral("project"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString source = folder + QStringLiteral("/main.cpp");
  const QString script = folder + QStringLiteral("/run.sh");
  const QString entry = folder + QStringLiteral("/evil.desktop");
  const QString jar = folder + QStringLiteral("/tool.jar");
  const QString plainScript = folder + QStringLiteral("/setup.sh");
  const QString notes = folder + QStringLiteral("/NOTES");
  const QString picture = folder + QStringLiteral("/shot.png");
  // What a file is comes from the desktop's type database, which the temporary home hides.
  ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("usr/share"))));
  ASSERT_TRUE(QFile::link(QStringLiteral("/usr/share/mime"), home.file(QStringLiteral("usr/share/mime"))));
  ASSERT_TRUE(writeFile(jar, QByteArray("PK\x03\x04\x14\x00\x08\x00", 8) + "META-INF/MANIFEST.MF"));
  ASSERT_TRUE(writeFile(plainScript, "#!/bin/sh\necho hi\n"));
  ASSERT_TRUE(writeFile(notes, "plain words\n"));
  ASSERT_TRUE(writeFile(picture, QByteArray("\x89PNG\r\n\x1a\n", 8)));
  ASSERT_TRUE(writeFile(source, "int main() {}\n"));
  ASSERT_TRUE(writeFile(script, "#!/bin/sh\n"));
  ASSERT_TRUE(writeFile(entry, "[Desktop Entry]\n"));
  QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
  const auto resolved = [](JumpTarget target, bool available = true) {
    return ResolvedJumpTarget{available, std::move(target), QStringLiteral("Open"),
                              available ? std::nullopt : std::optional<QString>(QStringLiteral("File does not exist.")),
                              JumpQuality::workspaceLevel, nullptr, ResolvedJumpAction::openFile};
  };
  const auto none = std::nullopt;
  struct Case {
    const char* name;
    ResolvedJumpTarget target;
    bool opens;
    std::vector<Invocation> commands;
  };
  const std::vector<Case> cases{
      {"source file", resolved(JumpTarget::file(source, 3)), true, {{"xdg-open", {source}}}},
      {"executable", resolved(JumpTarget::file(script, none)), true, {{"xdg-open", {folder}}}},
      {"desktop entry", resolved(JumpTarget::file(entry, none)), true, {{"xdg-open", {folder}}}},
      {"archive whose handler runs it", resolved(JumpTarget::file(jar, none)), true, {{"xdg-open", {folder}}}},
      {"script without the exec bit", resolved(JumpTarget::file(plainScript, none)), true, {{"xdg-open", {folder}}}},
      {"text without a suffix", resolved(JumpTarget::file(notes, none)), true, {{"xdg-open", {notes}}}},
      {"picture", resolved(JumpTarget::file(picture, none)), true, {{"xdg-open", {picture}}}},
      {"folder", resolved(JumpTarget::file(folder, none)), true, {{"xdg-open", {folder}}}},
      {"file URL of an executable", resolved(JumpTarget::url(QStringLiteral("file://") + script)), true, {{"xdg-open", {folder}}}},
      {"web link", resolved(JumpTarget::url(QStringLiteral("https://example.com/pull/1"))), true,
       {{"xdg-open", {"https://example.com/pull/1"}}}},
      {"missing file", resolved(JumpTarget::file(folder + QStringLiteral("/gone"), none)), false, {}},
      {"unavailable", resolved(JumpTarget::file(source, none), false), false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    started.clear();
    EXPECT_EQ(JumpOpeners::defaultJumpOpener(c.target), c.opens);
    EXPECT_EQ(started, c.commands);
  }
  EXPECT_EQ(JumpOpeners::lastJumpOpenError(), QStringLiteral("resolver marked target unavailable: File does not exist."));
}

TEST_F(JumpOpenersTest, JumpsOnTwoThreadsKeepTheirOwnFailureReasons) {
  const QString first = home.file(QStringLiteral("gone-first"));
  const QString second = home.file(QStringLiteral("gone-second"));
  std::promise<void> firstFailed;
  std::promise<void> secondFailed;
  std::optional<QString> seenByFirst;
  std::optional<QString> seenBySecond;
  std::thread a([&] {
    EXPECT_FALSE(JumpOpeners::openTerminalCwd(first, std::nullopt));
    firstFailed.set_value();
    secondFailed.get_future().wait();  // the other jump fails in between
    seenByFirst = JumpOpeners::lastJumpOpenError();
  });
  std::thread b([&] {
    firstFailed.get_future().wait();
    EXPECT_FALSE(JumpOpeners::openTerminalCwd(second, std::nullopt));
    seenBySecond = JumpOpeners::lastJumpOpenError();
    secondFailed.set_value();
  });
  a.join();
  b.join();
  EXPECT_EQ(seenByFirst, QStringLiteral("terminal cwd does not exist: ") + first);
  EXPECT_EQ(seenBySecond, QStringLiteral("terminal cwd does not exist: ") + second);
}

// The real xdg-open path, with an xdg-open of our own on PATH.
TEST(JumpOpenersDesktopSlow, XdgOpenFailsByItsEarlyExitAndWhatItKeepsInTheForegroundIsLeftRunning) {
  TempHome home;
  const QString bin = home.file(QStringLiteral("bin"));
  const QString pidFile = home.file(QStringLiteral("opener.pid"));
  home.setEnv("PATH", QFile::encodeName(bin) + ":/usr/bin:/bin");
  const auto useOpener = [&bin](const QByteArray& script) {
    ASSERT_TRUE(writeFile(bin + QStringLiteral("/xdg-open"), "#!/bin/sh\n" + script));
    QFile::setPermissions(bin + QStringLiteral("/xdg-open"), QFile::ReadOwner | QFile::ExeOwner);
  };
  QString error;

  useOpener("echo 'xdg-open: no method available' >&2; exit 3\n");
  EXPECT_FALSE(JumpOpeners::openWithDesktop(QStringLiteral("https://example.com/pull/1"), &error));
  EXPECT_EQ(error, QStringLiteral("exit=3"));

  // Outside GNOME and KDE xdg-open waits for the browser it started: the browser must stay.
  useOpener("echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 30\n");
  error.clear();
  EXPECT_TRUE(JumpOpeners::openWithDesktop(QStringLiteral("https://example.com/pull/1"), &error)) << error.toStdString();
  const pid_t opener = static_cast<pid_t>(test::readFile(pidFile).trimmed().toLongLong());
  ASSERT_GT(opener, 0);
  EXPECT_EQ(::kill(opener, 0), 0) << "the opened program was ended";
  ::kill(-opener, SIGKILL);
}

TEST_F(JumpOpenersTest, AFailedTerminalLaunchShowsTheFolderUnlessTheHostIsAnEditor) {
  const QString folder = home.file(QStringLiteral("project"));
  ASSERT_TRUE(QDir().mkpath(folder));
  // Terminals fail to start; xdg-open works.
  answer = [](const QString& command, const QStringList&) {
    return command == QLatin1String("xdg-open") ? ok() : CapturedProcessResult{false, -1, {}, {}, QStringLiteral("No such file")};
  };
  EXPECT_TRUE(JumpOpeners::openTerminalCwd(folder, QStringLiteral("kitty")));
  EXPECT_EQ(started, (std::vector<Invocation>{{"kitty", {"--directory", folder}}, {"xdg-open", {folder}}}));

  started.clear();
  EXPECT_FALSE(JumpOpeners::openTerminalCwd(folder, QStringLiteral("Cursor")));
  EXPECT_TRUE(std::none_of(started.begin(), started.end(), [](const Invocation& i) { return i.command == "xdg-open"; }));

  started.clear();
  EXPECT_FALSE(JumpOpeners::openTerminalCwd(home.file(QStringLiteral("gone")), std::nullopt));
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(JumpOpeners::lastJumpOpenError(), QStringLiteral("terminal cwd does not exist: ") + home.file(QStringLiteral("gone")));
}

TEST_F(JumpOpenersTest, DiagnosticsRecordEachAttemptWithAUtcTimestamp) {
  JumpOpeners::cmuxExecutablePathOverrideForTests = QStringLiteral("/usr/bin/cmux");
  JumpOpeners::openCmuxStrategyOverrideForTests = [](const QString&, const QStringList&) { return ok(); };
  ASSERT_TRUE(JumpOpeners::openCmux(QStringLiteral("s1"), std::nullopt, std::nullopt));
  recordJumpDiagnostic(QJsonObject{{QStringLiteral("stage"), QStringLiteral("probe")},
                                   {QStringLiteral("timestamp"), QStringLiteral("caller's own")}});

  const auto lines = test::readJsonLines(jumpDiagnosticFile());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].value(QStringLiteral("stage")).toString(), QStringLiteral("open_cmux_strategy"));
  EXPECT_EQ(lines[0].value(QStringLiteral("strategy")).toString(), QStringLiteral("direct"));
  EXPECT_EQ(lines[0].value(QStringLiteral("session_id")).toString(), QStringLiteral("s1"));
  const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"));
  for (const QJsonObject& line : lines) {
    EXPECT_TRUE(iso.match(line.value(QStringLiteral("timestamp")).toString()).hasMatch());
  }
  // Keys in byte order, one object per line.
  const QByteArray text = test::readFile(jumpDiagnosticFile());
  EXPECT_TRUE(text.split('\n').at(1).startsWith("{\"stage\":\"probe\",\"timestamp\":"));

  const QString long450 = QString(450, QLatin1Char('x'));
  const QString exact400 = QString(400, QLatin1Char('y'));
  EXPECT_EQ(truncatedDiagnostic(QStringLiteral("\n\n") + long450 + QStringLiteral("\n"), 400), QString(397, QLatin1Char('x')) + "...");
  EXPECT_EQ(truncatedDiagnostic(QStringLiteral("  ") + exact400 + QStringLiteral("\n"), 400), exact400);
  // A character made of several code points is never cut apart.
  const QString flags = QString::fromUtf8("🇩🇪🇫🇷🇮🇹🇪🇸🇯🇵");
  EXPECT_EQ(truncatedDiagnostic(flags, 4), QString::fromUtf8("🇩🇪..."));
}

}  // namespace
}  // namespace tandrel
