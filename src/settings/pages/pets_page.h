#pragma once

// The Pets tab of the settings panel: the desktop-pet switch, the reload control, the import row
// and the pet list with avatars, badges, provenance, selection marks and delete buttons; and the
// click routes over the same rectangles (pets_page_layout.h). Below the list, its live preview
// (live_preview_section.h).

#include "settings/pages/live_preview_section.h"
#include "settings/settings_pages.h"

namespace tandrel {

class PetsPage : public SettingsPage {
 public:
  PetsPage(SettingsContext& context, LivePreviewState& preview, LivePreviewControl& control)
      : SettingsPage(context), livePreview_(context, preview, control) {}
  void draw(SettingsPageCanvas& canvas) override;
  std::vector<SettingsClickRoute> routes() override;

 private:
  void drawPetRow(QPainter& painter, int index, PetState islandState, double now);

  LivePreviewSection livePreview_;
};

}  // namespace tandrel
