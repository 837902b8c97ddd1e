#include "platform/clock.h"
#include "platform/dispatch.h"

#include "platform/fake/fake_clock.h"
#include "support/wait.h"

#include <QObject>
#include <QPointer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace tandrel {
namespace {

using namespace std::chrono_literals;

TEST(DispatchTest, PostToMainRunsLaterOnTheMainThreadInOrder) {
  std::vector<int> order;
  std::atomic<bool> mainThread{true};
  SerialQueue queue(QStringLiteral("app.tandrel.test-post"));
  queue.async([&] {
    for (int i = 0; i < 3; ++i) {
      postToMain([&, i] {
        order.push_back(i);
        mainThread = mainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
      });
    }
  });
  queue.drain();
  EXPECT_TRUE(order.empty()) << "posted work must not run before the event loop turns";
  ASSERT_TRUE(test::waitUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(mainThread);
}

TEST(DispatchTest, HopBackDoesNothingOnceTheReceiverIsGone) {
  SerialQueue queue(QStringLiteral("app.tandrel.test-hop"));

  // A QObject receiver destroyed before the hop arrives.
  int objectCalls = 0;
  auto* receiver = new QObject;
  queue.async([&, receiver] { postToMain(receiver, [&](QObject&) { ++objectCalls; }); });
  queue.drain();
  delete receiver;

  // A shared receiver released before the hop arrives, and one still alive.
  int sharedCalls = 0;
  auto gone = std::make_shared<int>(1);
  auto alive = std::make_shared<int>(2);
  queue.async([&, weakGone = std::weak_ptr<int>(gone), weakAlive = std::weak_ptr<int>(alive)] {
    postToMain(weakGone, [&](int& v) { sharedCalls += v; });
    postToMain(weakAlive, [&](int& v) { sharedCalls += v * 10; });
  });
  queue.drain();
  gone.reset();

  bool flushed = false;
  postToMain([&] { flushed = true; });
  ASSERT_TRUE(test::waitUntil([&] { return flushed; }));
  EXPECT_EQ(objectCalls, 0);
  EXPECT_EQ(sharedCalls, 20);
}

TEST(SerialQueueTest, RunsTasksOneAtATimeInOrderOnItsNamedThread) {
  SerialQueue queue(QStringLiteral("app.tandrel.bridge-events"));
  std::mutex mutex;
  std::vector<int> order;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::vector<QString> labels;
  for (int i = 0; i < 200; ++i) {
    queue.async([&, i] {
      if (running.fetch_add(1) != 0) {
        overlapped = true;
      }
      {
        std::lock_guard lock(mutex);
        order.push_back(i);
        if (i == 0) {
          char name[16] = {};
          pthread_getname_np(pthread_self(), name, sizeof name);
          labels.push_back(QString::fromUtf8(name));
          labels.push_back(SerialQueue::currentLabel());
        }
      }
      running.fetch_sub(1);
    });
  }
  queue.drain();
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(order[static_cast<size_t>(i)], i);
  }
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(labels, (std::vector<QString>{QStringLiteral("bridge-events"),
                                         QStringLiteral("app.tandrel.bridge-events")}));
  EXPECT_TRUE(SerialQueue::currentLabel().isEmpty());
  EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueueTest, DestructionFinishesTheRunningTaskAndDropsTheRest) {
  std::atomic<int> ran{0};
  std::atomic<bool> started{false};
  {
    SerialQueue queue(QStringLiteral("app.tandrel.test-stop"));
    queue.async([&] {
      started = true;
      QThread::msleep(50);
      ++ran;
    });
    for (int i = 0; i < 10; ++i) {
      queue.async([&] { ++ran; });
    }
    while (!started) {
      QThread::msleep(1);
    }
  }
  EXPECT_EQ(ran, 1);
}

TEST(DelayedWorkTest, SystemClockRunsOnTheMainThreadUnlessCancelled) {
  Clock& clock = Clock::system();
  int fired = 0;
  DelayedWork kept = clock.schedule(5ms, [&] { fired += 1; });
  DelayedWork cancelled = clock.schedule(5ms, [&] { fired += 100; });
  EXPECT_TRUE(cancelled.isPending());
  cancelled.cancel();
  EXPECT_FALSE(cancelled.isPending());
  ASSERT_TRUE(test::waitUntil([&] { return fired != 0; }));
  EXPECT_FALSE(kept.isPending());
  // Nothing else arrives later.
  bool flushed = false;
  clock.schedule(20ms, [&] { flushed = true; });
  ASSERT_TRUE(test::waitUntil([&] { return flushed; }));
  EXPECT_EQ(fired, 1);
  kept.cancel();  // after it ran: no effect
  EXPECT_EQ(fired, 1);
}

TEST(DelayedWorkTest, FakeClockRunsDueWorkInTimeOrderAtItsDueTime) {
  FakeClock clock;
  const QDateTime start = clock.now();
  std::vector<std::pair<int, qint64>> runs;  // (id, ms since start when run)
  auto record = [&](int id) {
    return [&, id] { runs.emplace_back(id, start.msecsTo(clock.now())); };
  };
  clock.schedule(300ms, record(3));
  clock.schedule(100ms, record(1));
  DelayedWork dropped = clock.schedule(200ms, record(99));
  clock.schedule(100ms, record(2));  // same due time: after the earlier one
  // Work scheduled while running lands at its own due time.
  clock.schedule(150ms, [&] { clock.schedule(100ms, record(4)); });
  dropped.cancel();
  EXPECT_EQ(clock.pendingCount(), 4);

  clock.advance(99ms);
  EXPECT_TRUE(runs.empty());
  clock.advance(1000ms);
  EXPECT_EQ(runs, (std::vector<std::pair<int, qint64>>{{1, 100}, {2, 100}, {4, 250}, {3, 300}}));
  EXPECT_EQ(start.msecsTo(clock.now()), 1099);
  EXPECT_EQ(clock.monotonicMs(), 1099);
  EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(DelayedWorkTest, HandleOutlivingTheFakeClockCancelsSafely) {
  DelayedWork handle;
  {
    FakeClock clock;
    handle = clock.schedule(10ms, [] {});
  }
  handle.cancel();
  EXPECT_FALSE(handle.isPending());
}

}  // namespace
}  // namespace tandrel
