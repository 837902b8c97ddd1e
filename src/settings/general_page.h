#pragma once

// The General tab: two setting rows, the tray icon and the desktop pet, each with its switch.

#include "settings/settings_pages.h"

#include <QRectF>
#include <QString>

namespace tandrel {

namespace general_page {
inline constexpr qreal kTrayRowY = 69;
inline constexpr qreal kDesktopPetRowY = 128;

// The switches, where the rows draw them and where clicks flip them.
QRectF trayToggleRect(qreal viewWidth);
QRectF desktopPetToggleRect(qreal viewWidth);
}  // namespace general_page

SettingsPage generalSettingsPage();

}  // namespace tandrel
