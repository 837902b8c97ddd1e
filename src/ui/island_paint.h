#pragma once

// The island's drawing primitives, shared by every painter of the capsule, the expanded island and
// the settings page: the capsule outline with its square top, the body of the collapsed capsule
// with its shoulders, the fused background of the expanded and settings panels, separators and
// text in a box, cut at the tail with an ellipsis. All take the painter and rectangles in the
// view's y-down coordinates, so the same calls paint the window and an image.

#include "ui/island_geometry.h"

#include <QColor>
#include <QFont>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <optional>

namespace tandrel::island_paint {

inline constexpr qreal kCapsuleBodyX = 5;
inline constexpr qreal kCapsuleBodyWidth = 322;
inline constexpr qreal kNotchCutoutWidth = 230;
inline constexpr qreal kCapsuleBottomRadius = 8;
inline constexpr qreal kShoulderRadius = 5;
inline constexpr qreal kExpandedCornerRadius = 16;

// Calibrated white with an alpha, and a colour with its alpha replaced.
inline QColor white(qreal alpha, qreal level = 1.0) { return QColor::fromRgbF(level, level, level, alpha); }
inline QColor withAlpha(QColor color, qreal alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

// The colours of the collapsed capsule and the expanded frame.
inline const QColor kExternalCapsuleFill = QColor::fromRgbF(10 / 255.0, 10 / 255.0, 12 / 255.0);
inline const QColor kExternalCapsuleStroke = QColor::fromRgbF(0, 0, 0, 0.96);
inline const QColor kNotchCapsuleFill = QColor::fromRgbF(0, 0, 0);
inline const QColor kCameraRing = white(0.055);
inline const QColor kExpandedBackgroundFill = white(0.985, 0.035);
inline const QColor kExpandedBackgroundOutline = white(0.1);
inline const QColor kSeparator = white(0.08);

enum class TextAlignment { left, center, right };

// A path with a square top and rounded bottom corners, drawn half a pixel in from the sides and
// reaching one pixel above the top, so that it meets the screen's edge without a seam.
QPainterPath topAttachedCapsulePath(const QRectF& rect, qreal bottomRadius);

// The shoulder fillets of an external display's capsule: concave quarter circles of up to 5
// joining the body's top corners to the screen's edge, limited by the room left and right of the
// body inside a view `viewWidth` wide. Empty when there is no room.
QPainterPath capsuleShoulderPath(const QRectF& body, qreal viewWidth);

// The collapsed capsule's body: the capsule path with bottom radius 8, filled; on an external
// display with its shoulders, on a notched display with a 2-high strip sealing it to the screen's
// edge; stroked 1 wide when a stroke colour is given.
void drawCapsuleSurface(QPainter& painter, const QRectF& body, qreal viewWidth, DisplayKind kind, const QColor& fill,
                        const std::optional<QColor>& stroke);

// The outline of the expanded and settings panels: the capsule path with `radius` at the bottom,
// or, for the settings page, a rectangle inset by 0.5 with all corners rounded.
QPainterPath topFusedBackgroundPath(const QRectF& rect, qreal radius, bool settingsPage);
// Fills and outlines that path and draws the faint line along its bottom edge.
void drawTopFusedBackground(QPainter& painter, const QRectF& rect, qreal radius, bool settingsPage);

// A 1-high rule from `x` to 12 before the view's right edge.
void drawSeparator(QPainter& painter, qreal y, qreal x, qreal viewWidth);

// `text` as one line shows in `width` on `device` (none: the screen): whole when it fits, else cut
// at the tail (or, with `keepEnd`, at the head) with an ellipsis.
QString elidedLine(const QString& text, const QFont& font, qreal width, const QPaintDevice* device = nullptr,
                   bool keepEnd = false);

// `text` on one line from the top of `box`, aligned, cut at the tail with an ellipsis to fit. The
// box bounds the line's width; descenders may reach below a box lower than the font's line.
void drawText(QPainter& painter, const QString& text, const QRectF& box, const QFont& font, const QColor& color,
              TextAlignment alignment = TextAlignment::left);
// `text` in the box from (x, y) to 8 before the view's right edge, 24 high, left-aligned.
void drawText(QPainter& painter, const QString& text, qreal x, qreal y, qreal viewWidth, const QFont& font,
              const QColor& color);
// The width `text` takes in `font`.
qreal textWidth(const QString& text, const QFont& font);

// A rounded rectangle filled, then stroked 1 wide.
void fillAndStrokeRoundedRect(QPainter& painter, const QRectF& rect, qreal radius, const QColor& fill,
                              const QColor& stroke);

}  // namespace tandrel::island_paint
