#include "settings/pages/general_page.h"

#include "island/tandrel_view.h"
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

QString trayRowDetail(const TandrelView& view) {
  // With the switch on and no tray running, the row says why no icon shows; one shows as soon
  // as a tray starts.
  if (view.settings().values().showInDockMode && view.controller != nullptr && !view.controller->trayHostRuns()) {
    return QStringLiteral("This desktop shows no tray icon now: no system tray is running");
  }
  return QStringLiteral("Keep the Tandrel icon and its menu in the system tray");
}
}  // namespace general_page

namespace {

void draw(TandrelView& view, SettingsPageCanvas& canvas) {
  const UserSettings& settings = view.settings().values();
  settings_paint::drawSettingRow(canvas.painter, canvas.viewWidth, general_page::kTrayRowY,
                                 QStringLiteral("Show in Tray"), general_page::trayRowDetail(view),
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

// Flips one flag, writes the settings and lets the controller re-apply what depends on them.
std::function<void()> flip(TandrelView& view, bool UserSettings::*flag) {
  return [&view, flag] {
    view.settings().change([flag](UserSettings& s) { s.*flag = !(s.*flag); });
    if (view.controller != nullptr) {
      view.controller->settingsDidChange();
    }
  };
}

std::vector<SettingsClickRoute> routes(TandrelView& view) {
  const qreal w = view.width();
  return {
      {general_page::trayToggleRect(w), flip(view, &UserSettings::showInDockMode)},
      {general_page::desktopPetToggleRect(w), flip(view, &UserSettings::desktopCompanionMode)},
      {general_page::holdFinishedTurnsToggleRect(w), flip(view, &UserSettings::holdFinishedTurns)},
  };
}

}  // namespace

SettingsPage generalSettingsPage() { return SettingsPage{draw, routes}; }

}  // namespace tandrel
