#pragma once

// The General tab: three setting rows, each with its switch: the tray icon, the desktop pet, and
// whether an agent that finishes its turn waits for the user's reply.

#include "settings/settings_pages.h"

#include <QRectF>
#include <QString>

namespace tandrel {

namespace general_page {
inline constexpr qreal kTrayRowY = 69;
inline constexpr qreal kDesktopPetRowY = 128;
inline constexpr qreal kHoldFinishedTurnsRowY = 187;

// The switches, where the rows draw them and where clicks flip them.
QRectF trayToggleRect(qreal viewWidth);
QRectF desktopPetToggleRect(qreal viewWidth);
QRectF holdFinishedTurnsToggleRect(qreal viewWidth);

// The tray row's detail: what the switch does, or, while it is on, that no tray runs now
// (`host` tells; without one nothing is known about trays).
QString trayRowDetail(const UserSettings& settings, const OverlayHost* host);
}  // namespace general_page

class GeneralPage : public SettingsPage {
 public:
  using SettingsPage::SettingsPage;
  void draw(SettingsPageCanvas& canvas) override;
  std::vector<SettingsClickRoute> routes() override;

 private:
  // Flips one flag, writes the settings and lets the controller re-apply what depends on them.
  std::function<void()> flip(bool UserSettings::*flag);
};

}  // namespace tandrel
