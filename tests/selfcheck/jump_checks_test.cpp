#include "selfcheck/checks/jump_checks.h"

#include "jump/jump_diagnostics.h"
#include "jump/jump_openers.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QStringList>

namespace tandrel {
namespace {

QString listed(const std::vector<QString>& sentences) {
  QStringList lines;
  for (const QString& sentence : sentences) lines << sentence;
  return lines.join(QLatin1Char('\n'));
}

TEST(JumpChecksGui, TheJumpGroupsPassOnTheRealStoreResolverAndOpeners) {
  test::TempHome home;
  home.setEnv("PATH", QByteArray("/usr/bin:/bin"));
  home.setEnv("TERMINAL", QByteArray("kitty"));
  SelfCheckFailures failures;
  runJumpChecks(failures, home.path());
  runCmuxFallbackChainChecks(failures, home.path());
  runStoreJumpChecks(failures, home.path());
  EXPECT_TRUE(failures.messages().empty()) << listed(failures.messages()).toStdString();
  // The AppleScript focus scripts have no counterpart here: reported, neither passed nor failed.
  EXPECT_EQ(failures.unavailable(), std::vector<QString>{QStringLiteral("the Terminal and iTerm focus scripts (AppleScript)")});

  // Every seam and variable the checks changed is back, and nothing was written outside the
  // scratch folder: the openers' diagnostics went there too.
  EXPECT_FALSE(JumpOpeners::runDetachedCommandCapturingOverrideForTests);
  EXPECT_FALSE(JumpOpeners::openCmuxStrategyOverrideForTests);
  EXPECT_FALSE(JumpOpeners::openCmuxActivateFallbackOverrideForTests);
  EXPECT_FALSE(JumpOpeners::cmuxExecutablePathLookupOverrideForTests);
  EXPECT_EQ(JumpOpeners::cmuxExecutablePathOverrideForTests, std::nullopt);
  EXPECT_EQ(JumpOpeners::windowActivatorOverrideForTests, nullptr);
  EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin"));
  EXPECT_EQ(qgetenv("TERMINAL"), QByteArray("kitty"));
  EXPECT_FALSE(QFileInfo::exists(jumpDiagnosticFile())) << jumpDiagnosticFile().toStdString();
}

}  // namespace
}  // namespace tandrel
