#include "platform/process_runner.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

namespace tandrel {
namespace {

using test::TempHome;

TEST(ProcessRunnerTest, ATimeOutKillsTheChildAndEverythingItStarted) {
  TempHome home;
  const QString pidFile = home.file(QStringLiteral("grandchild.pid"));
  const ChildProcessOutcome outcome = runChildProcess(
      QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 30 & echo $! > \"$1\"; wait"), QStringLiteral("sh"), pidFile},
      QString(), std::chrono::milliseconds(300));
  EXPECT_TRUE(outcome.started);
  EXPECT_TRUE(outcome.timedOut);
  EXPECT_EQ(outcome.error, QStringLiteral("timed out"));
  EXPECT_FALSE(outcome.succeeded());
  const qint64 grandchild = test::readFile(pidFile).trimmed().toLongLong();
  ASSERT_GT(grandchild, 0);
  // The sleep was in the same process group: it is gone (or a zombie waiting for its reaper).
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    const QByteArray stat = test::readFile(QStringLiteral("/proc/%1/stat").arg(grandchild));
    gone = stat.isEmpty() || stat.contains(") Z ");
    if (!gone) QThread::msleep(10);
  }
  EXPECT_TRUE(gone);

  const ChildProcessOutcome quick = runChildProcess(QStringLiteral("/bin/echo"), {QStringLiteral("hi")}, home.path(),
                                                    std::chrono::milliseconds(5000));
  EXPECT_TRUE(quick.succeeded());
  EXPECT_EQ(quick.standardOutput, "hi\n");
}

TEST(ProcessRunnerTest, AWatchedChildFailsOnlyByAnEarlyExitAndIsNeverKilled) {
  TempHome home;
  const QString mark = home.file(QStringLiteral("still-ran"));
  const QString plain = home.file(QStringLiteral("notes.txt"));
  ASSERT_TRUE(test::writeFile(plain, "not a program\n"));
  const auto sh = [](const QString& script, const QStringList& more = {}) {
    return QStringList{QStringLiteral("-c"), script, QStringLiteral("sh")} + more;
  };
  const struct {
    const char* name;
    QString program;
    QStringList arguments;
    std::optional<QString> error;  // none: succeeds
  } cases[] = {
      {"an exit with status 0", QStringLiteral("/bin/sh"), sh(QStringLiteral("exit 0")), std::nullopt},
      {"an early failure gives its status", QStringLiteral("sh"), sh(QStringLiteral("exit 3")), QStringLiteral("exit=3")},
      {"a child still running is left to run", QStringLiteral("sh"),
       sh(QStringLiteral("sleep 0.6; echo done > \"$1\""), {mark}), std::nullopt},
      {"a program not on PATH", QStringLiteral("no-such-opener-here"), {},
       QStringLiteral("no-such-opener-here is not installed")},
      {"a file that cannot be executed", plain, {}, plain + QStringLiteral(": Permission denied")},
  };
  for (const auto& c : cases) {
    QElapsedTimer clock;
    clock.start();
    const Result<void> started = startChildProcessWatchingEarlyExit(c.program, c.arguments, home.path(),
                                                                    std::chrono::milliseconds(300));
    EXPECT_EQ(started.ok(), !c.error) << c.name;
    if (c.error && !started.ok()) {
      EXPECT_EQ(started.error(), *c.error) << c.name;
    }
    EXPECT_LT(clock.elapsed(), 2000) << c.name;
  }
  // The child that outlived its window was not killed: it finished its work.
  bool done = false;
  for (int i = 0; i < 200 && !done; ++i) {
    done = test::readFile(mark) == "done\n";
    if (!done) QThread::msleep(10);
  }
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace tandrel
