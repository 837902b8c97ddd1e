#include "settings/settings_paint.h"

#include "ui/island_geometry.h"

#include <QFontMetricsF>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tandrel::settings_paint {

using island_paint::white;

QRectF settingRowToggleRect(qreal y, qreal viewWidth) {
  return QRectF(QPointF(viewWidth - 56, y + 16), kToggleSize);
}

void drawSettingRow(QPainter& painter, qreal viewWidth, qreal y, const QString& title, const QString& detail,
                    std::optional<bool> on) {
  island_paint::drawText(painter, title, kColumnX, y + 15, viewWidth, islandFont(13), white(0.80));
  island_paint::drawText(painter, detail, kColumnX, y + 33, viewWidth, islandFont(11), white(0.35));
  if (on) {
    const QRectF toggle = settingRowToggleRect(y, viewWidth);
    drawToggle(painter, toggle.x(), toggle.y(), *on);
  }
  painter.fillRect(QRectF(kColumnX, y + 58, viewWidth - 180, 1), white(0.06));
}

void drawToggle(QPainter& painter, qreal x, qreal y, bool on) {
  const QRectF track(QPointF(x, y), kToggleSize);
  QPainterPath fill;
  fill.addRoundedRect(track, 10, 10);
  painter.fillPath(fill, on ? kSelectionBlue : white(0.06));
  QPainterPath outline;
  outline.addRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), 9.5, 9.5);
  painter.strokePath(outline, QPen(on ? island_paint::withAlpha(kSelectionBlue, 0.35) : white(0.12), 1));
  QPainterPath knob;
  knob.addEllipse(QRectF(on ? x + 18 : x + 2, y + 2, 16, 16));
  painter.fillPath(knob, Qt::white);
}

void drawSectionTitle(QPainter& painter, const QString& title, qreal y) {
  QFont font = islandFont(10);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
  island_paint::drawText(painter, title.toUpper(), QRectF(kColumnX, y, kColumnWidth, 24), font, white(0.30));
}

void drawSmallButton(QPainter& painter, const QString& label, const QRectF& rect, const QColor& accent) {
  island_paint::fillAndStrokeRoundedRect(painter, rect, 9, white(0.06), island_paint::withAlpha(accent, 0.18));
  const QFont font = islandFont(rect.height() >= 36 ? 12.5 : 11, QFont::DemiBold);
  const qreal insetY = std::max((rect.height() - 14) / 2, 4.0);
  const QRectF box = rect.adjusted(4, insetY, -4, -insetY);
  // Centred on the box's middle line, whatever the font's own height.
  const qreal lineHeight = QFontMetricsF(font).height();
  const QRectF line(box.x(), box.center().y() - lineHeight / 2, box.width(), lineHeight);
  island_paint::drawText(painter, label, line, font, accent, island_paint::TextAlignment::center);
}

qreal drawSourceBadge(QPainter& painter, const QString& text, qreal x, qreal y, const QColor& color) {
  const QFont font = islandFont(8);
  const qreal width = std::ceil(island_paint::textWidth(text, font)) + 12;
  const QRectF badge(x, y, width, 12);
  island_paint::fillAndStrokeRoundedRect(painter, badge, 6, island_paint::withAlpha(color, 0.1),
                                         island_paint::withAlpha(color, 0.22));
  const QRectF inner = badge.adjusted(0, 1, 0, -1);
  const qreal lineHeight = QFontMetricsF(font).height();
  island_paint::drawText(painter, text, QRectF(inner.x(), inner.center().y() - lineHeight / 2, inner.width(), lineHeight),
                         font, color, island_paint::TextAlignment::center);
  return width;
}

void drawRoundedPanel(QPainter& painter, const QRectF& rect, std::optional<QColor> background,
                      std::optional<QColor> border) {
  island_paint::fillAndStrokeRoundedRect(painter, rect, 12, background.value_or(white(0.025)),
                                         border.value_or(white(0.08)));
}

}  // namespace tandrel::settings_paint
