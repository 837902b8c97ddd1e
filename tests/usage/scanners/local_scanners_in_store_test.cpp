// The scanners as the store's default loaders: readings of the agents' own files reach the
// merged usage per brand and the published hot-plug events.

#include "events/event_store_test_support.h"
#include "usage/scanners/scanner_test_support.h"
#include "usage/usage_dates.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using test::jsonLine;
using test::writeFile;

class LocalScannersInStoreTest : public test::ScannerCachesClearedTest, protected test::StoreFixture {};

TEST_F(LocalScannersInStoreTest, TranscriptsAndRolloutsBecomeBrandUsage) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  ASSERT_TRUE(writeFile(home.file("claude-projects/project-a/session-test.jsonl"), test::claudeTranscriptSixHoursApart(now)));
  const QJsonObject rollout{
      {"timestamp", formatUsageDate(now)},
      {"type", "event_msg"},
      {"payload",
       QJsonObject{{"type", "token_count"},
                   {"info", QJsonObject{{"model_context_window", 128000},
                                        {"last_token_usage", QJsonObject{{"input_tokens", 1800}}},
                                        {"total_token_usage", QJsonObject{{"total_tokens", 8800}}}}},
                   {"rate_limits", QJsonObject{{"primary", QJsonObject{{"used_percent", 74}}}}}}}};
  ASSERT_TRUE(writeFile(home.file("codex-sessions/2026/05/09/rollout-test.jsonl"), jsonLine(rollout)));

  auto o = options();
  o.claudeProjectsRoot = home.file("claude-projects");
  o.codexSessionsRoot = home.file("codex-sessions");
  o.localUsageLoadMode = LocalUsageLoadMode::synchronous;
  auto store = make(o);
  store->reload();

  const auto claude = store->latestUsage("Claude");
  ASSERT_TRUE(claude && claude->context && claude->tokens && claude->fiveHour);
  EXPECT_EQ(claude->context->label, "864.2k / 1m");
  EXPECT_EQ(claude->tokens->label, "665 total");
  EXPECT_EQ(claude->fiveHour->label, "50% left");
  EXPECT_EQ(claude->quality, UsageQuality::stableLocal);

  const auto codex = store->latestUsage("Codex CLI");
  ASSERT_TRUE(codex && codex->tokens && codex->context && codex->fiveHour);
  EXPECT_EQ(codex->dataSource, "rollout");
  EXPECT_EQ(codex->tokens->label, "8.8k total");
  EXPECT_EQ(codex->context->label, "126.2k / 128k");
  EXPECT_EQ(codex->fiveHour->label, "26% left");
}

}  // namespace
}  // namespace tandrel
