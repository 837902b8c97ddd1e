#pragma once

// The Pets tab's "Live Preview" section below the pet list: the selected pet's header with the
// reduce-motion switch, the four placements, the pet size pills and slider, the canvas showing
// the pet the way the desktop companion would, and the eight preview states; with the click
// routes over the same rectangles (live_preview_layout.h).

#include "settings/settings_pages.h"

#include <vector>

class QPainter;

namespace tandrel {

class TandrelView;

// Draws the section starting at `below` and returns its bottom (the panel's bottom + 16).
qreal drawLivePreviewSection(QPainter& painter, TandrelView& view, qreal below);

// The section's click regions: placement pills, size pills, the slider (which the page follows
// while the button is held), the reduce-motion switch and the state pills.
std::vector<SettingsClickRoute> livePreviewRoutes(TandrelView& view, qreal below);

}  // namespace tandrel
