// The local transcript scanners over generated agent data.
//
// Claude: a seeded generator writes a projects tree of realistic transcripts (several lines per
// response repeating the message id, request id and usage; tool results of 1–150 KB; sub-agent
// transcripts; a resumed session that copies lines of the one before) with a known active
// five-hour block, whose token sums the benchmark counts itself while writing and compares with
// what the scanner finds. Each scan is timed beside the floor: reading the same files, page cache
// warm, into a buffer, in the same run.
//
// Codex: 16 rollouts with token counts, rate limits, tool calls and large outputs.
//
// The trees live under /tmp while the program runs. Their sizes: TANDREL_BENCH_CLAUDE_TREE_MB
// (default 8) and TANDREL_BENCH_CODEX_ROLLOUT_MB per rollout (default 1); CI runs the defaults.
//
// With --blocks-json the program instead scans the tree in TANDREL_CLAUDE_PROJECTS_DIR once, as
// the app does (the 256 newest transcripts), and prints every five-hour block it found as JSON.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "catalog/paths.h"
#include "usage/scanners/claude_transcript_scanner.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/scanners/local_usage_loaders.h"
#include "usage/usage_dates.h"

namespace {

using namespace tandrel;
using SteadyClock = std::chrono::steady_clock;

constexpr qint64 kHourMs = 3'600'000;

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

qint64 environmentNumber(const char* name, qint64 fallback) {
  bool ok = false;
  const qint64 value = qEnvironmentVariable(name).toLongLong(&ok);
  return ok && value > 0 ? value : fallback;
}

// ---- Memory ----

qint64 statusKilobytes(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) {
    return 0;
  }
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith(field)) {
      return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
  }
  return 0;
}

// Resets the peak resident size, so that VmHWM tells the peak of what follows.
void resetPeakMemory() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) {
    clear.write("5");
  }
}

// ---- The floor: reading files with the page cache warm ----

qint64 readFiles(const QStringList& files) {
  static std::vector<char> buffer(1 << 20);
  qint64 total = 0;
  for (const QString& path : files) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    for (;;) {
      const ssize_t got = ::read(fd, buffer.data(), buffer.size());
      if (got <= 0) {
        break;
      }
      total += got;
    }
    ::close(fd);
  }
  return total;
}

// ---- The generator ----

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {
    // Filler text: letters, digits and spaces, no quotes or backslashes.
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 ";
    filler_.resize(1 << 20);
    for (char& c : filler_) {
      c = kAlphabet[number(0, static_cast<int>(sizeof kAlphabet) - 2)];
    }
  }
  int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  qint64 number64(qint64 low, qint64 high) { return std::uniform_int_distribution<qint64>(low, high)(engine_); }
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(engine_) < p; }
  // Log-uniform between low and high.
  qint64 spread(qint64 low, qint64 high) {
    const double x = std::uniform_real_distribution<double>(std::log(double(low)), std::log(double(high)))(engine_);
    return static_cast<qint64>(std::exp(x));
  }
  std::string_view filler(std::size_t length) {
    length = std::min(length, filler_.size() / 2);
    const std::size_t start = static_cast<std::size_t>(number64(0, static_cast<qint64>(filler_.size() - length)));
    return std::string_view(filler_).substr(start, length);
  }
  std::string id(const char* prefix) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%016llx", prefix, static_cast<unsigned long long>(engine_()));
    return text;
  }

 private:
  std::mt19937_64 engine_;
  std::string filler_;
};

struct TokenSums {
  double input = 0;
  double output = 0;
  double cacheCreation = 0;
  double cacheRead = 0;
};

struct Response {
  std::string messageID;
  std::string requestID;
  qint64 ms = 0;
  int input = 0;
  int output = 0;
  int cacheCreation = 0;
  int cacheRead = 0;
};

std::string isoText(qint64 ms) {
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

// One transcript being written.
class TranscriptWriter {
 public:
  TranscriptWriter(Random& random, std::string session, bool sidechain)
      : random_(random), session_(std::move(session)), sidechain_(sidechain) {}

  // One response: two to four assistant lines with the same ids and usage, maybe a tool result
// (whose output Claude Code writes twice: in the message and in "toolUseResult").
  void response(const Response& r) {
    const int lines = random_.number(2, 4);
    for (int i = 0; i < lines; ++i) {
      const char* kind = i == 0 ? "thinking" : (i + 1 == lines ? "tool_use" : "text");
      text_ += R"({"parentUuid":")" + random_.id("u-") + R"(","isSidechain":)" + (sidechain_ ? "true" : "false") +
               R"(,"userType":"external","cwd":"/home/dev/project","sessionId":")" + session_ +
               R"(","version":"2.1.337","type":"assistant","message":{"id":")" + r.messageID +
               R"(","type":"message","role":"assistant","model":"claude-opus-4-1","content":[{"type":")" + kind +
               R"(","text":")" + std::string(random_.filler(static_cast<std::size_t>(random_.spread(200, 4000)))) +
               R"("}],"stop_reason":null,"usage":{"input_tokens":)" + std::to_string(r.input) +
               R"(,"cache_creation_input_tokens":)" + std::to_string(r.cacheCreation) +
               R"(,"cache_read_input_tokens":)" + std::to_string(r.cacheRead) + R"(,"output_tokens":)" +
               std::to_string(r.output) + R"(,"service_tier":"standard"}},"requestId":")" + r.requestID +
               R"(","uuid":")" + random_.id("u-") + R"(","timestamp":")" + isoText(r.ms + i * 150) + "\"}\n";
    }
    lastMs_ = r.ms + lines * 150;
    if (random_.chance(0.6)) {
      toolResult(lastMs_ + 500);
    }
  }

  void toolResult(qint64 ms) {
    const std::string_view output = random_.filler(static_cast<std::size_t>(random_.spread(1'000, 150'000)));
    text_ += R"({"parentUuid":")" + random_.id("u-") + R"(","isSidechain":false,"type":"user","message":{"role":"user","content":[{"tool_use_id":")" +
             random_.id("toolu_") + R"(","type":"tool_result","content":")" + std::string(output) +
             R"("}]},"uuid":")" + random_.id("u-") + R"(","timestamp":")" + isoText(ms) +
             R"(","toolUseResult":{"stdout":")" + std::string(output) + R"(","stderr":"","interrupted":false}})" + "\n";
    lastMs_ = ms;
  }

  void prompt(qint64 ms) {
    text_ += R"({"type":"user","message":{"role":"user","content":")" + std::string(random_.filler(120)) +
             R"("},"uuid":")" + random_.id("u-") + R"(","timestamp":")" + isoText(ms) + "\"}\n";
    lastMs_ = ms;
  }

  // Copies the lines of another transcript as they are (a resumed session starts so).
  void copy(const std::string& lines) { text_ += lines; }

  qint64 size() const { return static_cast<qint64>(text_.size()); }
  const std::string& text() const { return text_; }

  // Writes the file, dated at its last record.
  qint64 save(const QString& path) const {
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(QFile::encodeName(path).constData(), std::ios::binary).write(text_.data(), size());
    const struct timespec times[2] = {{lastMs_ / 1000, (lastMs_ % 1000) * 1'000'000},
                                      {lastMs_ / 1000, (lastMs_ % 1000) * 1'000'000}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    return size();
  }

 private:
  Random& random_;
  std::string session_;
  bool sidechain_;
  std::string text_;
  qint64 lastMs_ = 0;
};

struct ClaudeTree {
  std::unique_ptr<QTemporaryDir> dir;
  QString root;
  TokenSums activeReference;  // counted while writing: each response once
  qint64 bytes = 0;
  int files = 0;
  QString newestFile;
};

Response makeResponse(Random& random, qint64 ms) {
  return Response{random.id("msg_"), random.id("req_"), ms, random.number(1, 60), random.number(10, 2500),
                  random.number(0, 6000), random.number(5'000, 150'000)};
}

// Writes responses from `startMs`, 5 to `maxGapMs` apart, until the file reaches `bytes`.
std::vector<Response> fillSession(Random& random, TranscriptWriter& writer, qint64 startMs, qint64 bytes,
                                  int maxGapMs = 60'000) {
  std::vector<Response> responses;
  qint64 ms = startMs;
  writer.prompt(ms);
  while (writer.size() < bytes) {
    ms += random.number(5'000, maxGapMs);
    responses.push_back(makeResponse(random, ms));
    writer.response(responses.back());
    ms += 2'000;
  }
  return responses;
}

ClaudeTree generateClaudeTree(qint64 targetBytes) {
  ClaudeTree tree;
  tree.dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tandrel-claude-bench-XXXXXX"));
  tree.root = tree.dir->path();
  Random random(20'261'209);
  const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
  const qint64 activeStartMs = nowMs - 2 * kHourMs;
  // A busy session of up to an hour or so: a few megabytes.
  const qint64 activeBytes = std::clamp<qint64>(targetBytes / 12, 200'000, 4'000'000);
  const qint64 sessionCap = std::max<qint64>(std::min<qint64>(2'000'000, targetBytes / 8), 40'000);

  // History: sessions over the last 20 days, all ending over 5 h before the active session.
  int session = 0;
  while (tree.bytes < targetBytes - activeBytes) {
    const QString project = QStringLiteral("%1/-home-dev-project%2").arg(tree.root).arg(session % 12);
    const std::string id = random.id("s-");
    const qint64 size = random.spread(20'000, sessionCap);
    const qint64 start = random.number64(nowMs - 20 * 24 * kHourMs, activeStartMs - 14 * kHourMs);
    TranscriptWriter writer(random, id, false);
    fillSession(random, writer, start, size);
    tree.bytes += writer.save(project + "/" + QString::fromStdString(id) + ".jsonl");
    ++tree.files;
    if (random.chance(0.2)) {
      TranscriptWriter agent(random, id, true);
      fillSession(random, agent, start + 60'000, size / 4);
      tree.bytes += agent.save(project + "/" + QString::fromStdString(id) + "/subagents/" +
                               QString::fromStdString(random.id("agent-")) + ".jsonl");
      ++tree.files;
    }
    ++session;
  }

  // The active session: a first part, a sub-agent, and the resumed part that copies the last
  // lines of the first, so that those responses appear in two files.
  const QString project = tree.root + QStringLiteral("/-home-dev-active");
  const std::string id = random.id("s-");
  TranscriptWriter first(random, id, false);
  std::vector<Response> active = fillSession(random, first, activeStartMs, activeBytes / 2, 20'000);
  const qint64 firstEnd = active.back().ms;
  tree.bytes += first.save(project + "/" + QString::fromStdString(id) + ".jsonl");
  TranscriptWriter agent(random, id, true);
  auto agentResponses = fillSession(random, agent, activeStartMs + 120'000, activeBytes / 6, 20'000);
  tree.bytes += agent.save(project + "/" + QString::fromStdString(id) + "/subagents/agent-a1.jsonl");
  active.insert(active.end(), agentResponses.begin(), agentResponses.end());
  TranscriptWriter resumed(random, id, false);
  const std::string& firstText = first.text();
  std::size_t copyFrom = firstText.size();
  for (int lines = 0; lines < 12 && copyFrom > 0; ++lines) {
    copyFrom = firstText.rfind('\n', copyFrom - 2);
    copyFrom = copyFrom == std::string::npos ? 0 : copyFrom + 1;
  }
  resumed.copy(firstText.substr(copyFrom));
  auto resumedResponses = fillSession(random, resumed, firstEnd + 60'000, activeBytes / 3, 20'000);
  active.insert(active.end(), resumedResponses.begin(), resumedResponses.end());
  tree.newestFile = project + "/" + QString::fromStdString(random.id("s-")) + ".jsonl";
  tree.bytes += resumed.save(tree.newestFile);
  tree.files += 3;

  for (const Response& r : active) {
    tree.activeReference.input += r.input;
    tree.activeReference.output += r.output;
    tree.activeReference.cacheCreation += r.cacheCreation;
    tree.activeReference.cacheRead += r.cacheRead;
  }
  return tree;
}

ClaudeTree& claudeTree() {
  static ClaudeTree tree = generateClaudeTree(environmentNumber("TANDREL_BENCH_CLAUDE_TREE_MB", 8) * 1'000'000);
  return tree;
}

void clearScannerCaches() {
  clearRecentJSONLDiscoveryCache();
  clearLocalUsageFileEventCache();
}

QStringList newestTranscripts(const QString& root, int limit) {
  return recentJSONLFiles(root, limit, QStringLiteral("bench-list"), [](const QString&) { return true; });
}

// The active block's sums as the scanner finds them equal the generator's own count.
bool matchesReference(const QStringList& files, const TokenSums& reference, std::string& why) {
  const auto active = claudeActiveBlockUsage(claudeTranscriptUsageBlocks(claudeTranscriptBlockEntries(files)),
                                             QDateTime::currentDateTimeUtc());
  if (!active) {
    why = "no active block";
    return false;
  }
  const QJsonObject& usage = active->usage;
  const bool equal = usage.value("input_tokens").toDouble() == reference.input &&
                     usage.value("output_tokens").toDouble() == reference.output &&
                     usage.value("cache_creation_input_tokens").toDouble() == reference.cacheCreation &&
                     usage.value("cache_read_tokens").toDouble() == reference.cacheRead;
  if (!equal) {
    why = "active block sums differ from the reference: " +
          QJsonDocument(usage).toJson(QJsonDocument::Compact).toStdString();
  }
  return equal;
}

// Times `scan` and, in the same iteration, the floor of reading `files`; reports both.
template <typename Scan>
void timeBesideFloor(benchmark::State& state, const QStringList& files, Scan&& scan) {
  double scanSeconds = 0;
  double floorSeconds = 0;
  qint64 peakGrowthKb = 0;
  qint64 bytes = 0;
  readFiles(files);  // the page cache is warm from here on
  for (auto _ : state) {
    clearScannerCaches();
    auto start = SteadyClock::now();
    bytes = readFiles(files);
    floorSeconds += secondsSince(start);

    clearScannerCaches();
    const qint64 before = statusKilobytes("VmRSS:");
    resetPeakMemory();
    start = SteadyClock::now();
    scan();
    const double seconds = secondsSince(start);
    peakGrowthKb = std::max(peakGrowthKb, statusKilobytes("VmHWM:") - before);
    scanSeconds += seconds;
    state.SetIterationTime(seconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["floor_ms"] = floorSeconds / n * 1e3;
  state.counters["scan_ms"] = scanSeconds / n * 1e3;
  state.counters["x_floor"] = floorSeconds > 0 ? scanSeconds / floorSeconds : 0;
  state.counters["peak_rss_growth_MB"] = static_cast<double>(peakGrowthKb) / 1e3;
}

// Cold scan of the 256 newest transcripts, as the app does it: discovery, block entries, event.
// The first scan of the process also tells how much the resident size grew at its peak (later
// ones reuse memory that earlier ones freed).
void BM_ClaudeColdScanNewest256(benchmark::State& state) {
  ClaudeTree& tree = claudeTree();
  clearScannerCaches();
  static double firstScanPeakGrowthMB = -1;
  if (firstScanPeakGrowthMB < 0) {
    ::malloc_trim(0);
    const qint64 before = statusKilobytes("VmRSS:");
    resetPeakMemory();
    benchmark::DoNotOptimize(loadClaudeTranscriptBlockUsageEvent(tree.root));
    firstScanPeakGrowthMB = static_cast<double>(statusKilobytes("VmHWM:") - before) / 1e3;
    clearScannerCaches();
  }
  const QStringList files = newestTranscripts(tree.root, 256);
  std::string why;
  if (!matchesReference(files, tree.activeReference, why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  timeBesideFloor(state, files, [&] { benchmark::DoNotOptimize(loadClaudeTranscriptBlockUsageEvent(tree.root)); });
  state.counters["tree_MB"] = static_cast<double>(tree.bytes) / 1e6;
  state.counters["first_scan_peak_rss_growth_MB"] = firstScanPeakGrowthMB;
}
BENCHMARK(BM_ClaudeColdScanNewest256)->UseManualTime()->Unit(benchmark::kMillisecond);

// Every transcript of the tree, one thread.
void BM_ClaudeColdScanWholeTree(benchmark::State& state) {
  ClaudeTree& tree = claudeTree();
  clearScannerCaches();
  const QStringList files = newestTranscripts(tree.root, 1'000'000);
  std::string why;
  if (!matchesReference(files, tree.activeReference, why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  const QDateTime now = QDateTime::currentDateTimeUtc();
  timeBesideFloor(state, files, [&] {
    benchmark::DoNotOptimize(claudeActiveBlockUsage(claudeTranscriptUsageBlocks(claudeTranscriptBlockEntries(files)), now));
  });
}
BENCHMARK(BM_ClaudeColdScanWholeTree)->UseManualTime()->Unit(benchmark::kMillisecond);

// Nothing changed since the last scan.
void BM_ClaudeUnchangedTree(benchmark::State& state) {
  ClaudeTree& tree = claudeTree();
  clearScannerCaches();
  benchmark::DoNotOptimize(loadClaudeTranscriptBlockUsageEvent(tree.root));
  for (auto _ : state) {
    benchmark::DoNotOptimize(loadClaudeTranscriptBlockUsageEvent(tree.root));
  }
}
BENCHMARK(BM_ClaudeUnchangedTree)->Unit(benchmark::kMicrosecond);

// One response line appended to the newest transcript, then the scan.
void BM_ClaudeAppendedResponseLine(benchmark::State& state) {
  ClaudeTree& tree = claudeTree();
  clearScannerCaches();
  benchmark::DoNotOptimize(loadClaudeTranscriptBlockUsageEvent(tree.root));
  static Random random(7);  // the benchmark runs several times: every appended response is new
  for (auto _ : state) {
    state.PauseTiming();
    // Written now, as Claude writes it.
    const Response r = makeResponse(random, QDateTime::currentMSecsSinceEpoch());
    TranscriptWriter line(random, "s-appended", false);
    line.response(r);
    const std::string text = line.text().substr(0, line.text().find('\n') + 1);
    QFile file(tree.newestFile);
    file.open(QIODevice::Append);
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();
    tree.activeReference.input += r.input;
    tree.activeReference.output += r.output;
    tree.activeReference.cacheCreation += r.cacheCreation;
    tree.activeReference.cacheRead += r.cacheRead;
    state.ResumeTiming();
    benchmark::DoNotOptimize(loadClaudeTranscriptBlockUsageEvent(tree.root));
  }
  std::string why;
  if (!matchesReference(newestTranscripts(tree.root, 256), tree.activeReference, why)) {
    state.SkipWithError(why.c_str());
  }
}
BENCHMARK(BM_ClaudeAppendedResponseLine)->Unit(benchmark::kMicrosecond);

// ---- Codex ----

struct CodexTree {
  std::unique_ptr<QTemporaryDir> dir;
  QString root;
  QStringList files;
  qint64 bytes = 0;
};

CodexTree generateCodexTree(qint64 bytesPerRollout) {
  CodexTree tree;
  tree.dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tandrel-codex-bench-XXXXXX"));
  tree.root = tree.dir->path();
  Random random(99);
  const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
  for (int i = 0; i < 16; ++i) {
    const QString path = QStringLiteral("%1/2026/05/%2/rollout-2026-05-%2T10-00-00-0191a2b3-c4d5-7e6f-8a9b-%3.jsonl")
                             .arg(tree.root)
                             .arg(10 + i % 4)
                             .arg(i, 12, 10, QLatin1Char('0'));
    std::string text;
    qint64 ms = nowMs - (16 - i) * kHourMs;
    long long total = 0;
    while (static_cast<qint64>(text.size()) < bytesPerRollout) {
      ms += 20'000;
      const std::string when = isoText(ms);
      const std::string callID = random.id("call_");
      text += R"({"timestamp":")" + when + R"(","type":"response_item","payload":{"type":"function_call","name":"exec_command","arguments":"{\"cmd\":\"ls -la\",\"workdir\":\"/home/dev/app\"}","call_id":")" + callID + "\"}}\n";
      text += R"({"timestamp":")" + when + R"(","type":"response_item","payload":{"type":"function_call_output","call_id":")" + callID + R"(","output":")" + std::string(random.filler(static_cast<std::size_t>(random.spread(500, 60'000)))) + "\"}}\n";
      total += random.number(1'000, 9'000);
      text += R"({"timestamp":")" + when + R"(","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":)" + std::to_string(total) + R"(,"cached_input_tokens":1200,"output_tokens":900,"reasoning_output_tokens":100,"total_tokens":)" + std::to_string(total + 900) + R"(},"last_token_usage":{"input_tokens":45000,"output_tokens":300,"total_tokens":45300},"model_context_window":258400},"rate_limits":{"primary":{"used_percent":12.0,"window_minutes":300,"resets_at":1778331360},"secondary":{"used_percent":31.0,"window_minutes":10080,"resets_at":1778760000}}}})" + "\n";
    }
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(QFile::encodeName(path).constData(), std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    tree.files.push_back(path);
    tree.bytes += static_cast<qint64>(text.size());
  }
  return tree;
}

CodexTree& codexTree() {
  static CodexTree tree = generateCodexTree(environmentNumber("TANDREL_BENCH_CODEX_ROLLOUT_MB", 1) * 1'000'000);
  return tree;
}

// Usage and approval scans of 16 rollouts with empty caches, beside reading the rollouts whole.
void BM_CodexRolloutColdScan(benchmark::State& state) {
  CodexTree& tree = codexTree();
  if (loadCodexRolloutUsageEvents(tree.root).size() != 16) {
    state.SkipWithError("expected one usage event per rollout");
    return;
  }
  timeBesideFloor(state, tree.files, [&] {
    benchmark::DoNotOptimize(loadCodexRolloutUsageEvents(tree.root));
    benchmark::DoNotOptimize(loadCodexRolloutHotplugEvents(tree.root));
  });
}
BENCHMARK(BM_CodexRolloutColdScan)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_CodexRolloutUnchanged(benchmark::State& state) {
  CodexTree& tree = codexTree();
  clearScannerCaches();
  loadCodexRolloutUsageEvents(tree.root);
  loadCodexRolloutHotplugEvents(tree.root);
  for (auto _ : state) {
    benchmark::DoNotOptimize(loadCodexRolloutUsageEvents(tree.root));
    benchmark::DoNotOptimize(loadCodexRolloutHotplugEvents(tree.root));
  }
}
BENCHMARK(BM_CodexRolloutUnchanged)->Unit(benchmark::kMicrosecond);

// ---- --blocks-json ----

int printBlocks() {
  const auto root = environmentPath("TANDREL_CLAUDE_PROJECTS_DIR");
  if (!root) {
    std::fprintf(stderr, "--blocks-json needs TANDREL_CLAUDE_PROJECTS_DIR\n");
    return 2;
  }
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QStringList files = recentJSONLFiles(root, 256, QStringLiteral("claude-transcript-blocks"),
                                             [](const QString&) { return true; });
  const auto blocks = claudeTranscriptUsageBlocks(claudeTranscriptBlockEntries(files, now));
  // The active block is the last one that is active now.
  const ClaudeTranscriptUsageBlock* active = nullptr;
  for (const auto& block : blocks) {
    if (claudeBlockIsActive(block, now)) {
      active = &block;
    }
  }
  QJsonArray list;
  for (const auto& block : blocks) {
    double input = 0;
    double output = 0;
    double cacheCreation = 0;
    double cacheRead = 0;
    for (const auto& entry : block.entries) {
      input += entry.inputTokens;
      output += entry.outputTokens;
      cacheCreation += entry.cacheCreationInputTokens;
      cacheRead += entry.cacheReadInputTokens;
    }
    list.append(QJsonObject{
        {"start", formatUsageDate(QDateTime::fromMSecsSinceEpoch(block.startTimeMs, Qt::UTC))},
        {"end", formatUsageDate(QDateTime::fromMSecsSinceEpoch(block.endTimeMs, Qt::UTC))},
        {"actual_end", formatUsageDate(QDateTime::fromMSecsSinceEpoch(block.actualEndTimeMs, Qt::UTC))},
        {"active", &block == active},
        {"entries", static_cast<qint64>(block.entries.size())},
        {"input_tokens", input},
        {"output_tokens", output},
        {"cache_creation_input_tokens", cacheCreation},
        {"cache_read_input_tokens", cacheRead},
        {"total_tokens", input + output + cacheCreation + cacheRead},
    });
  }
  const QJsonObject result{{"root", *root},
                           {"files", static_cast<qint64>(files.size())},
                           {"now", formatUsageDate(now)},
                           {"blocks", list}};
  std::fputs(QJsonDocument(result).toJson(QJsonDocument::Indented).constData(), stdout);
  return 0;
}

}  // namespace

int benchmarkProgramMode(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--blocks-json") == 0) {
      return printBlocks();
    }
  }
  return -1;
}
