// The inbox of the store's events, two figures:
//  - rebuilding it: filtering, sorting, grouping and one card (with its normalized message) per
//    group, what the store does once per revision;
//  - reading it again at an unchanged revision through the store's ensureMessageCache, what every
//    redraw does.
// The input is 500 events that all qualify for the inbox (the store's window holds at most 500),
// spread over 4 tools and 25 sessions so that most cards fold several events.
#include "events/event_store.h"
#include "inbox/island_message.h"
#include "platform/fake/fake_clock.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using tandrel::TandrelEvent;

std::vector<QJsonObject> makeActiveRecords(int count) {
  const char* const sources[] = {"claude_code", "codex", "cursor", "gemini"};
  std::vector<QJsonObject> records;
  records.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    QJsonObject record{
        {"event_id", QStringLiteral("event-%1").arg(i)},
        {"source", QString::fromLatin1(sources[i % 4])},
        {"session_id", QStringLiteral("session-%1-0123456789").arg(i % 25)},
        {"cwd", QStringLiteral("/home/dev/project-%1").arg(i % 7)},
        {"timestamp", QStringLiteral("2026-05-11T%1:%2:00Z").arg(10 + i / 60).arg(i % 60, 2, 10, QLatin1Char('0'))},
        {"tool_name", "Bash"},
        {"pid", 1000 + i % 25},
    };
    switch (i % 4) {
      case 0:
        record.insert("event_type", "permission_request");
        record.insert("title", QStringLiteral("Run command - step %1").arg(i % 3));
        record.insert("message", "npm test - watch");
        record.insert("action", QJsonObject{{"kind", "bash"},
                                            {"risk", i % 8 == 0 ? "high" : "low"},
                                            {"decision_file", QStringLiteral("/tmp/decision-%1.json").arg(i)}});
        break;
      case 1:
        record.insert("event_type", "waiting_input");
        record.insert("title", "Pick an approach");
        record.insert("response", QJsonObject{{"response_file", QStringLiteral("/tmp/response-%1.json").arg(i)}});
        record.insert("options", QJsonArray{QJsonObject{{"id", "a"}, {"label", "Plan A"}},
                                            QJsonObject{{"id", "b"}, {"label", "Plan B"}, {"disabled_reason", "No"}}});
        break;
      default:
        record.insert("event_type", "task_completed");
        record.insert("title", "Task finished");
        record.insert("message", "All tests pass - 120 of 120");
        record.insert("completion_snippet", "Done: refactored the parser and added tests.");
        break;
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<TandrelEvent> makeActiveEvents(int count) {
  std::vector<TandrelEvent> events;
  for (const QJsonObject& record : makeActiveRecords(count)) {
    if (std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(record)) events.push_back(std::move(*event));
  }
  return events;
}

void BM_BuildInboxFrom500ActiveEvents(benchmark::State& state) {
  const std::vector<TandrelEvent> events = makeActiveEvents(500);
  const tandrel::MessageBuildContext context{QDateTime::fromString("2026-05-11T20:00:00Z", Qt::ISODate), {}, {}};
  std::size_t cards = 0;
  for (auto _ : state) {
    tandrel::InboxMessages inbox = tandrel::buildIslandMessages(events, {}, {}, context);
    cards = inbox.messages.size();
    benchmark::DoNotOptimize(inbox);
  }
  state.counters["cards"] = static_cast<double>(cards);
  state.counters["events"] = static_cast<double>(events.size());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events.size()));
}
BENCHMARK(BM_BuildInboxFrom500ActiveEvents)->Unit(benchmark::kMicrosecond);

tandrel::EventStoreOptions storeOptions(const QString& eventFile, const QString& auditFile, tandrel::Clock& clock) {
  tandrel::EventStoreOptions options;
  options.testEnvironment = true;
  options.eventFile = eventFile;
  options.auditFile = auditFile;
  options.codexSessionsRoot = options.claudeProjectsRoot = options.traeTrajectoryRoot = std::nullopt;
  options.cursorProjectsRoot = options.traeLogsRoot = std::nullopt;
  options.clock = &clock;
  return options;
}

// A store over a bridge file of the same 500 events, its inbox built once; every iteration asks
// for the inbox again at the same revision, as a redraw does.
void BM_ReadInboxAtUnchangedRevision(benchmark::State& state) {
  QTemporaryDir dir;
  const QString eventFile = dir.filePath(QStringLiteral("events.jsonl"));
  {
    QFile file(eventFile);
    if (!file.open(QIODevice::WriteOnly)) {
      state.SkipWithError("cannot write the bridge file");
      return;
    }
    for (const QJsonObject& record : makeActiveRecords(500)) {
      file.write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
    }
  }
  tandrel::FakeClock clock(QDateTime::fromString("2026-05-11T20:00:00Z", Qt::ISODate));
  tandrel::EventStore store(storeOptions(eventFile, dir.filePath(QStringLiteral("audit.jsonl")), clock));
  store.reload(true);
  store.ensureMessageCache();
  for (auto _ : state) {
    store.ensureMessageCache();
    benchmark::DoNotOptimize(store.cachedAllMessages().data());
    benchmark::DoNotOptimize(store.cachedApprovalCount());
  }
  if (store.messageCacheBuildCountForTests() != 1) {
    state.SkipWithError("the inbox was rebuilt at an unchanged revision");
  }
  state.counters["cards"] = static_cast<double>(store.cachedAllMessages().size());
  state.counters["events"] = static_cast<double>(store.events().size());
}
BENCHMARK(BM_ReadInboxAtUnchangedRevision)->Unit(benchmark::kNanosecond);

// The Jump of every card, resolved against this machine as a rebuild does (desktop entries,
// commands on PATH, folders): one iteration resolves the 500 events once.
void BM_ResolveJumpsOf500Events(benchmark::State& state) {
  const std::vector<TandrelEvent> events = makeActiveEvents(500);
  QTemporaryDir dir;
  tandrel::FakeClock clock(QDateTime::fromString("2026-05-11T20:00:00Z", Qt::ISODate));
  tandrel::EventStore store(storeOptions(dir.filePath(QStringLiteral("events.jsonl")), dir.filePath(QStringLiteral("audit.jsonl")), clock));
  int withJump = 0;
  for (auto _ : state) {
    withJump = 0;
    for (const TandrelEvent& event : events) {
      withJump += store.jumpTarget(event).has_value() ? 1 : 0;
    }
  }
  state.counters["with_jump"] = withJump;
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events.size()));
}
BENCHMARK(BM_ResolveJumpsOf500Events)->Unit(benchmark::kMicrosecond);

}  // namespace
