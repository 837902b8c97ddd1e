// Construction, publishing, integration notices, the local streams and the usage caches.

#include "events/event_store.h"
#include "event_store_test_support.h"

#include "platform/user_defaults.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QThread>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using test::appendBytes;
using test::bridgeLine;
using test::FakeLoaders;
using test::event;
using test::idsOf;
using test::usageLine;

QByteArray receiptLine(const QString& id, const QString& target, const QString& action, const QString& status,
                       const std::optional<QString>& error = std::nullopt) {
  QJsonObject fields{{QStringLiteral("event_type"), QStringLiteral("response_receipt")},
                     {QStringLiteral("target_event_id"), target},
                     {QStringLiteral("action"), action},
                     {QStringLiteral("receipt_status"), status},
                     {QStringLiteral("timestamp"), QStringLiteral("2027-01-15T08:00:00Z")}};
  if (error) {
    fields.insert(QStringLiteral("error"), *error);
  }
  return bridgeLine(id, fields);
}

class EventStoreTest : public ::testing::Test, protected test::StoreFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(QFileInfo(eventFile).absolutePath())); }

  // Options with one data root (an existing folder), so that both loaders run.
  EventStoreOptions withRoot(FakeLoaders& loaders, bool testEnvironment = true) {
    auto o = options(testEnvironment);
    const QString root = home.file(QStringLiteral("claude-projects"));
    EXPECT_TRUE(QDir().mkpath(root));
    o.claudeProjectsRoot = root;
    loaders.install(o);
    return o;
  }
};

TEST_F(EventStoreTest, ConstructionFollowsTheTestEnvironment) {
  UserDefaults::standard().set(EventStore::kHiddenEventIDsKey, QStringList{"h1", "h2"});
  UserDefaults::standard().set(EventStore::kReadEventIDsKey, QStringList{"r1"});

  auto testStore = make(options(true));
  EXPECT_TRUE(testStore->hiddenIDs().isEmpty());
  EXPECT_TRUE(testStore->readIDs().isEmpty());
  EXPECT_EQ(testStore->localUsageLoadMode(), LocalUsageLoadMode::synchronous);

  auto appStore = make(options(false));
  EXPECT_EQ(appStore->hiddenIDs(), (QSet<QString>{"h1", "h2"}));
  EXPECT_EQ(appStore->readIDs(), (QSet<QString>{"r1"}));
  EXPECT_EQ(appStore->localUsageLoadMode(), LocalUsageLoadMode::asynchronous);

  // Construction reads nothing of the bridge file.
  appendBytes(eventFile, bridgeLine(QStringLiteral("a1")));
  EXPECT_TRUE(appStore->events().empty());
  EXPECT_FALSE(appStore->lastEventFileSize().has_value());
  EXPECT_EQ(appStore->revision(), 0);

  // A value of another type reads as empty.
  UserDefaults::standard().set(EventStore::kHiddenEventIDsKey, QStringLiteral("h1"));
  EXPECT_TRUE(make(options(false))->hiddenIDs().isEmpty());
}

TEST_F(EventStoreTest, DefaultsInTheTestEnvironmentHaveNoRootsAndLoadInline) {
  for (const char* name : {"TANDREL_CODEX_SESSIONS_DIR", "TANDREL_CLAUDE_PROJECTS_DIR", "TANDREL_TRAE_TRAJECTORY_DIR",
                           "TANDREL_CURSOR_PROJECTS_DIR", "TANDREL_TRAE_LOGS_DIR"}) {
    home.setEnv(name, std::nullopt);
  }
  setTestEnvironment(true);
  EventStore store;
  setTestEnvironment(false);
  EXPECT_TRUE(store.testEnvironment());
  EXPECT_EQ(store.eventFile(), eventFileURL());
  EXPECT_EQ(store.auditFile(), appSupportDirectory() + QStringLiteral("/audit.jsonl"));
  EXPECT_FALSE(store.codexSessionsRoot() || store.claudeProjectsRoot() || store.traeTrajectoryRoot() ||
               store.cursorProjectsRoot() || store.traeLogsRoot());
  EXPECT_EQ(store.localUsageLoadMode(), LocalUsageLoadMode::synchronous);
}

TEST_F(EventStoreTest, PublishOrderReceiptsAndIntegrationNotices) {
  FakeLoaders loaders;
  loaders.usage = {event(QStringLiteral("usage-1"))};
  loaders.hotplug = {event(QStringLiteral("hot-1"), {{QStringLiteral("event_type"), QStringLiteral("task_completed")}})};
  appendBytes(eventFile,
              bridgeLine(QStringLiteral("ask-1")) +
                  receiptLine(QStringLiteral("r1"), QStringLiteral("ask-1"), QStringLiteral("choose_option"),
                              QStringLiteral("failed"), QStringLiteral("Adapter crashed")) +
                  receiptLine(QStringLiteral("r2"), QStringLiteral("ask-1"), QStringLiteral("choose_option"),
                              QStringLiteral("failed")) +
                  receiptLine(QStringLiteral("r3"), QStringLiteral("ask-2"), QStringLiteral("approve"),
                              QStringLiteral("failed")));
  auto store = make(withRoot(loaders));
  store->reload();

  EXPECT_EQ(idsOf(store->events()),
            (QStringList{"ask-1", "r1", "r2", "r3", "usage-1", "hot-1", "receipt-failed-ask-1-r1",
                         "receipt-failed-ask-1-r2"}));
  EXPECT_EQ(store->revision(), 1);
  EXPECT_EQ(changes, 1);
  const TandrelEvent& notice = store->events()[6];
  EXPECT_EQ(notice.source, QStringLiteral("tandrel"));
  EXPECT_EQ(notice.eventType, QStringLiteral("integration_notice"));
  EXPECT_EQ(notice.severity, QStringLiteral("warning"));
  EXPECT_EQ(notice.title, QStringLiteral("Response failed"));
  EXPECT_EQ(notice.message, QStringLiteral("Adapter crashed"));
  EXPECT_EQ(notice.taskKey, QStringLiteral("receipt-failed-ask-1"));
  EXPECT_EQ(notice.rawTimestamp, QStringLiteral("2027-01-15T08:00:00Z"));
  EXPECT_EQ(store->events()[7].message, QStringLiteral("The adapter reported that a response could not be applied."));

  // The last receipt of an event wins.
  const auto latest = store->responseReceipts().latestReceipt(QStringLiteral("ask-1"));
  ASSERT_TRUE(latest.has_value());
  EXPECT_EQ(latest->sourceEventID, QStringLiteral("r2"));
  EXPECT_EQ(store->responseReceipts().latestReceipt(QStringLiteral("ask-2"))->action, ResponseReceiptAction::approve);
  EXPECT_FALSE(store->responseReceipts().latestReceipt(QStringLiteral("r1")).has_value());
}

TEST_F(EventStoreTest, IntegrationNoticesOnlyForFailedChoices) {
  const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  struct Case {
    ResponseReceipt receipt;
    std::optional<QString> noticeID;
    QString timestamp;
  };
  const std::vector<Case> cases = {
      {{"e1", ResponseReceiptAction::chooseOption, ResponseReceiptStatus::failed, std::nullopt, std::nullopt, "boom"},
       "receipt-failed-e1-local", now.toString(Qt::ISODate)},
      {{"e2", ResponseReceiptAction::chooseOption, ResponseReceiptStatus::failed, "2027-02-01T10:00:00Z", "r9",
        std::nullopt},
       "receipt-failed-e2-r9", "2027-02-01T10:00:00Z"},
      {{"e3", ResponseReceiptAction::approve, ResponseReceiptStatus::failed, std::nullopt, "r1", "x"}, std::nullopt, {}},
      {{"e4", ResponseReceiptAction::chooseOption, ResponseReceiptStatus::applied, std::nullopt, "r2", std::nullopt},
       std::nullopt, {}},
      {{"e5", ResponseReceiptAction::chooseOption, ResponseReceiptStatus::timedOut, std::nullopt, "r3", std::nullopt},
       std::nullopt, {}},
  };
  for (const auto& c : cases) {
    const auto notices = EventStore::integrationNotices({c.receipt}, now);
    SCOPED_TRACE(c.receipt.eventID.toStdString());
    ASSERT_EQ(notices.size(), c.noticeID ? 1u : 0u);
    if (c.noticeID) {
      EXPECT_EQ(notices[0].id, *c.noticeID);
      EXPECT_EQ(notices[0].rawTimestamp, c.timestamp);
    }
  }
}

TEST_F(EventStoreTest, SynchronousStreamsPublishOnlyOnChange) {
  FakeLoaders loaders;
  loaders.usage = {event(QStringLiteral("usage-1"))};
  auto store = make(withRoot(loaders));

  store->reload();
  EXPECT_EQ(idsOf(store->events()), (QStringList{"usage-1"}));
  EXPECT_EQ(store->revision(), 1);

  clock.advance(1s);
  store->reload();  // nothing changed anywhere
  EXPECT_EQ(store->revision(), 1);
  EXPECT_EQ(changes, 1);

  loaders.hotplug = {event(QStringLiteral("hot-1"))};  // only the hot-plug events change
  clock.advance(1s);
  store->reload();
  EXPECT_EQ(idsOf(store->events()), (QStringList{"usage-1", "hot-1"}));
  EXPECT_EQ(store->revision(), 2);
  EXPECT_EQ(changes, 2);
}

TEST_F(EventStoreTest, HotplugEventsAlreadyReportedByTheBridgeAreHidden) {
  const QDateTime base = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  auto fields = [&](qint64 offsetSeconds, const std::optional<QString>& session,
                    const QString& message = QStringLiteral("Done"), const QString& tool = QStringLiteral("exec")) {
    QJsonObject f{{QStringLiteral("event_type"), QStringLiteral("task_completed")},
                  {QStringLiteral("tool_name"), tool},
                  {QStringLiteral("message"), message},
                  {QStringLiteral("timestamp"), base.addSecs(offsetSeconds).toString(Qt::ISODate)}};
    if (session) {
      f.insert(QStringLiteral("session_id"), *session);
    }
    return f;
  };
  appendBytes(eventFile, bridgeLine(QStringLiteral("bridge"), fields(0, QStringLiteral("s1"))) +
                             bridgeLine(QStringLiteral("bridge-no-session"), fields(5000, std::nullopt, "Later")));
  FakeLoaders loaders;
  loaders.hotplug = {
      event(QStringLiteral("599s-after"), fields(599, QStringLiteral("s1"))),
      event(QStringLiteral("599s-before"), fields(-599, QStringLiteral("s1"))),
      event(QStringLiteral("600s-after"), fields(600, QStringLiteral("s1"))),
      event(QStringLiteral("other-session"), fields(0, QStringLiteral("s2"))),
      event(QStringLiteral("no-session"), fields(0, std::nullopt)),
      event(QStringLiteral("both-without-session"), fields(5010, std::nullopt, "Later")),
      event(QStringLiteral("other-message"), fields(10, QStringLiteral("s1"), "Other")),
      event(QStringLiteral("other-tool"), fields(10, QStringLiteral("s1"), "Done", "apply_patch")),
  };
  auto store = make(withRoot(loaders));
  store->reload();
  EXPECT_EQ(idsOf(store->events()), (QStringList{"bridge", "bridge-no-session", "600s-after", "other-session",
                                                 "no-session", "other-message", "other-tool"}));
  EXPECT_EQ(store->localHotplugEvents().size(), 8u);  // hidden only from the published list
}

TEST_F(EventStoreTest, AsynchronousModeLoadsTheFirstHotplugInlineAndTheRestInTheBackground) {
  FakeLoaders loaders;
  loaders.usage = {event(QStringLiteral("usage-1"))};
  loaders.hotplug = {event(QStringLiteral("hot-1"))};
  auto o = withRoot(loaders);
  o.localUsageLoadMode = LocalUsageLoadMode::asynchronous;
  auto store = make(std::move(o));

  store->reload();
  // The hot-plug events were published by the reload itself; usage is still on its way.
  EXPECT_TRUE(loaders.hotplugThread.isEmpty());
  EXPECT_EQ(idsOf(store->events()), (QStringList{"hot-1"}));
  EXPECT_EQ(store->revision(), 1);
  ASSERT_TRUE(test::waitUntil([&] { return !store->localUsageLoadInFlight(); }));
  EXPECT_EQ(idsOf(store->events()), (QStringList{"usage-1", "hot-1"}));
  EXPECT_EQ(store->revision(), 2);

  {
    std::lock_guard lock(loaders.mutex);
    loaders.hotplug = {event(QStringLiteral("hot-2"))};
  }
  clock.advance(EventStore::kLocalHotplugRescanInterval);
  store->reload();
  EXPECT_TRUE(store->localHotplugLoadInFlight());
  EXPECT_EQ(store->revision(), 2);  // nothing published until the result comes back
  store->reload();                  // a second reload starts no second load
  ASSERT_TRUE(test::waitUntil([&] { return !store->localHotplugLoadInFlight(); }));
  EXPECT_EQ(loaders.hotplugThread, QStringLiteral("app.tandrel.local-hotplug"));
  EXPECT_EQ(loaders.hotplugRuns, 2);
  EXPECT_EQ(idsOf(store->events()), (QStringList{"usage-1", "hot-2"}));
  EXPECT_EQ(store->revision(), 3);
}

TEST_F(EventStoreTest, AStoreGoneBeforeItsLoadReturnsIgnoresTheResult) {
  FakeLoaders loaders;
  std::atomic<bool> release{false};
  auto o = withRoot(loaders);
  o.localUsageLoadMode = LocalUsageLoadMode::asynchronous;
  o.localUsageLoader = [&release](const auto&, const auto&, const auto&) {
    while (!release) {
      QThread::msleep(1);
    }
    return std::vector<TandrelEvent>{};
  };
  auto store = make(std::move(o));
  store->reload();
  EXPECT_TRUE(store->localUsageLoadInFlight());
  std::thread releaser([&release] {
    QThread::msleep(20);
    release = true;
  });
  store.reset();  // waits for the running load, then drops its result
  releaser.join();
  QCoreApplication::processEvents();
}

TEST_F(EventStoreTest, UsageCacheFollowsTheRevision) {
  appendBytes(eventFile, usageLine(QStringLiteral("u1"), QStringLiteral("codex-cli"), 100,
                                   QStringLiteral("2027-01-15T08:00:00Z")) +
                             usageLine(QStringLiteral("u2"), QStringLiteral("claude-code"), 200,
                                       QStringLiteral("2027-01-15T09:00:00Z")) +
                             usageLine(QStringLiteral("u3"), QStringLiteral("codex-cli"), 300,
                                       QStringLiteral("2027-01-15T09:00:00Z")) +
                             usageLine(QStringLiteral("u4"), QStringLiteral("gemini-cli"), 400,
                                       QStringLiteral("not a time")));
  auto store = make();
  store->reload();
  store->ensureUsageCache();
  ASSERT_EQ(store->cachedUsageSnapshots().size(), 4u);
  // Equal times: the earlier event wins; an unreadable time sorts as the distant past.
  ASSERT_TRUE(store->cachedLatestUsage().has_value());
  EXPECT_EQ(store->cachedLatestUsage()->toolID, store->events()[1].usage->toolID);
  EXPECT_EQ(store->cachedUsageSnapshotsByToolID().value(store->events()[0].usage->toolID).size(), 2u);
  EXPECT_EQ(store->usageSortDate(*store->events()[3].usage), distantPast());

  appendBytes(eventFile, usageLine(QStringLiteral("u5"), QStringLiteral("gemini-cli"), 500,
                                   QStringLiteral("2027-01-15T10:00:00Z")));
  store->ensureUsageCache();  // same revision: nothing rebuilt
  EXPECT_EQ(store->cachedUsageSnapshots().size(), 4u);
  clock.advance(1s);
  store->reload();
  store->ensureUsageCache();
  EXPECT_EQ(store->cachedUsageSnapshots().size(), 5u);
  EXPECT_EQ(store->cachedLatestUsage()->observedAt, store->events()[4].usage->observedAt);
}

TEST_F(EventStoreTest, MetricFingerprint) {
  EXPECT_EQ(EventStore::metricFingerprint(UsageMetric{"42%", "", 42.0, "ok"}), QStringLiteral("42%~~42.0000~ok"));
  EXPECT_EQ(EventStore::metricFingerprint(UsageMetric{"1k total", "in", std::nullopt, "ok"}),
            QStringLiteral("1k total~in~~ok"));
  EXPECT_EQ(EventStore::metricFingerprint(std::nullopt), QString());
}

}  // namespace
}  // namespace tandrel
