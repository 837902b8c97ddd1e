// The usage header's pure parts: what a meter row shows, the rows of a reading, the status
// colours, the tabs for one to nine tools, the meter rows under them, the bars' growth and the
// top status line's texts.

#include "island/usage_header.h"

#include "ui/island_geometry.h"
#include "ui/island_paint.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>

#include <cmath>
#include <limits>

namespace tandrel {
namespace {

UsageMetric metric(const QString& label, const QString& suffix, std::optional<double> percent,
                   const QString& status = QStringLiteral("ok")) {
  return UsageMetric{label, suffix, percent, status};
}

TEST(UsageHeader, CodexShowsWhatIsLeftAndClaudeWhatIsUsed) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* name;
    UsageMetric metric;
    const char* row;
    const char* tool;
    const char* dataSource;
    UsageMetric shown;
  } cases[] = {
      {"Codex, 23% used", metric("23% used", "3pm", 23), "5-hour limit", "Codex", "hook",
       metric("77% left", "3pm", 77, "ok")},
      {"Codex, 95% used", metric("95% used", "", 95), "5-hour limit", "Codex", "hook",
       metric("5% left", "", 5, "error")},
      {"Codex, 40% left is a warning", metric("40% left", "", 40), "7-day limit", "codex-cli", "hook",
       metric("40% left", "", 40, "warning")},
      {"Codex, 41% left is fine", metric("41% remaining", "", 41), "7-day limit", "Codex", "hook",
       metric("41% left", "", 41, "ok")},
      {"OpenAI, 10% left is an error", metric("10% available", "", 10), "5-hour limit", "OpenAI", "hook",
       metric("10% left", "", 10, "error")},
      {"Claude context 30%, from a transcript, counts what remains", metric("60k / 200k", "", 30),
       "Context window", "Claude", "transcript", metric("60k / 200k", "70% used", 70, "warning")},
      {"Claude context from the status line counts what remains", metric("150k / 200k", "75%", 75),
       "Context window", "Claude", "statusline", metric("150k / 200k", "25% used", 25, "ok")},
      {"Claude context from a hook counts what is used", metric("60k / 200k", "", 30), "Context window", "Claude",
       "hook", metric("60k / 200k", "30% used", 30, "ok")},
      {"Claude context from local_jsonl", metric("x", "", 95), "Context window", "Claude", "Local_JSONL",
       metric("x", "5% used", 5, "ok")},
      {"Claude, 59.9% used", metric("59.9%", "", 59.9), "5-hour limit", "Claude", "hook",
       metric("60% used", "", 59.9, "ok")},
      {"Claude, 60% used", metric("60%", "", 60), "5-hour limit", "Claude", "hook",
       metric("60% used", "", 60, "warning")},
      {"Claude, 90% used", metric("90% used", "", 90), "5-hour limit", "Claude", "hook",
       metric("90% used", "", 90, "error")},
      {"Claude, 25% left", metric("25% left", "", 25), "7-day limit", "Claude", "hook",
       metric("75% used", "", 75, "warning")},
      {"out of range is clamped", metric("130%", "", 130), "5-hour limit", "Claude", "hook",
       metric("100% used", "", 100, "error")},
      {"another tool is shown as it is", metric("23% used", "3pm", 23), "5-hour limit", "Cursor", "hook",
       metric("23% used", "3pm", 23)},
      {"no percent is shown as it is", metric("Blocked", "3pm", std::nullopt, "error"), "5-hour limit", "Codex",
       "hook", metric("Blocked", "3pm", std::nullopt, "error")},
      {"a percent that is not finite shows no number", metric("Blocked", "", inf, "error"), "5-hour limit",
       "Codex", "hook", metric("Blocked", "", std::nullopt, "error")},
      {"NaN likewise", metric("x", "", std::nan(""), "ok"), "Context window", "Claude", "transcript",
       metric("x", "", std::nullopt, "ok")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(usageMetricForDisplay(c.metric, c.row, c.tool, c.dataSource), c.shown) << c.name;
  }
}

TEST(UsageHeader, AReadingOffersItsQuotaRowsOrItsTokensAndCost) {
  const UsageMetric m = metric("1", "", 1);
  const UsageMetric noWeek = metric("No 7d data", "", std::nullopt, "unknown");
  const struct {
    const char* name;
    UsageSnapshot snapshot;
    std::vector<std::pair<QString, UsageMetric>> rows;
  } cases[] = {
      {"context, five-hour, weekly and tokens",
       [&] {
         UsageSnapshot s;
         s.context = s.fiveHour = s.weekly = s.tokens = m;
         return s;
       }(),
       {{"Context window", m}, {"5-hour limit", m}, {"7-day limit", m}}},
      {"only five-hour: a placeholder week",
       [&] {
         UsageSnapshot s;
         s.fiveHour = m;
         s.tokens = m;
         return s;
       }(),
       {{"5-hour limit", m}, {"7-day limit", noWeek}}},
      {"a rate limit stands in for five hours",
       [&] {
         UsageSnapshot s;
         s.rateLimit = metric("Blocked", "", std::nullopt, "error");
         return s;
       }(),
       {{"5-hour limit", metric("Blocked", "", std::nullopt, "error")}, {"7-day limit", noWeek}}},
      {"tokens and cost",
       [&] {
         UsageSnapshot s;
         s.tokens = s.cost = m;
         return s;
       }(),
       {{"Tokens", m}, {"Cost", m}}},
      {"nothing to show", UsageSnapshot{}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.snapshot.rows(), c.rows) << c.name;
  }
}

TEST(UsageHeader, StatusAndRowColours) {
  const QColor fallback(1, 2, 3);
  EXPECT_EQ(usageStatusColor("error", fallback), QColor::fromRgbF(1, 136 / 255.0, 136 / 255.0));
  EXPECT_EQ(usageStatusColor("warning", fallback), QColor::fromRgbF(1, 187 / 255.0, 0));
  EXPECT_EQ(usageStatusColor("unknown", fallback), QColor::fromRgbF(1, 1, 1, 0.16));
  EXPECT_EQ(usageStatusColor("ok", fallback), fallback);
  const QColor purple = QColor::fromRgbF(139 / 255.0, 92 / 255.0, 246 / 255.0);
  const QColor blue = QColor::fromRgbF(77 / 255.0, 159 / 255.0, 1);
  const QColor green = QColor::fromRgbF(0, 214 / 255.0, 163 / 255.0);
  EXPECT_EQ(usageRowColor("7-day limit", 0), green);
  EXPECT_EQ(usageRowColor("Context window", 2), purple);
  EXPECT_EQ(usageRowColor("Tokens", 0), purple);
  EXPECT_EQ(usageRowColor("Cost", 1), blue);
}

TEST(UsageHeader, TabsKeepRowsOfFourAndWrapDownwards) {
  const QStringList names = {"Claude", "Codex", "Cursor", "Trae", "OpenCode", "Gemini CLI", "Kimi", "Pi",
                             "Factory Droid"};
  // Widths: 7 per character plus 28, from 62 to 76.
  EXPECT_EQ(usageTabRects({"Pi 3"}).at(0).width(), 62);
  EXPECT_EQ(usageTabRects({"ABCDEFGHIJKL"}).at(0).width(), 76);
  EXPECT_EQ(usageTabRects({"Claude"}).at(0).width(), 70);
  for (int count = 1; count <= 9; ++count) {
    SCOPED_TRACE(count);
    const auto rects = usageTabRects(names.mid(0, count));
    ASSERT_EQ(rects.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(rects[i].y(), 38 + 24 * (i / 4)) << i;  // never above the first row
      EXPECT_EQ(rects[i].height(), 21);
      if (i % 4 == 0) {
        EXPECT_EQ(rects[i].x(), 138);
      } else {
        EXPECT_EQ(rects[i].x(), rects[i - 1].right() + 6);
      }
      EXPECT_LE(rects[i].right(), 540 - 22);
    }
    EXPECT_EQ(usageTabRowCount(count), (count + 3) / 4);
    EXPECT_EQ(usageTabRowsShift(count), 24 * ((count + 3) / 4 - 1));
  }
  EXPECT_EQ(usageTabRowCount(0), 1);
}

TEST(UsageHeader, MeterRowsSitUnderTheTabsAndEndAboveTheSeparator) {
  UsageSnapshot s;
  s.dataSource = QStringLiteral("hook");
  s.context = metric("60k / 200k", "", 30);
  s.fiveHour = metric("42% used", "3pm", 42);
  s.weekly = metric("18% used", "Mon", 18);
  const struct {
    int tools;
    std::vector<qreal> ys;
  } cases[] = {{1, {64, 91, 118}}, {4, {64, 91, 118}}, {5, {88, 110, 132}}, {9, {112}}};
  for (const auto& c : cases) {
    const auto rows = usageMeterRows(s, QStringLiteral("Claude"), 540, c.tools);
    ASSERT_EQ(rows.size(), c.ys.size()) << c.tools;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].labelRect.y(), c.ys[i]) << c.tools;
      EXPECT_LE(rows[i].trackRect.bottom(), 154) << c.tools;
    }
  }
  const auto rows = usageMeterRows(s, QStringLiteral("Claude"), 540, 1);
  EXPECT_EQ(rows[0].rowLabel, QStringLiteral("Context window"));
  EXPECT_EQ(rows[0].metric.suffix, QStringLiteral("30% used"));
  EXPECT_EQ(rows[0].statusColor, usageRowColor("Context window", 0));
  EXPECT_EQ(rows[1].labelRect, QRectF(138, 91, 540 - 22 - 52 - 112 - 138 - 8, 13));
  EXPECT_EQ(rows[1].valueRect, QRectF(540 - 22 - 52 - 112, 91, 112, 13));
  EXPECT_EQ(rows[1].suffixRect, QRectF(540 - 22 - 96, 91, 96, 13));
  EXPECT_EQ(rows[1].trackRect, QRectF(138, 109, 540 - 22 - 138, 4));
  EXPECT_DOUBLE_EQ(*rows[2].fillFraction, 0.18);

  // A placeholder week has no bar and a faint value; an infinite percent no bar either.
  UsageSnapshot odd;
  odd.fiveHour = metric("Blocked", "", std::numeric_limits<double>::infinity(), "error");
  const auto oddRows = usageMeterRows(odd, QStringLiteral("Codex"), 540, 1);
  ASSERT_EQ(oddRows.size(), 2u);
  EXPECT_FALSE(oddRows[0].fillFraction);
  EXPECT_EQ(oddRows[0].valueColor, usageStatusColor("error", QColor()));
  EXPECT_FALSE(oddRows[1].fillFraction);
  EXPECT_EQ(oddRows[1].valueColor, QColor::fromRgbF(1, 1, 1, 0.36));
  // Without live usage the notice moves with the tabs as well.
  EXPECT_EQ(noLiveUsageTitleRect(540, 3), QRectF(138, 52, 540 - 138 - 28, 16));
  EXPECT_EQ(noLiveUsageHintRect(540, 6), QRectF(138, 100, 540 - 138 - 28, 16));
}

// A wrapped run's token line: the total ends left of the in/out breakdown drawn beside it, with a
// gap, whatever the breakdown's width; short suffixes leave the value where it always is.
TEST(UsageHeader, TheTokenTotalEndsLeftOfItsBreakdown) {
  for (const char* suffix : {"1.2k in · 59 out", "1.2k in · 59 out · 100 cache read", "3pm", ""}) {
    SCOPED_TRACE(suffix);
    UsageSnapshot s;
    s.tokens = metric("1.3k total", QString::fromUtf8(suffix), std::nullopt);
    const auto rows = usageMeterRows(s, QStringLiteral("Gemini"), 540, 1);
    ASSERT_EQ(rows.size(), 1u);
    const qreal drawn = std::min<qreal>(std::ceil(island_paint::textWidth(rows[0].metric.suffix, islandFont(9))), 96);
    const qreal suffixStart = rows[0].suffixRect.right() - drawn;
    EXPECT_LE(rows[0].valueRect.right(), suffixStart - 8);
    EXPECT_LE(rows[0].valueRect.right(), 540 - 22 - 52);
    EXPECT_EQ(rows[0].labelRect.right() + 8, rows[0].valueRect.left());
  }
}

TEST(UsageHeader, BarsGrowInOverHalfASecond) {
  const struct {
    double now;
    double growth;
  } cases[] = {{10, 0}, {9, 0}, {10.25, 0.875}, {10.5, 1}, {12, 1}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(usageMeterGrowth(c.now, 10), c.growth) << c.now;
  }
}

TEST(UsageHeader, TheSmallMetersBarNeverRunsUnderItsLabel) {
  // The painter sizes the label's box with the font's own metrics; the text is then drawn on a
  // surface of the view's pixel ratio, whose metrics may round differently.
  const QFont font = islandFont(10, QFont::Bold);
  const qreal textWidth = QFontMetricsF(font).horizontalAdvance(kTopStatusMeterWidestText);
  const QRectF settings(505, 5, 24, 24);
  for (const qreal ratio : {1.0, 2.0}) {
    QImage surface(QSize(540, 40) * ratio, QImage::Format_ARGB32_Premultiplied);
    surface.setDevicePixelRatio(ratio);
    const QFontMetricsF drawn(font, &surface);
    for (const double percent : {0.0, 0.5, 1.0, 9.5, 42.0, 88.8, 99.0, 99.5, 99.9, 100.0, 250.0}) {
      SCOPED_TRACE(testing::Message() << "ratio " << ratio << ", " << percent << "%");
      UsageSnapshot snapshot;
      snapshot.percent = percent;
      const auto meter = expandedTopStatusMeter(snapshot, settings, textWidth);
      ASSERT_TRUE(meter.has_value());
      const QRectF text = drawn.boundingRect(meter->textRect, Qt::AlignRight | Qt::AlignVCenter, meter->text);
      EXPECT_LT(meter->track.right(), text.left());
      EXPECT_LE(meter->track.left() + meter->fillWidth, meter->track.right());
      EXPECT_LE(text.right(), settings.left());
    }
  }
}

TEST(UsageHeader, TopStatusLineTextsAndBoxes) {
  const auto layout = expandedTopStatusLayout(540);
  EXPECT_EQ(layout.dot, QPointF(138, 15));
  EXPECT_EQ(layout.toolText, QRectF(150, 7, 44, 16));
  EXPECT_EQ(layout.usageText, QRectF(200, 7, 250, 16));
  EXPECT_EQ(expandedTopStatusLayout(200).usageText.width(), 40);

  UsageSnapshot s;
  s.fiveHour = metric("42% used", "", 42.4);
  s.weekly = metric("18% used", "", 18);
  EXPECT_EQ(expandedTopQuotaText(s), QStringLiteral("5h 42% \u00B7 7d 18%"));
  EXPECT_EQ(expandedTopQuotaText(std::nullopt), std::nullopt);
  EXPECT_EQ(expandedTopQuotaText(UsageSnapshot{}), std::nullopt);
  UsageSnapshot limited;
  limited.rateLimit = metric("Blocked", "", std::nullopt, "error");
  EXPECT_EQ(expandedTopQuotaText(limited), QStringLiteral("5h Blocked"));
  EXPECT_EQ(expandedTopQuotaPart("7d", metric("12k used", "", std::nullopt)), QStringLiteral("7d 12k"));
  EXPECT_EQ(expandedTopQuotaPart("7d", metric(" used", "", std::nullopt)), std::nullopt);
  EXPECT_EQ(expandedTopQuotaPart("7d", metric("x", "", std::numeric_limits<double>::infinity())),
            QStringLiteral("7d x"));

  const QRectF settings(505, 5, 24, 24);
  EXPECT_EQ(expandedTopQuotaRect(540, settings), QRectF(393, 8, 104, 18));
  EXPECT_EQ(expandedTopQuotaRect(400, QRectF(365, 5, 24, 24)).width(), 72);

  s.percent = 42.9;
  s.fiveHour->status = QStringLiteral("warning");
  const auto meter = expandedTopStatusMeter(s, settings, 30);
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->textRect, QRectF(467, 8, 30, 18)) << "ends 8 before the settings button";
  EXPECT_EQ(meter->track, QRectF(417, 15, 44, 3)) << "ends 6 before the text's box";
  EXPECT_DOUBLE_EQ(meter->fillWidth, 44 * 0.429);
  EXPECT_EQ(meter->text, QStringLiteral("43%")) << "rounded, as the meter rows write it";
  EXPECT_EQ(meter->status, QStringLiteral("warning"));
  s.percent = 0.5;
  EXPECT_EQ(expandedTopStatusMeter(s, settings, 30)->text, QStringLiteral("0.5%"));
  s.percent = 130;
  EXPECT_EQ(expandedTopStatusMeter(s, settings, 30)->text, QStringLiteral("100%"));
  EXPECT_DOUBLE_EQ(expandedTopStatusMeter(s, settings, 30)->fillWidth, 44);
  s.percent = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(expandedTopStatusMeter(s, settings, 30));
  s.percent.reset();
  EXPECT_FALSE(expandedTopStatusMeter(s, settings, 30));

  UsageSnapshot contextOnly;
  contextOnly.context = metric("x", "", 95, "error");
  EXPECT_EQ(usageHeadlineStatus(contextOnly, true), QStringLiteral("error"));
  EXPECT_EQ(usageHeadlineStatus(contextOnly, false), QStringLiteral("ok"));
}

}  // namespace
}  // namespace tandrel
