#pragma once

// The Pets tab of the settings panel, above its live preview: the desktop-pet switch, the reload
// control, the import row and the pet list with avatars, badges, provenance, selection marks and
// delete buttons; and the click routes over the same rectangles (pets_page_layout.h).

#include "settings/settings_pages.h"

namespace tandrel {

SettingsPage petsSettingsPage();

}  // namespace tandrel
