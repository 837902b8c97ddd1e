// parseUsageDate on texts never seen before (each parse reads the text and stores it in the memo)
// and on texts seen before (answered from the memo). The built-in checks ask for 4000 parses
// within 0.02 s, i.e. 5 µs a parse.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QStringList>

#include "usage/usage_dates.h"

namespace {

using tandrel::UsageParsedDateCache::clearForTests;

QStringList makeTexts(int count, bool withFraction) {
  QStringList texts;
  texts.reserve(count);
  for (int i = 0; i < count; ++i) {
    const QDateTime date =
        QDateTime::fromMSecsSinceEpoch(1'778'000'000'000 + qint64{i} * 1'037, Qt::UTC);
    texts.append(withFraction ? date.toString(Qt::ISODateWithMs) : tandrel::formatUsageDate(date));
  }
  return texts;
}

void BM_ParseFreshTexts(benchmark::State& state) {
  const QStringList texts = makeTexts(200'000, state.range(0) != 0);
  clearForTests();
  qsizetype next = 0;
  for (auto _ : state) {
    if (next == texts.size()) {
      state.PauseTiming();
      clearForTests();
      next = 0;
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(tandrel::parseUsageDate(texts[next++]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseFreshTexts)->Arg(0)->Arg(1)->ArgName("fraction");

void BM_ParseRepeatedTexts(benchmark::State& state) {
  const QStringList texts = makeTexts(64, true);
  clearForTests();
  qsizetype next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tandrel::parseUsageDate(texts[next]));
    next = (next + 1) % texts.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseRepeatedTexts);

// The shape of the built-in check: 4000 parses of distinct texts in one go.
void BM_Parse4000(benchmark::State& state) {
  const QStringList texts = makeTexts(4000, true);
  for (auto _ : state) {
    state.PauseTiming();
    clearForTests();
    state.ResumeTiming();
    for (const QString& text : texts) {
      benchmark::DoNotOptimize(tandrel::parseUsageDate(text));
    }
  }
}
BENCHMARK(BM_Parse4000)->Unit(benchmark::kMillisecond);

}  // namespace
