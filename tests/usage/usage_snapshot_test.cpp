#include "usage/usage_snapshot.h"

#include "usage/usage_dates.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdio>

#include <cmath>
#include <limits>

namespace tandrel {
namespace {

const QDateTime kNow(QDate(2026, 5, 9), QTime(10, 0), Qt::UTC);

std::optional<UsageSnapshot> snapshotOf(const char* json, const QString& timestamp = QString()) {
  QJsonParseError error{};
  const QJsonObject usage = QJsonDocument::fromJson(QByteArray(json), &error).object();
  EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
  return makeUsageSnapshot(usage, QStringLiteral("Codex CLI"), QStringLiteral("codex"), timestamp, kNow,
                           QTimeZone::utc());
}

UsageMetric metric(const char* label, const char* suffix, std::optional<double> percent, const char* status) {
  return UsageMetric{QString::fromUtf8(label), QString::fromUtf8(suffix), percent, QString::fromUtf8(status)};
}
// The same meter with what its percent counts, when it was read from a key that says so.
UsageMetric left(UsageMetric m) {
  m.percentCountsRemaining = true;
  return m;
}
UsageMetric used(UsageMetric m) {
  m.percentCountsRemaining = false;
  return m;
}
// The same meter with the reset time of its window, and the window's length.
UsageMetric resetting(UsageMetric m, const char* date, int windowMinutes = 0) {
  m.resetsAtMs = parseUsageDate(QString::fromUtf8(date))->toMSecsSinceEpoch();
  m.windowMinutes = windowMinutes;
  return m;
}

using Field = std::optional<UsageMetric> UsageSnapshot::*;

TEST(UsageSnapshotTest, MetricsOfTheEdgeCases) {
  struct Case {
    const char* json;
    Field field;
    std::optional<UsageMetric> expected;
  };
  const Case cases[] = {
      // Percents are on the 0–100 scale as the agents write them: 0.35 is a third of a percent.
      {R"({"context_remaining_percent":0.35})", &UsageSnapshot::context,
       left(metric("0.4%", "0.4%", 0.35, "error"))},
      {R"({"context_remaining_percent":35})", &UsageSnapshot::context, left(metric("35%", "35%", 35, "warning"))},
      {R"({"context_used_tokens":12000,"context_total_tokens":200000,"context_percent":6})", &UsageSnapshot::context,
       used(metric("12k / 200k", "6%", 6, "ok"))},
      {R"({"contextUsed":"500","contextWindow":"8,000"})", &UsageSnapshot::context,
       metric("500 / 8,000", "", std::nullopt, "ok")},
      {R"({"context_label":"N/A","context_pct":"95%"})", &UsageSnapshot::context, used(metric("N/A", "95%", 95, "error"))},
      {R"({"input_tokens":1200,"output_tokens":300,"cache_read_tokens":5000000})", &UsageSnapshot::tokens,
       metric("1.5k total", "1.2k in · 300 out · 5m cache read", std::nullopt, "ok")},
      {R"({"reasoning_tokens":800})", &UsageSnapshot::tokens, metric("800 reasoning", "800 reasoning", std::nullopt, "ok")},
      {R"({"total_tokens":"1,000,000","output_tokens":"12,000"})", &UsageSnapshot::tokens,
       metric("1m total", "12k out", std::nullopt, "ok")},
      {R"({"cost_usd":0.5})", &UsageSnapshot::cost, metric("$0.5", "", std::nullopt, "ok")},
      {R"({"cost":2,"currency":"eur"})", &UsageSnapshot::cost, metric("2.0 EUR", "", std::nullopt, "ok")},
      {R"({"cost":"$1,234.567"})", &UsageSnapshot::cost, metric("$1234.57", "", std::nullopt, "ok")},
      {R"({"cost":0.004,"costUSD":null})", &UsageSnapshot::cost, metric("$0.004", "", std::nullopt, "ok")},
      {R"({"cost":2,"cost_estimate":true})", &UsageSnapshot::cost, std::nullopt},
      {R"({"limit_5h_remaining_percent":80})", &UsageSnapshot::fiveHour, left(metric("80% left", "", 80, "ok"))},
      {R"({"limit_5h_remaining_percent":8})", &UsageSnapshot::fiveHour, left(metric("8% left", "", 8, "error"))},
      {R"({"fiveHourRemainingPercent":"35%","fiveHourLabel":"35%"})", &UsageSnapshot::fiveHour,
       left(metric("35% left", "", 35, "warning"))},
      {R"({"five_hour_percent":75})", &UsageSnapshot::fiveHour, used(metric("75%", "", 75, "warning"))},
      {R"({"percent":1})", &UsageSnapshot::fiveHour, used(metric("1%", "", 1, "ok"))},
      {R"({"quota_percent":0.5})", &UsageSnapshot::fiveHour, used(metric("0.5%", "", 0.5, "ok"))},
      {R"({"quota_percent":0.999})", &UsageSnapshot::fiveHour, used(metric("1%", "", 0.999, "ok"))},
      {R"({"limit_5h_remaining_percent":99.5})", &UsageSnapshot::fiveHour,
       left(metric("99.5% left", "", 99.5, "ok"))},
      {R"({"quota_percent":99.96})", &UsageSnapshot::fiveHour, used(metric("100%", "", 99.96, "error"))},
      {R"({"label":"near limit"})", &UsageSnapshot::fiveHour, metric("near limit", "", std::nullopt, "warning")},
      {R"({"label":"Usage limit reached"})", &UsageSnapshot::fiveHour, std::nullopt},
      {R"({"five_hour_label":"unknown"})", &UsageSnapshot::fiveHour, std::nullopt},
      {R"({"five_hour_reset":"2026-05-09T12:56:00Z"})", &UsageSnapshot::fiveHour,
       resetting(metric("Resets", "12:56 PM", std::nullopt, "ok"), "2026-05-09T12:56:00Z")},
      // A window the agent names: its length and, more than a day away, the reset's date.
      {R"({"limit_5h_remaining_percent":1,"limit_5h_reset":"2026-05-12T08:00:00Z","limit_5h_window_minutes":10080})",
       &UsageSnapshot::fiveHour,
       resetting(left(metric("1% left", "May 12", 1, "error")), "2026-05-12T08:00:00Z", 10080)},
      {R"({"weekly_percent":3,"weekly_window_minutes":"90.5"})", &UsageSnapshot::weekly,
       used(metric("3%", "", 3, "ok"))},
      {R"({"daily_remaining_percent":50,"daily_reset":"resets 2026-05-09T23:00:00Z"})", &UsageSnapshot::daily,
       resetting(left(metric("50% left", "11:00 PM", 50, "ok")), "2026-05-09T23:00:00Z")},
      {R"({"weekly_limit_percent":18,"weekly_resets":"2026-05-12T00:00:00Z"})", &UsageSnapshot::weekly,
       resetting(used(metric("18%", "May 12", 18, "ok")), "2026-05-12T00:00:00Z")},
      {R"({"label":"Usage limit reached"})", &UsageSnapshot::rateLimit, metric("Blocked", "", std::nullopt, "error")},
      {R"({"rate_limit_reset":"2026-05-09T12:56:00Z"})", &UsageSnapshot::rateLimit,
       metric("Limited", "12:56 PM", std::nullopt, "warning")},
      {R"({"warning":"WARNING"})", &UsageSnapshot::rateLimit, metric("Warning", "", std::nullopt, "warning")},
      {R"({"rate_label":"slow down","blocked":0})", &UsageSnapshot::rateLimit,
       metric("slow down", "", std::nullopt, "warning")},
      {R"({"blocked":"blocked"})", &UsageSnapshot::rateLimit, metric("Blocked", "", std::nullopt, "error")},
  };
  for (const Case& c : cases) {
    const auto snapshot = snapshotOf(c.json);
    if (!c.expected) {
      EXPECT_TRUE(!snapshot || !((*snapshot).*(c.field)).has_value()) << c.json;
      continue;
    }
    ASSERT_TRUE(snapshot.has_value()) << c.json;
    EXPECT_EQ((*snapshot).*(c.field), c.expected) << c.json;
  }
}

TEST(UsageSnapshotTest, HeadlineAndProvenance) {
  struct Case {
    const char* json;
    const char* label;
    std::optional<double> percent;
  };
  const Case cases[] = {
      {R"({"five_hour_percent":75,"weekly_percent":18})", "5h 75% · 7d 18%", 75},
      {R"({"label":"Usage limit reached","weekly_percent":40})", "5h limit · Blocked", 40},
      {R"({"daily_percent":20,"context_percent":70})", "Daily · 20%", 20},
      {R"({"weekly_label":"ok","context_percent":70})", "7d limit · ok", 70},
      {R"({"context_remaining_percent":0.35})", "Context · 0.4%", 0.35},
      {R"({"limit_5h_percent":10,"limit_5h_window_minutes":1440})", "1d limit · 10%", 10},
      {R"({"limit_5h_percent":10,"limit_5h_window_minutes":90,"weekly_percent":3,"weekly_window_minutes":10080})",
       "90m 10% · 7d 3%", 10},
      {R"({"total_tokens":999,"cost":1})", "Tokens · 999 total", std::nullopt},
      {R"({"amount":"3.50"})", "Cost · $3.5", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto snapshot = snapshotOf(c.json);
    ASSERT_TRUE(snapshot.has_value()) << c.json;
    EXPECT_EQ(snapshot->label, QString::fromUtf8(c.label)) << c.json;
    EXPECT_EQ(snapshot->percent, c.percent) << c.json;
  }

  const auto defaults = snapshotOf(R"({"percent":5})");
  EXPECT_EQ(defaults->dataSource, "hook");
  EXPECT_EQ(defaults->quality, UsageQuality::official);
  EXPECT_EQ(defaults->sourceClass, UsageSourceClass::officialPush);
  EXPECT_EQ(defaults->toolID, "codex-cli");
  EXPECT_EQ(defaults->tool, "Codex CLI");
  EXPECT_EQ(defaults->source, "codex");
  EXPECT_EQ(defaults->observedAt, "2026-05-09T10:00:00Z");
  EXPECT_EQ(defaults->updated, "0s ago");

  const auto given = snapshotOf(R"({"percent":5,"data_source":"rollout","tool_id":"my-tool"})",
                                QStringLiteral("2026-05-09T09:30:00Z"));
  EXPECT_EQ(given->observedAt, "2026-05-09T09:30:00Z");
  EXPECT_EQ(given->updated, "30m ago");
  EXPECT_EQ(given->toolID, "my-tool");
  EXPECT_EQ(given->quality, UsageQuality::stableLocal);
  EXPECT_EQ(snapshotOf(R"({"percent":5,"observedAt":"2026-05-08T10:00:00Z"})", "2026-05-09T09:30:00Z")->updated,
            "1d ago");

  for (const char* nothing : {R"({})", R"({"context_label":"unknown"})", R"({"note":"x","input_tokens":"many"})"}) {
    EXPECT_FALSE(snapshotOf(nothing).has_value()) << nothing;
  }
}

TEST(UsageSnapshotTest, QualityAndSourceClassFromTheDataSource) {
  struct Case {
    const char* dataSource;
    UsageQuality quality;
    UsageSourceClass sourceClass;
  };
  const Case cases[] = {
      {"hook", UsageQuality::official, UsageSourceClass::officialPush},
      {"Demo_Feed", UsageQuality::demo, UsageSourceClass::unsupported},
      {"wrapper", UsageQuality::wrapperExplicit, UsageSourceClass::wrapperExplicit},
      {"cli_wrapper_explicit", UsageQuality::wrapperExplicit, UsageSourceClass::wrapperExplicit},
      {"wrapper-bridge", UsageQuality::official, UsageSourceClass::officialPush},
      {"transcript", UsageQuality::stableLocal, UsageSourceClass::stableLocalLoader},
      {"local-transcript-block", UsageQuality::stableLocal, UsageSourceClass::stableLocalLoader},
      {"claude.JSONL", UsageQuality::stableLocal, UsageSourceClass::stableLocalLoader},
      {"oauth_usage", UsageQuality::official, UsageSourceClass::remoteOptIn},
      {"codex_rate_limit", UsageQuality::official, UsageSourceClass::rateLimitSignal},
      {"webhook", UsageQuality::official, UsageSourceClass::officialPush},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(usageQuality(QString::fromUtf8(c.dataSource)), c.quality) << c.dataSource;
    EXPECT_EQ(usageSourceClass(QString::fromUtf8(c.dataSource)), c.sourceClass) << c.dataSource;
  }
  EXPECT_EQ(rawValue(UsageQuality::stableLocal), "stableLocal");
  EXPECT_EQ(parseUsageSourceClass(u"rateLimitSignal"), UsageSourceClass::rateLimitSignal);
  EXPECT_EQ(parseUsageSourceClass(u"official_push"), std::nullopt);
}

TEST(UsageSnapshotTest, NonFiniteAndHugeNumbersGiveNoNumber) {
  // Strings that spell infinities or overflow are skipped like any other unreadable value; the
  // next key is tried.
  const auto snapshot = snapshotOf(
      R"({"five_hour_percent":"inf","fiveHourPercent":"1e400","percent":"nan","weekly_percent":"-Infinity",)"
      R"("cost_amount":"1e999","cost":"$2","context_percent":1e300,"total_tokens":"1e400","output_tokens":1e300})");
  ASSERT_TRUE(snapshot.has_value());
  EXPECT_FALSE(snapshot->fiveHour.has_value());
  EXPECT_FALSE(snapshot->weekly.has_value());
  EXPECT_EQ(snapshot->cost->label, "$2.0");
  // Finite but beyond any integer: shown without converting to one.
  EXPECT_EQ(snapshot->context->label, "1e+300%");
  EXPECT_EQ(snapshot->context->status, "error");
  EXPECT_EQ(snapshot->tokens->label, "1e+294m total");

  EXPECT_EQ(formatWholePercent(std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(formatWholePercent(std::nan("")), "");
  EXPECT_EQ(formatWholePercent(9.3e18), "9.3e+18");
}

TEST(UsageSnapshotTest, TextFunctions) {
  EXPECT_EQ(formatWholePercent(41.5), "42");
  EXPECT_EQ(formatWholePercent(-41.5), "-42");
  EXPECT_EQ(formatWholePercent(0.2), "0");
  EXPECT_EQ(formatWholePercent(-0.2), "0");
  EXPECT_EQ(formatCostAmount(12), "12.0");
  EXPECT_EQ(formatCostAmount(3.5), "3.5");
  EXPECT_EQ(formatCostAmount(0.004), "0.004");
  EXPECT_EQ(formatCostAmount(1234.567), "1234.57");
  EXPECT_EQ(compactUsageCount(1'000'000), "1m");
  EXPECT_EQ(compactUsageCount(12'000), "12k");
  EXPECT_EQ(compactUsageCount(1'500), "1.5k");
  EXPECT_EQ(compactUsageCount(999), "999");
  EXPECT_EQ(compactUsageCount(-2'500), "-2.5k");
  // Exact halves round as printf rounds them: to the even digit.
  EXPECT_EQ(compactUsageCount(1'250), "1.2k");
  EXPECT_EQ(compactUsageCount(1'350), "1.4k");
  EXPECT_EQ(compactUsageCount(2'500'000.5), "2.5m");
  EXPECT_EQ(compactUsageCount(0.5), "0");
  EXPECT_EQ(compactUsageCount(1.5), "2");
  EXPECT_EQ(formatCostAmount(0.125), "0.12");
  EXPECT_EQ(formatCostAmount(0.375), "0.38");
  EXPECT_EQ(contextPairDisplayLabel("12000", "200000"), "12k / 200k");
  EXPECT_EQ(contextPairDisplayLabel("500", "8000"), "500 / 8000");
  EXPECT_EQ(contextPairDisplayLabel("lots", "200000"), "lots / 200000");
  EXPECT_EQ(remainingQuotaDisplayLabel("80", std::nullopt), "80");
  EXPECT_EQ(remainingQuotaDisplayLabel(" 80% ", std::nullopt), "80% left");
  EXPECT_EQ(remainingQuotaDisplayLabel("1,5%", std::nullopt), "15% left");
  EXPECT_EQ(remainingQuotaDisplayLabel("80", 79.6), "80% left");
  EXPECT_EQ(remainingQuotaDisplayLabel("Limit soon", 20), "Limit soon");
  EXPECT_EQ(remainingQuotaDisplayLabel("soon", 20), "soon");
  EXPECT_EQ(usageStatus("Rate_Limit hit", 1), "error");
  EXPECT_EQ(usageStatus("ok", 90), "error");
  EXPECT_EQ(remainingUsageStatus("ok", 40), "warning");
  EXPECT_EQ(remainingUsageStatus("ok", std::nullopt), "ok");
}

// Compact counts print as printf's "%.1fm", "%.1fk" and "%.0f" do, also where a value lies exactly
// halfway between two printed ones (printf rounds the exact value, a tie to even).
TEST(UsageSnapshotTest, PercentsAndWindowsAsTheMetersName) {
  // A little used or a little left keeps a decimal; everything else is whole.
  const std::pair<double, const char*> percents[] = {
      {0, "0"},      {0.04, "0"},       {0.05, "0.1"}, {0.5, "0.5"},   {0.96, "1"},      {1, "1"},
      {41.5, "42"},  {98.9, "99"},      {99, "99"},    {99.04, "99"},  {99.5, "99.5"},   {99.96, "100"},
      {100, "100"},  {130, "130"},      {-0.5, "-1"},  {std::numeric_limits<double>::infinity(), ""},
  };
  for (const auto& [value, text] : percents) {
    EXPECT_EQ(formatUsagePercent(value), QString::fromUtf8(text)) << value;
  }
  const std::tuple<int, const char*, const char*> windows[] = {
      {300, "5-hour", "5h"}, {10080, "7-day", "7d"}, {1440, "1-day", "1d"}, {90, "90-minute", "90m"},
      {120, "2-hour", "2h"}, {43200, "30-day", "30d"},
  };
  for (const auto& [minutes, name, shortName] : windows) {
    EXPECT_EQ(usageWindowName(minutes), QString::fromUtf8(name)) << minutes;
    EXPECT_EQ(usageWindowShortName(minutes), QString::fromUtf8(shortName)) << minutes;
  }
  UsageMetric named = metric("1% left", "", 1, "error");
  EXPECT_EQ(usageQuotaRowLabel(named, "5-hour limit"), "5-hour limit") << "no window named";
  named.windowMinutes = 10080;
  EXPECT_EQ(usageQuotaRowLabel(named, "5-hour limit"), "7-day limit");
  EXPECT_EQ(usageQuotaShortName(named, "5h"), "7d");
}

TEST(UsageSnapshotTest, CompactCountsRoundAsPrintfPrintsThem) {
  const struct {
    double value;
    const char* expected;
  } cases[] = {
      {1'250, "1.2k"}, {-1'250, "-1.2k"}, {1'150, "1.1k"}, {2'250'000, "2.2m"}, {0.5, "0"},  {2.5, "2"},
      {-0.5, "-0"},    {0.4, "0"},        {-0.4, "-0"},    {1'050, "1.1k"},    {999.5, "1000"}, {1'350, "1.4k"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compactUsageCount(c.value), c.expected) << c.value;
  }
  const auto printfCompact = [](double value) {
    char buffer[64];
    const double magnitude = std::fabs(value);
    if (magnitude >= 1'000'000.0) {
      std::snprintf(buffer, sizeof buffer, "%.1fm", value / 1'000'000.0);
    } else if (magnitude >= 1'000.0) {
      std::snprintf(buffer, sizeof buffer, "%.1fk", value / 1'000.0);
    } else {
      std::snprintf(buffer, sizeof buffer, "%.0f", value);
    }
    return QString::fromLatin1(buffer).remove(QLatin1String(".0"));
  };
  for (double value = -3'000'000; value <= 3'000'000; value += 37.25) {
    ASSERT_EQ(compactUsageCount(value), printfCompact(value)) << value;
    ASSERT_EQ(compactUsageCount(value / 1'024), printfCompact(value / 1'024)) << value;
  }
}

TEST(UsageSnapshotTest, NumbersIgnoreTheUserLocale) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const auto snapshot = snapshotOf(R"({"cost":"2.5","context_percent":"62.5","input_tokens":1500})");
  QLocale::setDefault(saved);
  ASSERT_TRUE(snapshot.has_value());
  EXPECT_EQ(snapshot->cost->label, "$2.5");
  EXPECT_EQ(snapshot->context->percent, 62.5);
  EXPECT_EQ(snapshot->tokens->label, "1.5k total");
}

}  // namespace
}  // namespace tandrel
