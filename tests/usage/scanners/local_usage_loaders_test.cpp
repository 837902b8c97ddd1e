#include "usage/scanners/local_usage_loaders.h"

#include "usage/scanners/scanner_test_support.h"
#include "usage/usage_dates.h"

#include <gtest/gtest.h>

#include <QJsonArray>

namespace tandrel {
namespace {

using test::jsonLine;
using test::TempHome;
using test::writeFile;

class LocalUsageLoadersTest : public test::ScannerCachesClearedTest {
 protected:
  TempHome home;
};

QStringList dataSources(const std::vector<TandrelEvent>& events) {
  QStringList sources;
  for (const auto& event : events) {
    sources.push_back(event.usage ? event.usage->dataSource : event.eventType);
  }
  return sources;
}

TEST_F(LocalUsageLoadersTest, UsageLoadersInTheirOrder) {
  const QString now = formatUsageDate(QDateTime::currentDateTimeUtc().addSecs(-60));
  ASSERT_TRUE(writeFile(home.file("codex/2026/05/09/rollout-a.jsonl"),
                        jsonLine(QJsonObject{{"timestamp", now},
                                             {"payload", QJsonObject{{"info", QJsonObject{{"total_token_usage",
                                                                                            QJsonObject{{"total_tokens", 5}}}}}}}})));
  ASSERT_TRUE(writeFile(home.file("codex/2026/05/09/notes.jsonl"), "{\"payload\":{\"info\":{}}}\n"));
  ASSERT_TRUE(writeFile(home.file("claude/p/s.jsonl"),
                        jsonLine(QJsonObject{{"timestamp", now},
                                             {"requestId", "r"},
                                             {"message", QJsonObject{{"id", "m"}, {"usage", QJsonObject{{"input_tokens", 10}}}}}})));
  ASSERT_TRUE(writeFile(home.file("trae/run.json"),
                        QJsonDocument(QJsonObject{{"llm_interactions",
                                                   QJsonArray{QJsonObject{{"usage", QJsonObject{{"input_tokens", 3}}}}}}})
                            .toJson()));
  const auto events = scanLocalUsageEvents(home.file("codex"), home.file("claude"), home.file("trae"));
  EXPECT_EQ(dataSources(events).join(","), "rollout,transcript,local-transcript-block,trajectory");
  EXPECT_EQ(LocalUsageFileEventCache::countForTests(), 3);
  EXPECT_EQ(dataSources(scanLocalUsageEvents(std::nullopt, home.file("claude"), std::nullopt)).join(","),
            "transcript,local-transcript-block");
  EXPECT_TRUE(scanLocalUsageEvents(std::nullopt, std::nullopt, std::nullopt).empty());
}

// Two responses six hours apart, the newer now: the transcript's context and tokens, and a block
// projected to half of the earlier one.
TEST_F(LocalUsageLoadersTest, ClaudeTranscriptAndBlockEvents) {
  ASSERT_TRUE(writeFile(home.file("claude/project-a/session-test.jsonl"),
                        test::claudeTranscriptSixHoursApart(QDateTime::currentDateTimeUtc())));
  const auto events = loadClaudeTranscriptUsageEvents(home.file("claude"));
  ASSERT_EQ(events.size(), 2u);
  const UsageSnapshot& transcript = *events[0].usage;
  EXPECT_EQ(transcript.dataSource, "transcript");
  EXPECT_EQ(transcript.quality, UsageQuality::stableLocal);
  ASSERT_TRUE(transcript.context && transcript.tokens);
  EXPECT_EQ(transcript.context->label, "864.2k / 1m");
  EXPECT_EQ(transcript.tokens->label, "665 total");
  EXPECT_TRUE(transcript.tokens->suffix.contains("135.2k cache read"));
  const UsageSnapshot& block = *events[1].usage;
  EXPECT_EQ(block.dataSource, "local-transcript-block");
  ASSERT_TRUE(block.fiveHour);
  EXPECT_EQ(block.fiveHour->label, "50% left");
  EXPECT_FALSE(block.weekly);
  EXPECT_TRUE(loadClaudeTranscriptUsageEvents(std::nullopt).empty());
}

TEST_F(LocalUsageLoadersTest, HotplugLoadersInTheirOrder) {
  const QString now = formatUsageDate(QDateTime::currentDateTimeUtc().addSecs(-60));
  const QJsonObject call{
      {"timestamp", now},
      {"payload", QJsonObject{{"type", "function_call"}, {"name", "exec_command"}, {"call_id", "c"},
                              {"arguments", R"({"cmd":"make","sandbox_permissions":"require_escalated"})"}}}};
  ASSERT_TRUE(writeFile(home.file("codex/2026/05/09/rollout-a.jsonl"), jsonLine(call)));
  ASSERT_TRUE(writeFile(home.file("cursor/p/agent-transcripts/s.jsonl"),
                        jsonLine(QJsonObject{{"role", "assistant"}, {"timestamp", now}, {"content", "Done."}})));
  ASSERT_TRUE(writeFile(home.file("trae/renderer.log"),
                        (now + " code_comp_complete_shown params: {}\n").toUtf8()));
  const auto events =
      scanLocalHotplugEvents(home.file("codex"), home.file("claude"), home.file("cursor"), home.file("trae"));
  QStringList sources;
  for (const auto& event : events) {
    sources.push_back(event.source + ":" + event.eventType);
  }
  EXPECT_EQ(sources.join(","), "codex:permission_request,cursor-ide:task_completed,trae-ide:task_completed");
}

}  // namespace
}  // namespace tandrel
