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

// A temporary home with a search path and a terminal of its own, which the checks must give back.
struct JumpChecksHome {
  test::TempHome home;
  SelfCheckFailures failures;

  JumpChecksHome() {
    home.setEnv("PATH", QByteArray("/usr/bin:/bin"));
    home.setEnv("TERMINAL", QByteArray("kitty"));
  }

  // Every seam and variable the checks changed is back, and nothing was written outside the
  // scratch folder: the openers' diagnostics went there too.
  void expectEverythingBack() const {
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
};

TEST(JumpChecksGui, TheJumpGroupPassesOnTheRealStoreResolverAndOpeners) {
  JumpChecksHome f;
  runJumpChecks(f.failures, f.home.path());
  EXPECT_TRUE(f.failures.messages().empty()) << listed(f.failures.messages()).toStdString();
  // The AppleScript focus scripts have no counterpart here: reported, neither passed nor failed.
  EXPECT_EQ(f.failures.unavailable(), std::vector<QString>{QStringLiteral("the Terminal and iTerm focus scripts (AppleScript)")});
  f.expectEverythingBack();
}

TEST(JumpChecksGui, TheCmuxChainGroupPassesOnTheRealOpener) {
  JumpChecksHome f;
  runCmuxFallbackChainChecks(f.failures, f.home.path());
  EXPECT_TRUE(f.failures.messages().empty()) << listed(f.failures.messages()).toStdString();
  f.expectEverythingBack();
}

TEST(JumpChecksGui, TheStoreJumpGroupPassesOnTheRealStore) {
  JumpChecksHome f;
  runStoreJumpChecks(f.failures, f.home.path());
  EXPECT_TRUE(f.failures.messages().empty()) << listed(f.failures.messages()).toStdString();
  f.expectEverythingBack();
}

}  // namespace
}  // namespace tandrel
