#include "ui/island_paint.h"

#include <QFontMetricsF>

#include <algorithm>

namespace tandrel::island_paint {
namespace {

// The share of the radius at which a rounded corner's control points sit from the corner.
constexpr qreal kCornerControl = 0.45;
// The control-point factor of a quarter circle drawn as one cubic curve.
constexpr qreal kQuarterCircle = 0.5522847498;

Qt::Alignment qtAlignment(TextAlignment alignment) {
  switch (alignment) {
    case TextAlignment::center:
      return Qt::AlignHCenter;
    case TextAlignment::right:
      return Qt::AlignRight;
    case TextAlignment::left:
      break;
  }
  return Qt::AlignLeft;
}

}  // namespace

QPainterPath topAttachedCapsulePath(const QRectF& rect, qreal bottomRadius) {
  const qreal left = rect.left() + 0.5;
  const qreal top = rect.top() - 1;
  const qreal width = std::max<qreal>(rect.width() - 1, 0);
  const qreal height = std::max<qreal>(rect.height() + 0.5, 0);
  const qreal right = left + width;
  const qreal bottom = top + height;
  const qreal r = std::min({bottomRadius, width / 2, height});

  QPainterPath path;
  path.moveTo(left, top);
  path.lineTo(right, top);
  path.lineTo(right, bottom - r);
  path.cubicTo(right, bottom - kCornerControl * r, right - kCornerControl * r, bottom, right - r, bottom);
  path.lineTo(left + r, bottom);
  path.cubicTo(left + kCornerControl * r, bottom, left, bottom - kCornerControl * r, left, bottom - r);
  path.closeSubpath();
  return path;
}

QPainterPath capsuleShoulderPath(const QRectF& body, qreal viewWidth) {
  const qreal s = std::min({kShoulderRadius, body.left(), viewWidth - body.right()});
  QPainterPath path;
  if (s <= 0) {
    return path;
  }
  const qreal top = body.top();
  const qreal k = kQuarterCircle * s;
  // Left: from the body's corner out along the top, then bowed back to the body's side.
  path.moveTo(body.left(), top);
  path.lineTo(body.left() - s, top);
  path.cubicTo(body.left() - s + k, top, body.left(), top + s - k, body.left(), top + s);
  path.closeSubpath();
  // Right, mirrored.
  path.moveTo(body.right(), top);
  path.lineTo(body.right() + s, top);
  path.cubicTo(body.right() + s - k, top, body.right(), top + s - k, body.right(), top + s);
  path.closeSubpath();
  return path;
}

void drawCapsuleSurface(QPainter& painter, const QRectF& body, qreal viewWidth, DisplayKind kind, const QColor& fill,
                        const std::optional<QColor>& stroke) {
  const QPainterPath capsule = topAttachedCapsulePath(body, kCapsuleBottomRadius);
  painter.fillPath(capsule, fill);
  if (kind == DisplayKind::externalVirtual) {
    painter.fillPath(capsuleShoulderPath(body, viewWidth), fill);
  } else {
    painter.fillRect(QRectF(body.left(), body.top() - 1, body.width(), 2), fill);
  }
  if (stroke) {
    painter.strokePath(capsule, QPen(*stroke, 1));
  }
}

QPainterPath topFusedBackgroundPath(const QRectF& rect, qreal radius, bool settingsPage) {
  if (!settingsPage) {
    return topAttachedCapsulePath(rect, radius);
  }
  QPainterPath path;
  path.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  return path;
}

void drawTopFusedBackground(QPainter& painter, const QRectF& rect, qreal radius, bool settingsPage) {
  const QPainterPath path = topFusedBackgroundPath(rect, radius, settingsPage);
  painter.fillPath(path, kExpandedBackgroundFill);
  painter.strokePath(path, QPen(kExpandedBackgroundOutline, 1));
  const qreal y = rect.bottom() - 0.5;
  painter.setPen(QPen(kSeparator, 1));
  painter.drawLine(QPointF(rect.left() + radius, y), QPointF(rect.right() - radius, y));
}

void drawSeparator(QPainter& painter, qreal y, qreal x, qreal viewWidth) {
  painter.fillRect(QRectF(x, y, viewWidth - x - 12, 1), kSeparator);
}

void drawText(QPainter& painter, const QString& text, const QRectF& box, const QFont& font, const QColor& color,
              TextAlignment alignment) {
  if (text.isEmpty() || box.width() <= 0) {
    return;
  }
  painter.setFont(font);
  painter.setPen(color);
  // The line is elided to the box's width, so nothing needs clipping; a clip would also cut the
  // descenders of a line whose box is lower than the font's line height.
  const int flags = static_cast<int>(qtAlignment(alignment) | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip);
  painter.drawText(box, flags, elidedLine(text, font, box.width(), painter.device()));
}

QString elidedLine(const QString& text, const QFont& font, qreal width, const QPaintDevice* device, bool keepEnd) {
  const QFontMetricsF metrics = device != nullptr ? QFontMetricsF(font, device) : QFontMetricsF(font);
  return metrics.elidedText(text, keepEnd ? Qt::ElideLeft : Qt::ElideRight, width);
}

void drawText(QPainter& painter, const QString& text, qreal x, qreal y, qreal viewWidth, const QFont& font,
              const QColor& color) {
  drawText(painter, text, QRectF(x, y, viewWidth - x - 8, 24), font, color, TextAlignment::left);
}

qreal textWidth(const QString& text, const QFont& font) { return QFontMetricsF(font).horizontalAdvance(text); }

void fillAndStrokeRoundedRect(QPainter& painter, const QRectF& rect, qreal radius, const QColor& fill,
                              const QColor& stroke) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  painter.fillPath(path, fill);
  painter.strokePath(path, QPen(stroke, 1));
}

}  // namespace tandrel::island_paint
