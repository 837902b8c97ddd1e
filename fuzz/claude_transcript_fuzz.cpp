// A Claude Code transcript as the usage scanners read it: the per-file usage event and the
// five-hour blocks. Every block holds entries in time order, from its start to before its end.
#include "fuzz_target.h"

#include "usage/scanners/claude_transcript_scanner.h"

#include <QFile>

TANDREL_FUZZ_TARGET(claude_transcript) {
  using namespace tandrel;
  // A new name for every input: the block entries are cached per file, by size and time.
  static int count = 0;
  const QString path = fuzz::scratchFolder() + QStringLiteral("/transcript-%1.jsonl").arg(++count);
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
      return 0;
    }
    file.write(fuzz::bytes(data, size));
  }
  const QDateTime now = QDateTime::fromMSecsSinceEpoch(1778331360000, Qt::UTC);
  (void)claudeTranscriptFileUsageEvent(path);
  const auto blocks = claudeTranscriptUsageBlocks(claudeTranscriptBlockEntries({path}, now));
  for (const ClaudeTranscriptUsageBlock& block : blocks) {
    FUZZ_CHECK(!block.entries.empty(), path);
    qint64 last = block.startTimeMs;
    for (const ClaudeTranscriptBlockEntry& entry : block.entries) {
      FUZZ_CHECK(entry.timestampMs >= last && entry.timestampMs < block.endTimeMs,
                 QString::number(entry.timestampMs));
      last = entry.timestampMs;
    }
    FUZZ_CHECK(block.actualEndTimeMs == last, QString::number(last));
  }
  (void)claudeActiveBlockUsage(blocks, now);
  (void)claudeTranscriptBlockUsageEvent({path}, std::nullopt, now);
  clearClaudeTranscriptBlockCaches();
  QFile::remove(path);
  return 0;
}
