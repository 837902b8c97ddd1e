// What one store revision costs the companion: the candidate list of a full 500-event window,
// then the status item, the ticker and the pet state over it.
#include "attention/companion_status.h"
#include "attention/pet_state.h"

#include <QDateTime>
#include <QSet>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using tandrel::TandrelEvent;

std::vector<TandrelEvent> sampleWindow() {
  static const char* const types[] = {"task_updated", "task_started",  "task_completed", "permission_request",
                                      "tool_use",     "waiting_input", "task_updated",   "task_failed"};
  std::vector<TandrelEvent> events;
  for (int i = 0; i < 500; ++i) {
    TandrelEvent event;
    event.id = QStringLiteral("event-%1").arg(i);
    event.source = i % 3 == 0 ? QStringLiteral("claude_code") : QStringLiteral("codex");
    event.eventType = QString::fromLatin1(types[i % 8]);
    event.status = event.eventType;
    event.severity = QStringLiteral("info");
    event.notifyPolicy = i % 5 == 0 ? QStringLiteral("silent") : QStringLiteral("immediate");
    event.rawEventName = QStringLiteral("Stop");
    event.message = QStringLiteral("Step %1 - running the tests").arg(i);
    if (i % 8 == 3) event.decisionFile = QStringLiteral("/tmp/decision-%1.json").arg(i);
    event.timestamp = QDateTime::fromSecsSinceEpoch(1'800'000'000 + (i * 7919) % 500, Qt::UTC);
    events.push_back(std::move(event));
  }
  return events;
}

void BM_CompanionRevision(benchmark::State& state) {
  const std::vector<TandrelEvent> events = sampleWindow();
  QSet<QString> read;
  for (int i = 0; i < 500; i += 4) read.insert(QStringLiteral("event-%1").arg(i));
  for (auto _ : state) {
    const std::vector<TandrelEvent> candidates = tandrel::companionCandidateEvents(events, {}, read);
    const auto status = tandrel::companionStatusItem(candidates);
    const auto ticker = tandrel::companionTickerItems(candidates);
    const auto pet = tandrel::PetStateResolver::resolve(
        std::span(candidates).first(std::min<std::size_t>(200, candidates.size())), std::nullopt, false);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(ticker.data());
    benchmark::DoNotOptimize(pet);
  }
  state.SetItemsProcessed(state.iterations() * qint64(events.size()));
}
BENCHMARK(BM_CompanionRevision)->Unit(benchmark::kMicrosecond);

}  // namespace
