#include "island/usage_header.h"

#include "ui/island_geometry.h"
#include "ui/island_paint.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace tandrel {

using namespace usage_header;

namespace {

const QColor kContextPurple = QColor::fromRgbF(139 / 255.0, 92 / 255.0, 246 / 255.0);
const QColor kFiveHourBlue = QColor::fromRgbF(77 / 255.0, 159 / 255.0, 1.0);
const QColor kSevenDayGreen = QColor::fromRgbF(0, 214 / 255.0, 163 / 255.0);

const QString kContextRow = QStringLiteral("Context window");

// Whether a context-window percent from this data source counts what remains: the local files
// (rollouts, transcripts, trajectories) and Claude's status line record the room left.
bool dataSourceCountsRemaining(const QString& dataSource) {
  const QString source = dataSource.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
  return source == QLatin1String("rollout") || source == QLatin1String("transcript") ||
         source == QLatin1String("statusline") ||
         source == QLatin1String("trajectory") || source.contains(QLatin1String("local")) ||
         source.contains(QLatin1String("jsonl"));
}

std::optional<bool> percentCountsRemainingByWords(const UsageMetric& metric, const QString& rowLabel,
                                                  const QString& dataSource) {
  const QString words = (metric.label + QLatin1Char(' ') + metric.suffix).toLower();
  if (words.contains(QLatin1String("left")) || words.contains(QLatin1String("remaining")) ||
      words.contains(QLatin1String("remain")) || words.contains(QLatin1String("available"))) {
    return true;
  }
  if (words.contains(QLatin1String("used"))) {
    return false;
  }
  if (rowLabel == kContextRow) {
    return dataSourceCountsRemaining(dataSource);
  }
  return std::nullopt;
}

int characterCount(const QString& text) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  int count = 0;
  while (finder.toNextBoundary() != -1) {
    ++count;
  }
  return count;
}

}  // namespace

QColor usageStatusColor(const QString& status, const QColor& fallback) {
  if (status == QLatin1String("error")) {
    return QColor::fromRgbF(1.0, 136 / 255.0, 136 / 255.0);
  }
  if (status == QLatin1String("warning")) {
    return QColor::fromRgbF(1.0, 187 / 255.0, 0.0);
  }
  if (status == QLatin1String("unknown")) {
    return QColor::fromRgbF(1, 1, 1, 0.16);
  }
  return fallback;
}

QColor usageRowColor(const QString& rowLabel, int position) {
  if (rowLabel == kContextRow) {
    return kContextPurple;
  }
  if (rowLabel == QLatin1String("5-hour limit")) {
    return kFiveHourBlue;
  }
  if (rowLabel == QLatin1String("7-day limit")) {
    return kSevenDayGreen;
  }
  const QColor byPosition[] = {kContextPurple, kFiveHourBlue, kSevenDayGreen};
  return byPosition[std::clamp(position, 0, 2)];
}

std::optional<double> finiteUsagePercent(const std::optional<double>& percent) {
  if (percent && std::isfinite(*percent)) {
    return percent;
  }
  return std::nullopt;
}

UsageMetric usageMetricForDisplay(const UsageMetric& metric, const QString& rowLabel, const QString& tool,
                                  const QString& dataSource) {
  UsageMetric shown = metric;
  shown.percent = finiteUsagePercent(metric.percent);
  const QString lowerTool = tool.toLower();
  const bool showsLeft = lowerTool.contains(QLatin1String("codex")) || lowerTool.contains(QLatin1String("openai"));
  const bool showsUsed = !showsLeft && lowerTool.contains(QLatin1String("claude"));
  if ((!showsLeft && !showsUsed) || !shown.percent) {
    return shown;
  }

  // What the reading's percent counts: what remains, what is used, or (unsaid) already the
  // share the row shows. The key it was read from says so; the words only for a meter built
  // without one.
  const std::optional<bool> remaining = metric.percentCountsRemaining
                                            ? metric.percentCountsRemaining
                                            : percentCountsRemainingByWords(metric, rowLabel, dataSource);

  double percent = *shown.percent;
  if (remaining && *remaining != showsLeft) {
    percent = 100 - percent;
  }
  percent = std::clamp(percent, 0.0, 100.0);

  const QString text = formatUsagePercent(percent) + QStringLiteral("% ") +
                       (showsLeft ? QLatin1String("left") : QLatin1String("used"));
  QString status = QStringLiteral("ok");
  if (showsLeft) {
    status = percent <= 10 ? QStringLiteral("error") : percent <= 40 ? QStringLiteral("warning") : status;
  } else {
    status = percent >= 90 ? QStringLiteral("error") : percent >= 60 ? QStringLiteral("warning") : status;
  }
  if (rowLabel == kContextRow) {
    shown.suffix = text;
  } else {
    shown.label = text;
  }
  shown.percent = percent;
  shown.percentCountsRemaining.reset();  // its words ("left", "used") say it now
  shown.status = status;
  return shown;
}

UsageSnapshot usageSnapshotForDisplay(const UsageSnapshot& snapshot, const QString& tool) {
  UsageSnapshot shown = snapshot;
  const auto show = [&](std::optional<UsageMetric>& metric, const QString& rowLabel) {
    if (metric) {
      metric = usageMetricForDisplay(*metric, rowLabel, tool, snapshot.dataSource);
    }
  };
  show(shown.context, kContextRow);
  show(shown.fiveHour, QStringLiteral("5-hour limit"));
  show(shown.rateLimit, QStringLiteral("5-hour limit"));
  show(shown.daily, QStringLiteral("Daily limit"));
  show(shown.weekly, QStringLiteral("7-day limit"));
  applyUsageHeadline(shown);
  return shown;
}

int usageTabRowCount(int toolCount) { return std::max(1, (toolCount + kTabsPerRow - 1) / kTabsPerRow); }

std::vector<QRectF> usageTabRects(const QStringList& tools) {
  std::vector<QRectF> rects;
  rects.reserve(static_cast<size_t>(tools.size()));
  qreal x = kColumnX;
  for (qsizetype i = 0; i < tools.size(); ++i) {
    if (i % kTabsPerRow == 0) {
      x = kColumnX;
    }
    const qreal width = std::clamp(characterCount(tools.at(i)) * 7.0 + 28, 62.0, 76.0);
    const qreal y = kTabRowY + kTabRowPitch * static_cast<qreal>(i / kTabsPerRow);
    rects.emplace_back(x, y, width, kTabHeight);
    x += width + kTabGap;
  }
  return rects;
}

qreal usageTabRowsShift(int toolCount) { return kTabRowPitch * (usageTabRowCount(toolCount) - 1); }

std::vector<UsageMeterRow> usageMeterRows(const UsageSnapshot& snapshot, const QString& tool, qreal viewWidth,
                                          int toolCount) {
  const qreal top = kMeterRowsTop + usageTabRowsShift(toolCount);
  const qreal pitch = std::clamp((kMeterRowsBottom - top - kMeterRowHeight) / (kMaximumMeterRows - 1),
                                 kMeterRowHeight, kMeterRowPitch);
  const qreal valueX = viewWidth - kRightMargin - 52 - 112;
  std::vector<UsageMeterRow> rows;
  int position = 0;
  for (const auto& [label, metric] : snapshot.rows()) {
    const qreal y = top + pitch * position;
    if (position == kMaximumMeterRows || y + kMeterRowHeight > kMeterRowsBottom) {
      break;
    }
    UsageMeterRow row;
    row.rowLabel = label;
    row.metric = usageMetricForDisplay(metric, label, tool, snapshot.dataSource);
    row.statusColor = usageStatusColor(row.metric.status, usageRowColor(label, position));
    row.valueColor =
        row.metric.status == QLatin1String("unknown") ? QColor::fromRgbF(1, 1, 1, 0.36) : row.statusColor;
    // The value ends left of the suffix as drawn ("1.2k in · 59 out" is wider than the room
    // the fixed places leave it), never over it.
    const qreal suffixStart =
        row.metric.suffix.isEmpty()
            ? viewWidth
            : viewWidth - kRightMargin - std::min<qreal>(std::ceil(island_paint::textWidth(row.metric.suffix, islandFont(9))), 96);
    const qreal rowValueX = std::min(valueX, suffixStart - 8 - 112);
    row.labelRect = QRectF(kColumnX, y, std::max(rowValueX - kColumnX - 8, 64.0), 13);
    row.valueRect = QRectF(rowValueX, y, 112, 13);
    row.suffixRect = QRectF(viewWidth - kRightMargin - 96, y, 96, 13);
    row.trackRect = QRectF(kColumnX, y + 18, viewWidth - kRightMargin - kColumnX, 4);
    if (row.metric.percent) {
      row.fillFraction = std::clamp(*row.metric.percent / 100, 0.0, 1.0);
    }
    rows.push_back(std::move(row));
    ++position;
  }
  return rows;
}

QRectF noLiveUsageTitleRect(qreal viewWidth, int toolCount) {
  return {kColumnX, 52 + usageTabRowsShift(toolCount), viewWidth - kColumnX - 28, 16};
}

QRectF noLiveUsageHintRect(qreal viewWidth, int toolCount) {
  return {kColumnX, 76 + usageTabRowsShift(toolCount), viewWidth - kColumnX - 28, 16};
}

double usageMeterGrowth(double now, double usageAnimationStarted) {
  const double u = std::clamp((now - usageAnimationStarted) / kMeterGrowthSeconds, 0.0, 1.0);
  return 1 - std::pow(1 - u, 3);
}

ExpandedTopStatusLayout expandedTopStatusLayout(qreal width) {
  return {QPointF(kColumnX, 15), QRectF(kColumnX + 12, 7, std::max(62.0 - 12 - 6, 42.0), 16),
          QRectF(kColumnX + 62, 7, std::max(width - kColumnX - 152, 40.0), 16)};
}

QString usageHeadlineStatus(const UsageSnapshot& snapshot, bool includeContext) {
  for (const std::optional<UsageMetric>* metric : {&snapshot.rateLimit, &snapshot.fiveHour, &snapshot.weekly}) {
    if (*metric) {
      return (*metric)->status;
    }
  }
  if (includeContext && snapshot.context) {
    return snapshot.context->status;
  }
  return QStringLiteral("ok");
}

std::optional<TopStatusMeter> expandedTopStatusMeter(const UsageSnapshot& snapshot, const QRectF& settingsRect,
                                                     qreal textWidth) {
  const std::optional<double> percent = finiteUsagePercent(snapshot.percent);
  if (!percent) {
    return std::nullopt;
  }
  const double shown = std::clamp(*percent, 0.0, 100.0);
  TopStatusMeter meter;
  meter.textRect = QRectF(settingsRect.left() - 8 - textWidth, 8, textWidth, 18);
  meter.track = QRectF(meter.textRect.left() - 6 - 44, 15, 44, 3);
  meter.fillWidth = 44 * shown / 100;
  // The same number as the meter rows, the ticker and the notch give for the reading.
  meter.text = formatUsagePercent(shown) + QLatin1Char('%');
  meter.status = usageHeadlineStatus(snapshot, true);
  return meter;
}

std::optional<QString> expandedTopQuotaPart(const QString& label, const std::optional<UsageMetric>& metric) {
  if (!metric) {
    return std::nullopt;
  }
  if (const std::optional<double> percent = finiteUsagePercent(metric->percent)) {
    return label + QLatin1Char(' ') + formatUsagePercent(*percent) + QLatin1Char('%');
  }
  QString text = metric->label;
  text.remove(QLatin1String(" used")).remove(QLatin1String(" left"));
  if (text.isEmpty()) {
    return std::nullopt;
  }
  return label + QLatin1Char(' ') + text;
}

std::optional<QString> expandedTopQuotaText(const std::optional<UsageSnapshot>& snapshot) {
  if (!snapshot) {
    return std::nullopt;
  }
  QStringList parts;
  const std::optional<UsageMetric>& fiveHour = snapshot->fiveHour ? snapshot->fiveHour : snapshot->rateLimit;
  if (auto part = expandedTopQuotaPart(
          fiveHour ? usageQuotaShortName(*fiveHour, QStringLiteral("5h")) : QStringLiteral("5h"), fiveHour)) {
    parts.append(*part);
  }
  if (auto part = expandedTopQuotaPart(
          snapshot->weekly ? usageQuotaShortName(*snapshot->weekly, QStringLiteral("7d")) : QStringLiteral("7d"),
          snapshot->weekly)) {
    parts.append(*part);
  }
  if (parts.isEmpty()) {
    return std::nullopt;
  }
  return parts.join(QStringLiteral(" \u00B7 "));
}

QRectF expandedTopLogoRect() { return {usage_header::kColumnX, 5, 18, 18}; }

QRectF expandedTopQuotaRect(qreal viewWidth, const QRectF& settingsRect) {
  const qreal x = viewWidth / 2 + 115 + 8;
  return {x, 8, std::max(settingsRect.left() - x - 8, 72.0), 18};
}

}  // namespace tandrel
