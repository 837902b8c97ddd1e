#include "selfcheck/self_test_runner.h"

#include "ai_tools/ai_tools_tab.h"
#include "catalog/paths.h"
#include "jump/jump_diagnostics.h"
#include "jump/jump_openers.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace tandrel {
namespace {

// Sends standard error to a file while it exists; finish() gives what was written.
class StandardErrorCapture {
 public:
  explicit StandardErrorCapture(QString path) : path_(std::move(path)) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int file = ::open(path_.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, STDERR_FILENO);
    ::close(file);
  }
  ~StandardErrorCapture() { finish(); }
  StandardErrorCapture(const StandardErrorCapture&) = delete;
  StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

  QByteArray finish() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
    return test::readFile(path_);
  }

 private:
  QString path_;
  int saved_ = -1;
};

std::optional<QByteArray> env(const char* name) {
  if (!qEnvironmentVariableIsSet(name)) return std::nullopt;
  return qgetenv(name);
}

// The whole run in this process, with one check made to fail by a file where its fixture folder
// goes: the run ends with status 1 and that check's sentence, goes on past it, and leaves the
// environment, the user defaults and the test switches as it found them.
TEST(SelfTestRunSlow, AFailedCheckGivesStatusOneWithItsSentenceAndEverySettingComesBack) {
  test::TempHome home;
  const QString eventFile = home.file("run/events.jsonl");
  ASSERT_TRUE(test::writeFile(home.file("run/ai-tools-jump"), "a file where the check's folder goes"));
  home.setEnv("TANDREL_EVENT_FILE", eventFile.toUtf8());
  home.setEnv("CODEX_HOME", QByteArray("/codex-home"));
  home.setEnv("TANDREL_TEST_CODEX_PETS_AUTHORIZED", std::nullopt);
  const std::optional<QByteArray> tandrelHome = env("TANDREL_HOME");
  UserDefaults& userDefaults = UserDefaults::standard();
  const QString authorized = QStringLiteral("codexPetsDirectoryAuthorized");
  const QString requested = QStringLiteral("didRequestCodexPetsDirectoryAuthorization");
  userDefaults.set(authorized, QStringLiteral("yes"));
  userDefaults.remove(requested);
  const QString defaultsFolder = UserDefaults::directoryForTests();
  const QByteArray userDefaultsFile = test::readFile(userDefaults.filePath());
  const bool testEnvironment = isTestEnvironment();
  setTestEnvironment(true);

  StandardErrorCapture capture(home.file("stderr.txt"));
  const int status = runSelfTests();
  const QList<QByteArray> lines = capture.finish().split('\n');
  setTestEnvironment(testEnvironment);

  EXPECT_EQ(status, 1);
  const QByteArray failed = "FAIL: AI Tools Jump should open the target app and close the settings panel";
  EXPECT_EQ(lines.count(failed), 1) << lines.join('\n').toStdString();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const QByteArray& line) { return line.startsWith("FAIL: "); }), 1)
      << "the run went on and every other check passed";
  EXPECT_TRUE(lines.contains("not available on this platform: the Info.plist permission text for Jump automation"));

  EXPECT_EQ(env("CODEX_HOME"), QByteArray("/codex-home"));
  EXPECT_EQ(env("TANDREL_TEST_CODEX_PETS_AUTHORIZED"), std::nullopt);
  EXPECT_EQ(env("TANDREL_HOME"), tandrelHome);
  EXPECT_EQ(env("TANDREL_EVENT_FILE"), eventFile.toUtf8());
  EXPECT_EQ(UserDefaults::directoryForTests(), defaultsFolder);
  EXPECT_EQ(userDefaults.storedAs<QString>(authorized), QStringLiteral("yes"));
  EXPECT_FALSE(userDefaults.contains(requested));
  EXPECT_EQ(test::readFile(userDefaults.filePath()), userDefaultsFile) << "the run saved its settings elsewhere";
  EXPECT_FALSE(AIToolsTab::externalURLOpenerForTests);
  EXPECT_FALSE(AIToolsTab::hookInstallerForTests);
  EXPECT_FALSE(AIToolsTab::repairConfirmationForTests);
  EXPECT_FALSE(AIToolsTab::toolHealthProviderForTests);
  EXPECT_FALSE(AIToolsTab::appLauncherForTests);
  EXPECT_FALSE(JumpOpeners::runDetachedCommandCapturingOverrideForTests);
  EXPECT_FALSE(JumpOpeners::openCmuxStrategyOverrideForTests);
  EXPECT_FALSE(JumpOpeners::openCmuxActivateFallbackOverrideForTests);
  EXPECT_EQ(JumpOpeners::cmuxExecutablePathOverrideForTests, std::nullopt);
  EXPECT_EQ(JumpOpeners::windowActivatorOverrideForTests, nullptr);
  EXPECT_TRUE(lines.contains("not available on this platform: the Terminal and iTerm focus scripts (AppleScript)"));
  EXPECT_FALSE(QFileInfo::exists(jumpDiagnosticFile())) << "the Jump checks keep their openers' diagnostics in the scratch folder";
  EXPECT_FALSE(QFileInfo::exists(appSupportDirectory() + QStringLiteral("/audit.jsonl")))
      << "the shared store audits into the scratch folder";
  userDefaults.remove(authorized);
}

}  // namespace
}  // namespace tandrel
