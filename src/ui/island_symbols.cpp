#include "ui/island_symbols.h"

#include "ui/island_geometry.h"
#include "ui/island_paint.h"

#include <QPainterPath>
#include <QtMath>

#include <cmath>
#include <functional>
#include <map>

namespace tandrel::island_paint {
namespace {

// Each glyph is drawn in a square of side `s` centred on the origin (y down), filled or stroked
// by the caller's pen and brush. `stroke` is the line width of outlined glyphs.
struct Glyph {
  std::function<void(QPainter&, qreal s, qreal stroke)> draw;
};

void square(QPainter& p, qreal s, qreal) {  // a square with a filled square inside
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(-0.42 * s, -0.42 * s, 0.84 * s, 0.84 * s));
  p.setBrush(p.pen().color());
  p.drawRect(QRectF(-0.2 * s, -0.2 * s, 0.4 * s, 0.4 * s));
}

void diamond(QPainter& p, qreal s, bool filled) {
  QPainterPath path;
  path.moveTo(0, -0.48 * s);
  path.lineTo(0.4 * s, 0);
  path.lineTo(0, 0.48 * s);
  path.lineTo(-0.4 * s, 0);
  path.closeSubpath();
  p.setBrush(filled ? QBrush(p.pen().color()) : QBrush(Qt::NoBrush));
  p.drawPath(path);
}

void note(QPainter& p, qreal s, qreal) {  // a quaver
  p.setBrush(p.pen().color());
  p.save();
  p.translate(-0.14 * s, 0.3 * s);
  p.rotate(-20);
  p.drawEllipse(QRectF(-0.17 * s, -0.12 * s, 0.34 * s, 0.24 * s));
  p.restore();
  p.setBrush(Qt::NoBrush);
  const qreal x = 0.02 * s;
  p.drawLine(QPointF(x, 0.28 * s), QPointF(x, -0.44 * s));
  QPainterPath flag;
  flag.moveTo(x, -0.44 * s);
  flag.cubicTo(x + 0.1 * s, -0.28 * s, x + 0.34 * s, -0.22 * s, x + 0.24 * s, 0.02 * s);
  p.drawPath(flag);
}

void check(QPainter& p, qreal s, qreal) {
  QPainterPath path;
  path.moveTo(-0.36 * s, 0.02 * s);
  path.lineTo(-0.1 * s, 0.3 * s);
  path.lineTo(0.38 * s, -0.32 * s);
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

void circleOutline(QPainter& p, qreal s, qreal) {
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(), 0.4 * s, 0.4 * s);
}

void eraseLeft(QPainter& p, qreal s, qreal) {  // a key with a cross, pointing left
  QPainterPath path;
  path.moveTo(-0.48 * s, 0);
  path.lineTo(-0.22 * s, -0.3 * s);
  path.lineTo(0.46 * s, -0.3 * s);
  path.lineTo(0.46 * s, 0.3 * s);
  path.lineTo(-0.22 * s, 0.3 * s);
  path.closeSubpath();
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  p.drawLine(QPointF(-0.02 * s, -0.12 * s), QPointF(0.22 * s, 0.12 * s));
  p.drawLine(QPointF(-0.02 * s, 0.12 * s), QPointF(0.22 * s, -0.12 * s));
}

const std::map<QString, Glyph>& glyphs() {
  static const std::map<QString, Glyph> table = {
      {QStringLiteral("gearshape"),
       {[](QPainter& p, qreal s, qreal stroke) {
         // Eight teeth around a ring.
         p.setBrush(p.pen().color());
         for (int i = 0; i < 8; ++i) {
           p.save();
           p.rotate(45.0 * i);
           p.drawRect(QRectF(-0.08 * s, -0.48 * s, 0.16 * s, 0.16 * s));
           p.restore();
         }
         p.setBrush(Qt::NoBrush);
         p.setPen(QPen(p.pen().color(), stroke * 1.6));
         p.drawEllipse(QPointF(), 0.27 * s, 0.27 * s);
       }}},
      {QStringLiteral("face.smiling"),
       {[](QPainter& p, qreal s, qreal) {
         p.setBrush(Qt::NoBrush);
         p.drawEllipse(QPointF(), 0.44 * s, 0.44 * s);
         p.drawArc(QRectF(-0.24 * s, -0.18 * s, 0.48 * s, 0.42 * s), 200 * 16, 140 * 16);
         p.setBrush(p.pen().color());
         p.drawEllipse(QPointF(-0.15 * s, -0.12 * s), 0.045 * s, 0.045 * s);
         p.drawEllipse(QPointF(0.15 * s, -0.12 * s), 0.045 * s, 0.045 * s);
       }}},
      {QStringLiteral("music.note"), {note}},
      {QStringLiteral("speaker.wave.2"), {note}},
      {QStringLiteral("cpu"), {square}},
      {QStringLiteral("gamepad"), {square}},
      {QStringLiteral("folder"), {square}},
      {QStringLiteral("info.circle"),
       {[](QPainter& p, qreal s, qreal stroke) {  // a lower-case i
         p.setBrush(p.pen().color());
         p.setPen(Qt::NoPen);
         p.drawEllipse(QPointF(0, -0.32 * s), 0.075 * s, 0.075 * s);
         p.drawRect(QRectF(-stroke * 0.75, -0.14 * s, stroke * 1.5, 0.54 * s));
       }}},
      {QStringLiteral("tandrel.logo"), {[](QPainter& p, qreal s, qreal) { diamond(p, s, true); }}},
      {QStringLiteral("shield"), {[](QPainter& p, qreal s, qreal) { diamond(p, s, false); }}},
      {QStringLiteral("power"),
       {[](QPainter& p, qreal s, qreal) {  // a ring open at the top, and the bar through the gap
         p.setBrush(Qt::NoBrush);
         p.drawArc(QRectF(-0.38 * s, -0.34 * s, 0.76 * s, 0.76 * s), 120 * 16, 300 * 16);
         p.drawLine(QPointF(0, -0.46 * s), QPointF(0, 0.0));
       }}},
      {QStringLiteral("heart"),
       {[](QPainter& p, qreal s, qreal) {
         QPainterPath path;
         path.moveTo(0, 0.4 * s);
         path.cubicTo(-0.5 * s, 0.05 * s, -0.5 * s, -0.4 * s, -0.22 * s, -0.38 * s);
         path.cubicTo(-0.08 * s, -0.37 * s, 0, -0.26 * s, 0, -0.2 * s);
         path.cubicTo(0, -0.26 * s, 0.08 * s, -0.37 * s, 0.22 * s, -0.38 * s);
         path.cubicTo(0.5 * s, -0.4 * s, 0.5 * s, 0.05 * s, 0, 0.4 * s);
         p.setBrush(Qt::NoBrush);
         p.drawPath(path);
       }}},
      {QStringLiteral("bell"),
       {[](QPainter& p, qreal s, qreal stroke) {  // an exclamation mark
         p.setBrush(p.pen().color());
         p.setPen(Qt::NoPen);
         p.drawRect(QRectF(-stroke * 0.75, -0.44 * s, stroke * 1.5, 0.6 * s));
         p.drawEllipse(QPointF(0, 0.36 * s), 0.075 * s, 0.075 * s);
       }}},
      {QStringLiteral("xmark"),
       {[](QPainter& p, qreal s, qreal) {
         p.drawLine(QPointF(-0.26 * s, -0.26 * s), QPointF(0.26 * s, 0.26 * s));
         p.drawLine(QPointF(-0.26 * s, 0.26 * s), QPointF(0.26 * s, -0.26 * s));
       }}},
      {QStringLiteral("trophy"),
       {[](QPainter& p, qreal s, qreal) {  // a crown
         QPainterPath path;
         path.moveTo(-0.36 * s, 0.3 * s);
         path.lineTo(-0.42 * s, -0.26 * s);
         path.lineTo(-0.18 * s, 0.0);
         path.lineTo(0, -0.4 * s);
         path.lineTo(0.18 * s, 0.0);
         path.lineTo(0.42 * s, -0.26 * s);
         path.lineTo(0.36 * s, 0.3 * s);
         path.closeSubpath();
         p.setBrush(Qt::NoBrush);
         p.drawPath(path);
       }}},
      {QStringLiteral("sparkles"),
       {[](QPainter& p, qreal s, qreal) {  // a four-pointed star
         QPainterPath path;
         const qreal o = 0.46 * s;
         const qreal i = 0.1 * s;
         path.moveTo(0, -o);
         path.lineTo(i, -i);
         path.lineTo(o, 0);
         path.lineTo(i, i);
         path.lineTo(0, o);
         path.lineTo(-i, i);
         path.lineTo(-o, 0);
         path.lineTo(-i, -i);
         path.closeSubpath();
         p.setBrush(p.pen().color());
         p.drawPath(path);
       }}},
      {QStringLiteral("eraser"), {eraseLeft}},
      {QStringLiteral("trash"), {eraseLeft}},
      {QStringLiteral("arrow.up.forward"),
       {[](QPainter& p, qreal s, qreal) {
         p.drawLine(QPointF(-0.3 * s, 0.3 * s), QPointF(0.3 * s, -0.3 * s));
         QPainterPath head;
         head.moveTo(-0.06 * s, -0.3 * s);
         head.lineTo(0.3 * s, -0.3 * s);
         head.lineTo(0.3 * s, 0.06 * s);
         p.setBrush(Qt::NoBrush);
         p.drawPath(head);
       }}},
      {QStringLiteral("eye.slash"),
       {[](QPainter& p, qreal s, qreal stroke) {  // a dotted circle
         p.setBrush(p.pen().color());
         p.setPen(Qt::NoPen);
         for (int i = 0; i < 10; ++i) {
           const qreal angle = qDegreesToRadians(36.0 * i);
           p.drawEllipse(QPointF(0.38 * s * std::cos(angle), 0.38 * s * std::sin(angle)), stroke * 0.7, stroke * 0.7);
         }
       }}},
      {QStringLiteral("checkmark"), {check}},
      {QStringLiteral("checkmark.circle"), {check}},
      {QStringLiteral("play.fill"),
       {[](QPainter& p, qreal s, qreal) {
         QPainterPath path;
         path.moveTo(-0.3 * s, -0.38 * s);
         path.lineTo(0.4 * s, 0);
         path.lineTo(-0.3 * s, 0.38 * s);
         path.closeSubpath();
         p.setBrush(p.pen().color());
         p.drawPath(path);
       }}},
      {QStringLiteral("circle"), {circleOutline}},
  };
  return table;
}

// A glyph of a font of `pointSize` pixels is about this share of the size high.
constexpr qreal kGlyphScale = 0.78;

}  // namespace

const QStringList& symbolNames() {
  static const QStringList names = [] {
    QStringList list;
    for (const auto& [name, glyph] : glyphs()) {
      list.push_back(name);
    }
    return list;
  }();
  return names;
}

bool isKnownSymbol(const QString& name) { return glyphs().count(name) != 0; }

void drawSymbol(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color, qreal pointSize) {
  const auto found = glyphs().find(name);
  if (found == glyphs().end()) {
    QFont font = islandFont(pointSize, QFont::Medium);
    const qreal top = rect.center().y() - QFontMetricsF(font, painter.device()).height() / 2;
    drawText(painter, name, QRectF(rect.left(), top, rect.width(), rect.height()), font, color, TextAlignment::center);
    return;
  }
  const qreal side = pointSize * kGlyphScale;
  const qreal stroke = std::max<qreal>(1.0, pointSize * 0.11);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(rect.center());
  QPen pen(color, stroke);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  found->second.draw(painter, side, stroke);
  painter.restore();
}

void drawTrashIcon(QPainter& painter, const QRectF& rect, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  QPen pen(color, 1.15);
  pen.setCapStyle(Qt::RoundCap);
  painter.setPen(pen);
  const qreal midX = rect.center().x();
  painter.drawLine(QPointF(rect.left() + 1, rect.top() + 3), QPointF(rect.right() - 1, rect.top() + 3));
  painter.drawLine(QPointF(midX - 2, rect.top() + 1.1), QPointF(midX + 2, rect.top() + 1.1));
  painter.drawRoundedRect(QRectF(rect.left() + 2, rect.top() + 4.3, std::max<qreal>(rect.width() - 4, 1),
                                 std::max<qreal>(rect.height() - 5.4, 1)),
                          1.4, 1.4);
  pen.setWidthF(0.75);
  painter.setPen(pen);
  for (const qreal dx : {-1.7, 1.7}) {
    painter.drawLine(QPointF(midX + dx, rect.top() + 6.1), QPointF(midX + dx, rect.bottom() - 1.6));
  }
  painter.restore();
}

void drawClearToolbarButton(QPainter& painter, const QString& symbol, const QRectF& rect, bool danger) {
  const QColor red = QColor::fromRgbF(1.0, 77 / 255.0, 94 / 255.0);
  const QColor fill = danger ? withAlpha(red, 0.06) : white(0.03);
  const QColor stroke = danger ? withAlpha(red, 0.3) : white(0.08);
  const QColor glyph = danger ? withAlpha(red, 0.75) : white(0.42);
  fillAndStrokeRoundedRect(painter, rect, 6, fill, stroke);
  if (symbol == QLatin1String("mark_read_all")) {
    drawSymbol(painter, QStringLiteral("checkmark"), rect.adjusted(0, 4.5, 0, -4.5), glyph, 12);
  } else if (symbol == QLatin1String("trash")) {
    drawTrashIcon(painter, rect.adjusted(5.5, 4.5, -5.5, -4.5), glyph);
  } else {
    drawSymbol(painter, symbol, rect.adjusted(5, 5, -5, -5), glyph, 10);
  }
}

void drawToolbarIconButton(QPainter& painter, const QRectF& rect, const QColor& color) {
  const QRectF button(rect.topLeft(), QSizeF(26, 26));
  const QColor coral = QColor::fromRgbF(1.0, 1 / 3.0, 1 / 3.0);
  fillAndStrokeRoundedRect(painter, button, 6, withAlpha(coral, 0.08), withAlpha(coral, 0.16));
  drawTrashIcon(painter, button.adjusted(6, 5, -6, -5), color);
}

}  // namespace tandrel::island_paint
