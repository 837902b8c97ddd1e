#include "usage/scanners/codex_rollout_scanner.h"

#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/scanners/scanner_test_support.h"
#include "usage/usage_dates.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>

namespace tandrel {
namespace {

using test::jsonLine;
using test::jsonLines;
using test::TempHome;
using test::utcAt;
using test::writeFile;
using test::writeFileAt;

QJsonObject tokenCount(const QJsonValue& info, const QJsonValue& rateLimits, const QString& when = "2026-05-09T10:00:00Z") {
  return QJsonObject{{"timestamp", when},
                     {"type", "event_msg"},
                     {"payload", QJsonObject{{"type", "token_count"}, {"info", info}, {"rate_limits", rateLimits}}}};
}

// The rollout line of the self-tests: a context window of 128,000 and both rate-limit windows.
QJsonObject selfTestRecord() {
  return tokenCount(
      QJsonObject{{"model_context_window", 128000},
                  {"last_token_usage", QJsonObject{{"input_tokens", 1800}, {"output_tokens", 200}, {"total_tokens", 2000}}},
                  {"total_token_usage", QJsonObject{{"input_tokens", 8000}, {"output_tokens", 800}, {"total_tokens", 8800}}}},
      QJsonObject{{"primary", QJsonObject{{"used_percent", 74}, {"resets_at", 1778331360}, {"window_minutes", 300}}},
                  {"secondary", QJsonObject{{"used_percent", 31}, {"resets_at", 1778760000}, {"window_minutes", 10080}}}});
}

TEST(CodexRolloutScannerTest, UsageEventOfOneRecord) {
  const auto event = codexRolloutUsageEvent(selfTestRecord(), "/r/2026/05/09/rollout-test.jsonl");
  ASSERT_TRUE(event && event->usage);
  const UsageSnapshot& usage = *event->usage;
  EXPECT_EQ(event->source, "codex");
  EXPECT_EQ(usage.toolID, "codex-cli");
  EXPECT_EQ(usage.dataSource, "rollout");
  EXPECT_EQ(usage.quality, UsageQuality::stableLocal);
  ASSERT_TRUE(usage.tokens && usage.context && usage.fiveHour && usage.weekly);
  EXPECT_EQ(usage.tokens->label, "8.8k total");
  EXPECT_EQ(usage.context->label, "126.2k / 128k");
  EXPECT_EQ(usage.context->percent, std::optional<double>(126200.0 / 128000 * 100));
  EXPECT_EQ(usage.fiveHour->label, "26% left");
  EXPECT_EQ(usage.weekly->label, "69% left");
  EXPECT_FALSE(codexRolloutUsageEvent(QJsonObject{{"type", "event_msg"}, {"payload", QJsonObject{{"x", 1}}}}, "/r/a"));
}

TEST(CodexRolloutScannerTest, ContextAndRateLimitReadings) {
  const struct {
    const char* name;
    QJsonObject info;
    QJsonObject limits;
    std::optional<QString> context;
    std::optional<QString> fiveHour;
    std::optional<QString> weekly;
  } cases[] = {
      {"context in use from the last input",
       {{"model_context_window", 258400}, {"last_token_usage", QJsonObject{{"input_tokens", 58400}}}}, {},
       QStringLiteral("200k / 258.4k"), std::nullopt, std::nullopt},
      {"last usage stands in for a missing total",
       {{"model_context_window", 1000}, {"last_token_usage", QJsonObject{{"total_tokens", 100}}}}, {},
       QStringLiteral("900 / 1k"), std::nullopt, std::nullopt},
      // Codex writes used_percent on the 0–100 scale: 0.25 is a quarter of a percent.
      {"a small used percent", {}, {{"primary", QJsonObject{{"used_percent", 0.25}}}}, std::nullopt,
       QStringLiteral("99.8% left"), std::nullopt},
      {"half a percent", {}, {{"primary", QJsonObject{{"used_percent", 0.5}}}}, std::nullopt,
       QStringLiteral("99.5% left"), std::nullopt},
      {"1 is a percentage", {}, {{"primary", QJsonObject{{"usedPercent", 1}}}}, std::nullopt,
       QStringLiteral("99% left"), std::nullopt},
      {"over 100 used", {}, {{"primary", QJsonObject{{"used_percentage", 130}}}}, std::nullopt,
       QStringLiteral("0% left"), std::nullopt},
      {"a small remaining percent", {}, {{"primary", QJsonObject{{"remaining_percent", 0.4}}}}, std::nullopt,
       QStringLiteral("0.4% left"), std::nullopt},
      {"a remaining percentage is not clamped", {}, {{"primary", QJsonObject{{"remainingPercent", 140}}}},
       std::nullopt, QStringLiteral("140% left"), std::nullopt},
      // Codex writes a window it does not know as null; the other one still counts.
      {"a null primary window", {}, {{"primary", QJsonValue()}, {"secondary", QJsonObject{{"used_percent", 40}}}},
       std::nullopt, std::nullopt, QStringLiteral("60% left")},
  };
  for (const auto& c : cases) {
    const auto event = codexRolloutUsageEvent(tokenCount(c.info, c.limits), "/r/rollout-a.jsonl");
    ASSERT_TRUE(event && event->usage) << c.name;
    const UsageSnapshot& usage = *event->usage;
    EXPECT_EQ(usage.context ? std::optional<QString>(usage.context->label) : std::nullopt, c.context) << c.name;
    EXPECT_EQ(usage.fiveHour ? std::optional<QString>(usage.fiveHour->label) : std::nullopt, c.fiveHour) << c.name;
    EXPECT_EQ(usage.weekly ? std::optional<QString>(usage.weekly->label) : std::nullopt, c.weekly) << c.name;
  }
}

TEST(CodexRolloutScannerTest, WindowsGoToTheMetersTheirLengthsName) {
  const auto window = [](double used, std::optional<int> minutes) {
    QJsonObject w{{"used_percent", used}, {"resets_at", 1778331360}};
    if (minutes) {
      w.insert("window_minutes", *minutes);
    }
    return QJsonValue(w);
  };
  struct Meter {
    QString label;
    int windowMinutes;
  };
  const struct {
    const char* name;
    QJsonValue primary;
    QJsonValue secondary;
    std::optional<Meter> fiveHour;
    std::optional<Meter> weekly;
  } cases[] = {
      {"five hours and seven days", window(0.5, 300), window(42, 10080), Meter{"99.5% left", 300},
       Meter{"58% left", 10080}},
      {"a 10,080-minute primary window alone is the seven-day limit", window(99, 10080), QJsonValue(),
       std::nullopt, Meter{"1% left", 10080}},
      {"swapped windows each go to their own meter", window(42, 10080), window(0.5, 300), Meter{"99.5% left", 300},
       Meter{"58% left", 10080}},
      {"another length keeps its position and its length", window(10, 1440), window(20, 43200),
       Meter{"90% left", 1440}, Meter{"80% left", 43200}},
      {"two windows of one name keep their positions", window(10, 10080), window(20, 10080), Meter{"90% left", 10080},
       Meter{"80% left", 10080}},
      {"without lengths the positions hold", window(10, std::nullopt), window(20, std::nullopt), Meter{"90% left", 0},
       Meter{"80% left", 0}},
  };
  const auto meterOf = [](const std::optional<UsageMetric>& metric) {
    return metric ? std::optional<Meter>(Meter{metric->label, metric->windowMinutes}) : std::nullopt;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto event = codexRolloutUsageEvent(
        tokenCount(QJsonObject(), QJsonObject{{"primary", c.primary}, {"secondary", c.secondary}}), "/r/rollout-a.jsonl");
    ASSERT_TRUE(event && event->usage);
    for (const auto& [shown, expected] : {std::pair{meterOf(event->usage->fiveHour), c.fiveHour},
                                          std::pair{meterOf(event->usage->weekly), c.weekly}}) {
      ASSERT_EQ(shown.has_value(), expected.has_value());
      if (shown) {
        EXPECT_EQ(shown->label, expected->label);
        EXPECT_EQ(shown->windowMinutes, expected->windowMinutes);
      }
    }
    if (event->usage->weekly) {
      EXPECT_EQ(event->usage->weekly->resetsAtMs, 1778331360'000LL);
    }
  }
}

class CodexRolloutFileTest : public ::testing::Test {
 protected:
  void SetUp() override { clearLocalUsageFileEventCache(); }
  TempHome home;
  const QString path = home.file("sessions/2026/05/09/rollout-2025-01-01T10-00-00-0191a2b3-c4d5-7e6f-8a9b-0c1d2e3f4a5b.jsonl");
};

TEST_F(CodexRolloutFileTest, UsageScanPrefersTheNewestRecordWithTokensOrContext) {
  const QJsonObject limitsOnly = tokenCount(QJsonValue(), QJsonObject{{"primary", QJsonObject{{"used_percent", 10}}}},
                                            "2026-05-09T10:05:00Z");
  ASSERT_TRUE(writeFile(path, jsonLines({selfTestRecord(), limitsOnly, QJsonObject{{"type", "response_item"}}})));
  auto event = codexRolloutFileUsageEvent(path);
  ASSERT_TRUE(event && event->usage && event->usage->tokens);
  EXPECT_EQ(event->usage->tokens->label, "8.8k total");  // the newer null info changes nothing
  EXPECT_EQ(event->usage->context->label, "126.2k / 128k");

  ASSERT_TRUE(writeFile(path, jsonLines({limitsOnly, QJsonObject{{"type", "turn_context"}}})));
  event = codexRolloutFileUsageEvent(path);
  ASSERT_TRUE(event && event->usage && event->usage->fiveHour);
  EXPECT_EQ(event->usage->fiveHour->label, "90% left");

  ASSERT_TRUE(writeFile(path, jsonLines({QJsonObject{{"type", "turn_context"}}})));
  EXPECT_FALSE(codexRolloutFileUsageEvent(path));
}

QJsonObject call(const QString& id, const QJsonObject& arguments, const QString& when, const QString& name = "exec_command") {
  return QJsonObject{{"timestamp", when},
                     {"type", "response_item"},
                     {"payload", QJsonObject{{"type", "function_call"},
                                             {"name", name},
                                             {"call_id", id},
                                             {"arguments", QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact))}}}};
}

QJsonObject output(const QString& id) {
  return QJsonObject{{"type", "response_item"}, {"payload", QJsonObject{{"type", "function_call_output"}, {"call_id", id}}}};
}

QJsonObject userMessage(const QString& text) {
  return QJsonObject{{"type", "event_msg"}, {"payload", QJsonObject{{"type", "user_message"}, {"message", text}}}};
}

TEST_F(CodexRolloutFileTest, PendingEscalatedCallsBecomeApprovals) {
  const QDateTime now = utcAt("2026-05-09T12:00:00Z");
  const QString recent = "2026-05-09T11:59:00Z";
  const QJsonObject escalated{{"cmd", "ls"}, {"sandbox_permissions", "require_escalated"}};
  const QJsonObject turn{{"type", "turn_context"}, {"payload", QJsonObject{{"cwd", "/work/app"}}}};
  const struct {
    const char* name;
    QByteArray lines;
    std::optional<QString> message;  // nothing: no event
    const char* risk;
    const char* user;
  } cases[] = {
      {"pending, with the prompt and the turn's folder",
       jsonLines({turn, userMessage("please list"), call("c1", escalated, recent)}), QStringLiteral("Bash - ls"), "low",
       "please list"},
      {"answered later", jsonLines({turn, call("c1", escalated, recent), output("c1")}), std::nullopt, "", ""},
      {"a justification alone", jsonLines({call("c2", {{"command", "rm x"}, {"justification", "clean"}}, recent, "shell")}),
       QStringLiteral("shell - rm x"), "medium", "clean"},
      {"no sign of escalation", jsonLines({call("c3", {{"cmd", "ls"}, {"sandbox_permissions", "x"}}, recent)}),
       std::nullopt, "", ""},
      {"over six hours old", jsonLines({call("c4", escalated, "2026-05-09T05:59:59Z")}), std::nullopt, "", ""},
      {"exactly six hours old", jsonLines({call("c5", escalated, "2026-05-09T06:00:00Z")}), QStringLiteral("Bash - ls"),
       "low", "Approval requested"},
      {"secrets in the command are masked",
       jsonLines({call("c6", {{"cmd", "curl -H token=abc123 x"}, {"sandboxPermissions", "require_escalated"}}, recent)}),
       QStringLiteral("Bash - curl -H token=... x"), "low", "Approval requested"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(writeFile(path, c.lines));
    const auto event = codexRolloutFileApprovalEvent(path, now);
    ASSERT_EQ(event.has_value(), c.message.has_value()) << c.name;
    if (!event) {
      continue;
    }
    EXPECT_EQ(event->message, *c.message) << c.name;
    EXPECT_EQ(event->eventType, "permission_request");
    EXPECT_EQ(event->sourceType, "stable_local_loader");
    EXPECT_EQ(event->risk, QString::fromUtf8(c.risk)) << c.name;
    EXPECT_EQ(event->preview.user, QString::fromUtf8(c.user)) << c.name;
    EXPECT_EQ(event->sessionId, QStringLiteral("0191a2b3-c4d5-7e6f-8a9b-0c1d2e3f4a5b"));
  }
  ASSERT_TRUE(writeFile(path, jsonLines({turn, call("c1", escalated, recent)})));
  const auto event = codexRolloutFileApprovalEvent(path, now);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->cwd, "/work/app");
  EXPECT_EQ(event->toolName, "Bash");
}

TEST(CodexRolloutScannerTest, SessionIdentifiers) {
  EXPECT_EQ(codexSessionID("/r/rollout-2025-01-01T10-00-00-0191a2b3-c4d5-7e6f-8a9b-0c1d2e3f4a5b.jsonl"),
            QStringLiteral("0191a2b3-c4d5-7e6f-8a9b-0c1d2e3f4a5b"));
  EXPECT_EQ(codexSessionID("/r/rollout-2025-01-01T10-00-00-0191a2b3-c4d5-7e6f-8a9b-0c1d-e3f4a5b.jsonl"), std::nullopt);
  EXPECT_EQ(codexSessionID("/r/rollout-short.jsonl"), std::nullopt);
}

TEST(CodexRolloutScannerTest, ApprovalScanWalksThreeLevelsOfNewestFolders) {
  TempHome home;
  const QString root = home.file("sessions");
  const QDateTime t = utcAt("2026-05-09T10:00:00Z");
  ASSERT_TRUE(writeFileAt(root + "/2026/05/09/rollout-a.jsonl", "{}\n", t));
  ASSERT_TRUE(writeFileAt(root + "/2026/05/09/rollout-b.JSONL", "{}\n", t.addSecs(5)));
  ASSERT_TRUE(writeFileAt(root + "/2026/05/09/deeper/rollout-c.jsonl", "{}\n", t.addSecs(9)));
  ASSERT_TRUE(writeFileAt(root + "/rollout-top.jsonl", "{}\n", t.addSecs(1)));
  ASSERT_TRUE(writeFileAt(root + "/notes.jsonl", "{}\n", t.addSecs(2)));
  // Five older day folders next to 09: only the four newest folders of a month are searched.
  for (int day = 1; day <= 5; ++day) {
    const QString folder = root + QStringLiteral("/2026/04/0%1").arg(day);
    ASSERT_TRUE(writeFileAt(folder + "/rollout-d.jsonl", "{}\n", t.addSecs(-day)));
    ASSERT_TRUE(test::setModified(folder, t.addSecs(-100 * day)));
  }
  QStringList names;
  for (const QString& file : recentCodexHotplugRolloutFiles(root, 16)) {
    names.push_back(file.mid(root.size() + 1));
  }
  EXPECT_EQ(names.join(","),
            "rollout-top.jsonl,2026/05/09/rollout-a.jsonl,2026/04/01/rollout-d.jsonl,2026/04/02/rollout-d.jsonl,"
            "2026/04/03/rollout-d.jsonl,2026/04/04/rollout-d.jsonl");
  EXPECT_TRUE(recentCodexHotplugRolloutFiles(home.file("missing"), 16).isEmpty());
}

}  // namespace
}  // namespace tandrel
