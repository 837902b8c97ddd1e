#include "usage/scanners/local_usage_file_event_cache.h"

#include "usage/scanners/claude_transcript_scanner.h"
#include "usage/scanners/local_files.h"

#include <mutex>
#include <unordered_map>

namespace tandrel {

namespace {

constexpr std::size_t kEntryLimit = 256;

struct Entry {
  std::optional<qint64> modifiedNs;
  std::optional<qint64> size;
  std::optional<TandrelEvent> event;
};

struct Cache {
  std::mutex lock;
  std::unordered_map<QString, Entry> entries;
};

Cache& cache() {
  static Cache instance;
  return instance;
}

}  // namespace

namespace LocalUsageFileEventCache {

std::optional<TandrelEvent> event(const QString& kind, const QString& path, const Load& load) {
  std::optional<qint64> modifiedNs;
  std::optional<qint64> size;
  if (const auto stat = localFileStat(path)) {
    modifiedNs = stat->modifiedNs;
    size = stat->size;
  }
  const QString key = kind + QLatin1Char('|') + path;
  Cache& table = cache();
  {
    const std::lock_guard guard(table.lock);
    const auto found = table.entries.find(key);
    if (found != table.entries.end() && found->second.modifiedNs == modifiedNs && found->second.size == size) {
      return found->second.event;
    }
  }
  std::optional<TandrelEvent> loaded = load();
  const std::lock_guard guard(table.lock);
  if (table.entries.size() >= kEntryLimit) {
    table.entries.clear();
  }
  table.entries[key] = {modifiedNs, size, loaded};
  return loaded;
}

int countForTests() {
  Cache& table = cache();
  const std::lock_guard guard(table.lock);
  return static_cast<int>(table.entries.size());
}

}  // namespace LocalUsageFileEventCache

void clearLocalUsageFileEventCache() {
  {
    Cache& table = cache();
    const std::lock_guard guard(table.lock);
    table.entries.clear();
  }
  clearClaudeTranscriptBlockCaches();
}

}  // namespace tandrel
