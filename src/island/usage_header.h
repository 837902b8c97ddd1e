#pragma once

// The expanded island's usage header as pure functions: what a meter row shows for a reading
// (Codex as quota left, Claude as quota used), the status colours, the tabs of the usage tools,
// the meter rows with their boxes and bars, the top status line's texts and boxes, and the bars'
// growth after the usage tool changes. Drawing (tandrel_view_usage.cpp) and hit-testing read the
// same rectangles. View coordinates, y down.

#include "usage/usage_snapshot.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tandrel {

namespace usage_header {
inline constexpr qreal kColumnX = 138;
inline constexpr qreal kTabRowY = 38;
inline constexpr qreal kTabHeight = 21;
inline constexpr qreal kTabRowPitch = 24;
inline constexpr int kTabsPerRow = 4;
inline constexpr qreal kTabGap = 6;
inline constexpr qreal kMeterRowsTop = 64;
inline constexpr qreal kMeterRowPitch = 27;
// Label line and bar of one meter row (the bar sits 18 below the row's top and is 4 high).
inline constexpr qreal kMeterRowHeight = 22;
inline constexpr int kMaximumMeterRows = 3;
// Meter rows end above the separator at 155 that divides the header from the inbox toolbar.
inline constexpr qreal kMeterRowsBottom = 154;
inline constexpr qreal kRightMargin = 22;
inline constexpr double kMeterGrowthSeconds = 0.5;
}  // namespace usage_header

// "error" light red, "warning" amber, "unknown" a faint white, anything else `fallback`.
QColor usageStatusColor(const QString& status, const QColor& fallback);
// The colour of a meter row: purple for the context window, blue for the five-hour limit, green
// for the seven-day limit; other rows by their position in the same order.
QColor usageRowColor(const QString& rowLabel, int position);

// The percent of a metric when it is a finite number; a reading that is not ("inf", NaN) shows
// no number and no bar.
std::optional<double> finiteUsagePercent(const std::optional<double>& percent);

// A row's metric as shown. For Codex and OpenAI the percent becomes the share left, for Claude
// the share used, judged from the metric's words ("left", "remaining", "available", "used") and,
// for the context window, from the data source (local files count what remains); then clamped to
// 0...100 and written "<n>% left" or "<n>% used" (the suffix of the context row, the label of the
// others) with its status (left: error at 10 or less, warning at 40 or less; used: error at 90 or
// more, warning at 60 or more). Other tools and metrics without a percent come back unchanged,
// apart from a percent that is not finite, which is dropped.
UsageMetric usageMetricForDisplay(const UsageMetric& metric, const QString& rowLabel, const QString& tool,
                                  const QString& dataSource);

// A reading as `tool`'s meters show it: every metric through usageMetricForDisplay under its
// row's label (the context window, the five-hour, daily and seven-day limits, the rate limit as
// the five-hour row), and the headline made again from them. The ticker, the notch's word, the
// header's small meter and quota summary and the meter rows all read this one form, so they say
// the same of one reading.
UsageSnapshot usageSnapshotForDisplay(const UsageSnapshot& snapshot, const QString& tool);

// Tabs: four to a row from y 38; a fifth tool and later wrap into further rows below, 24 apart.
int usageTabRowCount(int toolCount);
// One rectangle per tool, in order: 7 per character of the name plus 28, from 62 to 76 wide, 6
// apart, from x 138.
std::vector<QRectF> usageTabRects(const QStringList& tools);
// How far the content under the tabs moves down for the extra tab rows of `toolCount` tools.
qreal usageTabRowsShift(int toolCount);

// One meter row of the active reading, laid out in a view `viewWidth` wide.
struct UsageMeterRow {
  QString rowLabel;    // "Context window", "5-hour limit", …
  UsageMetric metric;  // as displayed
  QColor statusColor;  // the bar's and the value's colour
  QColor valueColor;   // statusColor, or a faint white for an "unknown" metric
  QRectF labelRect;
  QRectF valueRect;
  QRectF suffixRect;
  QRectF trackRect;
  std::optional<qreal> fillFraction;  // of the track, 0...1; none without a percent
};
// The first three rows of `snapshot` for `tool`: from y 64 (lower by the extra tab rows) 27 apart,
// closer (down to 22) when the tabs took room, and only the rows that end above the separator.
std::vector<UsageMeterRow> usageMeterRows(const UsageSnapshot& snapshot, const QString& tool, qreal viewWidth,
                                          int toolCount);

// "No live usage" and the line under it, lower by the extra tab rows.
QRectF noLiveUsageTitleRect(qreal viewWidth, int toolCount);
QRectF noLiveUsageHintRect(qreal viewWidth, int toolCount);

// The bars grow in over 0.5 s after the usage tool changes: 1 − (1 − u)³ of their length.
double usageMeterGrowth(double now, double usageAnimationStarted);

// The top status line of an external display: the dot, the tool's name and the reading's label.
struct ExpandedTopStatusLayout {
  QPointF dot;
  QRectF toolText;
  QRectF usageText;
};
ExpandedTopStatusLayout expandedTopStatusLayout(qreal width);

// The small meter left of the settings button on an external display, for a reading with a
// finite headline percent: the percent, right-aligned in a box `textWidth` wide that ends 8
// before the settings button, and a 44 × 3 track 6 left of that box, so that the bar never runs
// under its label. `textWidth` is the width of the widest text the box may hold in its font
// (measured by the painter, at any pixel ratio the same in view units).
struct TopStatusMeter {
  QRectF track;
  qreal fillWidth = 0;
  QRectF textRect;
  QString text;  // "42%", "0.5%"
  QString status;
};
std::optional<TopStatusMeter> expandedTopStatusMeter(const UsageSnapshot& snapshot, const QRectF& settingsRect,
                                                     qreal textWidth);
// The widest text the small meter shows.
inline const QString kTopStatusMeterWidestText = QStringLiteral("99.9%");

// The status the headline colours follow: of the first present of the rate-limit, five-hour and
// weekly metrics (and the context metric when asked), "ok" when none is there.
QString usageHeadlineStatus(const UsageSnapshot& snapshot, bool includeContext);

// The tool's logo in place of its name in a notched display's top line: 18 × 18 at the content
// column, 5 from the top.
QRectF expandedTopLogoRect();

// The one-line quota summary of a notched display, "5h 42% · 7d 18%", and one part of it.
std::optional<QString> expandedTopQuotaText(const std::optional<UsageSnapshot>& snapshot);
std::optional<QString> expandedTopQuotaPart(const QString& label, const std::optional<UsageMetric>& metric);
// Its box: from 8 right of the camera housing to 8 before the settings button, at least 72 wide.
QRectF expandedTopQuotaRect(qreal viewWidth, const QRectF& settingsRect);

}  // namespace tandrel
