#include "selfcheck/checks/async_local_usage_checks.h"

#include "events/event_store.h"
#include "selfcheck/checks/check_group.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"
#include "usage/usage_brand.h"
#include "usage/usage_dates.h"

#include <QDateTime>
#include <QJsonObject>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace tandrel {
namespace {

// How long the slow loader holds its thread, and how long the check waits for its readings.
constexpr std::chrono::milliseconds kSlowLoaderDelay{180};
constexpr double kPublishWaitSeconds = 1.0;

// The store's loader: holds its thread, then reads one Codex usage update of 101 tokens.
std::vector<TandrelEvent> slowLocalUsage(const std::optional<QString>&, const std::optional<QString>&,
                                         const std::optional<QString>&) {
  std::this_thread::sleep_for(kSlowLoaderDelay);
  const QJsonObject usage{{QStringLiteral("tool_id"), QStringLiteral("codex-cli")},
                          {QStringLiteral("data_source"), QStringLiteral("rollout")},
                          {QStringLiteral("total_tokens"), 101}};
  const std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(
      testEvent(QStringLiteral("async-codex-usage"), QStringLiteral("codex"), QStringLiteral("task_updated"),
                QStringLiteral("info"), QStringLiteral("Async Codex usage"), QStringLiteral("Async local usage"),
                std::nullopt, usage, formatUsageDate(QDateTime::currentDateTimeUtc())));
  return event ? std::vector<TandrelEvent>{*event} : std::vector<TandrelEvent>{};
}

Result<void> emptiedFolder(const QString& tempRoot, const QString& name) {
  if (freshScratchFolder(tempRoot, name)) return {};
  return Result<void>::failure(QStringLiteral("cannot empty the folder ") + scratchPath(tempRoot, name));
}

void writeUnchangedLocalUsageFixture(SelfCheckFailures& failures, const QString& tempRoot) {
  const QJsonObject tokens{{QStringLiteral("total_tokens"), 42}};
  Result<void> written = emptiedFolder(tempRoot, QStringLiteral("unchanged-local-usage"));
  if (written) written = writeJSONLines({}, unchangedLocalUsageFolder(tempRoot) + QStringLiteral("/events.jsonl"));
  if (written) written = writeJSONLines({rolloutTokenCountLine(QDateTime::currentDateTimeUtc(), tokens)}, unchangedLocalUsageRolloutFile(tempRoot));
  if (!written) {
    failures.check(false, QStringLiteral("could not write unchanged local usage fixture: ") + written.error());
  }
}

}  // namespace

QJsonObject rolloutTokenCountLine(const QDateTime& at, const QJsonObject& totalTokenUsage) {
  return {{QStringLiteral("timestamp"), formatUsageDate(at)},
          {QStringLiteral("type"), QStringLiteral("event_msg")},
          {QStringLiteral("payload"),
           QJsonObject{{QStringLiteral("type"), QStringLiteral("token_count")},
                       {QStringLiteral("info"), QJsonObject{{QStringLiteral("total_token_usage"), totalTokenUsage}}}}}};
}

QString unchangedLocalUsageFolder(const QString& tempRoot) {
  return scratchPath(tempRoot, QStringLiteral("unchanged-local-usage"));
}

QString unchangedLocalUsageRolloutFile(const QString& tempRoot) {
  return unchangedLocalUsageFolder(tempRoot) + QStringLiteral("/2026/05/10/rollout-unchanged.jsonl");
}

void runAsyncLocalUsageChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  const QString folder = scratchPath(tempRoot, QStringLiteral("async-local-usage"));
  // The store's own empty bridge file: the run's base events hold Codex usage of their own, which
  // would answer before the loader does.
  const QString eventFile = scratchPath(tempRoot, QStringLiteral("async-local-usage-events.jsonl"));
  const QJsonObject tokens{{QStringLiteral("input_tokens"), 60}, {QStringLiteral("output_tokens"), 41},
                           {QStringLiteral("total_tokens"), 101}};
  Result<void> written = emptiedFolder(tempRoot, QStringLiteral("async-local-usage"));
  if (written) written = writeJSONLines({}, eventFile);
  if (written) written = writeJSONLines({rolloutTokenCountLine(QDateTime::currentDateTimeUtc(), tokens)}, folder + QStringLiteral("/2026/05/10/rollout-async.jsonl"));
  if (!written) {
    failures.check(false, QStringLiteral("could not write async local usage fixture: ") + written.error());
  } else {
    // Three stores, each timed on its first reload; their loaders run side by side, so the wait
    // below is one loader's delay.
    std::vector<std::unique_ptr<EventStore>> stores;
    const double fastest = fastestOfThree([&](int) {
      EventStoreOptions options = storeOptionsWithoutAgentFolders(eventFile, folder + QStringLiteral("-audit.jsonl"));
      options.codexSessionsRoot = folder;
      options.localUsageLoadMode = LocalUsageLoadMode::asynchronous;
      options.localUsageLoader = slowLocalUsage;
      auto& store = *stores.emplace_back(std::make_unique<EventStore>(options));
      return secondsTaken([&store] { store.reload(false); });
    });
    failures.checkTiming(fastest, 0.05,
                         sentenceWithSeconds(QStringLiteral("EventStore reload should not block the main thread while "
                                                            "local usage scans run; took "),
                                             fastest));
    EventStore& store = *stores.back();
    waitOnEventLoop([&store] { return store.latestUsage(QStringLiteral("Codex")).has_value(); }, kPublishWaitSeconds);
    const std::optional<UsageSnapshot> usage = store.mergedUsage(usageToolIDs(QStringLiteral("Codex")), QStringLiteral("Codex"));
    failures.check(usage && usage->tokens && usage->tokens->label == u"101 total",
                   QStringLiteral("asynchronous local usage scan should publish loaded metrics after completion"));
  }
  writeUnchangedLocalUsageFixture(failures, tempRoot);
}

}  // namespace tandrel
