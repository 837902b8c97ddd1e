#pragma once

// The island's sizes and fixed rectangles: pure functions of a few inputs, shared by the view
// (drawing and hit-testing read the same rectangles), the controller that places the overlay
// panels and the settings panel, and the tests. Sizes are in logical pixels; rectangles are in
// Qt's y-down coordinates (screen rectangles with the origin at the top left of the desktop,
// view rectangles with the origin at the view's top left).

#include "ui/overlay_mode.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

#include <vector>

namespace tandrel {

// How the collapsed island meets the top of a screen: hugging the camera housing of a notched
// built-in display, or as a floating body on any other display.
enum class DisplayKind { macBookPhysical, externalVirtual };

namespace island {
inline constexpr qreal kCollapsedWidth = 332;
inline constexpr qreal kCollapsedMinimumHeight = 32;
inline constexpr qreal kNotchHeightAdjustment = -0.7;
inline constexpr qreal kExpandedWidth = 540;
inline constexpr qreal kExpandedEmptyHeight = 260;
inline constexpr qreal kExpandedMaximumHeight = 501;
inline constexpr qreal kMessageListTop = 190;
inline constexpr qreal kCardHeight = 84;
inline constexpr qreal kCardGap = 8;
inline constexpr int kCardsCountedForHeight = 5;
inline constexpr QSizeF kSettingsPanelSize{860, 780};
inline constexpr QSizeF kSettingsPanelMinimumSize{680, 520};
inline constexpr qreal kSettingsPanelMargin = 12;
inline constexpr qreal kHoverMargin = 18;
}  // namespace island

// 260 without messages; otherwise the header, up to five cards with their gaps and the room
// below three cards, never above 501: 317, 409, then 501. `openChoiceExtent` is what an open
// choice card's body adds below its card (the body and the gap above it): the island grows by it,
// so the cards that fit without the body still fit with it and the last of them keeps its room
// above the footer.
qreal expandedOverlayHeight(int messageCount, qreal openChoiceExtent = 0);
QSizeF expandedOverlaySize(bool hasMessages);

// The collapsed panel's height for a screen whose top band (panel or menu bar above the
// available area) is `topReservedHeight` high and whose camera housing reaches
// `safeTopInset` down; never below 32.
qreal collapsedOverlayHeight(DisplayKind kind, qreal topReservedHeight, qreal safeTopInset);
QSizeF collapsedOverlaySize(DisplayKind kind, qreal topReservedHeight, qreal safeTopInset);

// The nominal panel size of a mode: 332 x 32, 540 x 501, 860 x 780.
QSizeF overlayModeSize(OverlayMode mode);

// The external display's collapsed capsule, all within the capsule body (view coordinates):
// the 16 x 16 tool logo 46 from the body's left edge, centred vertically and 1 higher.
QRectF externalCollapsedToolLogoRect(const QRectF& body);
// The status text from 8 right of the logo to 18 before the body's right edge (74 with a
// trailing usage meter), at least 44 wide, 16 high at `textY`.
QRectF externalCollapsedStatusTextRect(const QRectF& body, qreal textY, bool hasTrailingAccessory);
// The reset label: 92 wide, ending 8 before the body's right edge.
QRectF externalCollapsedDeadlineRect(const QRectF& body, qreal textY);
// The status text ending 6 before the reset label, at least 44 wide.
QRectF externalCollapsedStatusTextRect(const QRectF& body, qreal textY, const QRectF& deadlineRect);
// The usage text ending 6 before the reset label when there is one, else 18 before the body's
// right edge; at least 44 wide.
QRectF externalCollapsedUsageTextRect(const QRectF& body, qreal textY, const std::optional<QRectF>& deadlineRect);

// The island's one font family (Inter, else DejaVu Sans), sized in pixels; drawing and
// measuring use the same object.
QFont islandFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);
// The capsule's status font: semibold 11 px; fitted, the largest size from 11 down in steps of
// 0.5 in which `text` is at most `width` wide, never below 9.5 (which is used without measuring).
QFont externalCollapsedStatusFont();
QFont externalCollapsedStatusFont(const QString& text, qreal width);

// `contentSize` scaled to fit `bounds`, centred in them; the bounds themselves when either size
// has no area. Not rounded.
QRectF aspectFitRect(const QSizeF& contentSize, const QRectF& bounds);

// Whether `point` lies in the hover region of the expanded island at `expandedFrame` (both in
// screen coordinates): the frame grown by the hover margin on every side, edges included. A
// pointer there keeps the open island open, and keeps a hover below the capsule heading for it.
bool insideExpandedHoverRegion(const QRectF& expandedFrame, QPointF point);

// The settings panel's default rectangle inside an available area: inset by 12, at most
// 860 x 780, centred.
QRectF settingsPanelDefaultFrame(const QRectF& availableArea);
// Keeps a settings-panel rectangle inside `area` inset by 12, at least 680 x 520; a rectangle
// that does not fit is pinned to the area's left or top edge (its title bar stays reachable).
QRectF clampedSettingsPanelFrame(const QRectF& frame, const QRectF& area);
// The union of the screens' available areas; 884 x 804 at the origin for none.
QRectF settingsPanelDesktopFrame(const std::vector<QRectF>& availableAreas);
// The settings panel dragged by its header: the frame at the press moved by the pointer's travel
// since the press, clamped onto `desktop`. Screen coordinates are y-down throughout, so moving the
// pointer down moves the panel down.
QRectF draggedSettingsPanelFrame(const QRectF& startFrame, QPointF startPoint, QPointF point, const QRectF& desktop);

}  // namespace tandrel
