#pragma once

// What a view may ask of whoever placed it on the screen (the application controller): the few
// calls through which views talk upwards. The controller talks down to the views directly.

#include "ui/overlay_mode.h"

#include <QObject>
#include <QRectF>

#include <vector>

namespace tandrel {

class TandrelView;

class OverlayHost : public QObject {
 public:
  using QObject::QObject;

  // A view (none: the hot key) asks for a mode; the view's surface becomes the active one.
  virtual void setMode(OverlayMode mode, TandrelView* source) = 0;
  virtual void closeSettings(TandrelView* source) = 0;
  // A view changed a setting that may move or re-lay the panels.
  virtual void settingsDidChange() = 0;
  // A view's pet catalogue changed: the other views and the companion follow.
  virtual void petsDidChange(TandrelView* source) = 0;
  // Whether a tray host runs on this desktop now.
  virtual bool trayHostRuns() const = 0;
  // The settings panel's frames on every screen (`fallback` where a screen has none remembered).
  virtual std::vector<QRectF> settingsPanelVisibleFrames(const QRectF& fallback) const = 0;
  // Tears everything down, then ends the application's event loop.
  virtual void handleTerminationRequest() = 0;
};

// A panel that takes the keyboard only while the user types into it (the island's panel while a
// card's note has the focus).
class KeyboardFocusPanel {
 public:
  virtual ~KeyboardFocusPanel() = default;
  virtual void takeKeyboardFocus() = 0;
  virtual void releaseKeyboardFocus() = 0;
};

}  // namespace tandrel
