#include "usage/scanners/claude_transcript_scanner.h"

#include "usage/scanners/scanner_test_support.h"
#include "usage/usage_dates.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace tandrel {
namespace {

using test::jsonLine;
using test::TempHome;
using test::utcAt;
using test::writeFile;
using test::writeFileAt;

constexpr qint64 kHour = 3'600'000;

QString iso(qint64 ms) { return formatUsageDate(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)); }

// One assistant line as Claude writes it: the usage under "message", with the two ids.
QByteArray response(qint64 ms, const QString& id, double input, double output = 0, double cacheCreation = 0,
                    double cacheRead = 0) {
  return jsonLine(QJsonObject{
      {"type", "assistant"},
      {"timestamp", iso(ms)},
      {"requestId", "req-" + id},
      {"message", QJsonObject{{"id", id},
                              {"usage", QJsonObject{{"input_tokens", input},
                                                    {"output_tokens", output},
                                                    {"cache_creation_input_tokens", cacheCreation},
                                                    {"cache_read_input_tokens", cacheRead}}}}},
  });
}

ClaudeTranscriptBlockEntry entryAt(qint64 ms, double tokens) {
  ClaudeTranscriptBlockEntry entry;
  entry.timestampMs = ms;
  entry.observedAtMs = ms;
  entry.inputTokens = tokens;
  return entry;
}

class ClaudeTranscriptScannerTest : public test::ScannerCachesClearedTest {
 protected:
  TempHome home;
  const QDateTime now = utcAt("2026-01-01T20:30:00Z");
  const qint64 nowMs = now.toMSecsSinceEpoch();
};

TEST_F(ClaudeTranscriptScannerTest, PerFileEventTakesTheNewestRecordWithTokens) {
  const struct {
    QJsonObject usage;
    const char* remaining;
    const char* total;
    const char* label;
    double percent;
  } cases[] = {
      {{{"input_tokens", 150000}}, "850000", "1000000", "850k / 1m", 85},
      {{{"input_tokens", 1000}, {"cache_read_input_tokens", 234}, {"context_window", 1234567}}, "1233333", "1234567",
       "1.2m / 1.2m", 1233333.0 / 1234567 * 100},
      {{{"prompt_tokens", 1}, {"context_total", 1000}}, "999", "1000", "999 / 1k", 99.9},
      {{{"input_tokens", 5000}, {"contextWindow", 4000}}, "0", "4000", "0 / 4k", 0},
  };
  const QString path = home.file("p/s.jsonl");
  for (const auto& c : cases) {
    const QJsonObject older{{"timestamp", "2026-01-01T10:00:00Z"}, {"message", QJsonObject{{"usage", c.usage}}}};
    // The newest usage holds only unknown keys: the older record is used.
    const QJsonObject newer{{"timestamp", "2026-01-01T10:01:00Z"},
                            {"message", QJsonObject{{"usage", QJsonObject{{"other", 5}}}}}};
    ASSERT_TRUE(writeFileAt(path, jsonLine(older) + jsonLine(newer) + "{\"type\":\"user\"}\n",
                            utcAt("2026-01-01T09:00:00Z")));
    const auto event = claudeTranscriptFileUsageEvent(path);
    ASSERT_TRUE(event && event->usage && event->usage->context) << c.label;
    EXPECT_EQ(event->source, "claude_code");
    EXPECT_EQ(event->usage->dataSource, "transcript");
    EXPECT_EQ(event->rawTimestamp, "2026-01-01T10:00:00Z");  // later than the file's time
    EXPECT_EQ(event->usage->context->label, QString::fromUtf8(c.label));
    ASSERT_TRUE(event->usage->context->percent);
    EXPECT_NEAR(*event->usage->context->percent, c.percent, 1e-9);
  }
  // "input_tokens" 0 is present, so there is an event, but no context.
  const auto zero = claudeTranscriptUsageEvent(QJsonObject{{"usage", QJsonObject{{"input_tokens", 0}}}}, path);
  ASSERT_TRUE(zero);
  EXPECT_FALSE(zero->usage && zero->usage->context);
  EXPECT_FALSE(claudeTranscriptUsageEvent(QJsonObject{{"message", QJsonObject{{"usage", 5}}}}, path));
}

TEST_F(ClaudeTranscriptScannerTest, BlocksStartOnUtcHoursAndSplitOnlyOnStrictGaps) {
  const qint64 start = utcAt("2026-01-01T10:00:00Z").toMSecsSinceEpoch();
  const qint64 t0 = utcAt("2026-01-01T10:59:59Z").toMSecsSinceEpoch();
  const struct {
    const char* name;
    std::vector<qint64> times;
    std::vector<std::size_t> blockSizes;
  } cases[] = {
      {"an entry at start + 5 h stays", {t0, start + 5 * kHour}, {2}},
      {"one at start + 5 h + 1 s opens a block", {t0, start + 5 * kHour + 1000}, {1, 1}},
      {"a gap of exactly 5 h keeps them together", {start, start + 5 * kHour}, {2}},
      {"a gap over 5 h splits", {start + 4 * kHour, start + 9 * kHour + 1000}, {1, 1}},
      {"input order does not matter", {start + 2 * kHour, t0, start + 9 * kHour}, {2, 1}},
      {"no entries, no blocks", {}, {}},
  };
  for (const auto& c : cases) {
    std::vector<ClaudeTranscriptBlockEntry> entries;
    for (const qint64 time : c.times) {
      entries.push_back(entryAt(time, 1));
    }
    std::vector<std::size_t> sizes;
    for (const auto& block : claudeTranscriptUsageBlocks(entries)) {
      sizes.push_back(block.entries.size());
    }
    EXPECT_EQ(sizes, c.blockSizes) << c.name;
  }
  const auto blocks = claudeTranscriptUsageBlocks({entryAt(t0, 1)});
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(iso(blocks[0].startTimeMs), "2026-01-01T10:00:00Z");
  EXPECT_EQ(iso(blocks[0].endTimeMs), "2026-01-01T15:00:00Z");
  EXPECT_EQ(blocks[0].actualEndTimeMs, t0);
}

TEST_F(ClaudeTranscriptScannerTest, ActiveBlockAndItsEstimate) {
  const qint64 hourStart = nowMs - nowMs % kHour;  // 20:00
  const struct {
    const char* name;
    std::vector<ClaudeTranscriptBlockEntry> entries;
    std::optional<QString> label;  // nothing: no active block
    std::optional<double> percent;
  } cases[] = {
      {"no earlier block", {entryAt(hourStart, 10)}, QStringLiteral("Active"), std::nullopt},
      // 10 tokens over 30 min, 4.5 h left: projected 100 of an earlier 200.
      {"half of the earlier block",
       {entryAt(hourStart - 10 * kHour, 200), entryAt(hourStart, 5), entryAt(nowMs, 5)},
       QStringLiteral("50%"), 50.0},
      {"projection above the earlier block",
       {entryAt(hourStart - 10 * kHour, 50), entryAt(hourStart, 5), entryAt(nowMs, 5)},
       QStringLiteral("0%"), 0.0},
      {"the last entry is 5 h old", {entryAt(nowMs - 5 * kHour, 10)}, std::nullopt, std::nullopt},
      {"now is past the block's end", {entryAt(nowMs - 5 * kHour + 1, 10)}, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto active = claudeActiveBlockUsage(claudeTranscriptUsageBlocks(c.entries), now);
    ASSERT_EQ(active.has_value(), c.label.has_value()) << c.name;
    if (!active) {
      continue;
    }
    EXPECT_EQ(active->usage.value("limit_5h_label").toString(), *c.label) << c.name;
    EXPECT_EQ(active->usage.contains("limit_5h_remaining_percent"), c.percent.has_value()) << c.name;
    if (c.percent) {
      EXPECT_NEAR(active->usage.value("limit_5h_remaining_percent").toDouble(), *c.percent, 1e-9) << c.name;
    }
  }
}

TEST_F(ClaudeTranscriptScannerTest, ProjectionUsesTheBlocksOwnRate) {
  const qint64 start = utcAt("2026-01-01T10:00:00Z").toMSecsSinceEpoch();
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(start + 2 * kHour, Qt::UTC);
  EXPECT_EQ(projectedClaudeBlockTotalTokens(claudeTranscriptUsageBlocks({entryAt(start, 100)})[0], at), 100);
  EXPECT_EQ(projectedClaudeBlockTotalTokens(claudeTranscriptUsageBlocks({entryAt(start, 100), entryAt(start, 50)})[0], at),
            150);
  // 200 tokens over one hour, three hours left: 200 + 3 × 200.
  const auto block = claudeTranscriptUsageBlocks({entryAt(start, 100), entryAt(start + kHour, 100)})[0];
  EXPECT_DOUBLE_EQ(projectedClaudeBlockTotalTokens(block, at), 800);
  EXPECT_EQ(projectedClaudeBlockTotalTokens(block, at.addSecs(3 * 3600)), 200);
}

TEST_F(ClaudeTranscriptScannerTest, RepeatedResponsesCountOnceAcrossFiles) {
  const qint64 recent = nowMs - kHour;
  const QString a = home.file("projects/one/a.jsonl");
  const QString b = home.file("projects/two/b.jsonl");
  const QByteArray noRequest =
      jsonLine(QJsonObject{{"timestamp", iso(recent + 60'000)},
                           {"message", QJsonObject{{"id", "m3"}, {"usage", QJsonObject{{"output_tokens", 5}}}}}});
  ASSERT_TRUE(writeFileAt(a, response(recent - 10 * kHour, "m1", 600, 400) + response(recent - 10 * kHour, "m1", 600, 400) +
                                 response(recent, "m2", 100, 0, 7, 11),
                          now.addSecs(-3000)));
  ASSERT_TRUE(writeFileAt(b, response(recent, "m2", 100, 0, 7, 11) + noRequest + noRequest, now.addSecs(-1000)));

  const auto entries = claudeTranscriptBlockEntries({a, b}, now);
  ASSERT_EQ(entries.size(), 4u);  // m1 once, m2 once (from a), both m3 lines (no request id)
  EXPECT_EQ(entries[1].fileURL, a);
  EXPECT_EQ(entries[1].dedupeID, QStringLiteral("m2:req-m2"));

  const auto active = claudeActiveBlockUsage(claudeTranscriptUsageBlocks(entries), now);
  ASSERT_TRUE(active);
  const QJsonObject& usage = active->usage;
  EXPECT_EQ(usage.value("input_tokens").toDouble(), 100);
  EXPECT_EQ(usage.value("output_tokens").toDouble(), 10);
  EXPECT_EQ(usage.value("cache_creation_input_tokens").toDouble(), 7);
  EXPECT_EQ(usage.value("cache_read_tokens").toDouble(), 11);
  EXPECT_EQ(usage.value("total_tokens").toDouble(), 110);  // without the cache tokens
  EXPECT_EQ(usage.value("limit_5h_reset").toString(), "2026-01-02T00:00:00Z");
  // The file's time (20:13:20) is later than the records: it is the observation time.
  EXPECT_EQ(usage.value("observed_at").toString(), "2026-01-01T20:13:20Z");
  EXPECT_EQ(active->fileURL, b);

  const auto event = claudeTranscriptBlockUsageEvent({a, b}, home.file("projects"), now);
  ASSERT_TRUE(event && event->usage && event->usage->fiveHour);
  EXPECT_EQ(event->usage->dataSource, "local-transcript-block");
  EXPECT_EQ(event->title, "Claude Code usage block updated");
  EXPECT_EQ(event->transcriptPath, b);
}

TEST_F(ClaudeTranscriptScannerTest, AppendedLinesAreReadAloneAndRewrittenFilesWhole) {
  const QString path = home.file("projects/p/s.jsonl");
  const QByteArray first = response(nowMs - kHour, "m1", 100) + "{\"type\":\"user\",\"big\":\"" +
                           QByteArray(50'000, 'x') + "\"}\n";
  ASSERT_TRUE(writeFile(path, first));
  const auto inputOf = [&] {
    const auto active = claudeActiveBlockUsage(claudeTranscriptUsageBlocks(claudeTranscriptBlockEntries({path}, now)), now);
    return active ? active->usage.value("input_tokens").toDouble() : -1.0;
  };
  EXPECT_EQ(inputOf(), 100);
  EXPECT_EQ(inputOf(), 100);  // unchanged: nothing read

  struct Step {
    const char* name;
    QByteArray contents;
    double input;
    qint64 maxBytesRead;
  };
  const QByteArray appended = first + response(nowMs - 30 * 60'000, "m2", 20);
  const QByteArray repeated = appended + response(nowMs - 30 * 60'000, "m2", 20);
  const Step steps[] = {
      {"one appended line: only its bytes are read", appended, 120, 1000},
      {"the same response repeated", repeated, 120, 1000},
      {"an unterminated last line counts", repeated + response(nowMs - 60'000, "m3", 3).chopped(1), 123, 1000},
      {"and is read again once complete", repeated + response(nowMs - 60'000, "m3", 3), 123, 1000},
      {"truncated: read whole", response(nowMs - kHour, "m9", 7), 7, 1000},
      {"rewritten, same size or more: read whole", response(nowMs - kHour, "m8", 5) + response(nowMs - kHour, "m7", 1),
       6, 1000},
  };
  for (const Step& step : steps) {
    const qint64 before = claudeTranscriptBytesReadForTests();
    ASSERT_TRUE(writeFile(path, step.contents));
    ASSERT_TRUE(test::setModified(path, QDateTime::currentDateTimeUtc().addSecs(&step - steps + 1)));
    EXPECT_EQ(inputOf(), step.input) << step.name;
    EXPECT_LE(claudeTranscriptBytesReadForTests() - before, step.maxBytesRead) << step.name;
  }
  // A replaced file (another inode) is read whole.
  const QString other = home.file("projects/p/new.jsonl");
  ASSERT_TRUE(writeFile(other, response(nowMs - kHour, "r1", 40) + response(nowMs - kHour, "r2", 2)));
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::rename(other, path));
  EXPECT_EQ(inputOf(), 42);
}

TEST_F(ClaudeTranscriptScannerTest, OnlyTheFilesOfTheLastScanStayCached) {
  const QString a = home.file("projects/p/a.jsonl");
  const QString b = home.file("projects/p/b.jsonl");
  ASSERT_TRUE(writeFile(a, response(nowMs - kHour, "m1", 100)));
  ASSERT_TRUE(writeFile(b, response(nowMs - kHour, "m2", 20)));
  const auto bytesReadScanning = [&](const QStringList& files) {
    const qint64 before = claudeTranscriptBytesReadForTests();
    claudeTranscriptBlockEntries(files, now);
    return claudeTranscriptBytesReadForTests() - before;
  };
  bytesReadScanning({a, b});
  EXPECT_EQ(bytesReadScanning({a, b}), 0);  // both cached
  EXPECT_EQ(bytesReadScanning({b}), 0);     // a falls out of the scan (no longer among the newest)
  EXPECT_EQ(bytesReadScanning({a, b}), QFileInfo(a).size());  // its entries went with it
}

TEST_F(ClaudeTranscriptScannerTest, LinesLongerThanTheReadBufferAreReadAndTheBufferShrinksAfter) {
  // Tool output of a megabyte without the usage key, and a response whose own line is that long.
  const QString path = home.file("projects/p/long.jsonl");
  QJsonObject longResponse = QJsonDocument::fromJson(response(nowMs - kHour, "m2", 20)).object();
  longResponse.insert("padding", QString(1'000'000, QLatin1Char('y')));
  ASSERT_TRUE(writeFile(path, response(nowMs - kHour, "m1", 100) + "{\"type\":\"user\",\"big\":\"" +
                                  QByteArray(1'000'000, 'x') + "\"}\n" + jsonLine(longResponse) +
                                  response(nowMs - 60'000, "m3", 3)));
  const auto active = claudeActiveBlockUsage(claudeTranscriptUsageBlocks(claudeTranscriptBlockEntries({path}, now)), now);
  ASSERT_TRUE(active);
  EXPECT_EQ(active->usage.value("input_tokens").toDouble(), 123);
  EXPECT_LT(claudeTranscriptReadBufferBytesForTests(), std::size_t{300'000});
}

TEST_F(ClaudeTranscriptScannerTest, BlockEventCacheSkipsUnchangedRecentFiles) {
  const QString root = home.file("projects");
  const QString path = home.file("projects/p/s.jsonl");
  ASSERT_TRUE(writeFile(path, response(nowMs - kHour, "m1", 100)));
  int loads = 0;
  const auto load = [&]() -> std::optional<TandrelEvent> {
    ++loads;
    return std::nullopt;  // "no event" is kept like an event
  };
  const QDateTime at = QDateTime::currentDateTimeUtc();
  ClaudeTranscriptBlockEventCache::event(root, {path}, load, at);
  ClaudeTranscriptBlockEventCache::event(root, {path}, load, at);
  EXPECT_EQ(loads, 1);
  ASSERT_TRUE(writeFile(path, response(nowMs - kHour, "m1", 100) + response(nowMs, "m2", 1)));
  ClaudeTranscriptBlockEventCache::event(root, {path}, load, at);
  EXPECT_EQ(loads, 2);
  // A change to a file last modified over 5.5 hours ago does not count.
  ASSERT_TRUE(test::setModified(path, at.addSecs(-19'801)));
  ClaudeTranscriptBlockEventCache::event(root, {path}, load, at);
  EXPECT_EQ(loads, 3);  // the recent line of the fingerprint went away
  ASSERT_TRUE(writeFileAt(path, "{}\n", at.addSecs(-19'801)));
  ClaudeTranscriptBlockEventCache::event(root, {path}, load, at);
  EXPECT_EQ(loads, 3);

  for (int i = 0; i < 15; ++i) {
    ClaudeTranscriptBlockEventCache::event(root + QString::number(i), {}, load, at);
  }
  EXPECT_EQ(ClaudeTranscriptBlockEventCache::countForTests(), 16);
  ClaudeTranscriptBlockEventCache::event(std::nullopt, {}, load, at);  // "missing-root", the seventeenth
  EXPECT_EQ(ClaudeTranscriptBlockEventCache::countForTests(), 1);
}

TEST_F(ClaudeTranscriptScannerTest, BlockScanTakesThe256NewestTranscripts) {
  const QString root = home.file("projects");
  const QDateTime recent = QDateTime::currentDateTimeUtc();
  const qint64 at = recent.toMSecsSinceEpoch();
  // The oldest file holds the only large response; it is the 257th newest and left out.
  ASSERT_TRUE(writeFileAt(home.file("projects/old/x.jsonl"), response(at - 30 * 60'000, "old", 1000),
                          recent.addSecs(-600)));
  for (int i = 0; i < 256; ++i) {
    ASSERT_TRUE(writeFileAt(home.file(QStringLiteral("projects/p%1/s.jsonl").arg(i)),
                            response(at - 20 * 60'000, QStringLiteral("r%1").arg(i), 1), recent.addSecs(-i)));
  }
  const auto event = loadClaudeTranscriptBlockUsageEvent(root);
  ASSERT_TRUE(event && event->usage && event->usage->tokens);
  EXPECT_EQ(event->usage->tokens->label, "256 total");
  EXPECT_FALSE(loadClaudeTranscriptBlockUsageEvent(std::nullopt));
}

}  // namespace
}  // namespace tandrel
