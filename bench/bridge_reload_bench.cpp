// Reloading the bridge file: a cold reload of a large file (reads only its last 8 MiB), one appended
// line on a small and on a large file (the cost must not grow with the file), a burst of appended
// lines, and a forced reload of a file whose last 8 MiB are junk or valid lines, parsed on the main
// thread or on the bridge queue (counter main_ms: the time the main thread spends in reload).

#include "events/event_store.h"
#include "platform/clock.h"
#include "platform/fake/fake_clock.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>

namespace {

using namespace tandrel;

// A realistic bridge line (about 450 bytes): a tool event with a preview and usage.
QByteArray benchLine(qint64 n) {
  const QJsonObject record{
      {QStringLiteral("event_id"), QStringLiteral("bench-%1").arg(n)},
      {QStringLiteral("source"), QStringLiteral("claude-code")},
      {QStringLiteral("event_type"), n % 5 == 0 ? QStringLiteral("task_completed") : QStringLiteral("task_updated")},
      {QStringLiteral("status"), QStringLiteral("running_tool")},
      {QStringLiteral("cwd"), QStringLiteral("/home/dev/projects/tandrel")},
      {QStringLiteral("session_id"), QStringLiteral("6f1c2a90-55d4-4f0e-9d6b-%1").arg(n % 97, 12, 10, QLatin1Char('0'))},
      {QStringLiteral("title"), QStringLiteral("Claude Code is editing files")},
      {QStringLiteral("message"), QStringLiteral("Edit src/events/event_store.cpp (+12 -3)")},
      {QStringLiteral("tool_name"), QStringLiteral("Edit")},
      {QStringLiteral("timestamp"), QStringLiteral("2027-01-15T08:%1:%2Z").arg(n / 60 % 60, 2, 10, QLatin1Char('0')).arg(n % 60, 2, 10, QLatin1Char('0'))},
      {QStringLiteral("preview"), QJsonObject{{QStringLiteral("user"), QStringLiteral("Please tidy the store")},
                                              {QStringLiteral("agent"), QStringLiteral("Working on it")}}},
      {QStringLiteral("usage"), QJsonObject{{QStringLiteral("input_tokens"), 1200 + n % 100},
                                            {QStringLiteral("output_tokens"), 340},
                                            {QStringLiteral("context_used"), 64200},
                                            {QStringLiteral("context_total"), 200000}}},
  };
  return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}

void appendBytes(const QString& path, const QByteArray& bytes) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) {
    [[maybe_unused]] const auto written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    ::close(fd);
  }
}

// Bridge files of a given size, written once per process.
class BridgeFiles {
 public:
  static BridgeFiles& shared() {
    static BridgeFiles files;
    return files;
  }

  // A file of at least `bytes` bytes; each call for a size gives a fresh copy to append to.
  QString fileOfSize(qint64 bytes, bool fresh) {
    auto& original = originals_[bytes];
    if (original.isEmpty()) {
      original = dir_.filePath(QStringLiteral("events-%1.jsonl").arg(bytes));
      QFile file(original);
      file.open(QIODevice::WriteOnly | QIODevice::Truncate);
      QByteArray chunk;
      while (file.size() + chunk.size() < bytes) {
        chunk += benchLine(next_++);
        if (chunk.size() >= 1 << 20) {
          file.write(chunk);
          chunk.clear();
        }
      }
      file.write(chunk);
    }
    if (!fresh) {
      return original;
    }
    const QString copy = dir_.filePath(QStringLiteral("copy-%1.jsonl").arg(copies_++));
    QFile::copy(original, copy);
    return copy;
  }

  qint64 nextID() { return next_++; }

 private:
  QTemporaryDir dir_;
  std::map<qint64, QString> originals_;
  qint64 next_ = 0;
  int copies_ = 0;
};

EventStoreOptions benchOptions(const QString& eventFile, Clock& clock) {
  EventStoreOptions options;
  options.testEnvironment = true;
  options.eventFile = eventFile;
  options.auditFile = eventFile + QStringLiteral(".audit");
  options.codexSessionsRoot = options.claudeProjectsRoot = options.traeTrajectoryRoot = std::nullopt;
  options.cursorProjectsRoot = options.traeLogsRoot = std::nullopt;
  options.clock = &clock;
  return options;
}

// (a) A new store's first reload of a 100 MB bridge file.
void BM_ColdReload(benchmark::State& state) {
  const QString path = BridgeFiles::shared().fileOfSize(state.range(0) << 20, false);
  FakeClock clock;
  for (auto _ : state) {
    EventStore store(benchOptions(path, clock));
    store.reload();
    benchmark::DoNotOptimize(store.events().size());
  }
  state.SetLabel(QStringLiteral("%1 MB file").arg(state.range(0)).toStdString());
}
BENCHMARK(BM_ColdReload)->Arg(100)->Unit(benchmark::kMillisecond);

// (b) One line appended to a loaded store's file of 1 MB or 100 MB, then the periodic reload.
void BM_AppendOneLine(benchmark::State& state) {
  const QString path = BridgeFiles::shared().fileOfSize(state.range(0) << 20, true);
  FakeClock clock;
  EventStore store(benchOptions(path, clock));
  store.reload();
  for (auto _ : state) {
    state.PauseTiming();
    appendBytes(path, benchLine(BridgeFiles::shared().nextID()));
    clock.advance(EventStore::kBridgeMetadataCheckInterval);
    state.ResumeTiming();
    store.reload();
  }
  benchmark::DoNotOptimize(store.events().size());
  QFile::remove(path);
  state.SetLabel(QStringLiteral("%1 MB file").arg(state.range(0)).toStdString());
}
BENCHMARK(BM_AppendOneLine)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

// (c) 10,000 lines appended at once, then one reload.
void BM_AppendBurst(benchmark::State& state) {
  const QString path = BridgeFiles::shared().fileOfSize(1 << 20, true);
  FakeClock clock;
  EventStore store(benchOptions(path, clock));
  store.reload();
  for (auto _ : state) {
    state.PauseTiming();
    QByteArray burst;
    for (int i = 0; i < state.range(0); ++i) {
      burst += benchLine(BridgeFiles::shared().nextID());
    }
    appendBytes(path, burst);
    clock.advance(EventStore::kBridgeMetadataCheckInterval);
    state.ResumeTiming();
    store.reload();
  }
  benchmark::DoNotOptimize(store.events().size());
  QFile::remove(path);
}
BENCHMARK(BM_AppendBurst)->Arg(10'000)->Unit(benchmark::kMillisecond);

// (d) A forced reload of a 9 MiB file whose tail is junk (lines that hold no event: text, cut-off
// records, records with bytes after them) or valid lines; parsed inline or on the bridge queue.
QString tailFile(bool junk) {
  static std::map<bool, QString> files;
  QString& path = files[junk];
  if (path.isEmpty()) {
    path = BridgeFiles::shared().fileOfSize(1 << 20, true);
    QByteArray bytes;
    const QByteArray record = benchLine(0);
    while (bytes.size() < (9 << 20)) {
      if (junk) {
        bytes += "some tool printed this progress line into the bridge file, 42% done\n";
        bytes += record.left(record.size() / 2) + '\n';
        bytes += record.chopped(1) + " trailing\n";
      } else {
        bytes += benchLine(BridgeFiles::shared().nextID());
      }
    }
    appendBytes(path, bytes);
  }
  return path;
}

void BM_TailReload(benchmark::State& state) {
  const bool junk = state.range(0) == 1;
  FakeClock clock;
  EventStoreOptions options = benchOptions(tailFile(junk), clock);
  options.bridgeReadsInBackground = state.range(1) == 1;
  EventStore store(options);
  int changes = 0;
  store.onChange = [&changes] { ++changes; };
  double mainMs = 0;
  for (auto _ : state) {
    const int before = changes;
    const auto start = std::chrono::steady_clock::now();
    store.reload(true);
    mainMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    while (changes == before) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
  }
  state.counters["main_ms"] = benchmark::Counter(mainMs, benchmark::Counter::kAvgIterations);
  state.SetLabel(std::string(junk ? "junk" : "valid") + (state.range(1) == 1 ? ", bridge queue" : ", inline"));
}
BENCHMARK(BM_TailReload)->Args({1, 0})->Args({0, 0})->Args({1, 1})->Args({0, 1})->Unit(benchmark::kMillisecond);

}  // namespace
