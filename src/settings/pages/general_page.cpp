#include "settings/pages/general_page.h"

#include "settings/settings_paint.h"

namespace tandrel {

namespace general_page {
QRectF trayToggleRect(qreal viewWidth) { return settings_paint::settingRowToggleRect(kTrayRowY, viewWidth); }
QRectF desktopPetToggleRect(qreal viewWidth) {
  return settings_paint::settingRowToggleRect(kDesktopPetRowY, viewWidth);
}
QRectF holdFinishedTurnsToggleRect(qreal viewWidth) {
  return settings_paint::settingRowToggleRect(kHoldFinishedTurnsRowY, viewWidth);
}

QString trayRowDetail(const UserSettings& settings, const OverlayHost* host) {
  // With the switch on and no tray running, the row says why no icon shows; one shows as soon
  // as a tray starts.
  if (settings.showInDockMode && host != nullptr && !host->trayHostRuns()) {
    return QStringLiteral("This desktop shows no tray icon now: no system tray is running");
  }
  return QStringLiteral("Keep the Tandrel icon and its menu in the system tray");
}
}  // namespace general_page

void GeneralPage::draw(SettingsPageCanvas& canvas) {
  const UserSettings& settings = context_.settings().values();
  settings_paint::drawSettingRow(canvas.painter, canvas.viewWidth, general_page::kTrayRowY,
                                 QStringLiteral("Show in Tray"), general_page::trayRowDetail(settings, context_.host()),
                                 settings.showInDockMode);
  settings_paint::drawSettingRow(canvas.painter, canvas.viewWidth, general_page::kDesktopPetRowY,
                                 QStringLiteral("Desktop Pet"),
                                 QStringLiteral("Show the transparent pet and status text on the desktop"),
                                 settings.desktopCompanionMode);
  settings_paint::drawSettingRow(canvas.painter, canvas.viewWidth, general_page::kHoldFinishedTurnsRowY,
                                 QStringLiteral("Wait for my reply when an agent finishes"),
                                 QStringLiteral("Hold Claude Code and Codex at the end of each turn until you reply "
                                                "or let them stop (at most 2 minutes)"),
                                 settings.holdFinishedTurns);
}

std::function<void()> GeneralPage::flip(bool UserSettings::*flag) {
  return [this, flag] {
    context_.settings().change([flag](UserSettings& s) { s.*flag = !(s.*flag); });
    context_.settingsDidChange();
  };
}

std::vector<SettingsClickRoute> GeneralPage::routes() {
  const qreal w = viewWidth();
  return {
      {general_page::trayToggleRect(w), flip(&UserSettings::showInDockMode)},
      {general_page::desktopPetToggleRect(w), flip(&UserSettings::desktopCompanionMode)},
      {general_page::holdFinishedTurnsToggleRect(w), flip(&UserSettings::holdFinishedTurns)},
  };
}

}  // namespace tandrel
