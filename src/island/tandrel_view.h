#pragma once

// The island view of one overlay panel: the collapsed capsule, the expanded inbox and the
// settings page are all drawn by it, in the mode the controller gives it.

#include "app/overlay_mode.h"
#include "app/overlay_settings.h"
#include "island/island_geometry.h"

#include <QPainterPath>
#include <QRegion>
#include <QWidget>

namespace tandrel {

class EventStore;
class OverlayController;

class TandrelView : public QWidget {
  Q_OBJECT

 public:
  // A view of `size` over the one store; the controller then sets `controller`, the mode and the
  // display kind.
  TandrelView(const QSize& size, EventStore& store, QWidget* parent = nullptr);
  ~TandrelView() override;

  // The controller that placed the view; null for views drawn without a panel.
  OverlayController* controller = nullptr;

  OverlayMode mode() const { return mode_; }
  void setMode(OverlayMode mode);

  DisplayKind displayKind() const { return displayKind_; }
  void setDisplayKind(DisplayKind kind);

  SettingsTab activeSettingsTab() const { return activeSettingsTab_; }
  // Shows a settings tab; `selectSettingsTab` also refreshes what the tab shows.
  void activateSettingsTab(SettingsTab tab);
  void selectSettingsTab(SettingsTab tab);
  // The settings window's close button: asks the controller to close the settings page.
  void closeSettingsFromTitleBar();

  // The controller's periodic refresh: redraws when anything the view shows changed on disk.
  void refreshFromDisk();

  // Stops the view's pending work; safe to call more than once.
  void prepareForTermination();
  static inline int terminationCountForTests = 0;

  // The island's outline for a panel of `size`: the panel is cut to it when no compositor blends
  // transparent corners, and drawing fills it.
  QPainterPath islandOutline(const QSizeF& size) const;
  QRegion islandShape(const QSize& size) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  EventStore& store_;
  OverlayMode mode_ = OverlayMode::collapsed;
  DisplayKind displayKind_ = DisplayKind::macBookPhysical;
  SettingsTab activeSettingsTab_ = SettingsTab::general;
};

}  // namespace tandrel
