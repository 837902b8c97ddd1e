// The local usage and hot-plug streams: throttles on the store's clock, the candidate pre-check
// with its skip cap and cache clears, clearing without roots, the background loads with one in
// flight per stream, and the fingerprints that decide whether a result is published.

#include "events/event_store.h"
#include "event_store_test_support.h"

#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using test::FakeLoaders;
using test::event;

// Sets a file's modification time to `seconds` after 2001-01-01 (plus `nanoseconds`).
void setReferenceTime(const QString& path, qint64 seconds, long nanoseconds = 0) {
  const struct timespec times[2] = {{978'307'200 + seconds, nanoseconds}, {978'307'200 + seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

class EventStoreLocalScanTest : public ::testing::Test, protected test::StoreFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(QFileInfo(eventFile).absolutePath())); }

  // Options with an existing Claude projects folder as the one root, so that both loaders run.
  EventStoreOptions withRoot(bool testEnvironment = true) {
    auto o = options(testEnvironment);
    o.claudeProjectsRoot = home.file(QStringLiteral("claude-projects"));
    EXPECT_TRUE(QDir().mkpath(*o.claudeProjectsRoot));
    o.localUsageLoadMode = LocalUsageLoadMode::synchronous;
    loaders.install(o);
    return o;
  }

  FakeLoaders loaders;
};

TEST_F(EventStoreLocalScanTest, ThrottlesLetOneScanThroughPerInterval) {
  auto store = make(withRoot(/*testEnvironment=*/false));
  const QDateTime start = clock.now();
  struct Step {
    qint64 atMs;
    bool usage;
    bool hotplug;
  };
  const std::vector<Step> steps = {
      {0, true, true},         {2'999, false, false},  {3'000, false, true},  {29'999, false, true},
      {30'000, true, false},   {33'000, false, true},  {59'999, false, true}, {60'000, true, false},
      {10'000, false, false},  // a clock that went back lets nothing through
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.atMs);
    const QDateTime now = start.addMSecs(step.atMs);
    EXPECT_EQ(store->shouldLoadLocalUsage(now), step.usage);
    EXPECT_EQ(store->shouldLoadLocalHotplug(now), step.hotplug);
  }
  EXPECT_EQ(store->lastLocalUsageScanAt(), start.addMSecs(60'000));
  EXPECT_EQ(store->lastLocalHotplugScanAt(), start.addMSecs(59'999));

  // In the test environment both intervals are 0.
  auto testStore = make(withRoot(/*testEnvironment=*/true));
  EXPECT_TRUE(testStore->shouldLoadLocalUsage(start));
  EXPECT_TRUE(testStore->shouldLoadLocalUsage(start));
  EXPECT_TRUE(testStore->shouldLoadLocalHotplug(start));
  EXPECT_TRUE(testStore->shouldLoadLocalHotplug(start));
}

TEST_F(EventStoreLocalScanTest, ReloadsFollowTheThrottlesOnTheStoresClock) {
  loaders.usage = {event("usage-1")};
  auto store = make(withRoot(/*testEnvironment=*/false));
  store->reload();
  EXPECT_EQ(loaders.usageRuns, 1);
  EXPECT_EQ(loaders.hotplugRuns, 1);

  clock.advance(2'999ms);
  store->reload();
  EXPECT_EQ(loaders.hotplugRuns, 1);
  clock.advance(1ms);
  store->reload();
  EXPECT_EQ(loaders.hotplugRuns, 2);

  // A due usage scan that the pre-check skips still uses up the interval.
  clock.advance(27s);
  store->reload();
  EXPECT_EQ(loaders.usageRuns, 1);
  EXPECT_EQ(store->lastLocalUsageScanAt(), clock.now());
  EXPECT_EQ(store->unchangedLocalUsageCandidateSkips(), 1);
  EXPECT_EQ(store->revision(), 1);
}

TEST_F(EventStoreLocalScanTest, UnchangedCandidatesSkipNineLoadsInTenAndThenClearTheScannerCaches) {
  auto o = withRoot();
  const QString transcript = *o.claudeProjectsRoot + QStringLiteral("/p/session.jsonl");
  ASSERT_TRUE(test::writeFile(transcript, "{}\n"));
  auto store = make(std::move(o));

  store->reload();  // the first look loads and finds the files anew
  EXPECT_EQ(loaders.usageRuns, 1);
  EXPECT_EQ(loaders.discoveryClears, 1);
  EXPECT_EQ(loaders.fileEventClears, 0);
  ASSERT_TRUE(store->lastLocalUsageCandidateFingerprint().has_value());
  EXPECT_TRUE(store->lastLocalUsageCandidateFingerprint()->startsWith(QStringLiteral("claude|") + transcript + "|3|"));

  for (int skip = 1; skip <= 9; ++skip) {
    store->reload();
    EXPECT_EQ(store->unchangedLocalUsageCandidateSkips(), skip);
  }
  EXPECT_EQ(loaders.usageRuns, 1);
  EXPECT_EQ(loaders.discoveryClears, 1);
  EXPECT_EQ(loaders.hotplugRuns, 10) << "hot-plug scans have no pre-check";

  store->reload();  // the tenth unchanged look: a full reload with empty caches
  EXPECT_EQ(loaders.usageRuns, 2);
  EXPECT_EQ(store->unchangedLocalUsageCandidateSkips(), 0);
  EXPECT_EQ(loaders.discoveryClears, 2);
  EXPECT_EQ(loaders.fileEventClears, 1);

  // A touched file loads at once and keeps the per-file results.
  test::appendBytes(transcript, "{}\n");
  store->reload();
  EXPECT_EQ(loaders.usageRuns, 3);
  EXPECT_EQ(loaders.discoveryClears, 3);
  EXPECT_EQ(loaders.fileEventClears, 1);

  // Twelve unchanged reloads after a change load exactly once.
  for (int i = 0; i < 12; ++i) {
    store->reload();
  }
  EXPECT_EQ(loaders.usageRuns, 4);
}

TEST_F(EventStoreLocalScanTest, CandidateLinesListTheNewestMatchingRegularFiles) {
  const QString root = home.file(QStringLiteral("sessions"));
  auto write = [&](const QString& relative, const QByteArray& bytes, qint64 seconds) {
    ASSERT_TRUE(test::writeFile(root + "/" + relative, bytes));
    setReferenceTime(root + "/" + relative, seconds);
  };
  write("2027/01/rollout-a.jsonl", "abc", 800'000'000);
  write("2027/02/rollout-b.JSONL", "abcde", 800'000'001);
  write("2027/02/notes.jsonl", "n", 800'000'002);
  write(".hidden/rollout-h.jsonl", "h", 800'000'003);
  write("2027/03/.rollout-dot.jsonl", "d", 800'000'004);
  write("2027/03/rollout-c.json", "j", 800'000'005);
  ASSERT_EQ(::symlink(QFile::encodeName(root + "/2027/01/rollout-a.jsonl").constData(),
                      QFile::encodeName(root + "/2027/03/rollout-link.jsonl").constData()),
            0);
  ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/2027/03/rollout-fifo.jsonl").constData(), 0600), 0);
  ASSERT_TRUE(QDir().mkpath(root + "/2027/04/rollout-dir.jsonl"));
  write("2027/04/rollout-quarter.jsonl", "q", 0);
  setReferenceTime(root + "/2027/04/rollout-quarter.jsonl", 799'999'999, 250'000'000);

  const auto rollouts = [](const QString& path) {
    return QFileInfo(path).fileName().startsWith(QLatin1String("rollout-"));
  };
  const QSet<QString> jsonl{QStringLiteral("jsonl")};
  struct Case {
    const char* name;
    std::optional<QString> root;
    int limit;
    LocalFilePredicate include;
    QSet<QString> extensions;
    QStringList lines;
  };
  const QString a = "codex|" + root + "/2027/01/rollout-a.jsonl|3|800000000.0";
  const QString b = "codex|" + root + "/2027/02/rollout-b.JSONL|5|800000001.0";
  const QString q = "codex|" + root + "/2027/04/rollout-quarter.jsonl|1|799999999.25";
  const QString notes = "codex|" + root + "/2027/02/notes.jsonl|1|800000002.0";
  const std::vector<Case> cases = {
      {"newest first, up to the limit", root, 16, rollouts, jsonl, {b, a, q}},
      {"the limit", root, 2, rollouts, jsonl, {b, a}},
      {"every file", root, 16, {}, jsonl, {notes, b, a, q}},
      {"other extensions", root, 16, rollouts, {QStringLiteral("json")},
       {"codex|" + root + "/2027/03/rollout-c.json|1|800000005.0"}},
      {"no root", std::nullopt, 16, rollouts, jsonl, {}},
      {"a root that does not exist", home.file("nowhere"), 16, rollouts, jsonl, {"codex|missing|" + home.file("nowhere")}},
      {"a root that is a file", root + "/2027/01/rollout-a.jsonl", 16, rollouts, jsonl,
       {"codex|missing|" + root + "/2027/01/rollout-a.jsonl"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QStringList lines{QStringLiteral("before")};
    EventStore::appendLocalUsageCandidateFingerprints(c.root, c.limit, c.include, QStringLiteral("codex"),
                                                      c.extensions, lines);
    EXPECT_EQ(lines.join('\n').toStdString(), (QStringList{QStringLiteral("before")} + c.lines).join('\n').toStdString());
  }
}

TEST_F(EventStoreLocalScanTest, WithoutRootsNothingLoadsAndEveryReloadClearsTheCaches) {
  auto o = options();
  loaders.install(o);
  auto store = make(std::move(o));
  for (int i = 1; i <= 3; ++i) {
    store->reload();
    EXPECT_EQ(loaders.discoveryClears, i);
    EXPECT_EQ(loaders.fileEventClears, i);
  }
  EXPECT_EQ(loaders.usageRuns, 0);
  EXPECT_EQ(loaders.hotplugRuns, 0);
  EXPECT_FALSE(store->lastLocalUsageCandidateFingerprint().has_value());
  EXPECT_EQ(store->revision(), 0);
}

TEST_F(EventStoreLocalScanTest, ClearingEmptiesAStreamAndResetsItsScanState) {
  loaders.usage = {event("usage-1")};
  loaders.hotplug = {event("hot-1")};
  auto store = make(withRoot());
  store->reload();
  store->reload();  // one skipped look
  ASSERT_EQ(store->unchangedLocalUsageCandidateSkips(), 1);
  const QDateTime usageScan = store->lastLocalUsageScanAt();
  const int discoveryClears = loaders.discoveryClears;

  EXPECT_TRUE(store->clearLocalUsageEventsIfNeeded());
  EXPECT_TRUE(store->localUsageEvents().empty());
  EXPECT_TRUE(store->lastLocalUsageFingerprint().isEmpty());
  EXPECT_FALSE(store->lastLocalUsageCandidateFingerprint().has_value());
  EXPECT_EQ(store->unchangedLocalUsageCandidateSkips(), 0);
  EXPECT_EQ(store->lastLocalUsageScanAt(), usageScan);
  EXPECT_EQ(loaders.discoveryClears, discoveryClears + 1);
  EXPECT_FALSE(store->clearLocalUsageEventsIfNeeded()) << "an empty stream reports no change";

  EXPECT_TRUE(store->clearLocalHotplugEventsIfNeeded());
  EXPECT_TRUE(store->localHotplugEvents().empty());
  EXPECT_TRUE(store->lastLocalHotplugFingerprint().isEmpty());
  EXPECT_EQ(store->lastLocalHotplugScanAt(), distantPast());
  EXPECT_FALSE(store->didAttemptInitialLocalHotplugLoad());
  EXPECT_FALSE(store->clearLocalHotplugEventsIfNeeded());
  EXPECT_EQ(store->revision(), 1) << "clearing alone publishes nothing";

  // The same events load again: the fingerprints were forgotten with them.
  store->reload();
  EXPECT_EQ(store->localUsageEvents().size(), 1u);
  EXPECT_EQ(store->localHotplugEvents().size(), 1u);
  EXPECT_EQ(store->revision(), 2);
}

TEST_F(EventStoreLocalScanTest, BackgroundLoadsRunOneAtATimeAndPublishOnlyChanges) {
  loaders.usage = {event("usage-1")};
  auto o = withRoot();
  o.localUsageLoadMode = LocalUsageLoadMode::asynchronous;
  auto store = make(std::move(o));

  loaders.holdUsage = true;
  store->reload();
  EXPECT_TRUE(store->localUsageLoadInFlight());
  EXPECT_TRUE(store->didAttemptInitialLocalHotplugLoad());
  const int changesAfterFirstReload = changes;

  // While a load is in flight, a due scan starts nothing and leaves the throttle alone.
  clock.advance(1s);
  const QDateTime scanAt = store->lastLocalUsageScanAt();
  EXPECT_FALSE(store->scheduleLocalUsageEventsReloadIfNeeded(clock.now()));
  EXPECT_EQ(store->lastLocalUsageScanAt(), scanAt);
  // Clearing does not end the flight, and the load still stores its result.
  EXPECT_FALSE(store->clearLocalUsageEventsIfNeeded());
  EXPECT_TRUE(store->localUsageLoadInFlight());
  loaders.holdUsage = false;
  ASSERT_TRUE(test::waitUntil([&] { return !store->localUsageLoadInFlight(); }));
  EXPECT_EQ(loaders.usageRuns, 1);
  EXPECT_EQ(loaders.usageThread, QStringLiteral("app.tandrel.local-usage"));
  EXPECT_EQ(loaders.usageClaudeRoot, store->claudeProjectsRoot());
  EXPECT_EQ(test::idsOf(store->events()), (QStringList{"usage-1"}));
  EXPECT_EQ(changes, changesAfterFirstReload + 1);

  // The same result again (the clear above forgot the candidates, so this looks loads): the
  // flight ends, nothing is published.
  const qint64 revision = store->revision();
  EXPECT_FALSE(store->scheduleLocalUsageEventsReloadIfNeeded(clock.now()));
  ASSERT_TRUE(store->localUsageLoadInFlight());
  ASSERT_TRUE(test::waitUntil([&] { return !store->localUsageLoadInFlight(); }));
  EXPECT_EQ(loaders.usageRuns, 2);
  EXPECT_EQ(store->revision(), revision);
}

TEST_F(EventStoreLocalScanTest, FingerprintsListWhatDecidesTheDisplay) {
  const QJsonObject usage{{"tool_id", "codex-cli"}, {"data_source", "rollout"},
                          {"observed_at", "2027-01-15T08:00:00Z"}, {"total_tokens", 1500},
                          {"limit_5h_percent", 42}};
  const TandrelEvent withUsage = event("u1", {{"timestamp", "2027-01-15T08:00:01Z"}, {"usage", usage}});
  const TandrelEvent plain = event("p1", {{"event_type", "task_completed"},
                                          {"status", "done"},
                                          {"message", "Finished"},
                                          {"tool_name", "exec"},
                                          {"session_id", "s1"},
                                          {"timestamp", "2027-01-15T08:00:02Z"}});
  ASSERT_TRUE(withUsage.usage.has_value());
  const UsageSnapshot& s = *withUsage.usage;
  EXPECT_EQ(EventStore::localUsageFingerprint({withUsage, plain}),
            "u1|2027-01-15T08:00:01Z|codex-cli|rollout|2027-01-15T08:00:00Z|stableLocal|stableLocalLoader|" + s.label +
                "|42.0000||" + EventStore::metricFingerprint(s.tokens) + "||" +
                EventStore::metricFingerprint(s.fiveHour) + "|||\n" + "p1|2027-01-15T08:00:02Z|");
  EXPECT_EQ(EventStore::localEventFingerprint({plain, event("p2")}),
            "p1|task_completed|done|2027-01-15T08:00:02Z|Finished|exec|s1\n" + EventStore::localEventFingerprint(
                                                                                  {event("p2")}));
  EXPECT_TRUE(EventStore::localUsageFingerprint({}).isEmpty());
  EXPECT_TRUE(EventStore::localEventFingerprint({}).isEmpty());

  // Any metric that displays differently changes the fingerprint.
  QJsonObject weekly = usage;
  weekly.insert("weekly_percent", 10);
  EXPECT_NE(EventStore::localUsageFingerprint({withUsage}),
            EventStore::localUsageFingerprint({event("u1", {{"timestamp", "2027-01-15T08:00:01Z"}, {"usage", weekly}})}));
}

TEST_F(EventStoreLocalScanTest, TheDefaultLoadersReadTheAgentsOwnFiles) {
  const QString root = home.file(QStringLiteral("codex-sessions"));
  const QString rollout = root + QStringLiteral("/2026/05/10/rollout-unchanged.jsonl");
  auto tokenCount = [](int total, const char* when) {
    const QJsonObject info{{"total_token_usage", QJsonObject{{"total_tokens", total}}}};
    return QJsonDocument(QJsonObject{{"timestamp", when},
                                     {"type", "event_msg"},
                                     {"payload", QJsonObject{{"type", "token_count"}, {"info", info}}}})
               .toJson(QJsonDocument::Compact) +
           '\n';
  };
  ASSERT_TRUE(test::writeFile(rollout, tokenCount(42, "2026-05-10T10:00:00Z")));
  auto o = options();
  o.codexSessionsRoot = root;
  auto store = make(std::move(o));
  store->reload();
  auto codex = store->latestUsage(QStringLiteral("Codex"));
  ASSERT_TRUE(codex.has_value());
  EXPECT_EQ(codex->tokens->label, QStringLiteral("42 total"));
  EXPECT_EQ(codex->dataSource, QStringLiteral("rollout"));

  // Rewritten in place with a larger total: the next reload finds and publishes it.
  const qint64 revision = store->revision();
  ASSERT_TRUE(test::writeFile(rollout, tokenCount(84, "2026-05-10T10:05:00Z")));
  store->reload();
  EXPECT_GT(store->revision(), revision);
  codex = store->latestUsage(QStringLiteral("Codex"));
  ASSERT_TRUE(codex.has_value());
  EXPECT_EQ(codex->tokens->label, QStringLiteral("84 total"));
}

}  // namespace
}  // namespace tandrel
