#include "island/island_painters_ticker.h"

#include "catalog/tool_catalog.h"
#include "island/notch_status_words.h"
#include "island/usage_header.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"

#include <QFontMetricsF>

#include <algorithm>

namespace tandrel {

using namespace island_paint;

namespace {

const QColor kTickerText = QColor::fromRgbF(1.0, 187 / 255.0, 0.0);
const QColor kDeadlineText = white(0.56);
const QString kHighVoltage = QStringLiteral("\u26A1");

void drawClippedText(QPainter& painter, const QString& text, const QRectF& box, const QFont& font,
                     const QColor& color) {
  painter.save();
  painter.setClipRect(box);
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  painter.restore();
}

void paintApprovalBadge(QPainter& painter, const QRectF& body, int count) {
  const qreal width = count > 9 ? 38 : 34;
  const QRectF badge(body.right() - 48, (body.height() - 18) * 0.5, width, 18);
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(withAlpha(kTickerText, 0.2));
  painter.drawRoundedRect(badge, 9, 9);
  painter.restore();
  drawText(painter, kHighVoltage, QRectF(badge.x() + 7, badge.y() + 3, 10, 13), islandFont(10.5, QFont::DemiBold),
           kTickerText, TextAlignment::center);
  // The island font's digits are all of one width, so the count needs no special face.
  drawText(painter, QString::number(count), QRectF(badge.x() + 19, badge.y() + 3, badge.width() - 24, 13),
           islandFont(10.5, QFont::Bold), kTickerText, TextAlignment::center);
}

void paintExternalTicker(QPainter& painter, const CollapsedCapsuleLayout& layout, const CollapsedTickerDisplay& item,
                         const ToolLogoPainter& toolLogo) {
  const QRectF& body = layout.body;
  const qreal textY = layout.textY;
  if (toolLogo) {
    toolLogo(painter, item.tool, externalCollapsedToolLogoRect(body));
  }
  std::optional<QRectF> deadline;
  if (item.deadlineLabel) {
    deadline = externalCollapsedDeadlineRect(body, textY);
  }
  if (item.kind == CollapsedTickerKind::usage) {
    const QRectF box = externalCollapsedUsageTextRect(body, textY, deadline);
    drawClippedText(painter, item.label, box, externalCollapsedStatusFont(item.label, box.width()), kTickerText);
  } else {
    const QRectF box = item.showsApprovalBadge ? externalCollapsedStatusTextRect(body, textY, true)
                       : deadline              ? externalCollapsedStatusTextRect(body, textY, *deadline)
                                               : externalCollapsedStatusTextRect(body, textY, false);
    drawText(painter, item.label, box, islandFont(11, QFont::DemiBold), kTickerText);
  }
  if (item.showsApprovalBadge) {
    paintApprovalBadge(painter, body, item.approvalCount);
  } else if (deadline) {
    drawText(painter, *item.deadlineLabel, *deadline, islandFont(11), kDeadlineText, TextAlignment::center);
  }
}

void paintNotchTicker(QPainter& painter, const CollapsedCapsuleLayout& layout, const CollapsedTickerDisplay& item,
                      PetState petState) {
  QRectF box = macBookCollapsedStatusRect(layout.body, layout.cutout);
  box.setHeight(13);
  const MacBookCollapsedStatus status = macBookCollapsedStatus(item, petState);
  drawText(painter, status.label, box, islandFont(9.5, QFont::DemiBold), status.color, TextAlignment::center);
}

}  // namespace

QString macBookCollapsedStatusLabel(const CollapsedTickerDisplay& display, PetState fallbackState) {
  switch (display.kind) {
    case CollapsedTickerKind::approval:
      return QStringLiteral("Approve");
    case CollapsedTickerKind::message:
      return compactMacBookStatusWord(display.label).value_or(QStringLiteral("Msg"));
    case CollapsedTickerKind::completion:
      return compactMacBookStatusWord(display.label).value_or(QStringLiteral("Done"));
    case CollapsedTickerKind::usage:
      return macBookUsageStatusWord(display.label, fallbackState);
    case CollapsedTickerKind::idle:
      break;
  }
  return shortPetStateLabel(fallbackState);
}

QColor macBookCollapsedStatusColor(const CollapsedTickerDisplay& display, PetState fallbackState) {
  switch (display.kind) {
    case CollapsedTickerKind::approval:
      return kMacBookApprovalAmber;
    case CollapsedTickerKind::message:
    case CollapsedTickerKind::completion:
      return display.accent;
    case CollapsedTickerKind::usage:
      return macBookUsageIsLimited(display.label) ? kMacBookLimitOrange : display.accent;
    case CollapsedTickerKind::idle:
      break;
  }
  return macBookPetStateColor(fallbackState);
}

MacBookCollapsedStatus macBookCollapsedStatus(const CollapsedTickerDisplay& display, PetState fallbackState) {
  return {macBookCollapsedStatusLabel(display, fallbackState), macBookCollapsedStatusColor(display, fallbackState)};
}

void paintCollapsedTicker(QPainter& painter, const CollapsedCapsuleLayout& layout,
                          const CollapsedTickerDisplay& display, PetState petState, const ToolLogoPainter& toolLogo) {
  if (layout.kind == DisplayKind::externalVirtual) {
    paintExternalTicker(painter, layout, display, toolLogo);
  } else {
    paintNotchTicker(painter, layout, display, petState);
  }
}

void paintUsageHeaderTopLine(QPainter& painter, const UsageHeaderState& state) {
  using namespace usage_header;
  const QString name = state.tool.isEmpty() ? QStringLiteral("Usage") : state.tool;
  const QColor accent = toolColor(name);
  if (state.kind == DisplayKind::externalVirtual) {
    const ExpandedTopStatusLayout top = expandedTopStatusLayout(state.viewWidth);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    painter.drawEllipse(top.dot, 3, 3);
    painter.restore();
    drawText(painter, name, top.toolText, islandFont(10.5, QFont::Bold), accent);
    if (state.snapshot) {
      const QFont meterFont = islandFont(10, QFont::Bold);
      const auto meter = expandedTopStatusMeter(*state.snapshot, state.settingsRect,
                                                QFontMetricsF(meterFont).horizontalAdvance(kTopStatusMeterWidestText));
      QRectF usageText = top.usageText;
      if (meter) {
        // The reading's label ends before the small meter instead of running under it.
        usageText.setRight(std::max(usageText.left(), std::min(usageText.right(), meter->track.left() - 8)));
      }
      drawText(painter, QStringLiteral("\u00B7 ") + state.snapshot->label, usageText, islandFont(10), white(0.52));
      if (meter) {
        const QColor color = usageStatusColor(meter->status, accent);
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(white(0.1));
        painter.drawRoundedRect(meter->track, 1.5, 1.5);
        painter.setBrush(color);
        painter.drawRoundedRect(QRectF(meter->track.topLeft(), QSizeF(meter->fillWidth, meter->track.height())), 1.5,
                                1.5);
        painter.restore();
        drawText(painter, meter->text, meter->textRect, meterFont, color, TextAlignment::right);
      }
    }
  } else {
    if (state.toolLogo) {
      state.toolLogo(painter, name, expandedTopLogoRect());
    }
    if (const auto quota = expandedTopQuotaText(state.snapshot)) {
      drawText(painter, *quota, expandedTopQuotaRect(state.viewWidth, state.settingsRect), islandFont(9.5, QFont::Bold),
               usageStatusColor(usageHeadlineStatus(*state.snapshot, false), accent), TextAlignment::right);
    }
  }
  drawText(painter, kHighVoltage, state.settingsRect, islandFont(13.5, QFont::Bold), white(0.5), TextAlignment::center);
}

void paintUsageHeader(QPainter& painter, const UsageHeaderState& state) {
  using namespace usage_header;
  painter.fillRect(QRectF(kColumnX, 27, state.viewWidth - kColumnX - 12, 1), white(0.065));

  const std::vector<QRectF> tabs = usageTabRects(state.tools);
  for (qsizetype i = 0; i < state.tools.size(); ++i) {
    const QString& tool = state.tools.at(i);
    const QRectF& tab = tabs[static_cast<size_t>(i)];
    const bool active = tool == state.tool;
    if (active) {
      const QColor color = toolColor(tool);
      fillAndStrokeRoundedRect(painter, tab, tab.height() / 2, withAlpha(color, 0.2), withAlpha(color, 0.45));
    }
    if (state.toolLogo) {
      state.toolLogo(painter, tool, QRectF(tab.x() + 8, tab.y() + 5, 12, 12));
    }
    drawText(painter, tool, QRectF(tab.x() + 24, tab.y() + 4, tab.width() - 30, 13), islandFont(10, QFont::Bold),
             white(active ? 0.88 : 0.3));
  }

  const int toolCount = static_cast<int>(state.tools.size());
  if (!state.snapshot) {
    drawText(painter, QStringLiteral("No live usage"), noLiveUsageTitleRect(state.viewWidth, toolCount),
             islandFont(11, QFont::Bold), white(0.58));
    drawText(painter, QStringLiteral("Open AI Tools and complete a real hooked session."),
             noLiveUsageHintRect(state.viewWidth, toolCount), islandFont(10), white(0.34));
    return;
  }
  for (const UsageMeterRow& row : usageMeterRows(*state.snapshot, state.tool, state.viewWidth, toolCount)) {
    drawText(painter, row.rowLabel, row.labelRect, islandFont(10), white(0.58));
    drawText(painter, row.metric.label, row.valueRect, islandFont(10, QFont::Bold), row.valueColor,
             TextAlignment::right);
    if (!row.metric.suffix.isEmpty()) {
      drawText(painter, row.metric.suffix, row.suffixRect, islandFont(9), white(0.42), TextAlignment::right);
    }
    if (row.fillFraction) {
      painter.save();
      painter.setPen(Qt::NoPen);
      painter.setBrush(white(0.08));
      painter.drawRoundedRect(row.trackRect, 2, 2);
      const qreal fill = row.trackRect.width() * *row.fillFraction * state.meterGrowth;
      if (fill > 0) {
        painter.setBrush(row.statusColor);
        painter.drawRoundedRect(QRectF(row.trackRect.topLeft(), QSizeF(fill, row.trackRect.height())), 2, 2);
      }
      painter.restore();
    }
  }
}

}  // namespace tandrel
