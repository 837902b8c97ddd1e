#pragma once

// The Pets tab's "Live Preview" section below the pet list: the selected pet's header with the
// reduce-motion switch, the four placements, the pet size pills and slider, the canvas showing
// the pet the way the desktop companion would, and the eight preview states; with the click
// routes over the same rectangles (live_preview_layout.h).

#include "events/pet_preview_state.h"
#include "settings/settings_pages.h"

#include <vector>

class QPainter;

namespace tandrel {

// What the preview shows: it follows the companion's mode and scale whenever the settings are
// read, and can be changed on its own. A fixture's preview stands still at its phase.
struct LivePreviewState {
  PetPreviewMode mode = PetPreviewMode::bubble;
  bool reduceMotion = false;
  double petScale = 1.0;
  double phase = 0;
  bool fixtureMode = false;
};

// What the section asks of the panel that runs the preview.
class LivePreviewControl {
 public:
  virtual ~LivePreviewControl() = default;
  // The preview's own switch or the app-wide one; never in fixture renders (fixed phase).
  virtual bool effectiveLivePreviewReduceMotion() const = 0;
  // The preview's mode or motion changed: the driver follows and the panel redraws.
  virtual void livePreviewChanged() = 0;
  // The desktop companion's scale, pulled into 0.75...1.6, also taken by the preview.
  virtual void setFloatingPetScale(double scale) = 0;
  // A press on the slider: the scale follows it until the button is released.
  virtual void beginLivePreviewSliderInteraction(const QRectF& track) = 0;
};

class LivePreviewSection {
 public:
  LivePreviewSection(SettingsContext& context, LivePreviewState& state, LivePreviewControl& control)
      : context_(context), state_(state), control_(control) {}

  // Draws the section starting at `below` and returns its bottom (the panel's bottom + 16).
  qreal draw(QPainter& painter, qreal below);
  // The section's click regions: placement pills, size pills, the slider (which the panel follows
  // while the button is held), the reduce-motion switch and the state pills.
  std::vector<SettingsClickRoute> routes(qreal below);

 private:
  void drawHeader(QPainter& painter, const QRectF& header);
  void drawSizeControl(QPainter& painter, const QRectF& control);
  void drawCanvas(QPainter& painter, const QRectF& canvas);

  SettingsContext& context_;
  LivePreviewState& state_;
  LivePreviewControl& control_;
};

}  // namespace tandrel
