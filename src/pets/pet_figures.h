#pragma once

// Pets painted in code: the capybara (also the figure for any id without one of its own), the
// cat, the robot, the fox and the five mascots that share one painter (penguin, bunny, slime,
// ghost and the drone). Each figure is designed on a grid 20 units wide and 22 high, y down, and
// shows the pet state through colours, eyes and small marks.

#include "attention/pet_state.h"

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace tandrel {

// The design grid of one figure in a rectangle.
struct SvgPlot {
  qreal originX = 0;  // top-left corner of the pet's rectangle
  qreal originY = 0;
  qreal unitX = 0;       // rectangle width / 20
  qreal unitY = 0;       // rectangle height / 22
  qreal strokeUnit = 0;  // (unitX + unitY) / 2

  static SvgPlot in(const QRectF& rect);
  QPointF point(qreal gx, qreal gy) const { return {originX + gx * unitX, originY + gy * unitY}; }
  QRectF rect(qreal gx, qreal gy, qreal width, qreal height) const {
    return {point(gx, gy), QSizeF(width * unitX, height * unitY)};
  }
  // A line width of k stroke units in points, never thinner than half a point.
  qreal lineWidth(qreal k) const;
};

// The mood of the mascots' eyes: one per pet state, in the same order and meaning.
enum class SvgMood { idle, working, approval, done, error, tired };
SvgMood svgMood(PetState state);

void drawCapybaraPet(QPainter& painter, const SvgPlot& plot, PetState state);
// `shape` "penguin", "bunny", "slime" or "ghost"; any other text paints the drone.
void drawMascotPet(QPainter& painter, const SvgPlot& plot, PetState state, const QString& shape, const QColor& main,
                   const QColor& alt, const QColor& accent);
void drawMascotEyes(QPainter& painter, const SvgPlot& plot, SvgMood mood, const QColor& accent);
void drawCatPet(QPainter& painter, const SvgPlot& plot, PetState state);
void drawRobotPet(QPainter& painter, const SvgPlot& plot, PetState state);
void drawFoxPet(QPainter& painter, const SvgPlot& plot, PetState state);

// The figure for a pet id: "cat", "capybara", "robot", "fox" or a mascot; the capybara for any
// other id.
void drawVectorPet(QPainter& painter, const QString& id, const SvgPlot& plot, PetState state);

// The body colours of the cat, the robot and the fox by state.
QColor catBodyColor(PetState state);
QColor robotBodyColor(PetState state);
QColor foxBodyColor(PetState state);

// Shared drawing routines. Grid arguments are in grid units; widths in stroke units unless said.
// The two diagonals of the box (x1, y1)-(x2, y2), k stroke units wide.
void drawXEye(QPainter& painter, const SvgPlot& plot, const QColor& color, qreal k, qreal x1, qreal y1, qreal x2,
              qreal y2);
void fillTriangle(QPainter& painter, const SvgPlot& plot, QPointF a, QPointF b, QPointF c, const QColor& color);
// Appends a quadratic segment (view coordinates) as the equivalent cubic.
void quadCurve(QPainterPath& path, QPointF to, QPointF control);
// Strokes with round caps, `width` in points.
void strokePath(QPainter& painter, const QPainterPath& path, const QColor& color, qreal width);

}  // namespace tandrel
