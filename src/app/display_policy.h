#pragma once

// Which screens get an island panel, how screens are told apart, where each panel goes and which
// displays a full-screen window covers. Pure functions over plain screen records, so that tests
// can lay out any arrangement of screens; `ScreenInfo::fromScreens` reads Qt's.

#include "platform/window_server.h"
#include "ui/island_geometry.h"
#include "ui/overlay_mode.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QString>

#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace tandrel {

// On which screens the island shows ("displayPolicy" default): the primary screen, the screen
// under the pointer, or all of them.
enum class DisplayPolicy { primary, mouse, all };
QString rawValue(DisplayPolicy policy);
std::optional<DisplayPolicy> parseDisplayPolicy(QStringView raw);

// One screen as the overlay sees it. Rectangles are in logical pixels, y-down.
struct ScreenInfo {
  QString name;             // QScreen::name(); may be empty
  QRect geometry;           // the whole screen
  QRect availableGeometry;  // without panels and docks
  qreal devicePixelRatio = 1;
  QPointer<QScreen> screen;  // none in tests that lay out screens by hand

  // The screen in the window server's pixels (window bounds are in those).
  QRectF nativeGeometry() const { return {QPointF(geometry.topLeft()), QSizeF(geometry.size()) * devicePixelRatio}; }

  static ScreenInfo fromScreen(QScreen* screen);
  // QGuiApplication::screens(), primary first.
  static std::vector<ScreenInfo> fromScreens();
};

// "x:y:width:height", each truncated toward zero.
QString frameKey(const QRectF& rect);
// The screen's name, else its frame key.
QString screenID(const ScreenInfo& screen);
// False without b; true when the ids match or, failing that, the frame keys.
bool sameScreen(const ScreenInfo& a, const ScreenInfo* b);

// The screens in order, each frame once (mirrored outputs share a frame and appear once).
std::vector<ScreenInfo> uniqueLogicalScreens(const std::vector<ScreenInfo>& screens);
// The screens the policy shows the island on: all of them, the first one containing the
// pointer (else the first), or the first.
std::vector<ScreenInfo> screensForPolicy(const std::vector<ScreenInfo>& uniqueScreens, DisplayPolicy policy,
                                         QPoint mouseLocation);
// "id:frameKey" of each screen, joined with "|".
QString screenSignature(const std::vector<ScreenInfo>& policyScreens);

// TANDREL_DISPLAY_KIND "external" or "macbook" (exact) forces the kind; otherwise a screen whose
// name holds "built-in" or "liquid retina" (any case) is a notched built-in display and every
// other screen, and no screen, is external.
DisplayKind displayKindFor(const QByteArray& forcedKind, const ScreenInfo* screen);

// The band above the available area (a top panel), never below 0.
qreal topReservedHeight(const ScreenInfo& screen);

// A panel of `size` centred on the screen with its top edge on the screen's top edge; the island
// covers a top panel's band.
QRectF topCentredFrame(const QSizeF& size, const QRect& screenGeometry);

// The displays that another process's window covers to at least 98 %. Where the window manager
// marks full-screen windows (`fullScreenStateSupported`), only a window so marked counts: a
// maximized window on a screen without panels, or a tiled one, covers its screen too. Windows of
// `currentProcessID`, of a layer other than 0, nearly transparent (alpha <= 0.01), off screen or
// empty never count, nor do displays without area. Displays are (screen id, native bounds).
std::set<QString> displayIDsWithFullScreenWindows(const std::vector<WindowSnapshot>& windows,
                                                  const std::vector<std::pair<QString, QRectF>>& displayBounds,
                                                  qint32 currentProcessID, bool fullScreenStateSupported);
// The screen ids with their bounds in window-server pixels.
std::vector<std::pair<QString, QRectF>> activeDisplayBounds(const std::vector<ScreenInfo>& screens);

}  // namespace tandrel
