#pragma once

#include "events/tandrel_event.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// Claude Code's transcripts (JSON lines below the Claude projects root) read two ways:
// - per file, the newest record with token counts becomes a usage event with the context left;
// - over the 256 newest files, the usage records are grouped into five-hour blocks, and the block
//   active now becomes one event with its token sums, its reset time and a remaining-percent
//   estimate against the largest earlier block.
//
// Claude writes one response as several lines that repeat the message id, the request id and the
// usage: such repeats count once, across all files. Reading 256 whole transcripts every few
// seconds would be slow, so each file's entries are cached on (path, device, inode, size,
// modification time) and only the bytes appended since are read; a file that shrank or was
// replaced is read again whole. On top of that, the block event itself is cached per root while
// the recently modified files keep their sizes and times.

namespace tandrel {

// One usage record counted towards the blocks. Times are milliseconds since 1970.
struct ClaudeTranscriptBlockEntry {
  qint64 timestampMs = 0;   // when the record was written
  qint64 observedAtMs = 0;  // the later of that and the file's modification time, whole seconds
  QString fileURL;
  std::optional<QString> dedupeID;  // "<message id>:<request id>"
  double inputTokens = 0;
  double outputTokens = 0;
  double cacheCreationInputTokens = 0;
  double cacheReadInputTokens = 0;

  double totalTokens() const { return inputTokens + outputTokens + cacheCreationInputTokens + cacheReadInputTokens; }
};

// One five-hour block: it starts on a whole UTC hour.
struct ClaudeTranscriptUsageBlock {
  qint64 startTimeMs = 0;
  qint64 endTimeMs = 0;        // start + 5 h
  qint64 actualEndTimeMs = 0;  // the last entry's time
  std::vector<ClaudeTranscriptBlockEntry> entries;  // ascending by time

  double totalTokens() const;
};

// The per-file usage event of one record; nothing when it carries no token counts.
std::optional<TandrelEvent> claudeTranscriptUsageEvent(const QJsonObject& record, const QString& path);
// The per-file reader: the newest record of the file's last 256 KiB that yields an event.
std::optional<TandrelEvent> claudeTranscriptFileUsageEvent(const QString& path);

// The block entry of one record; nothing without usage or with no tokens.
std::optional<ClaudeTranscriptBlockEntry> claudeTranscriptBlockEntry(const QJsonObject& record, const QString& path);
// The entries grouped into blocks, oldest first.
std::vector<ClaudeTranscriptUsageBlock> claudeTranscriptUsageBlocks(std::vector<ClaudeTranscriptBlockEntry> entries);
// Whether the block is active at `now`: its last entry is less than 5 h old and its end is ahead.
bool claudeBlockIsActive(const ClaudeTranscriptUsageBlock& block, const QDateTime& now);
// The block's total at its end if it goes on at its own average rate.
double projectedClaudeBlockTotalTokens(const ClaudeTranscriptUsageBlock& block, const QDateTime& now);

// Every entry of the files, in file order, repeats dropped (the first occurrence wins, across
// files). Reads through the per-file entry cache, which then holds these files only.
std::vector<ClaudeTranscriptBlockEntry> claudeTranscriptBlockEntries(const QStringList& files);
std::vector<ClaudeTranscriptBlockEntry> claudeTranscriptBlockEntries(const QStringList& files, const QDateTime& now);

// The usage dictionary of the block active at `now` (the last block whose last entry is less than
// 5 h old and whose end is still ahead), with its observation time and the file of its last entry.
struct ClaudeActiveBlockUsage {
  QJsonObject usage;
  QString observedAt;
  QString fileURL;
};
std::optional<ClaudeActiveBlockUsage> claudeActiveBlockUsage(const std::vector<ClaudeTranscriptUsageBlock>& blocks,
                                                             const QDateTime& now);
// The event of the block active at `now` over the files; `root` names the event's file when no
// entry does.
std::optional<TandrelEvent> claudeTranscriptBlockUsageEvent(const QStringList& files,
                                                            const std::optional<QString>& root, const QDateTime& now);
// The same over the 256 newest transcripts of `root`, through the block event cache.
std::optional<TandrelEvent> loadClaudeTranscriptBlockUsageEvent(const std::optional<QString>& root);

// The block event per root (key "missing-root" without one), kept while the fingerprint of the
// files modified in the last 5.5 hours ("<path>|<size>|<time>" lines) stays the same. At most 16
// roots; a seventeenth empties the table first.
namespace ClaudeTranscriptBlockEventCache {
using Load = std::function<std::optional<TandrelEvent>()>;
std::optional<TandrelEvent> event(const std::optional<QString>& root, const QStringList& files, const Load& load,
                                  const QDateTime& now);
int countForTests();
}  // namespace ClaudeTranscriptBlockEventCache

// For tests and benchmarks: how many bytes the per-file entry cache has read from files.
qint64 claudeTranscriptBytesReadForTests();
// For tests: the capacity of the calling thread's read buffer, which a long line grows only while
// it is read.
std::size_t claudeTranscriptReadBufferBytesForTests();

// Empties the block event cache and the per-file entry cache.
void clearClaudeTranscriptBlockCaches();

}  // namespace tandrel
