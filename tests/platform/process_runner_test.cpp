#include "platform/process_runner.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tandrel
