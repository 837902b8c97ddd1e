#include "usage/scanners/claude_transcript_scanner.h"

#include "catalog/paths.h"
#include "usage/scanners/json_line_dom.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_values.h"
#include "usage/usage_dates.h"
#include "usage/usage_snapshot.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace tandrel {

namespace {

constexpr qint64 kBlockMs = 18'000'000;
constexpr qint64 kHourMs = 3'600'000;
constexpr qint64 kFingerprintWindowMs = 19'800'000;
constexpr std::uint64_t kPerFileTailBytes = 262'144;
constexpr std::size_t kBlockEventCacheLimit = 16;
constexpr std::size_t kFileEntryCacheLimit = 4096;
constexpr std::size_t kReadChunkBytes = 1 << 18;
constexpr qsizetype kAppendCheckBytes = 64;
constexpr double kDefaultContextWindow = 1'000'000;

// Only a line holding this can carry a usage object.
constexpr std::string_view kUsageKey = "\"usage\"";

// Where kUsageKey starts in the bytes, or npos. Most of a transcript's bytes are tool output, so
// this search runs over nearly every byte: many bytes at a time, it looks for a "u" with an "e"
// four bytes on (rare in any text), and only then compares the whole key. AVX2 is used when the
// processor has it (chosen at run time: the build sets no -march), else SSE2.
bool keyAt(const char* data, std::size_t size, std::size_t start) {
  return start + kUsageKey.size() <= size && std::memcmp(data + start, kUsageKey.data(), kUsageKey.size()) == 0;
}

std::size_t findKeyFrom(const char* data, std::size_t size, std::size_t at) {
  const std::size_t rest = at - 1;
  const void* found = ::memmem(data + rest, size - rest, kUsageKey.data(), kUsageKey.size());
  return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : std::string_view::npos;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx2"))) std::size_t findUsageKeyAvx2(const char* data, std::size_t size) {
  const __m256i u = _mm256_set1_epi8('u');
  const __m256i e = _mm256_set1_epi8('e');
  std::size_t at = 1;  // where the key's "u" would be
  for (; at + 4 + 32 <= size; at += 32) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
    const __m256i last = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + 4));
    auto mask = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(first, u), _mm256_cmpeq_epi8(last, e))));
    while (mask != 0) {
      const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(mask)) - 1;
      if (keyAt(data, size, start)) {
        return start;
      }
      mask &= mask - 1;
    }
  }
  return findKeyFrom(data, size, at);
}
#endif

std::size_t findUsageKeySse2(const char* data, std::size_t size) {
  std::size_t at = 1;
#if defined(__SSE2__)
  const __m128i u = _mm_set1_epi8('u');
  const __m128i e = _mm_set1_epi8('e');
  for (; at + 4 + 16 <= size; at += 16) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 4));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(first, u), _mm_cmpeq_epi8(last, e))));
    while (mask != 0) {
      const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(mask)) - 1;
      if (keyAt(data, size, start)) {
        return start;
      }
      mask &= mask - 1;
    }
  }
#endif
  return findKeyFrom(data, size, at);
}

std::size_t findUsageKey(const char* data, std::size_t size) {
  if (size < kUsageKey.size()) {
    return std::string_view::npos;
  }
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  static const bool hasAvx2 = __builtin_cpu_supports("avx2");
  if (hasAvx2) {
    return findUsageKeyAvx2(data, size);
  }
#endif
  return findUsageKeySse2(data, size);
}

bool mayHoldUsage(std::string_view line) { return findUsageKey(line.data(), line.size()) != std::string_view::npos; }

qint64 floorToSecond(qint64 ms) { return ms - (((ms % 1000) + 1000) % 1000); }

// The fields of a record that the block entry and the per-file event read, from either parser.
struct UsageRecordFields {
  std::optional<qint64> timestampMs;  // the parsed "timestamp", when a reader parsed it already
  std::optional<QString> timestamp;   // non-empty, trimmed
  std::optional<double> input;
  std::optional<double> output;
  std::optional<double> total;
  std::optional<double> cacheCreation;
  std::optional<double> cacheRead;
  std::optional<double> window;
  std::optional<QString> messageID;
  std::optional<QString> requestID;
};

// ---- Reading the fields from a QJsonObject ----

std::optional<QJsonObject> recordUsage(const QJsonObject& record) {
  if (const auto message = objectValue(record, QLatin1String("message"))) {
    if (auto usage = objectValue(*message, QLatin1String("usage"))) {
      return usage;
    }
  }
  return objectValue(record, QLatin1String("usage"));
}

std::optional<UsageRecordFields> fieldsOf(const QJsonObject& record) {
  const auto usage = recordUsage(record);
  if (!usage) {
    return std::nullopt;
  }
  UsageRecordFields fields;
  fields.timestamp = nonEmptyString(record.value(QLatin1String("timestamp")));
  fields.input = firstLocalUsageNumber(usage, {QLatin1String("input_tokens"), QLatin1String("prompt_tokens")});
  fields.output = firstLocalUsageNumber(usage, {QLatin1String("output_tokens"), QLatin1String("completion_tokens")});
  fields.total = firstLocalUsageNumber(usage, {QLatin1String("total_tokens")});
  fields.cacheCreation = firstLocalUsageNumber(usage, {QLatin1String("cache_creation_input_tokens")});
  fields.cacheRead = firstLocalUsageNumber(
      usage, {QLatin1String("cache_read_input_tokens"), QLatin1String("cached_tokens"), QLatin1String("cached_input_tokens")});
  fields.window = firstLocalUsageNumber(
      usage, {QLatin1String("context_total"), QLatin1String("context_window"), QLatin1String("contextWindow")});
  if (const auto message = objectValue(record, QLatin1String("message"))) {
    fields.messageID = nonEmptyString(message->value(QLatin1String("id")));
  }
  fields.requestID = firstNonEmptyString(record, {QLatin1String("requestId"), QLatin1String("request_id")});
  return fields;
}

// ---- Reading the same fields straight from simdjson's tree ----

std::optional<QString> domNonEmptyString(simdjson::dom::object object, std::string_view key) {
  std::string_view text;
  if (object[key].get_string().get(text) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  return nonEmptyString(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::optional<double> domNumber(simdjson::dom::element value) {
  switch (value.type()) {
    case simdjson::dom::element_type::INT64:
      return static_cast<double>(value.get_int64().value_unsafe());
    case simdjson::dom::element_type::UINT64:
      return static_cast<double>(value.get_uint64().value_unsafe());
    case simdjson::dom::element_type::DOUBLE:
      return value.get_double().value_unsafe();
    case simdjson::dom::element_type::BOOL:
    case simdjson::dom::element_type::STRING: {
      // Rare: the same reading as every other scanner.
      if (value.is_bool()) {
        return value.get_bool().value_unsafe() ? 1.0 : 0.0;
      }
      const std::string_view text = value.get_string().value_unsafe();
      return localUsageNumber(QJsonValue(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))));
    }
    default:
      return std::nullopt;
  }
}

std::optional<double> domFirstNumber(simdjson::dom::object object, std::initializer_list<std::string_view> keys) {
  for (const std::string_view key : keys) {
    simdjson::dom::element value;
    if (object[key].get(value) == simdjson::SUCCESS) {
      if (const auto number = domNumber(value)) {
        return number;
      }
    }
  }
  return std::nullopt;
}

// A short ASCII time text read without copying it into a QString; nothing for anything else.
std::optional<qint64> asciiUsageDateMilliseconds(std::string_view text) {
  std::array<char16_t, 64> wide{};
  if (text.size() > wide.size()) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      return std::nullopt;
    }
    wide[i] = byte;
  }
  return parseUsageDateMilliseconds(QStringView(wide.data(), static_cast<qsizetype>(text.size())));
}

// The block entry's fields only (no total, no window).
std::optional<UsageRecordFields> blockFieldsOf(simdjson::dom::object record) {
  simdjson::dom::object message;
  const bool hasMessage = record["message"].get_object().get(message) == simdjson::SUCCESS;
  simdjson::dom::object usage;
  if (!(hasMessage && message["usage"].get_object().get(usage) == simdjson::SUCCESS) &&
      record["usage"].get_object().get(usage) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  UsageRecordFields fields;
  std::string_view timestamp;
  if (record["timestamp"].get_string().get(timestamp) == simdjson::SUCCESS) {
    fields.timestampMs = asciiUsageDateMilliseconds(timestamp);
    if (!fields.timestampMs) {
      fields.timestamp = nonEmptyString(QString::fromUtf8(timestamp.data(), static_cast<qsizetype>(timestamp.size())));
    }
  }
  fields.input = domFirstNumber(usage, {"input_tokens", "prompt_tokens"});
  fields.output = domFirstNumber(usage, {"output_tokens", "completion_tokens"});
  fields.cacheCreation = domFirstNumber(usage, {"cache_creation_input_tokens"});
  fields.cacheRead = domFirstNumber(usage, {"cache_read_input_tokens", "cached_tokens", "cached_input_tokens"});
  if (hasMessage) {
    fields.messageID = domNonEmptyString(message, "id");
  }
  fields.requestID = domNonEmptyString(record, "requestId");
  if (!fields.requestID) {
    fields.requestID = domNonEmptyString(record, "request_id");
  }
  return fields;
}

// ---- Block entries as cached per file ----

// How the record gave its time: the time itself, a text that is no time, or none at all. The
// last two take the file's modification time, which is read again whenever the file is used.
enum class RecordTime : std::uint8_t { parsed, unreadable, missing };

struct CachedEntry {
  RecordTime time = RecordTime::missing;
  qint64 recordMs = 0;
  double input = 0;
  double output = 0;
  double cacheCreation = 0;
  double cacheRead = 0;
  std::optional<QString> dedupeID;
  std::size_t dedupeHash = 0;
};

std::optional<CachedEntry> cachedEntryOf(const UsageRecordFields& fields) {
  CachedEntry entry;
  entry.input = fields.input.value_or(0);
  entry.output = fields.output.value_or(0);
  entry.cacheCreation = fields.cacheCreation.value_or(0);
  entry.cacheRead = fields.cacheRead.value_or(0);
  if (!(entry.input + entry.output + entry.cacheCreation + entry.cacheRead > 0)) {
    return std::nullopt;
  }
  if (fields.timestampMs) {
    entry.time = RecordTime::parsed;
    entry.recordMs = *fields.timestampMs;
  } else if (fields.timestamp) {
    if (const auto parsed = parseUsageDate(*fields.timestamp)) {
      entry.time = RecordTime::parsed;
      entry.recordMs = parsed->toMSecsSinceEpoch();
    } else {
      entry.time = RecordTime::unreadable;
    }
  }
  if (fields.messageID && fields.requestID) {
    entry.dedupeID = *fields.messageID + QLatin1Char(':') + *fields.requestID;
    entry.dedupeHash = qHash(*entry.dedupeID);
  }
  return entry;
}

// The entry's times with the file's modification time as it is now (nothing when unreadable).
void resolveTimes(const CachedEntry& cached, const std::optional<qint64>& modifiedMs, qint64 nowMs,
                  ClaudeTranscriptBlockEntry& entry) {
  const qint64 fallbackMs = modifiedMs.value_or(nowMs);
  switch (cached.time) {
    case RecordTime::parsed:
      entry.timestampMs = cached.recordMs;
      if (!modifiedMs) {
        entry.observedAtMs = cached.recordMs;
      } else {
        entry.observedAtMs = floorToSecond(cached.recordMs > *modifiedMs ? cached.recordMs : *modifiedMs);
      }
      return;
    case RecordTime::unreadable:
      entry.timestampMs = fallbackMs;
      entry.observedAtMs = modifiedMs ? floorToSecond(*modifiedMs) : fallbackMs;
      return;
    case RecordTime::missing:
      // The record's time is the fallback written as text, so whole seconds.
      entry.timestampMs = floorToSecond(fallbackMs);
      entry.observedAtMs = entry.timestampMs;
      return;
  }
}

ClaudeTranscriptBlockEntry resolvedEntry(const CachedEntry& cached, const QString& path,
                                         const std::optional<qint64>& modifiedMs, qint64 nowMs) {
  ClaudeTranscriptBlockEntry entry;
  resolveTimes(cached, modifiedMs, nowMs, entry);
  entry.fileURL = path;
  entry.dedupeID = cached.dedupeID;
  entry.inputTokens = cached.input;
  entry.outputTokens = cached.output;
  entry.cacheCreationInputTokens = cached.cacheCreation;
  entry.cacheReadInputTokens = cached.cacheRead;
  return entry;
}

// One file's entries as read so far. Immutable once stored; an append makes a new one.
struct FileEntries {
  LocalFileStat stat;   // of the bytes read
  qint64 consumed = 0;  // offset after the last complete line
  QByteArray lastBytes;  // the bytes before `consumed`, to tell an append from a rewrite
  std::vector<CachedEntry> entries;  // of complete lines, repeats dropped
  std::vector<CachedEntry> pending;  // of an unterminated last line
  QSet<QString> seen;                // dedupe ids of `entries`
};

struct FileEntryCache {
  std::mutex lock;
  std::unordered_map<QString, std::shared_ptr<const FileEntries>> files;
};

FileEntryCache& fileEntryCache() {
  static FileEntryCache cache;
  return cache;
}

std::atomic<qint64> bytesRead{0};

// Each scanning thread's read buffer: one chunk, more only while a line longer than that is read.
thread_local std::vector<char> readBuffer;

struct Descriptor {
  int fd;
  explicit Descriptor(int value) : fd(value) {}
  ~Descriptor() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
};

qsizetype preadFully(int fd, char* target, qsizetype length, qint64 offset) {
  qsizetype done = 0;
  while (done < length) {
    const ssize_t got = ::pread(fd, target + done, static_cast<size_t>(length - done), offset + done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += got;
  }
  return done;
}

// Reads [from, to) of the file in pieces and calls onLine(line, terminated) for every line that
// holds kUsageKey; a line is handed over with SIMDJSON_PADDING readable bytes after it. The key is
// searched over the whole piece at once, and line feeds only around the lines that hold it.
// Returns the offset after the last line feed read.
template <typename OnLine>
qint64 scanUsageLines(int fd, qint64 from, qint64 to, OnLine&& onLine) {
  std::vector<char>& buffer = readBuffer;
  std::size_t capacity = kReadChunkBytes;
  if (buffer.size() < capacity + simdjson::SIMDJSON_PADDING) {
    buffer.resize(capacity + simdjson::SIMDJSON_PADDING);
  }
  capacity = buffer.size() - simdjson::SIMDJSON_PADDING;
  qint64 bufferOffset = from;  // file offset of buffer[0]
  std::size_t have = 0;
  qint64 next = from;
  while (next < to) {
    if (have == capacity) {
      // One line longer than the buffer: make room for more of it.
      capacity *= 2;
      buffer.resize(capacity + simdjson::SIMDJSON_PADDING);
    }
    const qsizetype want = static_cast<qsizetype>(std::min<qint64>(static_cast<qint64>(capacity - have), to - next));
    const qsizetype got = preadFully(fd, buffer.data() + have, want, next);
    bytesRead.fetch_add(got, std::memory_order_relaxed);
    if (got <= 0) {
      break;
    }
    have += static_cast<std::size_t>(got);
    next += got;
    const char* data = buffer.data();
    std::size_t start = 0;  // the first line not handled yet
    bool lineOpen = false;  // a line with the key runs past the end of the piece
    for (;;) {
      const std::size_t key = findUsageKey(data + start, have - start);
      if (key == std::string_view::npos) {
        break;
      }
      const std::size_t at = start + key;
      const void* before = ::memrchr(data + start, '\n', at - start);
      const std::size_t lineStart = before ? static_cast<std::size_t>(static_cast<const char*>(before) - data) + 1 : start;
      const void* after = std::memchr(data + at, '\n', have - at);
      if (!after) {
        start = lineStart;
        lineOpen = true;
        break;
      }
      const std::size_t lineEnd = static_cast<std::size_t>(static_cast<const char*>(after) - data);
      onLine(std::string_view(data + lineStart, lineEnd - lineStart), true);
      start = lineEnd + 1;
    }
    if (!lineOpen) {
      // No key in the rest: everything up to its last line feed is done.
      if (const void* last = ::memrchr(data + start, '\n', have - start)) {
        start = static_cast<std::size_t>(static_cast<const char*>(last) - data) + 1;
      }
    }
    if (start > 0) {
      std::memmove(buffer.data(), buffer.data() + start, have - start);
      have -= start;
      bufferOffset += static_cast<qint64>(start);
    }
  }
  if (have > 0 && findUsageKey(buffer.data(), have) != std::string_view::npos) {
    onLine(std::string_view(buffer.data(), have), false);
  }
  if (buffer.size() > kReadChunkBytes + simdjson::SIMDJSON_PADDING) {
    // A long line grew the buffer: give the memory back rather than keep the longest line ever
    // seen for the life of the thread.
    buffer.resize(kReadChunkBytes + simdjson::SIMDJSON_PADDING);
    buffer.shrink_to_fit();
  }
  return bufferOffset;
}

// The file's entries, reading only what `previous` has not read when the file only grew.
std::shared_ptr<const FileEntries> readFileEntries(const QString& path, const std::shared_ptr<const FileEntries>& previous) {
  const Descriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) {
    return nullptr;
  }
  struct stat info {};
  if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return nullptr;
  }
  auto result = std::make_shared<FileEntries>();
  result->stat.device = static_cast<std::uint64_t>(info.st_dev);
  result->stat.inode = static_cast<std::uint64_t>(info.st_ino);
  result->stat.size = static_cast<qint64>(info.st_size);
  result->stat.modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  result->stat.regular = true;

  qint64 from = 0;
  if (previous && previous->stat.device == result->stat.device && previous->stat.inode == result->stat.inode &&
      previous->consumed > 0 && result->stat.size >= previous->consumed) {
    // Appended to, unless the bytes before the old end changed.
    QByteArray check(previous->lastBytes.size(), Qt::Uninitialized);
    if (preadFully(file.fd, check.data(), check.size(), previous->consumed - check.size()) == check.size() &&
        check == previous->lastBytes) {
      from = previous->consumed;
      result->entries = previous->entries;
      result->seen = previous->seen;
    }
  }

  JsonLineParser parser;
  std::vector<CachedEntry> pending;
  const auto take = [&](std::string_view line, bool terminated) {
    const auto record = parseJsonLineObject(parser, line, true);
    if (!record) {
      return;
    }
    const auto fields = blockFieldsOf(*record);
    if (!fields) {
      return;
    }
    auto entry = cachedEntryOf(*fields);
    if (!entry) {
      return;
    }
    if (entry->dedupeID) {
      if (result->seen.contains(*entry->dedupeID)) {
        return;
      }
      if (terminated) {
        result->seen.insert(*entry->dedupeID);
      }
    }
    (terminated ? result->entries : pending).push_back(std::move(*entry));
  };
  result->consumed = scanUsageLines(file.fd, from, result->stat.size, take);
  result->pending = std::move(pending);
  const qsizetype checkLength = static_cast<qsizetype>(std::min<qint64>(result->consumed, kAppendCheckBytes));
  result->lastBytes.resize(checkLength);
  if (preadFully(file.fd, result->lastBytes.data(), checkLength, result->consumed - checkLength) != checkLength) {
    result->lastBytes.clear();
    result->consumed = 0;  // read it whole next time
  }
  return result;
}

std::shared_ptr<const FileEntries> fileEntries(const QString& path) {
  FileEntryCache& cache = fileEntryCache();
  std::shared_ptr<const FileEntries> previous;
  {
    const std::lock_guard guard(cache.lock);
    const auto found = cache.files.find(path);
    if (found != cache.files.end()) {
      previous = found->second;
    }
  }
  // A file read before is kept while stat says it is the same; any other is opened at once.
  if (previous) {
    const auto stat = localFileStat(path);
    if (stat && stat->regular && previous->stat == *stat) {
      return previous;
    }
  }
  auto loaded = readFileEntries(path, previous);
  const std::lock_guard guard(cache.lock);
  if (cache.files.size() >= kFileEntryCacheLimit) {
    cache.files.clear();
  }
  if (loaded) {
    cache.files[path] = loaded;
  } else {
    cache.files.erase(path);
  }
  return loaded;
}

// Drops the cached entries of every file but `files`: the cache holds the files of the last scan
// only, so a transcript that was deleted or is no longer among the newest does not keep its
// entries for the life of the process (one that comes back is read anew).
void keepOnlyFileEntriesOf(const QStringList& files) {
  const QSet<QString> kept(files.cbegin(), files.cend());
  FileEntryCache& cache = fileEntryCache();
  const std::lock_guard guard(cache.lock);
  std::erase_if(cache.files, [&kept](const auto& item) { return !kept.contains(item.first); });
}

struct BlockEventCacheEntry {
  QString fingerprint;
  std::optional<TandrelEvent> event;
};

struct BlockEventCache {
  std::mutex lock;
  std::unordered_map<QString, BlockEventCacheEntry> entries;
};

BlockEventCache& blockEventCache() {
  static BlockEventCache cache;
  return cache;
}

bool isActive(const ClaudeTranscriptUsageBlock& block, qint64 nowMs) {
  return nowMs - block.actualEndTimeMs < kBlockMs && nowMs < block.endTimeMs;
}

QDateTime utc(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); }

}  // namespace

double ClaudeTranscriptUsageBlock::totalTokens() const {
  double total = 0;
  for (const auto& entry : entries) {
    total += entry.totalTokens();
  }
  return total;
}

std::optional<TandrelEvent> claudeTranscriptUsageEvent(const QJsonObject& record, const QString& path) {
  const auto fields = fieldsOf(record);
  if (!fields) {
    return std::nullopt;
  }
  const QString recordTime = fields->timestamp.value_or(formatUsageDate(QDateTime::currentDateTimeUtc()));
  const QString observedAt = latestLocalUsageTimestamp(recordTime, path);
  QJsonObject usage{{QLatin1String("data_source"), QLatin1String("transcript")},
                    {QLatin1String("tool_id"), QLatin1String("claude-code")},
                    {QLatin1String("observed_at"), observedAt}};
  const auto put = [&usage](const char* key, const std::optional<double>& value) {
    if (value) {
      usage.insert(QLatin1String(key), *value);
    }
  };
  put("input_tokens", fields->input);
  put("output_tokens", fields->output);
  put("total_tokens", fields->total);
  put("cache_read_tokens", fields->cacheRead);
  put("cache_write_tokens", fields->cacheCreation);

  const double used = fields->input.value_or(0) + fields->cacheCreation.value_or(0) + fields->cacheRead.value_or(0);
  const double window = fields->window.value_or(kDefaultContextWindow);
  if (used > 0 && window > 0) {
    insertLocalContextUsage(usage, used, window);
  }
  if (usage.size() <= 3) {
    return std::nullopt;
  }
  return usageOnlyEvent(QStringLiteral("local-claude-transcript"), QStringLiteral("claude_code"),
                        QStringLiteral("Claude Code usage updated"), observedAt, path, usage);
}

std::optional<TandrelEvent> claudeTranscriptFileUsageEvent(const QString& path) {
  const auto tail = readTailLines(path, kPerFileTailBytes);
  if (!tail) {
    return std::nullopt;
  }
  JsonLineParser parser;
  for (auto line = tail->lines.rbegin(); line != tail->lines.rend(); ++line) {
    // Lines without a usage key cannot yield an event: skip them unparsed.
    if (!mayHoldUsage(*line)) {
      continue;
    }
    if (const auto record = parser.object(*line)) {
      if (auto event = claudeTranscriptUsageEvent(*record, path)) {
        return event;
      }
    }
  }
  return std::nullopt;
}

std::optional<ClaudeTranscriptBlockEntry> claudeTranscriptBlockEntry(const QJsonObject& record, const QString& path) {
  const auto fields = fieldsOf(record);
  if (!fields) {
    return std::nullopt;
  }
  const auto cached = cachedEntryOf(*fields);
  if (!cached) {
    return std::nullopt;
  }
  std::optional<qint64> modifiedMs;
  if (const auto modified = localUsageFileModifiedAt(path)) {
    modifiedMs = modified->toMSecsSinceEpoch();
  }
  return resolvedEntry(*cached, path, modifiedMs, QDateTime::currentMSecsSinceEpoch());
}

std::vector<ClaudeTranscriptUsageBlock> claudeTranscriptUsageBlocks(std::vector<ClaudeTranscriptBlockEntry> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const ClaudeTranscriptBlockEntry& a, const ClaudeTranscriptBlockEntry& b) {
                     return a.timestampMs < b.timestampMs;
                   });
  std::vector<ClaudeTranscriptUsageBlock> blocks;
  ClaudeTranscriptUsageBlock current;
  const auto close = [&] {
    if (!current.entries.empty()) {
      current.endTimeMs = current.startTimeMs + kBlockMs;
      current.actualEndTimeMs = current.entries.back().timestampMs;
      blocks.push_back(std::move(current));
    }
    current = ClaudeTranscriptUsageBlock();
  };
  for (auto& entry : entries) {
    const qint64 t = entry.timestampMs;
    const bool startsBlock = current.entries.empty() || t - current.startTimeMs > kBlockMs ||
                             t - current.entries.back().timestampMs > kBlockMs;
    if (startsBlock) {
      close();
      // Blocks begin on whole UTC hours.
      current.startTimeMs = t - (((t % kHourMs) + kHourMs) % kHourMs);
    }
    current.entries.push_back(std::move(entry));
  }
  close();
  return blocks;
}

bool claudeBlockIsActive(const ClaudeTranscriptUsageBlock& block, const QDateTime& now) {
  return isActive(block, now.toMSecsSinceEpoch());
}

double projectedClaudeBlockTotalTokens(const ClaudeTranscriptUsageBlock& block, const QDateTime& now) {
  const double total = block.totalTokens();
  if (block.entries.empty()) {
    return total;
  }
  const double spanSeconds =
      static_cast<double>(block.entries.back().timestampMs - block.entries.front().timestampMs) / 1000.0;
  if (spanSeconds <= 0) {
    return total;
  }
  const double remainingSeconds =
      std::min(static_cast<double>(block.endTimeMs - now.toMSecsSinceEpoch()) / 1000.0, 18'000.0);
  if (remainingSeconds <= 0) {
    return total;
  }
  return total + remainingSeconds * (total / spanSeconds);
}

std::vector<ClaudeTranscriptBlockEntry> claudeTranscriptBlockEntries(const QStringList& files) {
  return claudeTranscriptBlockEntries(files, QDateTime::currentDateTimeUtc());
}

std::vector<ClaudeTranscriptBlockEntry> claudeTranscriptBlockEntries(const QStringList& files, const QDateTime& now) {
  const qint64 nowMs = now.toMSecsSinceEpoch();
  std::vector<ClaudeTranscriptBlockEntry> entries;
  // Repeats across files: the first file in order keeps its entry.
  std::unordered_multimap<std::size_t, const QString*> seen;
  std::vector<std::shared_ptr<const FileEntries>> held;
  held.reserve(static_cast<std::size_t>(files.size()));
  for (const QString& path : files) {
    auto file = fileEntries(path);
    if (!file) {
      continue;
    }
    held.push_back(file);
    const std::optional<qint64> modifiedMs = file->stat.modifiedNs / 1'000'000;
    for (const auto* list : {&file->entries, &file->pending}) {
      for (const CachedEntry& cached : *list) {
        if (cached.dedupeID) {
          const auto range = seen.equal_range(cached.dedupeHash);
          const bool repeated = std::any_of(range.first, range.second,
                                            [&](const auto& item) { return *item.second == *cached.dedupeID; });
          if (repeated) {
            continue;
          }
          seen.emplace(cached.dedupeHash, &*cached.dedupeID);
        }
        entries.push_back(resolvedEntry(cached, path, modifiedMs, nowMs));
      }
    }
  }
  keepOnlyFileEntriesOf(files);
  return entries;
}

std::optional<ClaudeActiveBlockUsage> claudeActiveBlockUsage(const std::vector<ClaudeTranscriptUsageBlock>& blocks,
                                                             const QDateTime& now) {
  const qint64 nowMs = now.toMSecsSinceEpoch();
  const ClaudeTranscriptUsageBlock* active = nullptr;
  double largestEarlier = 0;
  for (const auto& block : blocks) {
    if (isActive(block, nowMs)) {
      active = &block;
    }
  }
  if (!active) {
    return std::nullopt;
  }
  for (const auto& block : blocks) {
    if (!isActive(block, nowMs)) {
      largestEarlier = std::max(largestEarlier, block.totalTokens());
    }
  }
  qint64 observedMs = active->actualEndTimeMs;
  double input = 0;
  double output = 0;
  double cacheCreation = 0;
  double cacheRead = 0;
  for (std::size_t i = 0; i < active->entries.size(); ++i) {
    const auto& entry = active->entries[i];
    observedMs = i == 0 ? entry.observedAtMs : std::max(observedMs, entry.observedAtMs);
    input += entry.inputTokens;
    output += entry.outputTokens;
    cacheCreation += entry.cacheCreationInputTokens;
    cacheRead += entry.cacheReadInputTokens;
  }
  ClaudeActiveBlockUsage result;
  result.observedAt = formatUsageDate(utc(observedMs));
  result.fileURL = active->entries.back().fileURL;
  result.usage = QJsonObject{
      {QLatin1String("data_source"), QLatin1String("local-transcript-block")},
      {QLatin1String("tool_id"), QLatin1String("claude-code")},
      {QLatin1String("observed_at"), result.observedAt},
      {QLatin1String("input_tokens"), input},
      {QLatin1String("output_tokens"), output},
      {QLatin1String("cache_creation_input_tokens"), cacheCreation},
      {QLatin1String("cache_read_tokens"), cacheRead},
      {QLatin1String("total_tokens"), input + output},
      {QLatin1String("limit_5h_reset"), formatUsageDate(utc(active->endTimeMs))},
  };
  if (largestEarlier > 0) {
    const double projected = projectedClaudeBlockTotalTokens(*active, now);
    const double percent = std::max(std::min(100.0 - projected / largestEarlier * 100.0, 100.0), 0.0);
    result.usage.insert(QLatin1String("limit_5h_remaining_percent"), percent);
    result.usage.insert(QLatin1String("limit_5h_label"), formatWholePercent(percent) + QLatin1Char('%'));
  } else {
    result.usage.insert(QLatin1String("limit_5h_label"), QLatin1String("Active"));
  }
  return result;
}

std::optional<TandrelEvent> claudeTranscriptBlockUsageEvent(const QStringList& files,
                                                            const std::optional<QString>& root, const QDateTime& now) {
  const auto active = claudeActiveBlockUsage(claudeTranscriptUsageBlocks(claudeTranscriptBlockEntries(files, now)), now);
  if (!active) {
    return std::nullopt;
  }
  QString file = active->fileURL;
  if (file.isEmpty()) {
    file = root ? *root : tilde(QStringLiteral(".claude/projects"));
  }
  return usageOnlyEvent(QStringLiteral("local-claude-transcript-block"), QStringLiteral("claude_code"),
                        QStringLiteral("Claude Code usage block updated"), active->observedAt, file, active->usage);
}

std::optional<TandrelEvent> loadClaudeTranscriptBlockUsageEvent(const std::optional<QString>& root) {
  const QStringList files =
      recentJSONLFiles(root, 256, QStringLiteral("claude-transcript-blocks"), [](const QString&) { return true; });
  const QDateTime now = QDateTime::currentDateTimeUtc();
  return ClaudeTranscriptBlockEventCache::event(
      root, files, [&] { return claudeTranscriptBlockUsageEvent(files, root, now); }, now);
}

namespace ClaudeTranscriptBlockEventCache {

std::optional<TandrelEvent> event(const std::optional<QString>& root, const QStringList& files, const Load& load,
                                  const QDateTime& now) {
  const QString key = root ? *root : QStringLiteral("missing-root");
  const qint64 cutoffNs = (now.toMSecsSinceEpoch() - kFingerprintWindowMs) * 1'000'000;
  QString fingerprint;
  for (const QString& path : files) {
    const auto stat = localFileStat(path);
    if (!stat || stat->modifiedNs < cutoffNs) {
      continue;
    }
    if (!fingerprint.isEmpty()) {
      fingerprint.append(QLatin1Char('\n'));
    }
    fingerprint.append(path + QLatin1Char('|') + QString::number(stat->size) + QLatin1Char('|') +
                       QString::number(stat->modifiedNs));
  }
  BlockEventCache& cache = blockEventCache();
  {
    const std::lock_guard guard(cache.lock);
    const auto found = cache.entries.find(key);
    if (found != cache.entries.end() && found->second.fingerprint == fingerprint) {
      return found->second.event;
    }
  }
  std::optional<TandrelEvent> loaded = load();
  const std::lock_guard guard(cache.lock);
  if (cache.entries.size() >= kBlockEventCacheLimit) {
    cache.entries.clear();
  }
  cache.entries[key] = {fingerprint, loaded};
  return loaded;
}

int countForTests() {
  BlockEventCache& cache = blockEventCache();
  const std::lock_guard guard(cache.lock);
  return static_cast<int>(cache.entries.size());
}

}  // namespace ClaudeTranscriptBlockEventCache

qint64 claudeTranscriptBytesReadForTests() { return bytesRead.load(); }

std::size_t claudeTranscriptReadBufferBytesForTests() { return readBuffer.capacity(); }

void clearClaudeTranscriptBlockCaches() {
  {
    BlockEventCache& cache = blockEventCache();
    const std::lock_guard guard(cache.lock);
    cache.entries.clear();
  }
  FileEntryCache& cache = fileEntryCache();
  const std::lock_guard guard(cache.lock);
  cache.files.clear();
}

}  // namespace tandrel
