#pragma once

// The settings panel's frame, as pure geometry and painters: the sidebar with the five tabs, the
// header, the scrolled content viewport, the status banner and the scroll indicator. The view's
// drawing and its mouse handling read the same rectangles. View coordinates, y down; the content
// of a tab is laid out in content coordinates, view y = content y + 20 - the tab's scroll offset.

#include "ui/overlay_settings.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>

namespace tandrel::settings_frame {

inline constexpr qreal kSidebarWidth = 148;
inline constexpr qreal kHeaderHeight = 74;
inline constexpr qreal kContentOriginY = 20;
// A double click above this zooms the window, as on a title bar.
inline constexpr qreal kTitleBarHeight = 28;
// Pixels scrolled by one notch of a mouse wheel (which reports angles, not pixels).
inline constexpr qreal kWheelNotchPixels = 48;

// The weights of the tabs' titles: the active tab's and the others'.
inline constexpr QFont::Weight kActiveTabLabelWeight = QFont::DemiBold;
inline constexpr QFont::Weight kInactiveTabLabelWeight = QFont::Normal;

inline constexpr std::array<SettingsTab, 5> kTabs{SettingsTab::general, SettingsTab::pets, SettingsTab::sound,
                                                  SettingsTab::aiTools, SettingsTab::about};
// The symbol drawn beside a tab's title.
QString tabSymbol(SettingsTab tab);

// Row `index` of the sidebar: (8, 68 + 37.5 index, 131, 36).
QRectF tabRowRect(int index);
// The tab whose sidebar row holds `point`.
std::optional<SettingsTab> tabAt(QPointF point);
// The header strip right of the sidebar, which moves the window: (148, 0, w - 148, 74).
QRectF headerStripRect(qreal viewWidth);
// The clipped area the active tab's content scrolls in: (148, 74, w - 148, h - 74).
QRectF viewportRect(const QSizeF& viewSize);

QPointF contentPoint(QPointF viewPoint, qreal scrollOffset);
qreal viewY(qreal contentY, qreal scrollOffset);

// The offset after a wheel movement of `deltaY` (positive: towards the top), kept within the
// content that does not fit the viewport; nothing when the content fits or the offset does not
// move.
std::optional<qreal> scrolledOffset(qreal offset, qreal deltaY, qreal contentHeight, qreal viewportHeight);

// The indicator at the right edge, only while the content is taller than the viewport: a track
// and a thumb whose length shows the visible share and whose place shows the offset.
struct ScrollIndicator {
  QRectF track;
  QRectF thumb;
};
std::optional<ScrollIndicator> scrollIndicator(const QRectF& viewport, qreal viewWidth, qreal contentHeight,
                                               qreal offset);

// The panel's background, the sidebar with its tabs (the About tab marked when an update waits)
// and the header of the active tab.
void drawChrome(QPainter& painter, const QSizeF& viewSize, SettingsTab activeTab, bool aboutMarker);
// The transient banner's place: in the header, right of the widest tab title and 20 short of the
// right edge, 30 high, so that it hides neither the title nor the first section of a page.
QRectF statusBannerRect(qreal viewWidth);
void drawStatusBanner(QPainter& painter, qreal viewWidth, const QString& text, const QColor& color);
void drawScrollIndicator(QPainter& painter, const ScrollIndicator& indicator);

}  // namespace tandrel::settings_frame
