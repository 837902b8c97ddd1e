#include "jump/jump_router.h"

#include "jump/jump_openers.h"
#include "jump/startup_permission_preflight.h"
#include "platform/fake/fake_window_activator.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace tandrel {
namespace {

using test::TempHome;

struct Started {
  QString command;
  QStringList arguments;
  bool operator==(const Started&) const = default;
};

void PrintTo(const Started& started, std::ostream* out) {
  *out << started.command.toStdString() << " " << started.arguments.join(' ').toStdString();
}

class JumpRouterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    JumpOpeners::windowActivatorOverrideForTests = &desktop;
    JumpOpeners::runDetachedCommandCapturingOverrideForTests = [this](const QString& command, const QStringList& arguments,
                                                                      const std::optional<QString>&) {
      started.push_back({command, arguments});
      const bool ok = !failing.contains(command);
      return CapturedProcessResult{ok, ok ? 0 : 1, {}, {}, std::nullopt};
    };
    QDir().mkpath(cwd);
    // kitty is the user's terminal, and installed.
    const QString kitty = home.file(QStringLiteral("bin/kitty"));
    ASSERT_TRUE(test::writeFile(kitty, "#!/bin/sh\n"));
    QFile::setPermissions(kitty, QFile::ReadOwner | QFile::ExeOwner);
    home.setEnv("PATH", QFile::encodeName(home.file(QStringLiteral("bin"))));
    home.setEnv("TERMINAL", "kitty");
  }
  void TearDown() override {
    JumpOpeners::windowActivatorOverrideForTests = nullptr;
    JumpOpeners::runDetachedCommandCapturingOverrideForTests = nullptr;
  }

  TempHome home;
  QString cwd = home.file(QStringLiteral("project"));
  FakeWindowActivator desktop;
  std::vector<Started> started;
  QStringList failing;
};

TEST_F(JumpRouterTest, TheAgentsTerminalWindowComesFirst) {
  // The agent (300) runs in a shell (200) of the terminal (100) that owns window 7.
  desktop.windows = {{7, 100, QStringLiteral("kitty")}};
  desktop.parents = {{300, 200}, {200, 100}};
  TandrelJumpRouter::jumpToAgent(cwd, std::nullopt, 300);
  EXPECT_EQ(desktop.activated, std::vector<quint64>{7});
  EXPECT_TRUE(started.empty());
}

TEST_F(JumpRouterTest, OtherwiseTheFolderOpensInTheTerminalThenTheFileManagerThenTheTranscript) {
  const QString transcript = home.file(QStringLiteral("t.jsonl"));
  ASSERT_TRUE(test::writeFile(transcript, "{}\n"));

  TandrelJumpRouter::jumpToAgent(cwd, transcript, 300);
  EXPECT_EQ(started, (std::vector<Started>{{"kitty", {"--directory", cwd}}}));

  started.clear();
  failing = {QStringLiteral("kitty")};
  TandrelJumpRouter::jumpToAgent(cwd, transcript, std::nullopt);
  EXPECT_EQ(started, (std::vector<Started>{{"kitty", {"--directory", cwd}}, {"xdg-open", {cwd}}}));

  started.clear();
  TandrelJumpRouter::jumpToAgent(home.file(QStringLiteral("gone")), transcript, std::nullopt);
  EXPECT_EQ(started, (std::vector<Started>{{"xdg-open", {transcript}}}));

  started.clear();
  TandrelJumpRouter::jumpToAgent(QString(), home.file(QStringLiteral("missing.jsonl")), std::nullopt);
  EXPECT_TRUE(started.empty());
}

TEST(StartupPermissionPreflightTest, KeysNameTheApplicationsAJumpWouldAddress) {
  TempHome home;
  const auto none = std::nullopt;
  const std::vector<std::pair<JumpTarget, std::optional<QString>>> cases{
      {JumpTarget::cmux(QStringLiteral("s"), none, none), QStringLiteral("app:cmux")},
      {JumpTarget::app(QStringLiteral("com.openai.codex"), QStringLiteral("/Applications/Codex.app"), none), QStringLiteral("app:com.openai.codex")},
      {JumpTarget::app(QString(), QStringLiteral("/Applications/Kimi.app"), none), QStringLiteral("app:/Applications/Kimi.app")},
      {JumpTarget::app(none, none, none), none},
      {JumpTarget::terminalWindow(QStringLiteral("iTerm2"), QStringLiteral("1"), none, none, none), QStringLiteral("terminal:iTerm")},
      {JumpTarget::terminalCwd(QStringLiteral("/w"), none), QStringLiteral("terminal:Terminal")},
      {JumpTarget::url(QStringLiteral("https://example.com")), none},
      {JumpTarget::file(QStringLiteral("/w/a"), none), none},
      {JumpTarget::cli(QStringLiteral("codex"), {}, none), none},
  };
  for (const auto& [target, key] : cases) {
    EXPECT_EQ(StartupPermissionPreflight::preflightKey(target), key);
  }

  IslandMessage link;
  link.jump = ResolvedJumpTarget{true, JumpTarget::url(QStringLiteral("https://example.com")), QStringLiteral("Open link"),
                                 none, JumpQuality::appLevel, nullptr, ResolvedJumpAction::openURL};
  IslandMessage unavailableWithFolder = link;
  unavailableWithFolder.jump->available = false;
  unavailableWithFolder.jump->fallback =
      boxed(ResolvedJumpTarget{true, JumpTarget::terminalCwd(QStringLiteral("/w"), none), QStringLiteral("Open folder"), none,
                               JumpQuality::workspaceLevel, nullptr, ResolvedJumpAction::openTerminal});
  EXPECT_FALSE(StartupPermissionPreflight::hasAutomationTarget({link, IslandMessage{}}));
  EXPECT_TRUE(StartupPermissionPreflight::hasAutomationTarget({link, unavailableWithFolder}));
  // Nothing is activated on this desktop.
  EXPECT_EQ(StartupPermissionPreflight::preflight({unavailableWithFolder}), 0);
}

}  // namespace
}  // namespace tandrel
