#include "selfcheck/harness.h"
#include "selfcheck/self_check.h"
#include "selfcheck/self_test_runner.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QThread>
#include <QTimer>

#include <functional>
#include <optional>
#include <stdexcept>

namespace tandrel {
namespace {

std::optional<QByteArray> env(const char* name) {
  if (!qEnvironmentVariableIsSet(name)) return std::nullopt;
  return qgetenv(name);
}

TEST(SelfCheckHarness, ScopedRestorePutsBackWhatItRecordedOnEveryWayOut) {
  test::TempHome home;
  UserDefaults defaults(home.file("harness-defaults.json"));
  home.setEnv("TANDREL_HARNESS_SET", QByteArray("before"));
  home.setEnv("TANDREL_HARNESS_ABSENT", std::nullopt);
  defaults.set(QStringLiteral("flag"), QStringLiteral("true"));  // a text, not a flag: the type comes back too
  defaults.remove(QStringLiteral("absent"));
  std::function<int()> hook;
  int counter = 3;

  // The scope changes everything it recorded, then leaves by the given path.
  enum class Exit { normalEnd, earlyReturn, exception };
  const auto scope = [&](Exit exit) {
    ScopedRestore restore;
    restore.setEnvironment("TANDREL_HARNESS_SET", QByteArray("during"))
        .setEnvironment("TANDREL_HARNESS_ABSENT", QByteArray("during"))
        .defaultsKey(QStringLiteral("flag"), defaults)
        .defaultsKey(QStringLiteral("absent"), defaults)
        .set(hook, [] { return 1; })
        .set(counter, 9);
    defaults.set(QStringLiteral("flag"), false);
    defaults.set(QStringLiteral("absent"), 5);
    EXPECT_EQ(env("TANDREL_HARNESS_SET"), QByteArray("during"));
    EXPECT_EQ(env("TANDREL_HARNESS_ABSENT"), QByteArray("during"));
    EXPECT_TRUE(hook);
    EXPECT_EQ(counter, 9);
    if (exit == Exit::earlyReturn) return;
    if (exit == Exit::exception) throw std::runtime_error("a check failed half-way");
    counter = 10;
  };
  for (const Exit exit : {Exit::normalEnd, Exit::earlyReturn, Exit::exception}) {
    SCOPED_TRACE(static_cast<int>(exit));
    try {
      scope(exit);
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(env("TANDREL_HARNESS_SET"), QByteArray("before"));
    EXPECT_EQ(env("TANDREL_HARNESS_ABSENT"), std::nullopt);
    EXPECT_EQ(defaults.storedAs<QString>(QStringLiteral("flag")), QStringLiteral("true"));
    EXPECT_FALSE(defaults.contains(QStringLiteral("absent")));
    EXPECT_FALSE(hook);
    EXPECT_EQ(counter, 3);
  }
}

TEST(SelfCheckHarness, ScopedRestorePutsBackInTheOrderOfRecordingAndOnlyOnceWhenMoved) {
  std::vector<int> order;
  std::optional<ScopedRestore> moved;
  {
    ScopedRestore restore;
    restore.atExit([&order] { order.push_back(1); }).atExit([&order] { order.push_back(2); });
    moved.emplace(std::move(restore));
  }
  EXPECT_TRUE(order.empty()) << "the moved-from scope put nothing back";
  moved.reset();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(SelfCheckHarness, CodexPetsSettingsComeBackAfterThePetRowsScope) {
  test::TempHome home;
  UserDefaults& defaults = UserDefaults::standard();
  const QString authorized = QStringLiteral("codexPetsDirectoryAuthorized");
  const QString requested = QStringLiteral("didRequestCodexPetsDirectoryAuthorization");
  home.setEnv("CODEX_HOME", QByteArray("/codex-home"));
  home.setEnv("TANDREL_TEST_CODEX_PETS_AUTHORIZED", std::nullopt);
  defaults.set(authorized, true);
  defaults.remove(requested);
  {
    const ScopedRestore restore = codexPetsSettingsRestore();
    qputenv("CODEX_HOME", "/scratch/codex");
    qputenv("TANDREL_TEST_CODEX_PETS_AUTHORIZED", "1");
    defaults.set(authorized, false);
    defaults.set(requested, true);
  }
  EXPECT_EQ(env("CODEX_HOME"), QByteArray("/codex-home"));
  EXPECT_EQ(env("TANDREL_TEST_CODEX_PETS_AUTHORIZED"), std::nullopt);
  EXPECT_EQ(defaults.storedAs<bool>(authorized), true);
  EXPECT_FALSE(defaults.contains(requested));
  defaults.remove(authorized);
}

TEST(SelfCheckHarness, TimingSentencesEndWithTheMeasuredSeconds) {
  const struct {
    double seconds;
    const char* sentence;
  } cases[] = {
      {0.0123, "took 0.0123s"},
      {0.3, "took 0.3s"},
      {1.0, "took 1s"},
      {0.00001, "took 1e-05s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sentenceWithSeconds(QStringLiteral("took "), c.seconds), QString::fromLatin1(c.sentence));
  }
  const double slept = secondsTaken([] { QThread::msleep(20); });
  EXPECT_GE(slept, 0.019);
  EXPECT_LT(slept, 2.0);
}

TEST(SelfCheckHarness, TheFastestOfThreeAttemptsCountsEachAttemptRunningOnceInOrder) {
  const struct {
    std::vector<double> measured;
    double fastest;
  } cases[] = {
      {{0.3, 0.2, 0.1}, 0.1},
      {{0.1, 0.2, 0.3}, 0.1},
      {{0.2, 0.05, 0.4}, 0.05},
  };
  for (const auto& c : cases) {
    std::vector<int> attempts;
    const double fastest = fastestOfThree([&](int attempt) {
      attempts.push_back(attempt);
      return c.measured[static_cast<std::size_t>(attempt)];
    });
    EXPECT_EQ(fastest, c.fastest);
    EXPECT_EQ(attempts, (std::vector<int>{0, 1, 2}));
  }
}

TEST(SelfCheckHarness, TimingChecksFailAtTheLimitAndUnavailableOnesCountNeitherWay) {
  SelfCheckFailures failures;
  failures.checkTiming(0.0199, 0.02, QStringLiteral("fast enough"));
  failures.checkTiming(0.02, 0.02, QStringLiteral("at the limit"));
  failures.notAvailable(QStringLiteral("the bundle's permission text"));
  if (timingChecksJudged()) {
    EXPECT_EQ(failures.messages(), std::vector<QString>{QStringLiteral("at the limit")});
  } else {
    EXPECT_TRUE(failures.messages().empty());
  }
  EXPECT_EQ(failures.unavailable(), std::vector<QString>{QStringLiteral("the bundle's permission text")});
}

TEST(SelfCheckHarness, WaitingOnTheEventLoopIsBoundedAndSeesQueuedWork) {
  bool fired = false;
  QTimer::singleShot(30, [&fired] { fired = true; });
  EXPECT_TRUE(waitOnEventLoop([&fired] { return fired; }, 2.0));

  int asked = 0;
  EXPECT_TRUE(waitOnEventLoop([&asked] { return ++asked > 0; }, 0.0)) << "already done: no wait";
  const double waited = secondsTaken([] { EXPECT_FALSE(waitOnEventLoop([] { return false; }, 0.05)); });
  EXPECT_GE(waited, 0.05);
  EXPECT_LT(waited, 1.0);
}

TEST(SelfCheckHarness, FreshScratchFoldersStartEmptyAndFailWhereAFileIsInTheWay) {
  test::TempHome home;
  ASSERT_TRUE(test::writeFile(home.file("bridge-currentness/old/left-over"), "x"));
  const std::optional<QString> folder = freshScratchFolder(home.path(), QStringLiteral("bridge-currentness"));
  ASSERT_EQ(folder, home.file("bridge-currentness"));
  EXPECT_TRUE(QDir(*folder).isEmpty());

  ASSERT_TRUE(test::writeFile(home.file("blocked"), "a file"));
  EXPECT_EQ(freshScratchFolder(home.path(), QStringLiteral("blocked")), std::nullopt);
  EXPECT_EQ(scratchPath(home.path(), QStringLiteral("a-check-events.jsonl")), home.file("a-check-events.jsonl"));
}

}  // namespace
}  // namespace tandrel
