// Cost of the canonical JSON writer on a typical reply frame and audit line.
#include "base/canonical_json.h"

#include <QJsonArray>
#include <QJsonObject>

#include <benchmark/benchmark.h>

namespace {

QJsonObject sampleFrame() {
  QJsonObject payload{
      {QStringLiteral("hookSpecificOutput"),
       QJsonObject{{QStringLiteral("hookEventName"), QStringLiteral("PreToolUse")},
                   {QStringLiteral("permissionDecision"), QStringLiteral("allow")}}}};
  return QJsonObject{{QStringLiteral("v"), 1},
                     {QStringLiteral("type"), QStringLiteral("hook.reply")},
                     {QStringLiteral("request_id"), QStringLiteral("8f7c2a2e-5b1d-4f4e-9a51-0c6d1a2b3c4d")},
                     {QStringLiteral("decision"), QStringLiteral("allow")},
                     {QStringLiteral("mode"), QStringLiteral("once")},
                     {QStringLiteral("cwd"), QStringLiteral("/home/dev/src/project")},
                     {QStringLiteral("raw_agent_payload"), payload}};
}

void BM_CanonicalJsonLine(benchmark::State& state) {
  const QJsonObject frame = sampleFrame();
  qint64 bytes = 0;
  for (auto _ : state) {
    const QByteArray line = tandrel::canonicalJsonLine(frame);
    bytes += line.size();
    benchmark::DoNotOptimize(line.constData());
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_CanonicalJsonLine);

}  // namespace
