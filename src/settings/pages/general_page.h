#pragma once

// The General tab: three setting rows, each with its switch: the tray icon, the desktop pet, and
// whether an agent that finishes its turn waits for the user's reply.

#include "settings/settings_pages.h"

#include <QRectF>
#include <QString>

namespace tandrel {

class TandrelView;

namespace general_page {
inline constexpr qreal kTrayRowY = 69;
inline constexpr qreal kDesktopPetRowY = 128;
inline constexpr qreal kHoldFinishedTurnsRowY = 187;

// The switches, where the rows draw them and where clicks flip them.
QRectF trayToggleRect(qreal viewWidth);
QRectF desktopPetToggleRect(qreal viewWidth);
QRectF holdFinishedTurnsToggleRect(qreal viewWidth);
// The tray row's detail: what the switch does, or, while it is on, that no tray runs now.
QString trayRowDetail(const TandrelView& view);
}  // namespace general_page

SettingsPage generalSettingsPage();

}  // namespace tandrel
