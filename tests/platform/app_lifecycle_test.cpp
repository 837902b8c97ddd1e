#include "platform/single_instance.h"
#include "platform/termination_signals.h"

#include "support/temp_home.h"
#include "support/wait.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace tandrel {
namespace {

TEST(SingleInstanceTest, SecondLaunchReachesTheFirstAndStaleSocketsAreReplaced) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral(".tandrel/instance.sock"));

  SingleInstance first(path);
  EXPECT_FALSE(first.notifyRunningInstance()) << "nobody is running yet";
  int reopens = 0;
  ASSERT_TRUE(first.listen([&] { ++reopens; }));

  SingleInstance second(path);
  EXPECT_TRUE(second.notifyRunningInstance());
  EXPECT_TRUE(test::waitUntil([&] { return reopens == 1; }));

  // A socket file left by a crashed instance does not block the next start.
  ASSERT_TRUE(test::writeFile(home.file(QStringLiteral("stale.sock")), ""));
  SingleInstance afterCrash(home.file(QStringLiteral("stale.sock")));
  EXPECT_FALSE(afterCrash.notifyRunningInstance());
  EXPECT_TRUE(afterCrash.listen([] {}));
}

TEST(TerminationSignalsTest, SignalsArriveOnTheMainThreadInOrder) {
  std::vector<int> received;
  {
    TerminationSignals signals([&](int number) { received.push_back(number); });
    ASSERT_TRUE(signals.isInstalled());
    ::raise(SIGHUP);
    ::raise(SIGTERM);
    EXPECT_TRUE(received.empty()) << "handled by the event loop, not inside the signal handler";
    EXPECT_TRUE(test::waitUntil([&] { return received.size() == 2; }));
  }
  EXPECT_EQ(received, (std::vector<int>{SIGHUP, SIGTERM}));
}

}  // namespace
}  // namespace tandrel
