// The island's usage reads over the store's usage caches, three figures:
//  - per revision: the first reads after a publish rebuild the caches, merge the usage of five
//    brands and decide the usage eligibility of every catalogue tool;
//  - an unchanged revision: a merged brand reading answered from the cache, what every redraw and
//    every second of ticker animation asks for;
//  - the eligibility decision alone at an unchanged revision (it is computed on demand).
// The input is 500 usage events from five brands (Claude, Codex, Cursor, Trae, OpenCode), with
// context, token, five-hour, weekly and rate-limit readings at 500 distinct times.
#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "platform/fake/fake_clock.h"
#include "usage/usage_brand.h"
#include "usage/usage_eligibility.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using tandrel::TandrelEvent;

const QDateTime kNow = QDateTime::fromString("2026-05-11T20:00:00Z", Qt::ISODate);
const QStringList kBrands = {"Claude", "Codex", "Cursor", "Trae", "OpenCode"};

// 500 usage events; `generation` changes one event's id, so that every generation publishes.
std::vector<TandrelEvent> makeUsageEvents(int generation) {
  const char* const tools[] = {"claude-code", "claude-app",     "codex-cli",  "codex-app",   "cursor-ide",
                               "cursor-agent-cli", "trae-agent-cli", "trae-solo", "opencode-cli", "claude-code"};
  const char* const sources[] = {"transcript", "hook", "rollout", "statusline", "opencode-plugin"};
  std::vector<TandrelEvent> events;
  for (int i = 0; i < 500; ++i) {
    QJsonObject usage{{"tool_id", tools[i % 10]},
                      {"data_source", sources[i % 5]},
                      {"observed_at", kNow.addSecs(-3 * (500 - i)).toString(Qt::ISODate)}};
    switch (i % 4) {
      case 0:
        usage.insert("context_remaining", 128000 - i);
        usage.insert("context_total", 200000);
        usage.insert("input_tokens", 1000 + i);
        usage.insert("output_tokens", 20 + i);
        break;
      case 1:
        usage.insert("limit_5h_percent", i % 100);
        usage.insert("weekly_percent", (i * 7) % 100);
        break;
      case 2:
        usage.insert("total_tokens", 5000 + i);
        break;
      default:
        usage.insert("rate_limit_label", "Limited");
        break;
    }
    const QString id = i == 0 ? QStringLiteral("usage-g%1").arg(generation) : QStringLiteral("usage-%1").arg(i);
    if (auto event = TandrelEvent::fromDictionary({{"event_id", id},
                                                   {"source", tools[i % 10]},
                                                   {"notify_policy", "usage_only"},
                                                   {"timestamp", kNow.addSecs(-3 * (500 - i)).toString(Qt::ISODate)},
                                                   {"usage", usage}})) {
      events.push_back(std::move(*event));
    }
  }
  return events;
}

std::vector<tandrel::ToolHealth> catalogueHealth() {
  std::vector<tandrel::ToolHealth> rows;
  for (const auto& item : tandrel::aiToolCatalog()) {
    tandrel::ToolHealth row;
    row.id = item.id;
    row.product = item.product;
    row.name = item.name;
    row.status = tandrel::HookStatus::healthy;
    row.detected = true;
    row.surface = item.surface;
    row.integration = item.integration;
    row.capabilities = item.capabilities;
    row.priority = item.priority;
    rows.push_back(std::move(row));
  }
  return rows;
}

// A store whose local usage stream is the 500 events of the current generation.
struct UsageStore {
  QTemporaryDir dir;
  tandrel::FakeClock clock{kNow};
  int generation = 0;
  std::unique_ptr<tandrel::EventStore> store;

  UsageStore() {
    tandrel::EventStoreOptions options;
    options.testEnvironment = true;
    options.eventFile = dir.filePath(QStringLiteral("events.jsonl"));
    options.auditFile = dir.filePath(QStringLiteral("audit.jsonl"));
    options.codexSessionsRoot.reset();
    options.traeTrajectoryRoot.reset();
    options.cursorProjectsRoot.reset();
    options.traeLogsRoot.reset();
    options.claudeProjectsRoot = dir.filePath(QStringLiteral("projects"));  // missing: always a changed look
    options.localUsageLoadMode = tandrel::LocalUsageLoadMode::synchronous;
    options.localUsageLoader = [this](const auto&, const auto&, const auto&) { return makeUsageEvents(generation); };
    options.localHotplugLoader = [](const auto&, const auto&, const auto&, const auto&) {
      return std::vector<TandrelEvent>{};
    };
    options.clock = &clock;
    store = std::make_unique<tandrel::EventStore>(std::move(options));
  }

  // Publishes the next generation: a new revision.
  void publishNext() {
    generation += 1;
    store->clearLocalUsageEventsIfNeeded();  // the pre-check would skip unchanged candidates
    store->reload(true);
  }
};

void BM_UsageMergeAndEligibilityPerRevision(benchmark::State& state) {
  UsageStore usage;
  const auto health = catalogueHealth();
  std::size_t eligible = 0;
  for (auto _ : state) {
    state.PauseTiming();
    usage.publishNext();
    state.ResumeTiming();
    for (const QString& brand : kBrands) {
      benchmark::DoNotOptimize(usage.store->mergedUsage(tandrel::usageToolIDs(brand), tandrel::usageBrandName(brand)));
    }
    const auto decisions = tandrel::deriveUsageEligibility(health, {}, *usage.store, true, kNow);
    eligible = std::count_if(decisions.begin(), decisions.end(), [](const tandrel::UsageEligibility& e) {
      return e.reason == tandrel::UsageEligibilityReason::eligible;
    });
  }
  if (usage.store->events().size() != 500) {
    state.SkipWithError("the store does not hold the 500 usage events");
  }
  state.counters["events"] = static_cast<double>(usage.store->events().size());
  state.counters["eligible"] = static_cast<double>(eligible);
}
BENCHMARK(BM_UsageMergeAndEligibilityPerRevision)->Unit(benchmark::kMicrosecond);

void BM_MergedBrandUsageAtUnchangedRevision(benchmark::State& state) {
  UsageStore usage;
  usage.publishNext();
  std::vector<std::pair<QStringList, QString>> brands;
  for (const QString& brand : kBrands) {
    brands.emplace_back(tandrel::usageToolIDs(brand), tandrel::usageBrandName(brand));
    usage.store->mergedUsage(brands.back().first, brands.back().second);
  }
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& [ids, name] = brands[next];
    benchmark::DoNotOptimize(usage.store->mergedUsage(ids, name));
    next = (next + 1) % brands.size();
  }
  if (usage.store->usageCacheRevision() != usage.store->revision()) {
    state.SkipWithError("the usage caches were not current");
  }
}
BENCHMARK(BM_MergedBrandUsageAtUnchangedRevision)->Unit(benchmark::kNanosecond);

void BM_EligibilityAtUnchangedRevision(benchmark::State& state) {
  UsageStore usage;
  usage.publishNext();
  const auto health = catalogueHealth();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tandrel::deriveUsageEligibility(health, {}, *usage.store, true, kNow));
  }
  state.counters["tools"] = static_cast<double>(health.size());
}
BENCHMARK(BM_EligibilityAtUnchangedRevision)->Unit(benchmark::kMicrosecond);

}  // namespace
