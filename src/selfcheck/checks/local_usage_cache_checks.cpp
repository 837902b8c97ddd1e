#include "selfcheck/checks/local_usage_cache_checks.h"

#include "events/event_store.h"
#include "selfcheck/checks/async_local_usage_checks.h"
#include "selfcheck/checks/check_group.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/scanners/local_usage_loaders.h"
#include "usage/usage_brand.h"
#include "usage/usage_dates.h"

#include <QDateTime>
#include <QFile>
#include <QJsonObject>

#include <memory>
#include <optional>
#include <vector>

namespace tandrel {
namespace {

constexpr int kFileCacheFiles = 64;
constexpr int kFileCacheRecords = 400;
constexpr int kBoundedFillerFiles = 254;
constexpr int kDiscoveryFiles = 800;
constexpr int kUsageCacheEvents = 96;

// A Claude transcript line with a request and message id and `inputTokens` of usage.
QJsonObject claudeRequestLine(const QDateTime& at, const QString& requestID, const QString& messageID,
                              qint64 inputTokens) {
  return {{QStringLiteral("timestamp"), formatUsageDate(at)},
          {QStringLiteral("requestId"), requestID},
          {QStringLiteral("message"),
           QJsonObject{{QStringLiteral("id"), messageID},
                       {QStringLiteral("usage"), QJsonObject{{QStringLiteral("input_tokens"), inputTokens}}}}}};
}

// Fixture A's transcript `k`: 399 prompts, then one answer with usage; record i is written at
// `base` + 120·k + i seconds.
std::vector<QJsonObject> fileCacheTranscript(int k, const QDateTime& base) {
  std::vector<QJsonObject> records;
  records.reserve(kFileCacheRecords);
  for (int i = 0; i < kFileCacheRecords; ++i) {
    const bool answer = i == kFileCacheRecords - 1;
    const QJsonObject message =
        answer ? QJsonObject{{QStringLiteral("usage"), QJsonObject{{QStringLiteral("input_tokens"), k + 100},
                                                                   {QStringLiteral("output_tokens"), 419}}}}
               : QJsonObject{{QStringLiteral("content"), QStringLiteral("prompt %1").arg(i)}};
    records.push_back({{QStringLiteral("timestamp"), formatUsageDate(base.addSecs(120 * k + i))},
                       {QStringLiteral("type"), answer ? QStringLiteral("assistant") : QStringLiteral("user")},
                       {QStringLiteral("message"), message}});
  }
  return records;
}

Result<void> setModificationDate(const QString& path, const QDateTime& date) {
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(date, QFileDevice::FileModificationTime)) {
    return Result<void>::failure(QStringLiteral("Cannot set the modification date of %1: %2").arg(path, file.errorString()));
  }
  return {};
}

class CacheGroup : CheckGroup {
 public:
  using CheckGroup::CheckGroup;

  void run() {
    checkLoaderReruns();
    checkTranscriptFileCache();
    if (writeBoundedBlockFixture()) checkBoundedBlockScan();
    checkDiscoveryCache();
    checkMergedUsageCache();
  }

 private:
  // A store over the unchanged rollout whose loader counts its runs: loaded once, its unchanged
  // candidates skip the next loads; a changed rollout loads again, and so does every tenth look at
  // unchanged candidates.
  void checkLoaderReruns() {
    auto calls = std::make_shared<int>(0);
    EventStoreOptions options =
        storeOptionsWithoutAgentFolders(unchangedLocalUsageFolder(tempRoot_) + QStringLiteral("/events.jsonl"),
                               path("unchanged-local-usage-audit.jsonl"));
    options.codexSessionsRoot = unchangedLocalUsageFolder(tempRoot_);
    options.localUsageLoader = [calls](const std::optional<QString>&, const std::optional<QString>&,
                                       const std::optional<QString>&) {
      *calls += 1;
      const QJsonObject usage{{QStringLiteral("tool_id"), QStringLiteral("codex-cli")},
                              {QStringLiteral("data_source"), QStringLiteral("rollout")},
                              {QStringLiteral("total_tokens"), 42}};
      const std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(
          testEvent(QStringLiteral("unchanged-local-usage"), QStringLiteral("codex"), QStringLiteral("task_updated"),
                    QStringLiteral("info"), QStringLiteral("Unchanged local usage"), QStringLiteral("Local usage"),
                    std::nullopt, usage, formatUsageDate(QDateTime::currentDateTimeUtc())));
      return event ? std::vector<TandrelEvent>{*event} : std::vector<TandrelEvent>{};
    };
    EventStore store(options);
    store.reload(false);
    store.reload(false);
    store.reload(false);
    check(*calls == 1, "unchanged local usage candidates should not rerun JSON loaders");

    // A later count, with more keys, so that the rewrite also changes the file's size.
    const QJsonObject tokens{{QStringLiteral("input_tokens"), 60}, {QStringLiteral("output_tokens"), 24},
                             {QStringLiteral("total_tokens"), 84}};
    const Result<void> rewritten = writeJSONLines({rolloutTokenCountLine(QDateTime::currentDateTimeUtc().addSecs(60), tokens)},
                                                  unchangedLocalUsageRolloutFile(tempRoot_));
    if (!rewritten) return;
    store.reload(false);
    check(*calls == 2, "changed local usage candidate files should rerun JSON loaders");
    for (int i = 0; i < 12; ++i) store.reload(false);
    check(*calls == 3, "unchanged local usage candidates should still force a periodic full reload");
  }

  void checkTranscriptFileCache() {
    const std::optional<QString> folder = freshFolder("local-usage-file-cache", "local usage file-cache fixture");
    if (!folder) return;
    const QString root = *folder;
    // The newest answer is written a few seconds ago, inside the current five-hour block.
    const QDateTime base =
        QDateTime::currentDateTimeUtc().addSecs(-(120 * (kFileCacheFiles - 1) + kFileCacheRecords + 5));
    for (int k = 0; k < kFileCacheFiles; ++k) {
      if (!written(writeJSONLines(fileCacheTranscript(k, base),
                                  root + QStringLiteral("/project-%1/session-%1.jsonl").arg(k)),
                   "local usage file-cache fixture")) {
        return;
      }
    }
    const std::vector<TandrelEvent> events = loadClaudeTranscriptUsageEvents(root);
    check(events.size() == kFileCacheFiles + 1, "local usage file-cache fixture should add one bounded active block summary");
    std::optional<UsageSnapshot> block;
    for (const TandrelEvent& event : events) {
      if (event.usage && event.usage->dataSource == u"local-transcript-block") {
        block = event.usage;
        break;
      }
    }
    if (!block) {
      check(false, "Claude active transcript block without historical limit missing");
    } else {
      check(block->fiveHour && block->fiveHour->label == u"Active",
            "Claude transcript block loader should publish an active 5-hour block without a historical limit");
      check(block->fiveHour && block->fiveHour->suffix.contains(QLatin1Char(':')), "Claude active block should render its reset time");
    }

    // One transcript replaced, three times over (a different size each time); the fastest read
    // of the whole root counts.
    const QString changed = root + QStringLiteral("/project-0/session-0.jsonl");
    bool rewritten = true;
    const double seconds = fastestOfThree([&](int attempt) {
      const QJsonObject answer{
          {QStringLiteral("timestamp"), formatUsageDate(QDateTime::currentDateTimeUtc())},
          {QStringLiteral("type"), QStringLiteral("assistant")},
          {QStringLiteral("message"),
           QJsonObject{{QStringLiteral("usage"), QJsonObject{{QStringLiteral("input_tokens"), 100},
                                                             {QStringLiteral("output_tokens"), 7 + 1000 * attempt}}}}}};
      rewritten = rewritten && written(writeJSONLines({answer}, changed), "local usage file-cache fixture");
      return secondsTaken([&root] { (void)loadClaudeTranscriptUsageEvents(root); });
    });
    if (rewritten) checkTime(seconds, 0.03, "local usage loaders should reuse unchanged per-file JSON results");
  }

  // Fixture B: 254 recent transcripts without tokens, one of six hours ago with 200 tokens and one
  // of two days ago with a hundred million, whose file is ten days old: it is the 257th newest
  // file once the active session joins them, out of reach of a scan of the 256 newest.
  bool writeBoundedBlockFixture() {
    const std::optional<QString> folder = freshFolder("claude-bounded-block-scan", "bounded Claude block fixture");
    if (!folder) return false;
    const QString root = *folder;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString old = root + QStringLiteral("/old/session-old.jsonl");
    Result<void> result = writeJSONLines(
        {claudeRequestLine(now.addSecs(-172800), QStringLiteral("old-request"), QStringLiteral("old-message"), 100000000)},
        old);
    if (result) result = setModificationDate(old, now.addSecs(-864000));
    for (int i = 0; result && i < kBoundedFillerFiles; ++i) {
      result = writeJSONLines({claudeRequestLine(now.addSecs(i - 108000), QStringLiteral("filler-request-%1").arg(i),
                                                 QStringLiteral("filler-message-%1").arg(i), 0)},
                              root + QStringLiteral("/filler-%1/session-%1.jsonl").arg(i));
    }
    if (result) {
      result = writeJSONLines({claudeRequestLine(now.addSecs(-21600), QStringLiteral("previous-request"),
                                                 QStringLiteral("previous-message"), 200)},
                              root + QStringLiteral("/previous/session-previous.jsonl"));
    }
    return written(result, "bounded Claude block fixture");
  }

  // The active session's 100 tokens against the 200 of the block six hours ago: half is left. Had
  // the scan reached the ten-day-old file, its hundred million tokens would leave nearly all.
  void checkBoundedBlockScan() {
    const QString root = path("claude-bounded-block-scan");
    Result<void> result = writeJSONLines({claudeRequestLine(QDateTime::currentDateTimeUtc(), QStringLiteral("active-request-1"),
                                                            QStringLiteral("active-message-1"), 100)},
                                         root + QStringLiteral("/active/session-active.jsonl"));
    if (result) result = writeJSONLines({}, path("bounded-empty-events.jsonl"));
    if (!written(result, "bounded Claude block fixture")) return;
    clearRecentJSONLDiscoveryCache();
    clearLocalUsageFileEventCache();
    EventStoreOptions options = storeOptionsWithoutAgentFolders(path("bounded-empty-events.jsonl"), path("bounded-audit.jsonl"));
    options.claudeProjectsRoot = root;
    EventStore store(options);
    store.reload(false);
    const std::optional<UsageSnapshot> usage =
        store.mergedUsage(usageToolIDs(QStringLiteral("Claude Code")), usageBrandName(QStringLiteral("Claude Code")));
    check(usage && usage->fiveHour && usage->fiveHour->label == u"50% left",
          "Claude transcript block loader should keep quota scans bounded to recent transcript files");
  }

  void checkDiscoveryCache() {
    const std::optional<QString> folder = freshFolder("local-usage-discovery-cache", "local usage discovery-cache fixture");
    if (!folder) return;
    const QString root = *folder;
    for (int i = 0; i < kDiscoveryFiles; ++i) {
      if (!written(writeJSONLines({QJsonObject{{QStringLiteral("session"), i}}},
                                  root + QStringLiteral("/project-%1/session-%1.jsonl").arg(i)),
                   "local usage discovery-cache fixture")) {
        return;
      }
    }
    const auto everyFile = [](const QString&) { return true; };
    const auto discover = [&] { return recentJSONLFiles(root, 64, QStringLiteral("default"), everyFile); };
    check(discover().size() == 64, "local usage discovery-cache fixture should load recent jsonl files");
    const double seconds = fastestOfThree([&](int) {
      return secondsTaken([&] {
        for (int i = 0; i < 20; ++i) (void)discover();
      });
    });
    checkTime(seconds, 0.08, "recent JSONL discovery should reuse cached file lists between full scans");
  }

  void checkMergedUsageCache() {
    const QDateTime reference = QDateTime::currentDateTimeUtc().addSecs(-kUsageCacheEvents);
    std::vector<QJsonObject> records;
    for (int i = 0; i < kUsageCacheEvents; ++i) {
      const QJsonObject usage{
          {QStringLiteral("tool_id"), QStringLiteral("codex-cli")},
          {QStringLiteral("data_source"), QStringLiteral("rollout")},
          {QStringLiteral("context_remaining"), QString::number(128000 - i)},
          {QStringLiteral("context_total"), QStringLiteral("128000")},
          {QStringLiteral("context_remaining_percent"), (kUsageCacheEvents - i) * 100.0 / kUsageCacheEvents},
          {QStringLiteral("total_tokens"), i + 1000},
          {QStringLiteral("limit_5h_percent"), i % 100}};
      records.push_back(testEvent(QStringLiteral("usage-cache-%1").arg(i), QStringLiteral("codex"),
                                  QStringLiteral("task_updated"), QStringLiteral("info"),
                                  QStringLiteral("Codex usage cache %1").arg(i), QStringLiteral("Usage cache benchmark"),
                                  std::nullopt, usage, formatUsageDate(reference.addSecs(i))));
    }
    if (!written(writeJSONLines(records, path("usage-cache-events.jsonl")), "usage cache fixture")) return;
    EventStore store(storeOptionsWithoutAgentFolders(path("usage-cache-events.jsonl"), path("usage-cache-audit.jsonl")));
    store.reload(false);
    const auto read = [&store] {
      return store.mergedUsage(usageToolIDs(QStringLiteral("codex")), usageBrandName(QStringLiteral("codex")));
    };
    const std::optional<UsageSnapshot> usage = read();
    check(usage && usage->tokens && usage->tokens->label == u"1.1k total", "usage cache fixture should load latest Codex usage");
    const double seconds = fastestOfThree([&](int) {
      return secondsTaken([&] {
        for (int i = 0; i < 200; ++i) (void)read();
      });
    });
    checkTime(seconds, 0.05, "repeated usage reads should be cached while the event store revision is unchanged");
  }

};

}  // namespace

void runLocalUsageCacheChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  CacheGroup(failures, tempRoot).run();
}

}  // namespace tandrel
