// Watching the bridge file: real inotify watches, real appends from another process.

#include "events/event_store.h"
#include "event_store_test_support.h"

#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include <cstdio>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using test::appendBytes;
using test::bridgeLine;
using test::idsOf;

bool containsID(const EventStore& store, const QString& id) {
  return idsOf(store.events()).contains(id);
}

// Appends one line from another process, as a hook does.
void appendFromAnotherProcess(const QString& path, const QByteArray& line) {
  QProcess shell;
  shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s' \"$1\" >> \"$2\""),
                                          QStringLiteral("sh"), QString::fromUtf8(line), path});
  ASSERT_TRUE(shell.waitForFinished(5000));
  ASSERT_EQ(shell.exitCode(), 0);
}

class EventStoreMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(QFileInfo(fixture.eventFile).absolutePath())); }

  test::StoreFixture fixture;
};

TEST_F(EventStoreMonitorTest, NoWatchesInTheTestEnvironment) {
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a1")));
  auto store = fixture.make(fixture.options(true));
  store->startMonitoringBridgeEvents();
  const auto state = store->bridgeMonitorStateForTests();
  EXPECT_FALSE(state.started || state.fileMonitorInstalled || state.directoryMonitorInstalled);
}

TEST_F(EventStoreMonitorTest, AppendsReplacementsAndRecreationArePublished) {
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a1")));
  auto options = fixture.options(false);
  options.clock = &Clock::system();
  auto store = fixture.make(std::move(options));
  store->reload();
  store->startMonitoringBridgeEvents();
  store->startMonitoringBridgeEvents();  // a second start changes nothing
  auto state = store->bridgeMonitorStateForTests();
  EXPECT_TRUE(state.started && state.fileMonitorInstalled && state.directoryMonitorInstalled);

  // Another process appends a line: the store publishes it without being asked.
  appendFromAnotherProcess(fixture.eventFile, bridgeLine(QStringLiteral("a2")));
  ASSERT_TRUE(test::waitUntil([&] { return containsID(*store, QStringLiteral("a2")); }));

  // Our own logs beside the bridge file are not the bridge file.
  const qint64 revision = store->revision();
  appendBytes(QFileInfo(fixture.eventFile).absolutePath() + QStringLiteral("/audit.jsonl"), "{}\n");

  // Replaced by rename: the new file is read, and watched from then on.
  const QString next = fixture.eventFile + QStringLiteral(".next");
  ASSERT_TRUE(test::writeFile(next, bridgeLine(QStringLiteral("b1"))));
  ASSERT_EQ(::rename(QFile::encodeName(next).constData(), QFile::encodeName(fixture.eventFile).constData()), 0);
  ASSERT_TRUE(test::waitUntil([&] { return idsOf(store->events()) == QStringList{"b1"}; }));
  EXPECT_GT(store->revision(), revision);
  appendFromAnotherProcess(fixture.eventFile, bridgeLine(QStringLiteral("b2")));
  ASSERT_TRUE(test::waitUntil([&] { return containsID(*store, QStringLiteral("b2")); }));

  // Deleted, then created again: the folder watch notices both.
  ASSERT_TRUE(QFile::remove(fixture.eventFile));
  ASSERT_TRUE(test::waitUntil([&] { return store->events().empty(); }));
  appendFromAnotherProcess(fixture.eventFile, bridgeLine(QStringLiteral("c1")));
  ASSERT_TRUE(test::waitUntil([&] { return containsID(*store, QStringLiteral("c1")); }));
  appendFromAnotherProcess(fixture.eventFile, bridgeLine(QStringLiteral("c2")));
  ASSERT_TRUE(test::waitUntil([&] { return containsID(*store, QStringLiteral("c2")); }));

  store->stopMonitoringBridgeEvents();
  state = store->bridgeMonitorStateForTests();
  EXPECT_FALSE(state.started || state.fileMonitorInstalled || state.directoryMonitorInstalled);
}

TEST_F(EventStoreMonitorTest, ALineAppendedBeforeTheWatchesAreInIsStillRead) {
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a1")));
  auto store = fixture.make(fixture.options(false));
  store->reload();
  // An agent appends after the launch reload but before the watches exist: no event is raised.
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a2")));
  store->startMonitoringBridgeEvents();
  ASSERT_TRUE(test::waitUntil([&] { return fixture.clock.pendingCount() == 1; }));
  fixture.clock.advance(EventStore::kBridgeReloadDebounce);
  ASSERT_TRUE(test::waitUntil([&] { return containsID(*store, QStringLiteral("a2")); }));
  store->stopMonitoringBridgeEvents();
}

TEST_F(EventStoreMonitorTest, ChangesTheLastReadAlreadyTookInRereadNothing) {
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a1")));
  auto store = fixture.make(fixture.options(false));
  store->reload();
  ASSERT_EQ(store->revision(), 1);
  store->startMonitoringBridgeEvents();
  ASSERT_TRUE(store->bridgeMonitorStateForTests().fileMonitorInstalled);

  // The file keeps its size, date and identity: a reload the watch asks for neither rereads it nor
  // publishes.
  const auto expectNothingReread = [&] {
    ASSERT_TRUE(test::waitUntil([&] { return fixture.clock.pendingCount() == 1; }));
    fixture.clock.advance(EventStore::kBridgeReloadDebounce);
    test::waitUntil([] { return false; }, 200);
    EXPECT_EQ(store->revision(), 1);
  };
  expectNothingReread();  // the reload after the watches went in
  ASSERT_TRUE(QFile::setPermissions(fixture.eventFile, QFile::ReadOwner | QFile::WriteOwner));
  expectNothingReread();  // the mode was set, the bytes are the same
  EXPECT_EQ(fixture.changes, 1);

  // A line appended is read as before. On a busy machine the watch can report the append only
  // after the clock fired the debounce that was pending then (one more report of the mode change):
  // the clock goes on until the append's own debounce has fired too.
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a2")));
  ASSERT_TRUE(test::waitUntil([&] {
    fixture.clock.advance(EventStore::kBridgeReloadDebounce);
    return store->revision() == 2;
  }));
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2"}));
  store->stopMonitoringBridgeEvents();
}

TEST_F(EventStoreMonitorTest, ABurstOfChangesFoldsIntoOneReloadAfterTheDebounce) {
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a1")));
  auto store = fixture.make(fixture.options(false));
  store->reload();
  ASSERT_EQ(store->revision(), 1);
  store->startMonitoringBridgeEvents();
  ASSERT_TRUE(store->bridgeMonitorStateForTests().fileMonitorInstalled);

  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a2")));
  ASSERT_TRUE(test::waitUntil([&] { return fixture.clock.pendingCount() == 1; }));
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a3")));
  // Let the second change reach the debounce, which it restarts.
  test::waitUntil([] { return false; }, 200);
  EXPECT_EQ(fixture.clock.pendingCount(), 1);

  fixture.clock.advance(EventStore::kBridgeReloadDebounce - 1ms);
  test::waitUntil([] { return false; }, 50);
  EXPECT_EQ(store->revision(), 1);
  fixture.clock.advance(1ms);
  ASSERT_TRUE(test::waitUntil([&] { return store->revision() > 1; }));
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2", "a3"}));
  test::waitUntil([] { return false; }, 100);
  EXPECT_EQ(store->revision(), 2);
  EXPECT_EQ(fixture.changes, 2);

  // Stopping cancels a reload that is still waiting.
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a4")));
  ASSERT_TRUE(test::waitUntil([&] { return fixture.clock.pendingCount() == 1; }));
  store->stopMonitoringBridgeEvents();
  store->bridgeMonitorStateForTests();
  fixture.clock.advance(EventStore::kBridgeReloadDebounce);
  test::waitUntil([] { return false; }, 100);
  EXPECT_EQ(store->revision(), 2);
}

}  // namespace
TEST_F(EventStoreMonitorTest, WritersThatNeverPauseStillGetAReloadWithinTheMaximumWait) {
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a1")));
  auto store = fixture.make(fixture.options(false));
  store->reload();
  store->startMonitoringBridgeEvents();
  ASSERT_TRUE(store->bridgeMonitorStateForTests().fileMonitorInstalled);
  ASSERT_TRUE(test::waitUntil([&] { return fixture.clock.pendingCount() == 1; }));
  fixture.clock.advance(EventStore::kBridgeReloadDebounce);  // the read after the watches went in
  test::waitUntil([] { return false; }, 200);                 // finds nothing new
  const qint64 revision = store->revision();

  // A change every 40 ms: each restarts the 50 ms debounce, which alone would never run out.
  appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a2")));
  ASSERT_TRUE(test::waitUntil([&] { return fixture.clock.pendingCount() == 1; }));
  for (int i = 3; i <= 4; ++i) {
    fixture.clock.advance(40ms);
    appendBytes(fixture.eventFile, bridgeLine(QStringLiteral("a%1").arg(i)));
    test::waitUntil([] { return false; }, 200);  // the change reaches the debounce and restarts it
    EXPECT_EQ(store->revision(), revision);
  }
  // 80 ms after the first change; the last one came just now.
  fixture.clock.advance(EventStore::kBridgeReloadMaxWait - 80ms);
  ASSERT_TRUE(test::waitUntil([&] { return store->revision() > revision; }));
  EXPECT_EQ(idsOf(store->events()), (QStringList{"a1", "a2", "a3", "a4"}));
  store->stopMonitoringBridgeEvents();
}

}  // namespace tandrel
