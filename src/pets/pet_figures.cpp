#include "pets/pet_figures.h"

#include "ui/island_geometry.h"

#include <QPainter>

#include <algorithm>

namespace tandrel {

namespace {

QColor rgb(int r, int g, int b, qreal alpha = 1.0) {
  QColor color(r, g, b);
  color.setAlphaF(alpha);
  return color;
}

QColor withAlpha(QColor color, qreal alpha) {
  color.setAlphaF(alpha);
  return color;
}

const QColor kAmber = rgb(255, 187, 0);
const QColor kGreen = rgb(0, 214, 163);
const QColor kMascotEye = rgb(23, 23, 28);

void fillRect(QPainter& painter, const QRectF& rect, const QColor& color) { painter.fillRect(rect, color); }

void fillRoundedRect(QPainter& painter, const SvgPlot& plot, qreal x, qreal y, qreal w, qreal h, qreal radius,
                     const QColor& color) {
  QPainterPath path;
  path.addRoundedRect(plot.rect(x, y, w, h), radius * plot.unitX, radius * plot.unitY);
  painter.fillPath(path, color);
}

void fillOval(QPainter& painter, const SvgPlot& plot, qreal x, qreal y, qreal w, qreal h, const QColor& color) {
  QPainterPath path;
  path.addEllipse(plot.rect(x, y, w, h));
  painter.fillPath(path, color);
}

void strokeLine(QPainter& painter, const SvgPlot& plot, QPointF from, QPointF to, const QColor& color, qreal k) {
  QPainterPath path(plot.point(from.x(), from.y()));
  path.lineTo(plot.point(to.x(), to.y()));
  strokePath(painter, path, color, plot.lineWidth(k));
}

void strokeQuad(QPainter& painter, const SvgPlot& plot, QPointF from, QPointF to, QPointF control, const QColor& color,
                qreal k) {
  QPainterPath path(plot.point(from.x(), from.y()));
  quadCurve(path, plot.point(to.x(), to.y()), plot.point(control.x(), control.y()));
  strokePath(painter, path, color, plot.lineWidth(k));
}

// A path of cubic segments in grid units: (to, control 1, control 2) after a start point.
struct Cubic {
  QPointF to;
  QPointF c1;
  QPointF c2;
};
QPainterPath cubicPath(const SvgPlot& plot, QPointF start, std::initializer_list<Cubic> segments) {
  QPainterPath path(plot.point(start.x(), start.y()));
  for (const Cubic& s : segments) {
    path.cubicTo(plot.point(s.c1.x(), s.c1.y()), plot.point(s.c2.x(), s.c2.y()), plot.point(s.to.x(), s.to.y()));
  }
  return path;
}

// A path of quadratic segments in grid units: (to, control) after a start point.
QPainterPath quadLoop(const SvgPlot& plot, QPointF start, std::initializer_list<std::pair<QPointF, QPointF>> segments) {
  QPainterPath path(plot.point(start.x(), start.y()));
  for (const auto& [to, control] : segments) {
    quadCurve(path, plot.point(to.x(), to.y()), plot.point(control.x(), control.y()));
  }
  return path;
}

// The amber "!" of a pet waiting for approval, its top-left corner at the grid point.
void drawApprovalMark(QPainter& painter, const SvgPlot& plot, qreal gx, qreal gy) {
  painter.save();
  painter.setFont(islandFont(std::max(5.5 * plot.strokeUnit, 7.0), QFont::Bold));
  painter.setPen(kAmber);
  const QPointF origin = plot.point(gx, gy);
  painter.drawText(QRectF(origin, QSizeF(100, 100)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                   QStringLiteral("!"));
  painter.restore();
}

QColor mascotStateColor(PetState state, const QColor& idleAccent) {
  switch (state) {
    case PetState::working: return rgb(77, 159, 255);
    case PetState::approval: return kAmber;
    case PetState::done: return kGreen;
    case PetState::error: return rgb(255, 107, 107);
    case PetState::tired: return rgb(200, 155, 111);
    case PetState::idle: break;
  }
  return idleAccent;
}

}  // namespace

SvgPlot SvgPlot::in(const QRectF& rect) {
  const qreal unitX = rect.width() / 20.0;
  const qreal unitY = rect.height() / 22.0;
  return {rect.x(), rect.y(), unitX, unitY, (unitX + unitY) / 2.0};
}

qreal SvgPlot::lineWidth(qreal k) const { return std::max(k * strokeUnit, 0.5); }

SvgMood svgMood(PetState state) { return static_cast<SvgMood>(static_cast<int>(state)); }

void drawXEye(QPainter& painter, const SvgPlot& plot, const QColor& color, qreal k, qreal x1, qreal y1, qreal x2,
              qreal y2) {
  QPainterPath path(plot.point(x1, y1));
  path.lineTo(plot.point(x2, y2));
  path.moveTo(plot.point(x2, y1));
  path.lineTo(plot.point(x1, y2));
  strokePath(painter, path, color, plot.lineWidth(k));
}

void fillTriangle(QPainter& painter, const SvgPlot& plot, QPointF a, QPointF b, QPointF c, const QColor& color) {
  QPainterPath path(plot.point(a.x(), a.y()));
  path.lineTo(plot.point(b.x(), b.y()));
  path.lineTo(plot.point(c.x(), c.y()));
  path.closeSubpath();
  painter.fillPath(path, color);
}

void quadCurve(QPainterPath& path, QPointF to, QPointF control) {
  const QPointF from = path.currentPosition();
  path.cubicTo(from + 2.0 / 3.0 * (control - from), to + 2.0 / 3.0 * (control - to), to);
}

void strokePath(QPainter& painter, const QPainterPath& path, const QColor& color, qreal width) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::RoundCap);
  painter.strokePath(path, pen);
}

void drawCapybaraPet(QPainter& painter, const SvgPlot& plot, PetState state) {
  QColor body = rgb(168, 107, 61);
  QColor light = rgb(201, 138, 85);
  if (state == PetState::error) {
    body = rgb(184, 111, 93);
  } else if (state == PetState::working) {
    body = rgb(197, 138, 85);
  } else if (state == PetState::approval) {
    light = rgb(211, 154, 99);
  }
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  fillRoundedRect(painter, plot, 5, 3, 10, 3, 1.2, body);
  fillRoundedRect(painter, plot, 3.5, 5.5, 13, 5, 2, body);
  fillRoundedRect(painter, plot, 2.5, 9, 15, 7, 2.5, body);
  fillRect(painter, plot.rect(4, 6.2, 12, 1.2), withAlpha(light, 0.72));
  fillRect(painter, plot.rect(3.5, 10, 13, 1.2), withAlpha(light, 0.72));
  const QColor ear = rgb(122, 74, 38);
  fillRect(painter, plot.rect(6, 4.5, 1.2, 1.2), ear);
  fillRect(painter, plot.rect(12.8, 4.5, 1.2, 1.2), ear);
  const QColor eye = rgb(58, 36, 18);
  if (state == PetState::tired) {
    strokeLine(painter, plot, {6.2, 8.5}, {8.4, 8.5}, eye, 1.1);
    strokeLine(painter, plot, {11.6, 8.5}, {13.8, 8.5}, eye, 1.1);
  } else if (state == PetState::error) {
    const QColor red = rgb(255, 85, 85);
    drawXEye(painter, plot, red, 1.1, 6.3, 7.5, 8.2, 9.4);
    drawXEye(painter, plot, red, 1.1, 11.8, 7.5, 13.7, 9.4);
  } else {
    fillRoundedRect(painter, plot, 6.4, 7.5, 1.8, 1.8, 0.7, eye);
    fillRoundedRect(painter, plot, 11.8, 7.5, 1.8, 1.8, 0.7, eye);
    fillRect(painter, plot.rect(6.7, 7.6, 0.45, 0.45), Qt::white);
    fillRect(painter, plot.rect(12.1, 7.6, 0.45, 0.45), Qt::white);
  }
  fillRoundedRect(painter, plot, 9, 10, 2, 1.1, 0.4, rgb(93, 58, 30));
  fillRoundedRect(painter, plot, 7, 13, 6, 3.3, 0.7, rgb(139, 90, 48));
  fillRect(painter, plot.rect(7.5, 13, 5, 0.8), withAlpha(light, 0.8));
  fillRoundedRect(painter, plot, 5, 17, 3, 2, 0.8, body);
  fillRoundedRect(painter, plot, 12, 17, 3, 2, 0.8, body);
  if (state == PetState::approval) {
    drawApprovalMark(painter, plot, 15, -0.5);
  } else if (state == PetState::done) {
    fillOval(painter, plot, 14.8, 3.3, 3, 3, kGreen);
  }
  painter.restore();
}

void drawMascotEyes(QPainter& painter, const SvgPlot& plot, SvgMood mood, const QColor& accent) {
  if (mood == SvgMood::error) {
    drawXEye(painter, plot, accent, 1.1, 6.5, 8.9, 8.5, 10.9);
    drawXEye(painter, plot, accent, 1.1, 11.5, 8.9, 13.5, 10.9);
    return;
  }
  if (mood == SvgMood::tired) {
    strokeLine(painter, plot, {6.4, 9.8}, {8.6, 9.8}, kMascotEye, 1.2);
    strokeLine(painter, plot, {11.4, 9.8}, {13.6, 9.8}, kMascotEye, 1.2);
    return;
  }
  const qreal r = mood == SvgMood::approval ? 1.7 : 1.25;
  fillOval(painter, plot, 7.5 - r, 9.7 - r, 2 * r, 2 * r, kMascotEye);
  fillOval(painter, plot, 12.5 - r, 9.7 - r, 2 * r, 2 * r, kMascotEye);
  fillOval(painter, plot, 7.55, 8.65, 0.9, 0.9, withAlpha(Qt::white, 0.9));
  fillOval(painter, plot, 12.55, 8.65, 0.9, 0.9, withAlpha(Qt::white, 0.9));
}

void drawMascotPet(QPainter& painter, const SvgPlot& plot, PetState state, const QString& shape, const QColor& mainColor,
                   const QColor& alt, const QColor& accentColor) {
  const QColor accent = mascotStateColor(state, accentColor);
  const QColor main = state == PetState::error ? rgb(223, 139, 139) : mainColor;
  const SvgMood mood = svgMood(state);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  if (shape == QLatin1String("penguin")) {
    fillOval(painter, plot, 3, 3, 14, 17, main);
    fillOval(painter, plot, 5.5, 7.4, 9, 11.2, alt);
    strokeQuad(painter, plot, {3.8, 12}, {3.6, 16}, {1.6, 14}, main, 2.4);
    strokeQuad(painter, plot, {16.2, 12}, {16.4, 16}, {18.4, 14}, main, 2.4);
    drawMascotEyes(painter, plot, mood, accent);
    fillTriangle(painter, plot, {10, 11.4}, {8.7, 12.8}, {11.3, 12.8}, accent);
    fillOval(painter, plot, 4.9, 19.1, 4.2, 1.8, withAlpha(accent, 0.8));
    fillOval(painter, plot, 10.9, 19.1, 4.2, 1.8, withAlpha(accent, 0.8));
  } else if (shape == QLatin1String("bunny")) {
    for (QPainterPath ear : {cubicPath(plot, {5.8, 7}, {{{6.4, 1.2}, {3.4, 2.2}, {4.2, 0.8}}, {{7.6, 7.2}, {8.4, 1.6}, {8.1, 5.4}}}),
                             cubicPath(plot, {14.2, 7},
                                       {{{13.6, 1.2}, {16.6, 2.2}, {15.8, 0.8}}, {{12.4, 7.2}, {11.6, 1.6}, {11.9, 5.4}}})}) {
      ear.closeSubpath();
      painter.fillPath(ear, main);
    }
    for (QPainterPath inner :
         {cubicPath(plot, {6.2, 6.6}, {{{6.4, 2.4}, {5.0, 3.3}, {5.4, 2.2}}, {{7.0, 6.6}, {7.4, 2.6}, {7.2, 5.1}}}),
          cubicPath(plot, {13.8, 6.6},
                    {{{13.6, 2.4}, {15.0, 3.3}, {14.6, 2.2}}, {{13.0, 6.6}, {12.6, 2.6}, {12.8, 5.1}}})}) {
      inner.closeSubpath();
      painter.fillPath(inner, withAlpha(alt, 0.85));
    }
    fillOval(painter, plot, 2.7, 5.3, 14.6, 12.4, main);
    drawMascotEyes(painter, plot, mood, accent);
    fillOval(painter, plot, 9.25, 11.65, 1.5, 1.5, accent);
    strokeQuad(painter, plot, {8.6, 14}, {11.4, 14}, {10, 15.2}, rgb(122, 111, 116), 0.6);
    fillRoundedRect(painter, plot, 6, 17, 8, 5, 3.5, withAlpha(main, 0.9));
  } else if (shape == QLatin1String("slime")) {
    QPainterPath drop = cubicPath(plot, {3, 16},
                                  {{{10, 5.2}, {3, 10.3}, {5.8, 5.2}},
                                   {{17, 16}, {14.2, 5.2}, {17, 10.3}},
                                   {{10, 21}, {17, 19.5}, {14.1, 21}},
                                   {{3, 16}, {5.9, 21}, {3, 19.5}}});
    drop.closeSubpath();
    painter.fillPath(drop, main);
    strokePath(painter, cubicPath(plot, {6.2, 8.3}, {{{12, 7}, {7.8, 6.8}, {10, 6.5}}}), withAlpha(alt, 0.55),
               plot.lineWidth(1.6));
    drawMascotEyes(painter, plot, mood, accent);
    strokeQuad(painter, plot, {8.6, 13.8}, {11.4, 13.8}, {10, 14.8}, rgb(19, 68, 63), 0.7);
    fillOval(painter, plot, 13.7, 4.2, 3, 3, withAlpha(accent, 0.82));
  } else if (shape == QLatin1String("ghost")) {
    QPainterPath body(plot.point(3.2, 20));
    body.lineTo(plot.point(3.2, 10.2));
    body.cubicTo(plot.point(3.2, 5.9), plot.point(6, 3.1), plot.point(10, 3.1));
    body.cubicTo(plot.point(14, 3.1), plot.point(16.8, 5.9), plot.point(16.8, 10.2));
    for (const QPointF hem : {QPointF(16.8, 20), QPointF(14.5, 18), QPointF(12.2, 20), QPointF(10, 18),
                              QPointF(7.8, 20), QPointF(5.5, 18)}) {
      body.lineTo(plot.point(hem.x(), hem.y()));
    }
    body.closeSubpath();
    painter.fillPath(body, withAlpha(main, 0.94));
    strokePath(painter, cubicPath(plot, {6.8, 6.5}, {{{11.8, 5.8}, {8.1, 5.6}, {9.9, 5.3}}}), withAlpha(alt, 0.5),
               plot.lineWidth(1.2));
    drawMascotEyes(painter, plot, mood, accent);
    strokeQuad(painter, plot, {8.4, 14}, {11.6, 14}, {10, 15.1}, rgb(60, 64, 80), 0.65);
    fillOval(painter, plot, 14.1, 5.9, 2.2, 2.2, withAlpha(accent, 0.75));
  } else {
    strokeLine(painter, plot, {5, 7.5}, {1.8, 5.5}, alt, 1.1);
    strokeLine(painter, plot, {15, 7.5}, {18.2, 5.5}, alt, 1.1);
    fillOval(painter, plot, 0.4, 3.8, 3.2, 3.2, withAlpha(accent, 0.75));
    fillOval(painter, plot, 16.4, 3.8, 3.2, 3.2, withAlpha(accent, 0.75));
    fillRoundedRect(painter, plot, 3.8, 6.5, 12.4, 9.8, 3, main);
    fillRoundedRect(painter, plot, 5.4, 8, 9.2, 6.6, 2, withAlpha(alt, 0.5));
    drawMascotEyes(painter, plot, mood, accent);
    fillRoundedRect(painter, plot, 8, 16.5, 4, 4, 1.4, withAlpha(main, 0.9));
    fillOval(painter, plot, 9, 17.5, 2, 2, withAlpha(accent, 0.85));
  }
  painter.restore();
}

QColor catBodyColor(PetState state) {
  switch (state) {
    case PetState::idle: return rgb(208, 208, 208);
    case PetState::working: return rgb(184, 207, 255);
    case PetState::approval: return rgb(240, 209, 128);
    case PetState::done: return rgb(184, 232, 200);
    case PetState::error: return rgb(232, 168, 168);
    case PetState::tired: return rgb(211, 176, 137);
  }
  return rgb(208, 208, 208);
}

QColor robotBodyColor(PetState state) {
  switch (state) {
    case PetState::working: return rgb(77, 159, 255);
    case PetState::approval: return kAmber;
    case PetState::error: return rgb(255, 85, 85);
    case PetState::idle:
    case PetState::done:
    case PetState::tired: break;
  }
  return kGreen;
}

QColor foxBodyColor(PetState state) {
  switch (state) {
    case PetState::working: return rgb(224, 146, 78);
    case PetState::approval: return rgb(240, 192, 96);
    case PetState::error: return rgb(232, 122, 122);
    case PetState::idle:
    case PetState::done:
    case PetState::tired: break;
  }
  return rgb(232, 168, 124);
}

void drawCatPet(QPainter& painter, const SvgPlot& plot, PetState state) {
  const QColor body = catBodyColor(state);
  const QColor dark = rgb(26, 26, 26);
  const QColor pink = rgb(255, 158, 181, 0.85);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  strokeQuad(painter, plot, {15, 19}, {17, 13}, {19, 16}, body, 2);
  fillOval(painter, plot, 5, 14, 10, 7, body);                      // body
  fillOval(painter, plot, 5.6, 19.2, 3, 1.8, body);                 // paws
  fillOval(painter, plot, 11.4, 19.2, 3, 1.8, body);
  fillTriangle(painter, plot, {3, 7}, {5.5, 2}, {8, 7}, body);
  fillTriangle(painter, plot, {12, 7}, {14.5, 2}, {17, 7}, body);
  fillTriangle(painter, plot, {4.2, 7}, {5.5, 4}, {6.8, 7}, pink);
  fillTriangle(painter, plot, {13.2, 7}, {14.5, 4}, {15.8, 7}, pink);
  fillOval(painter, plot, 2.5, 4, 15, 13, body);
  // Nose and whiskers.
  fillTriangle(painter, plot, {9.3, 12.2}, {10.7, 12.2}, {10, 13}, pink);
  const QColor whisker = withAlpha(dark, 0.45);
  for (const qreal dy : {-0.4, 0.6}) {
    strokeLine(painter, plot, {3.2, 12.6 + dy * 1.5}, {7, 12.8 + dy}, whisker, 0.35);
    strokeLine(painter, plot, {16.8, 12.6 + dy * 1.5}, {13, 12.8 + dy}, whisker, 0.35);
  }
  switch (state) {
    case PetState::error:
      drawXEye(painter, plot, rgb(255, 85, 85), 1.2, 6.3, 8.3, 8.7, 10.7);
      drawXEye(painter, plot, rgb(255, 85, 85), 1.2, 11.3, 8.3, 13.7, 10.7);
      break;
    case PetState::done:
      strokeQuad(painter, plot, {6.2, 10.2}, {8.8, 10.2}, {7.5, 8.2}, dark, 1.1);
      strokeQuad(painter, plot, {11.2, 10.2}, {13.8, 10.2}, {12.5, 8.2}, dark, 1.1);
      fillOval(painter, plot, 14.8, 3.3, 3, 3, kGreen);
      break;
    case PetState::tired:
      strokeQuad(painter, plot, {6.2, 9.4}, {8.8, 9.4}, {7.5, 10.8}, dark, 1.2);
      strokeQuad(painter, plot, {11.2, 9.4}, {13.8, 9.4}, {12.5, 10.8}, dark, 1.2);
      break;
    case PetState::idle:
    case PetState::working:
    case PetState::approval: {
      const qreal r = state == PetState::approval ? 2 : 1.5;
      fillOval(painter, plot, 7.5 - r, 9.5 - r, 2 * r, 2 * r, dark);
      fillOval(painter, plot, 12.5 - r, 9.5 - r, 2 * r, 2 * r, dark);
      fillOval(painter, plot, 7.6, 8.4, 0.8, 0.8, Qt::white);
      fillOval(painter, plot, 12.6, 8.4, 0.8, 0.8, Qt::white);
      break;
    }
  }
  if (state == PetState::approval) {
    drawApprovalMark(painter, plot, 16.5, 0);
  }
  painter.restore();
}

void drawRobotPet(QPainter& painter, const SvgPlot& plot, PetState state) {
  const QColor body = robotBodyColor(state);
  const QColor grey = rgb(136, 136, 136);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  strokeLine(painter, plot, {10, 1.8}, {10, 4.2}, grey, 0.8);
  fillOval(painter, plot, 9, 0.6, 2, 2, grey);
  fillRect(painter, plot.rect(1.8, 7.5, 1.4, 4), grey);  // ear bolts
  fillRect(painter, plot.rect(16.8, 7.5, 1.4, 4), grey);
  fillRoundedRect(painter, plot, 3, 4, 14, 11, 2.5, body);
  fillRoundedRect(painter, plot, 4.6, 5.6, 10.8, 7.8, 1.8, rgb(42, 42, 58));
  const QColor eye = withAlpha(body, state == PetState::tired ? 0.35 : 0.9);
  fillRoundedRect(painter, plot, 6.3, 7.4, 2.6, 2.4, 0.6, eye);
  fillRoundedRect(painter, plot, 11.1, 7.4, 2.6, 2.4, 0.6, eye);
  fillRoundedRect(painter, plot, 7.8, 11, 4.4, 0.9, 0.4, withAlpha(body, 0.6));
  fillRoundedRect(painter, plot, 8.4, 15, 3.2, 1.2, 0.3, grey);  // neck
  fillRoundedRect(painter, plot, 4.5, 16, 11, 5.5, 2, body);
  fillRoundedRect(painter, plot, 7, 17.2, 6, 3, 1, rgb(26, 26, 42));
  fillOval(painter, plot, 9.3, 18.1, 1.4, 1.2, withAlpha(body, 0.8));
  painter.restore();
}

void drawFoxPet(QPainter& painter, const SvgPlot& plot, PetState state) {
  const QColor body = foxBodyColor(state);
  const QColor cream = rgb(255, 240, 224, 0.9);
  const QColor dark = rgb(26, 26, 26);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  strokeQuad(painter, plot, {13.5, 19.5}, {18.2, 12.5}, {20, 19.5}, body, 3);
  fillOval(painter, plot, 17, 11.2, 2.2, 2.2, cream);  // tail tip
  fillOval(painter, plot, 5.5, 14.5, 9, 6.5, body);
  fillOval(painter, plot, 7.5, 16, 5, 4.5, cream);  // chest
  fillTriangle(painter, plot, {2.6, 8.5}, {4.6, 1.6}, {8.6, 5.6}, body);
  fillTriangle(painter, plot, {11.4, 5.6}, {15.4, 1.6}, {17.4, 8.5}, body);
  fillTriangle(painter, plot, {4.2, 6.6}, {4.9, 3.4}, {7, 5.6}, withAlpha(dark, 0.55));
  fillTriangle(painter, plot, {13, 5.6}, {15.1, 3.4}, {15.8, 6.6}, withAlpha(dark, 0.55));
  painter.fillPath(quadLoop(plot, {2, 8}, {{{10, 4.4}, {4, 4.4}}, {{18, 8}, {16, 4.4}}, {{10, 17}, {17.6, 13.4}},
                                          {{2, 8}, {2.4, 13.4}}}),
                   body);
  painter.fillPath(quadLoop(plot, {3.6, 10.4}, {{{10, 11.2}, {7.4, 9.6}}, {{16.4, 10.4}, {12.6, 9.6}},
                                               {{10, 16.6}, {15.4, 14.4}}, {{3.6, 10.4}, {4.6, 14.4}}}),
                   cream);
  fillOval(painter, plot, 6.2, 7.9, 2.2, 2.4, dark);
  fillOval(painter, plot, 11.6, 7.9, 2.2, 2.4, dark);
  fillOval(painter, plot, 6.8, 8.2, 0.7, 0.7, Qt::white);
  fillOval(painter, plot, 12.2, 8.2, 0.7, 0.7, Qt::white);
  fillOval(painter, plot, 9.2, 13.2, 1.6, 1.2, dark);
  painter.restore();
}

void drawVectorPet(QPainter& painter, const QString& id, const SvgPlot& plot, PetState state) {
  const struct {
    const char* id;
    const char* shape;
    QColor main;
    QColor alt;
    QColor accent;
  } mascots[] = {
      {"penguin", "penguin", rgb(32, 40, 58), rgb(247, 242, 232), rgb(255, 192, 77)},
      {"bunny", "bunny", rgb(231, 215, 232), rgb(255, 184, 204), rgb(255, 122, 168)},
      {"slime", "slime", rgb(124, 231, 204), rgb(216, 255, 243), kGreen},
      {"ghost", "ghost", rgb(217, 221, 255), rgb(255, 255, 255), rgb(169, 140, 255)},
      {"drone", "drone", rgb(48, 56, 79), rgb(112, 130, 168), rgb(77, 159, 255)},
  };
  if (id == QLatin1String("cat")) {
    drawCatPet(painter, plot, state);
    return;
  }
  if (id == QLatin1String("robot")) {
    drawRobotPet(painter, plot, state);
    return;
  }
  if (id == QLatin1String("fox")) {
    drawFoxPet(painter, plot, state);
    return;
  }
  for (const auto& mascot : mascots) {
    if (id == QLatin1String(mascot.id)) {
      drawMascotPet(painter, plot, state, QLatin1String(mascot.shape), mascot.main, mascot.alt, mascot.accent);
      return;
    }
  }
  drawCapybaraPet(painter, plot, state);
}

}  // namespace tandrel
