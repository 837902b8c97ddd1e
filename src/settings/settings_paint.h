#pragma once

// The settings panel's small drawing routines, shared by every tab: a row with a title, a detail
// and a switch, the switch itself, section titles, small buttons and rounded panels. Coordinates
// are the page's content coordinates (y down); the frame has already translated the painter.

#include "ui/island_paint.h"

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>

namespace tandrel::settings_paint {

// The panel's recurring colours (calibrated RGB, alpha 1).
inline const QColor kSelectionBlue = QColor::fromRgbF(0, 107 / 255.0, 1);
inline const QColor kInformationBlue = QColor::fromRgbF(77 / 255.0, 159 / 255.0, 1);
inline const QColor kSuccessGreen = QColor::fromRgbF(0, 214 / 255.0, 163 / 255.0);
inline const QColor kWarningAmber = QColor::fromRgbF(1, 187 / 255.0, 0);
inline const QColor kFailureRed = QColor::fromRgbF(1, 85 / 255.0, 85 / 255.0);

// Content columns start at x 168 and are 680 wide.
inline constexpr qreal kColumnX = 168;
inline constexpr qreal kColumnWidth = 680;
inline constexpr QSizeF kToggleSize{36, 20};

// Where a setting row at `y` puts its switch in a view `viewWidth` wide: 56 from the right
// edge, 16 below the row's top. The click routes use the same rectangle.
QRectF settingRowToggleRect(qreal y, qreal viewWidth);

// A setting row: the title 15 and the detail 33 below `y` at the column's left edge, the switch
// when `on` is given, and a separator 58 below `y`.
void drawSettingRow(QPainter& painter, qreal viewWidth, qreal y, const QString& title, const QString& detail,
                    std::optional<bool> on);

// A 36 x 20 switch at (x, y): blue with its knob right when on, faint with its knob left when off.
void drawToggle(QPainter& painter, qreal x, qreal y, bool on);

// An upper-cased, letter-spaced section title in the column at `y`, 24 high.
void drawSectionTitle(QPainter& painter, const QString& title, qreal y);

// A rounded button with its label centred in the accent colour (12.5 semibold when the button is
// at least 36 high, else 11).
void drawSmallButton(QPainter& painter, const QString& label, const QRectF& rect, const QColor& accent);

// A small provenance badge at (x, y): the text in 8 pixels, 12 wider than it and 12 high,
// rounded, tinted with `color`. Returns its width.
qreal drawSourceBadge(QPainter& painter, const QString& text, qreal x, qreal y, const QColor& color);

// A rounded panel (radius 12), white 0.025 with a white 0.08 border unless given others.
void drawRoundedPanel(QPainter& painter, const QRectF& rect, std::optional<QColor> background = std::nullopt,
                      std::optional<QColor> border = std::nullopt);

}  // namespace tandrel::settings_paint
