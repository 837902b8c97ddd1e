#include "jump/jump_resolver.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUrl>

namespace tandrel {
namespace {

using test::TempHome;
using test::writeFile;

// Fixed predicates: the file system for files and folders, lists for the rest.
JumpResolver fixedResolver() {
  JumpResolver resolver;
  resolver.commandExists = [](const QString& c) {
    return c == QLatin1String("codex") || c == QLatin1String("cmux") || c.endsWith(QLatin1String("/cmux")) ||
           c == QLatin1String("tmux");
  };
  resolver.appExists = [](const QString& p) {
    return p == QLatin1String("/Applications/Codex.app") || p == QLatin1String("/Applications/cmux.app");
  };
  resolver.appBundleExists = [](const QString& b) {
    return b == QLatin1String("com.example.BundleApp") || b == QLatin1String("com.cmuxterm.app") ||
           b == QLatin1String("com.googlecode.iterm2");
  };
  resolver.cmuxSessionExists = [](const QString& s) { return s == QLatin1String("session-1"); };
  return resolver;
}

struct ResolveCase {
  const char* name;
  JumpTarget target;
  bool available;
  const char* label;
  std::optional<QString> reason;
  JumpQuality quality;
  ResolvedJumpAction action;
  std::optional<JumpTarget> resolvedTarget;  // when it differs from the input
};

TEST(JumpResolverTest, ResolvesEveryTargetKindWithFixedPredicates) {
  TempHome home;
  const QString workspace = home.file(QStringLiteral("workspace"));
  ASSERT_TRUE(QDir().mkpath(workspace));
  const QString readme = workspace + QStringLiteral("/README.md");
  ASSERT_TRUE(writeFile(readme, "hello"));
  const QString missing = workspace + QStringLiteral("/missing.md");
  const JumpResolver resolver = fixedResolver();
  using Q = JumpQuality;
  using A = ResolvedJumpAction;
  const auto none = std::nullopt;
  const QString unavailableLabel = QStringLiteral("Configure");

  const std::vector<ResolveCase> cases{
      {"cmux session", JumpTarget::cmux(QStringLiteral("session-1"), none, workspace), true, "Open cmux", none,
       Q::sessionLevel, A::openCmux, none},
      {"cmux gone session", JumpTarget::cmux(QStringLiteral("missing"), none, workspace), false, "Configure",
       QStringLiteral("cmux session is no longer available."), Q::unavailable, A::configure, none},
      {"cmux folder", JumpTarget::cmux(none, none, workspace), true, "Open cmux", none, Q::workspaceLevel, A::openCmux, none},
      {"cmux window", JumpTarget::cmux(none, QStringLiteral("w"), none), true, "Open cmux", none, Q::exactWindow,
       A::openCmux, none},
      // A window of a session that is gone is gone with it.
      {"cmux window of a gone session", JumpTarget::cmux(QStringLiteral("missing"), QStringLiteral("w"), workspace), false,
       "Configure", QStringLiteral("cmux session is no longer available."), Q::unavailable, A::configure, none},
      {"cli missing", JumpTarget::cli(QStringLiteral("missing-cli"), {}, workspace), false, "Configure",
       QStringLiteral("CLI command is not available."), Q::unavailable, A::configure, none},
      {"cli with cwd", JumpTarget::cli(QStringLiteral("codex"), {}, workspace), true, "Open CLI", none, Q::sessionLevel,
       A::openCLI, none},
      {"cli without cwd", JumpTarget::cli(QStringLiteral("codex"), {}, none), true, "Open CLI", none, Q::appLevel,
       A::openCLI, none},
      {"file", JumpTarget::file(readme, 2), true, "Open file", none, Q::workspaceLevel, A::openFile, none},
      {"file missing", JumpTarget::file(missing, none), false, "Configure", QStringLiteral("File does not exist."),
       Q::unavailable, A::configure, none},
      {"conductor", JumpTarget::url(QStringLiteral("conductor://workspace/session-1")), true, "Open link", none,
       Q::sessionLevel, A::openURL, none},
      {"cmux link", JumpTarget::url(QStringLiteral("cmux://workspace/session-1")), true, "Open link", none,
       Q::sessionLevel, A::openURL, none},
      {"iterm2 link", JumpTarget::url(QStringLiteral("iterm2://open?profile=Default")), true, "Open link", none,
       Q::sessionLevel, A::openURL, none},
      {"https", JumpTarget::url(QStringLiteral("https://example.com/pull/1")), true, "Open link", none, Q::appLevel,
       A::openURL, none},
      {"unknown scheme", JumpTarget::url(QStringLiteral("x-tandrel-unsafe://open")), false, "Configure",
       QStringLiteral("URL scheme is not allowed."), Q::unavailable, A::configure, none},
      {"https without host", JumpTarget::url(QStringLiteral("https:foo")), false, "Configure",
       QStringLiteral("URL scheme is not allowed."), Q::unavailable, A::configure, none},
      {"https empty", JumpTarget::url(QStringLiteral("https://")), false, "Configure",
       QStringLiteral("URL scheme is not allowed."), Q::unavailable, A::configure, none},
      {"relative file URL", JumpTarget::url(QStringLiteral("file:relative")), false, "Configure",
       QStringLiteral("URL scheme is not allowed."), Q::unavailable, A::configure, none},
      {"missing file URL", JumpTarget::url(QUrl::fromLocalFile(missing).toString()), false, "Configure",
       QStringLiteral("URL scheme is not allowed."), Q::unavailable, A::configure, none},
      {"remote file URL", JumpTarget::url(QStringLiteral("file://elsewhere") + readme), false, "Configure",
       QStringLiteral("URL scheme is not allowed."), Q::unavailable, A::configure, none},
      {"file URL", JumpTarget::url(QUrl::fromLocalFile(readme).toString()), true, "Open link", none, Q::workspaceLevel,
       A::openURL, none},
      {"folder that is a file", JumpTarget::terminalCwd(readme, none), false, "Configure",
       QStringLiteral("Workspace folder does not exist."), Q::unavailable, A::configure, none},
      {"folder", JumpTarget::terminalCwd(workspace, none), true, "Open folder", none, Q::workspaceLevel,
       A::openTerminal, none},
      {"folder in missing app", JumpTarget::terminalCwd(workspace, QStringLiteral("Nowhere")), false, "Configure",
       QStringLiteral("Target app is not available."), Q::unavailable, A::configure, none},
      {"bundle app", JumpTarget::app(QStringLiteral("com.example.BundleApp"), none, none), true, "Open app", none,
       Q::appLevel, A::openApp, none},
      {"missing path dropped",
       JumpTarget::app(QStringLiteral("com.example.BundleApp"), QStringLiteral("/Applications/MissingBundleApp.app"), none),
       true, "Open app", none, Q::appLevel, A::openApp, JumpTarget::app(QStringLiteral("com.example.BundleApp"), none, none)},
      {"deep link, no app", JumpTarget::app(none, none, QStringLiteral("https://example.com/open")), false, "Configure",
       QStringLiteral("App is not installed."), Q::unavailable, A::configure, none},
      {"disallowed deep link", JumpTarget::app(QStringLiteral("com.example.BundleApp"), none, QStringLiteral("x-tandrel-unsafe://open")),
       false, "Configure", QStringLiteral("App link is not allowed."), Q::unavailable, A::configure, none},
      {"deep link", JumpTarget::app(QStringLiteral("com.cmuxterm.app"), none, QStringLiteral("cmux://workspace/session-1")),
       true, "Open app link", none, Q::sessionLevel, A::openApp, none},
      {"iTerm2 without ids", JumpTarget::terminalWindow(QStringLiteral("iTerm2"), none, none, none, workspace), true,
       "Open terminal", none, Q::appLevel, A::focusTerminalWindow, none},
      {"iTerm2 window", JumpTarget::terminalWindow(QStringLiteral("iTerm2"), QStringLiteral("101"), none, none, none),
       true, "Focus window", none, Q::exactWindow, A::focusTerminalWindow, none},
      {"missing terminal with id", JumpTarget::terminalWindow(QStringLiteral("Nowhere"), none, QStringLiteral("/dev/pts/3"), none, workspace),
       false, "Configure", QStringLiteral("Terminal app is not available."), Q::unavailable, A::configure, none},
      {"missing terminal, folder", JumpTarget::terminalWindow(QStringLiteral("Nowhere"), none, none, none, workspace), true,
       "Open terminal", none, Q::workspaceLevel, A::openTerminal, JumpTarget::terminalCwd(workspace, none)},
      // tmux is no application: its pane is reached through its command line.
      {"tmux pane", JumpTarget::terminalWindow(QStringLiteral("tmux"), none, none, QStringLiteral("%0"), workspace,
                                               QStringLiteral("/tmp/tmux-0/work")),
       true, "Focus window", none, Q::exactWindow, A::focusTerminalWindow, none},
      // Any terminal's window is reached through the agent's process.
      {"agent's terminal window", JumpTarget::terminalWindow(QStringLiteral("Nowhere"), none, none, none, workspace, none,
                                                             QStringLiteral("4242")),
       true, "Focus window", none, Q::exactWindow, A::focusTerminalWindow, none},
  };
  for (const ResolveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ResolvedJumpTarget resolved = resolver.resolve(c.target);
    EXPECT_EQ(resolved.available, c.available);
    EXPECT_EQ(resolved.label, QString::fromLatin1(c.label));
    EXPECT_EQ(resolved.reason, c.reason);
    EXPECT_EQ(resolved.quality, c.quality);
    EXPECT_EQ(resolved.action, c.action);
    EXPECT_TRUE(resolved.target == c.resolvedTarget.value_or(c.target));
    EXPECT_EQ(resolved.label == unavailableLabel, !c.available);
  }
}

TEST(JumpResolverTest, ATmuxPaneNeedsTmux) {
  JumpResolver resolver = fixedResolver();
  resolver.commandExists = [](const QString&) { return false; };
  const ResolvedJumpTarget resolved =
      resolver.resolve(JumpTarget::terminalWindow(QStringLiteral("tmux"), std::nullopt, std::nullopt, QStringLiteral("%0"), std::nullopt));
  EXPECT_FALSE(resolved.available);
  EXPECT_EQ(resolved.reason, QStringLiteral("Terminal app is not available."));
}

TEST(JumpResolverTest, CmuxWithoutItsCommandOpensTheAppOrFallsBackToTheFolder) {
  TempHome home;
  const QString workspace = home.file(QStringLiteral("workspace"));
  ASSERT_TRUE(QDir().mkpath(workspace));
  JumpResolver resolver = fixedResolver();
  resolver.commandExists = [](const QString&) { return false; };
  const JumpTarget folder = JumpTarget::terminalCwd(workspace, std::nullopt);

  const ResolvedJumpTarget app = resolver.resolve(JumpTarget::cmux(std::nullopt, std::nullopt, std::nullopt));
  EXPECT_TRUE(app.available);
  EXPECT_EQ(app.label, QStringLiteral("Open cmux"));
  EXPECT_TRUE(app.target == JumpTarget::app(QStringLiteral("com.cmuxterm.app"), QStringLiteral("/Applications/cmux.app"), std::nullopt));

  // A targeted cmux Jump stays unavailable and keeps its target, but its folder opens instead,
  // whether or not the session is one the session check knows.
  for (const QString& session : {QStringLiteral("session-1"), QStringLiteral("missing")}) {
    SCOPED_TRACE(session.toStdString());
    const JumpTarget target = JumpTarget::cmux(session, QStringLiteral("main"), workspace);
    const ResolvedJumpTarget located = resolver.resolve(target);
    EXPECT_FALSE(located.available);
    EXPECT_TRUE(located.target == target);
    EXPECT_EQ(located.reason, QStringLiteral("cmux CLI is not available."));
    ASSERT_NE(located.fallback, nullptr);
    EXPECT_TRUE(located.fallback->value.available);
    EXPECT_TRUE(located.fallback->value.target == folder);
  }
  // Without a folder that exists there is nothing to fall back to.
  EXPECT_EQ(resolver.resolve(JumpTarget::cmux(QStringLiteral("s"), std::nullopt, home.file(QStringLiteral("gone")))).fallback,
            nullptr);

  resolver.appExists = [](const QString&) { return false; };
  resolver.appBundleExists = [](const QString&) { return false; };
  const ResolvedJumpTarget gone = resolver.resolve(JumpTarget::cmux(std::nullopt, std::nullopt, std::nullopt));
  EXPECT_FALSE(gone.available);
  EXPECT_EQ(gone.reason, QStringLiteral("cmux session is no longer available."));
  EXPECT_EQ(gone.fallback, nullptr);
}

TEST(JumpResolverTest, DefaultCommandCheckWantsAnExecutableFile) {
  TempHome home;
  const QString tool = home.file(QStringLiteral("jump-tool"));
  const QString text = home.file(QStringLiteral("jump-tool.txt"));
  ASSERT_TRUE(writeFile(tool, "#!/bin/sh\nexit 0\n"));
  ASSERT_TRUE(writeFile(text, "not executable"));
  QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QFile::setPermissions(text, QFile::ReadOwner | QFile::WriteOwner);

  EXPECT_TRUE(JumpResolver::defaultCommandExists(tool));
  EXPECT_FALSE(JumpResolver::defaultCommandExists(text));
  EXPECT_FALSE(JumpResolver::defaultCommandExists(home.path()));
  EXPECT_FALSE(JumpResolver::defaultCommandExists(home.file(QStringLiteral("missing-command"))));
  // A name is looked up on PATH.
  home.setEnv("PATH", QFile::encodeName(home.path()));
  EXPECT_TRUE(JumpResolver::defaultCommandExists(QStringLiteral("jump-tool")));
  EXPECT_FALSE(JumpResolver::defaultCommandExists(QStringLiteral("jump-tool.txt")));
}

TEST(JumpResolverTest, TerminalApplicationNames) {
  TempHome home;
  const std::vector<std::pair<std::optional<QString>, QString>> cases{
      {std::nullopt, QStringLiteral("Terminal")},
      {QStringLiteral("   "), QStringLiteral("Terminal")},
      {QStringLiteral("iTerm.app"), QStringLiteral("iTerm")},
      {QStringLiteral("com.googlecode.iterm2"), QStringLiteral("iTerm")},
      {QStringLiteral("ghostty"), QStringLiteral("Ghostty")},
      {QStringLiteral("WezTerm"), QStringLiteral("WezTerm")},
      {QStringLiteral("com.todesktop.230313mzl4w4u92"), QStringLiteral("Cursor")},
      {QStringLiteral("vscode"), QStringLiteral("Visual Studio Code")},
      {QStringLiteral("cn.trae.app"), QStringLiteral("Trae")},
      {QStringLiteral("trae-solo"), QStringLiteral("TRAE SOLO CN")},
      {QStringLiteral("Apple_Terminal"), QStringLiteral("Terminal")},
      {QStringLiteral("/Applications/Utilities/Terminal.app"), QStringLiteral("Terminal")},
      {QStringLiteral("/opt/Tools/Zed.APP"), QStringLiteral("Zed")},
      {QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal")},
  };
  for (const auto& [terminal, name] : cases) {
    EXPECT_EQ(terminalApplicationName(terminal), name) << terminal.value_or(QStringLiteral("<none>")).toStdString();
  }
}

TEST(JumpResolverTest, TerminalsThisDesktopCanStartAreAvailable) {
  TempHome home;
  JumpResolver resolver = fixedResolver();
  resolver.appExists = [](const QString&) { return false; };
  resolver.appBundleExists = [](const QString&) { return false; };
  resolver.commandExists = [](const QString& c) { return c == QLatin1String("kitty"); };
  home.setEnv("TERMINAL", std::nullopt);

  EXPECT_TRUE(resolver.terminalAppAvailable(QStringLiteral("kitty")));
  EXPECT_TRUE(resolver.terminalAppAvailable(QStringLiteral("Terminal")));  // the user's terminal: kitty
  EXPECT_FALSE(resolver.terminalAppAvailable(QStringLiteral("gnome-terminal")));
  EXPECT_FALSE(resolver.terminalAppAvailable(QStringLiteral("iTerm2")));
  resolver.commandExists = [](const QString&) { return false; };
  EXPECT_FALSE(resolver.terminalAppAvailable(QStringLiteral("Terminal")));
}

}  // namespace
}  // namespace tandrel
