// The store's usage side: merging a brand's readings metric by metric, the rate-limit rule, the
// choice of the newest reading, and the caches keyed on the revision.

#include "events/event_store.h"
#include "event_store_test_support.h"

#include "usage/usage_brand.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <array>

namespace tandrel {
namespace {

using test::appendBytes;
using test::bridgeLine;

// One usage-only bridge line of `toolID` with the given usage keys.
struct Reading {
  QString toolID;
  QString dataSource;
  QString observedAt;
  QJsonObject usage;
};

QByteArray readingLines(const std::vector<Reading>& readings, const QString& idPrefix = QStringLiteral("reading-")) {
  QByteArray lines;
  int n = 0;
  for (const Reading& r : readings) {
    QJsonObject usage = r.usage;
    usage.insert("tool_id", r.toolID);
    usage.insert("data_source", r.dataSource);
    usage.insert("observed_at", r.observedAt);
    lines += bridgeLine(idPrefix + QString::number(n++), {{"source", r.toolID},
                                                                {"notify_policy", "usage_only"},
                                                                {"timestamp", "2027-01-15T08:00:00Z"},
                                                                {"usage", usage}});
  }
  return lines;
}

const QJsonObject kTranscript{{"context_remaining", "64.2k"}, {"context_total", "200k"},
                              {"context_remaining_percent", 32.1}, {"input_tokens", 589},
                              {"output_tokens", 76}, {"limit_5h_percent", 40}};
const QJsonObject kBlocked{{"rate_limit_blocked", true}};
const QJsonObject kStatusLine{{"limit_5h_label", "85% used"}, {"limit_5h_percent", 85}, {"weekly_label", "20% used"}};
QJsonObject tokens(int total) { return {{"total_tokens", total}}; }

class EventStoreUsageTest : public ::testing::Test, protected test::StoreFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(QFileInfo(eventFile).absolutePath())); }

  std::unique_ptr<EventStore> storeWith(const std::vector<Reading>& readings) {
    appendBytes(eventFile, readingLines(readings));
    auto store = make();
    store->reload(true);
    EXPECT_EQ(store->events().size(), readings.size());
    return store;
  }
};

TEST_F(EventStoreUsageTest, BrandMergeTakesEachMetricFromItsNewestReading) {
  // Metric slots in the order context, tokens, cost, rate limit, five-hour, daily, weekly; each
  // names the reading the merged metric must come from, or -1 for none.
  using Slots = std::array<int, 7>;
  struct Case {
    const char* name;
    std::vector<Reading> readings;
    QStringList toolIDs;
    int newest;  // the reading that gives time, source and quality
    Slots from;
    QString label;
  };
  const std::vector<Case> cases = {
      {"a newer hook rate limit keeps the transcript's context, tokens and five-hour",
       {{"claude-code", "transcript", "2027-01-15T10:00:00Z", kTranscript},
        {"claude-code", "hook", "2027-01-15T10:05:00Z", kBlocked}},
       {"claude-code", "claude-app"}, 1, {0, 0, -1, 1, 0, -1, -1}, "5h limit \u00B7 Blocked"},
      {"a newer status line drops the older rate limit",
       {{"claude-code", "transcript", "2027-01-15T10:00:00Z", kTranscript},
        {"claude-code", "hook", "2027-01-15T10:05:00Z", kBlocked},
        {"claude-app", "statusline", "2027-01-15T10:10:00Z", kStatusLine}},
       {"claude-code", "claude-app"}, 2, {0, 0, -1, -1, 2, -1, 2}, "5h 85% used \u00B7 7d 20% used"},
      {"a rate limit as old as the five-hour reading stays",
       {{"claude-code", "statusline", "2027-01-15T10:00:00Z", kStatusLine},
        {"claude-code", "hook", "2027-01-15T10:00:00Z", kBlocked}},
       {"claude-code"}, 0, {-1, -1, -1, 1, 0, -1, 0}, "5h limit \u00B7 Blocked"},
      {"without any five-hour reading a rate limit stays whatever its age",
       {{"codex-cli", "hook", "2027-01-15T08:00:00Z", kBlocked},
        {"codex-cli", "rollout", "2027-01-15T10:00:00Z", tokens(5)},
        {"codex-app", "rollout", "2027-01-15T11:00:00Z", tokens(7)}},
       {"codex-cli", "codex-app"}, 2, {-1, 2, -1, 0, -1, -1, -1}, "5h limit \u00B7 Blocked"},
      {"equal times: the earlier event wins",
       {{"codex-cli", "rollout", "2027-01-15T10:00:00Z", tokens(1)},
        {"codex-cli", "rollout", "2027-01-15T10:00:00.000Z", tokens(2)}},
       {"codex-cli"}, 0, {-1, 0, -1, -1, -1, -1, -1}, "Tokens \u00B7 1 total"},
      {"equal times across tools: the identifier listed first wins",
       {{"claude-app", "hook", "2027-01-15T10:00:00Z", tokens(1)},
        {"claude-code", "hook", "2027-01-15T10:00:00Z", tokens(2)}},
       {"claude-code", "claude-app"}, 1, {-1, 1, -1, -1, -1, -1, -1}, "Tokens \u00B7 2 total"},
      {"a time that does not parse loses to any that does",
       {{"codex-cli", "rollout", "yesterday", tokens(1)}, {"codex-cli", "rollout", "2020-01-01T00:00:00Z", tokens(2)}},
       {"codex-cli"}, 1, {-1, 1, -1, -1, -1, -1, -1}, "Tokens \u00B7 2 total"},
      {"among times that do not parse the first wins",
       {{"codex-cli", "rollout", "yesterday", tokens(1)}, {"codex-cli", "rollout", "soon", tokens(2)}},
       {"codex-cli"}, 0, {-1, 0, -1, -1, -1, -1, -1}, "Tokens \u00B7 1 total"},
  };
  using Member = std::optional<UsageMetric> UsageSnapshot::*;
  const std::array<Member, 7> members = {&UsageSnapshot::context,  &UsageSnapshot::tokens, &UsageSnapshot::cost,
                                         &UsageSnapshot::rateLimit, &UsageSnapshot::fiveHour, &UsageSnapshot::daily,
                                         &UsageSnapshot::weekly};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(eventFile);
    auto store = storeWith(c.readings);
    const auto merged = store->mergedUsage(c.toolIDs, QStringLiteral("Brand"));
    ASSERT_TRUE(merged.has_value());
    const UsageSnapshot& newest = *store->events()[c.newest].usage;
    EXPECT_EQ(merged->tool, QStringLiteral("Brand"));
    EXPECT_EQ(merged->toolID, newest.toolID);
    EXPECT_EQ(merged->dataSource, newest.dataSource);
    EXPECT_EQ(merged->observedAt, newest.observedAt);
    EXPECT_EQ(merged->updated, newest.updated);
    EXPECT_EQ(merged->source, newest.source);
    EXPECT_EQ(merged->quality, newest.quality);
    EXPECT_EQ(merged->sourceClass, newest.sourceClass);
    for (std::size_t k = 0; k < members.size(); ++k) {
      SCOPED_TRACE(k);
      if (c.from[k] < 0) {
        EXPECT_FALSE(((*merged).*members[k]).has_value());
      } else {
        EXPECT_EQ((*merged).*members[k], (*store->events()[c.from[k]].usage).*members[k]);
      }
    }
    EXPECT_EQ(merged->label, c.label);
  }
}

TEST_F(EventStoreUsageTest, QuotasGoByQualityThenAge) {
  // The store's clock reads 2027-01-15T08:00:00Z. A status line reading of the agent's own limits
  // and, touched later, the five-hour estimate made from the transcripts.
  const auto statusLine = [](const char* observedAt, std::optional<const char*> reset) {
    QJsonObject usage{{"limit_5h_label", "0% used"}, {"limit_5h_percent", 0.5}};
    if (reset) {
      usage.insert("limit_5h_reset", *reset);
    }
    return Reading{"claude-code", "statusline", observedAt, usage};
  };
  const auto estimate = [](const char* observedAt) {
    return Reading{"claude-code", "local-transcript-block", observedAt,
                   {{"limit_5h_label", "Active"}, {"limit_5h_reset", "2027-01-15T12:00:00Z"}, {"total_tokens", 62}}};
  };
  struct Case {
    const char* name;
    std::vector<Reading> readings;
    int fiveHourFrom;  // the reading whose five-hour meter the merge shows
  };
  const std::vector<Case> cases = {
      {"a newer estimate waits for the reported window to reset",
       {statusLine("2027-01-15T07:50:00Z", "2027-01-15T09:40:00Z"), estimate("2027-01-15T07:55:00Z")}, 0},
      {"once the reported window has reset, the newer estimate shows",
       {statusLine("2027-01-15T03:00:00Z", "2027-01-15T07:40:00Z"), estimate("2027-01-15T07:55:00Z")}, 1},
      {"a reported reading without a reset holds five hours from when it was seen",
       {statusLine("2027-01-15T03:30:00Z", std::nullopt), estimate("2027-01-15T07:55:00Z")}, 0},
      {"and no longer",
       {statusLine("2027-01-15T02:30:00Z", std::nullopt), estimate("2027-01-15T07:55:00Z")}, 1},
      {"an estimate fills a meter no reported reading covers",
       {{"claude-code", "statusline", "2027-01-15T07:50:00Z", tokens(5)}, estimate("2027-01-15T07:55:00Z")}, 1},
      {"a newer reported reading replaces an older estimate",
       {estimate("2027-01-15T07:50:00Z"), statusLine("2027-01-15T07:55:00Z", "2027-01-15T09:40:00Z")}, 1},
      {"among reported readings the newest wins, whatever its source",
       {statusLine("2027-01-15T07:50:00Z", "2027-01-15T09:40:00Z"),
        {"claude-app", "hook", "2027-01-15T07:52:00Z", {{"limit_5h_percent", 42}}},
        estimate("2027-01-15T07:55:00Z")},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(eventFile);
    auto store = storeWith(c.readings);
    const auto merged = store->latestUsage(QStringLiteral("Claude"));
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(merged->fiveHour, store->events()[c.fiveHourFrom].usage->fiveHour);
  }
}

TEST_F(EventStoreUsageTest, AKeptReportedQuotaGivesWayWhenItsWindowResets) {
  auto store = storeWith({{"claude-code", "statusline", "2027-01-15T07:50:00Z",
                           {{"limit_5h_percent", 0.5}, {"limit_5h_reset", "2027-01-15T08:30:00Z"}}},
                          {"claude-code", "local-transcript-block", "2027-01-15T07:55:00Z",
                           {{"limit_5h_label", "Active"}, {"limit_5h_reset", "2027-01-15T12:00:00Z"}}}});
  EXPECT_EQ(store->latestUsage(QStringLiteral("Claude"))->fiveHour->percent, 0.5);
  // No new event arrives: the cached merge still ends when the reported window resets.
  clock.advance(std::chrono::minutes(29));
  EXPECT_EQ(store->latestUsage(QStringLiteral("Claude"))->fiveHour->percent, 0.5);
  clock.advance(std::chrono::minutes(1));
  EXPECT_EQ(store->latestUsage(QStringLiteral("Claude"))->fiveHour->label, QStringLiteral("Active"));
}

TEST_F(EventStoreUsageTest, HeadlinePercentFollowsTheMergedMetrics) {
  auto store = storeWith({{"claude-code", "transcript", "2027-01-15T10:00:00Z", kTranscript},
                          {"claude-code", "statusline", "2027-01-15T10:10:00Z", kStatusLine}});
  const auto merged = store->latestUsage(QStringLiteral("Claude"));
  ASSERT_TRUE(merged.has_value());
  EXPECT_EQ(merged->percent, 85.0) << "the five-hour percent leads the context percent";
  ASSERT_TRUE(merged->context.has_value());
  EXPECT_EQ(merged->context->label, QStringLiteral("64.2k / 200k"));
}

TEST_F(EventStoreUsageTest, LookupsByToolAndBrand) {
  auto store = storeWith({{"codex-cli", "rollout", "2027-01-15T10:00:00Z", tokens(1)},
                          {"codex-app", "hook", "2027-01-15T11:00:00Z", tokens(2)},
                          {"gemini-cli", "hook", "2027-01-15T09:00:00Z", tokens(3)},
                          {"codex-cli", "rollout", "2027-01-15T12:00:00Z", tokens(4)}});
  auto totals = [](const std::vector<UsageSnapshot>& list) {
    QStringList labels;
    for (const auto& s : list) {
      labels.push_back(s.tokens->label);
    }
    return labels;
  };
  EXPECT_EQ(totals(store->usageSnapshotsForToolID("codex-cli")), (QStringList{"1 total", "4 total"}));
  EXPECT_EQ(totals(store->usageSnapshotsForToolIDs({"codex-app", "nobody", "codex-cli", "codex-app"})),
            (QStringList{"2 total", "1 total", "4 total"}));
  EXPECT_TRUE(store->usageSnapshotsForToolID("nobody").empty());
  EXPECT_EQ(store->latestUsageForToolID("codex-cli")->tokens->label, QStringLiteral("4 total"));
  EXPECT_FALSE(store->latestUsageForToolID("claude-code").has_value());

  for (const char* name : {"Codex", "codex", "codex_cli", "codex-app"}) {
    SCOPED_TRACE(name);
    const auto merged = store->latestUsage(name);
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(merged->tool, QStringLiteral("Codex"));
    EXPECT_EQ(merged->tokens->label, QStringLiteral("4 total"));
  }
  const auto gemini = store->latestUsage(QStringLiteral("gemini-cli"));
  ASSERT_TRUE(gemini.has_value());
  EXPECT_EQ(gemini->tool, toolDisplayName(QStringLiteral("gemini-cli")));
  EXPECT_EQ(gemini->tokens->label, QStringLiteral("3 total"));
  EXPECT_FALSE(store->latestUsage(QStringLiteral("Claude")).has_value());
}

TEST_F(EventStoreUsageTest, MergesAreCachedPerRevisionUnderOneKey) {
  auto store = storeWith({{"codex-cli", "rollout", "2027-01-15T10:00:00Z", tokens(1)}});
  const QString key = EventStore::mergedUsageKey({"codex-cli", "codex-app"}, "Codex");
  EXPECT_EQ(key, QStringLiteral("Codex\u001Fcodex-app\u001Fcodex-cli"));

  ASSERT_TRUE(store->mergedUsage({"codex-cli", "codex-app"}, "Codex").has_value());
  ASSERT_TRUE(store->mergedUsage({"codex-app", "codex-cli"}, "Codex").has_value());
  EXPECT_EQ(store->cachedMergedUsageByKey().size(), 1u);
  EXPECT_TRUE(store->cachedMergedUsageByKey().contains(key));

  EXPECT_FALSE(store->mergedUsage({"claude-code"}, "Claude").has_value());
  EXPECT_EQ(store->cachedMergedUsageByKey().size(), 1u) << "nothing is cached for a brand without usage";

  appendBytes(eventFile, readingLines({{"codex-app", "hook", "2027-01-15T11:00:00Z", tokens(9)}}, "later-"));
  clock.advance(std::chrono::seconds(1));
  store->reload(true);
  EXPECT_EQ(store->usageCacheRevision(), 1) << "a publish rebuilds nothing until the next read";
  EXPECT_EQ(store->mergedUsage({"codex-app", "codex-cli"}, "Codex")->tokens->label, QStringLiteral("9 total"));
  EXPECT_EQ(store->usageCacheRevision(), store->revision());
  EXPECT_EQ(store->cachedMergedUsageByKey().size(), 1u);
}

TEST(UsageBrandTest, BrandNamesAndToolIdentifiers) {
  struct Case {
    QString name;
    QString brand;
    QStringList toolIDs;
  };
  const std::vector<Case> cases = {
      {"Claude", "Claude", {"claude-code", "claude-app"}},
      {"claude_code", "Claude", {"claude-code", "claude-app"}},
      {"Claude Code", "Claude", {"claude-code", "claude-app"}},
      {"CODEX", "Codex", {"codex-cli", "codex-app"}},
      {"codex_app", "Codex", {"codex-cli", "codex-app"}},
      {"cursor-agent-cli", "Cursor", {"cursor-ide", "cursor-agent-cli"}},
      {"TRAE SOLO CN", "Trae", {"trae-ide", "trae-agent-cli", "trae-solo"}},
      {"opencode", "OpenCode", {"opencode-cli"}},
      {"claude-dev", toolDisplayName("claude-dev"), {canonicalToolID("claude-dev")}},
      {"claude_dev", toolDisplayName("claude_dev"), {canonicalToolID("claude_dev")}},
      {"gemini-cli", toolDisplayName("gemini-cli"), {"gemini-cli"}},
      {"Kilo Code", toolDisplayName("Kilo Code"), {canonicalToolID("Kilo Code")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    EXPECT_EQ(usageBrandName(c.name), c.brand);
    EXPECT_EQ(usageToolIDs(c.name), c.toolIDs);
  }
  EXPECT_EQ(toolDisplayName("gemini-cli"), QStringLiteral("Gemini CLI"));
  EXPECT_NE(canonicalToolID("claude-dev"), QStringLiteral("claude-code"));
}

}  // namespace
}  // namespace tandrel
