#include "platform/process_exit_watcher.h"

#include "platform/child_process.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "platform/linux/pidfd_process_exit_watcher.h"
#include "support/descriptors_exhausted.h"
#include "support/wait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

// Turns the event loop for `ms` (for checking that something does NOT happen).
void spinFor(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

struct Counter {
  int calls = 0;
  bool onMainThread = true;
  ProcessExitCallback callback() {
    return [this] {
      ++calls;
      onMainThread =
          onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
    };
  }
};

class ProcessExitWatcherTest : public ::testing::TestWithParam<bool> {
 protected:
  bool forceProcPoll() const { return GetParam(); }
  ProcessExitWatchMethod expectedMethod() const {
    return forceProcPoll() ? ProcessExitWatchMethod::procPoll : ProcessExitWatchMethod::pidfd;
  }
};

TEST_P(ProcessExitWatcherTest, ReportsOnceWhenTheProcessIsKilledAndStillUnreaped) {
  test::ChildProcess child("/bin/sleep", {"30"});
  ASSERT_GT(child.pid(), 0);
  Counter counter;
  auto watcher = watchProcessExit(child.pid(), counter.callback(), forceProcPoll());
  EXPECT_EQ(watcher->method(), expectedMethod());
  EXPECT_EQ(watcher->label(), QStringLiteral("app.tandrel.agent-pid-watcher.%1").arg(child.pid()));

  spinFor(30);
  EXPECT_EQ(counter.calls, 0) << "a running process must not count as exited";

  child.kill();
  ASSERT_TRUE(test::waitUntil([&] { return counter.calls > 0; }));
  EXPECT_TRUE(child.isZombie()) << "the child is not reaped: the watcher must see the zombie";
  spinFor(2 * kProcPollIntervalMs);
  EXPECT_EQ(counter.calls, 1);
  EXPECT_TRUE(counter.onMainThread);
}

TEST(ProcessExitWatcherDescriptorTest, WithoutDescriptorsALiveAgentIsNotTakenForDead) {
  test::ChildProcess child("/bin/sleep", {"30"});
  ASSERT_GT(child.pid(), 0);
  Counter counter;
  // Both kinds of watcher and a report once while descriptors are free, for the sanitizers' type
  // checks.
  watchProcessExit(child.pid(), counter.callback());
  watchProcessExit(child.pid(), counter.callback(), true);
  Counter().callback()();
  test::DescriptorsExhausted exhausted;
  auto watcher = watchProcessExit(child.pid(), counter.callback());
  EXPECT_EQ(watcher->method(), ProcessExitWatchMethod::procPoll) << "no descriptor for a pidfd";
  spinFor(3 * kProcPollIntervalMs);
  EXPECT_EQ(counter.calls, 0) << "/proc cannot be opened either, yet the process is alive";

  child.kill();
  child.reap();
  ASSERT_TRUE(test::waitUntil([&] { return counter.calls == 1; }, 2000)) << "kill(pid, 0) sees it gone";
}

TEST(ProcessExitWatcherDescriptorTest, APidfdIsNotKeptInTheDescriptorsLeftToTheRestOfTheApp) {
  test::ChildProcess child("/bin/sleep", {"30"});
  ASSERT_GT(child.pid(), 0);
  Counter counter;
  {
    // The next descriptor lies in the headroom, a quarter of a limit of 64.
    test::DescriptorLimit limit(2, 64);
    auto watcher = watchProcessExit(child.pid(), counter.callback());
    EXPECT_EQ(watcher->method(), ProcessExitWatchMethod::procPoll);
    int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << "the pidfd was given back";
    ::close(fd);
    spinFor(2 * kProcPollIntervalMs);
    EXPECT_EQ(counter.calls, 0);
    child.kill();
    child.reap();
    ASSERT_TRUE(test::waitUntil([&] { return counter.calls == 1; }, 2000));
  }
  test::ChildProcess other("/bin/sleep", {"30"});
  EXPECT_EQ(watchProcessExit(other.pid(), counter.callback())->method(), ProcessExitWatchMethod::pidfd);
}

TEST_P(ProcessExitWatcherTest, AnAlreadyExitedProcessIsReportedLaterNotInsideTheConstructor) {
  // A zombie (exited, not reaped) and a pid that names nothing any more.
  test::ChildProcess zombie("/bin/true");
  ASSERT_GT(zombie.pid(), 0);
  ASSERT_TRUE(test::waitUntil([&] { return zombie.isZombie(); }));
  test::ChildProcess gone("/bin/true");
  gone.reap();

  for (const pid_t pid : {zombie.pid(), gone.pid()}) {
    Counter counter;
    auto watcher = watchProcessExit(pid, counter.callback(), forceProcPoll());
    EXPECT_EQ(counter.calls, 0) << "never from inside the constructor";
    ASSERT_TRUE(test::waitUntil([&] { return counter.calls > 0; }, 2000)) << pid;
    spinFor(20);
    EXPECT_EQ(counter.calls, 1);
  }
}

TEST_P(ProcessExitWatcherTest, NeverReportsAfterCancel) {
  // Cancelled while the process runs, then it exits.
  test::ChildProcess child("/bin/sleep", {"30"});
  Counter running;
  auto first = watchProcessExit(child.pid(), running.callback(), forceProcPoll());
  first->cancel();
  child.kill();
  // Cancelled after the exit was noticed (the report is already posted) but before it ran.
  test::ChildProcess gone("/bin/true");
  gone.reap();
  Counter noticed;
  auto second = watchProcessExit(gone.pid(), noticed.callback(), forceProcPoll());
  second.reset();

  spinFor(2 * kProcPollIntervalMs);
  EXPECT_EQ(running.calls, 0);
  EXPECT_EQ(noticed.calls, 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, ProcessExitWatcherTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "ProcPoll" : "Pidfd";
                         });

TEST(ProcessExitWatcherBasicsTest, APidThatCannotNameAProcessIsNotWatched) {
  for (const qint32 pid : {0, -1}) {
    Counter counter;
    auto watcher = watchProcessExit(pid, counter.callback());
    EXPECT_EQ(watcher->method(), ProcessExitWatchMethod::none);
    spinFor(20);
    EXPECT_EQ(counter.calls, 0);
  }
}

TEST(ProcessExitWatcherBasicsTest, CancelledWatchersKeepNoDescriptor) {
  const int before = test::openDescriptorCount();
  for (int i = 0; i < 2000; ++i) {
    auto watcher = watchProcessExit(static_cast<qint32>(::getpid()), [] {});
    ASSERT_EQ(watcher->method(), ProcessExitWatchMethod::pidfd);
  }
  EXPECT_EQ(test::openDescriptorCount(), before);
}

TEST(ProcessExitWatcherBasicsTest, ProcStatStateReadsTheFieldAfterTheCommandName) {
  const struct {
    QByteArray line;
    std::optional<char> state;
  } cases[] = {
      {"1234 (sleep) S 1 1234 1234 0 -1", 'S'},
      {"1234 (sleep) Z 1 1234", 'Z'},
      {"77 (odd) name) (x) R 1 77", 'R'},  // the command name may hold ") " itself
      {"77 (a b) X 0", 'X'},
      {"77 (sleep)", std::nullopt},
      {"garbage", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(procStatState(c.line), c.state) << c.line.constData();
  }
}

TEST(ProcessExitWatcherBasicsTest, FakeReportsOnlyLiveWatchersAndOnlyWhenTold) {
  FakeProcessExitWatchers fake;
  ProcessExitWatcherFactory factory = fake.factory();
  Counter a;
  Counter b;
  Counter c;
  auto first = factory(7, a.callback());
  auto second = factory(7, b.callback());
  auto other = factory(8, c.callback());
  second->cancel();
  EXPECT_EQ(fake.liveCount(), 2);
  EXPECT_EQ(fake.exit(7), 1);
  EXPECT_EQ(fake.exit(7), 0) << "a watcher reports at most once";
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 0);
  EXPECT_EQ(c.calls, 0);
  EXPECT_EQ(fake.livePids(), std::vector<qint32>{8});
  other.reset();
  EXPECT_EQ(fake.liveCount(), 0);
  EXPECT_EQ(fake.createdCount(), 3);
}

}  // namespace
}  // namespace tandrel
