#include "settings/settings_pages.h"

#include "settings/pages/about_page.h"
#include "settings/pages/ai_tools_page.h"
#include "settings/pages/general_page.h"
#include "settings/pages/pets_page.h"
#include "settings/pages/sounds_page.h"

#include <map>

namespace tandrel {

bool routeContains(const QRectF& rect, QPointF point) {
  return point.x() >= rect.left() && point.x() < rect.right() && point.y() >= rect.top() &&
         point.y() < rect.bottom();
}

const SettingsPage* settingsPage(SettingsTab tab) {
  static const std::map<SettingsTab, SettingsPage> pages{
      {SettingsTab::general, generalSettingsPage()},
      {SettingsTab::pets, petsSettingsPage()},
      {SettingsTab::sound, soundsSettingsPage()},
      {SettingsTab::aiTools, aiToolsSettingsPage()},
      {SettingsTab::about, aboutSettingsPage()},
  };
  const auto it = pages.find(tab);
  return it == pages.end() ? nullptr : &it->second;
}

}  // namespace tandrel
