#pragma once

// What a settings page may reach of the view that shows it: the settings, the clock, the view's
// sounds and pets, the tool health, the status banner, a redraw and the controller. The island
// view implements it; pages never see the view itself.

#include "attention/pet_state.h"
#include "hooks/hook_manager.h"
#include "platform/clock.h"
#include "ui/overlay_host.h"
#include "ui/settings_model.h"

#include <QColor>
#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace tandrel {

class ViewPets;
class ViewSounds;

class SettingsContext {
 public:
  virtual ~SettingsContext() = default;

  virtual SettingsModel& settings() = 0;
  virtual Clock& clock() = 0;
  virtual ViewSounds& sounds() = 0;
  virtual ViewPets& pets() = 0;
  // The tool health the AI Tools tab shows and re-reads; the usage display reads the same rows.
  virtual std::vector<ToolHealth>& toolHealth() = 0;
  // The one-line status banner in `color` (none clears it).
  virtual void showBanner(std::optional<QString> text, const QColor& color) = 0;
  virtual void redraw() = 0;
  // The controller that placed the view; none for views drawn without a panel.
  virtual OverlayHost* host() = 0;
  // Tells the controller that the view's pet catalogue changed, with the view as its source.
  virtual void petsDidChange() = 0;
  // The widget that shows the page: its width, and the parent of the dialogs a page opens.
  virtual QWidget& widget() = 0;
  // The island pet's state, which the Pets tab marks in its list.
  virtual PetState islandPetState() = 0;
  // Keeps the usage display's active tool among the tools shown (after a tool was hidden or
  // the tool health was read again).
  virtual void normalizeActiveUsageTool() = 0;
  // Arms, keeps or stops the view's animation timer for what animates now.
  virtual void evaluateAnimationTimer() = 0;

  // The monotonic clock in seconds: every pet animation is drawn at this time.
  double mediaSeconds() { return clock().monotonicMs() / 1000.0; }
  // Tells the controller that a setting changed which may move or re-lay the panels.
  void settingsDidChange() {
    if (OverlayHost* controller = host()) {
      controller->settingsDidChange();
    }
  }
};

}  // namespace tandrel
