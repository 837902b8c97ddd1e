#pragma once

// The settings panel of one island view: the frame around the active tab's page (sidebar,
// header, status banner, scroll indicator), scrolling, the pointer (title strip, sidebar, moving
// the window, page clicks and the presses a page follows), the Pets tab's live preview and its
// driver, the AI Tools tab's rows and the About tab's update flow. It owns one page per tab and
// reaches the view only through its SettingsPanelHost.

#include "settings/pages/live_preview_section.h"
#include "settings/settings_context.h"
#include "settings/settings_pages.h"
#include "ui/overlay_settings.h"
#include "update/about_update_flow.h"

#include <QPoint>
#include <QPointF>
#include <QRectF>

#include <map>
#include <memory>
#include <optional>

class QPainter;
class QTimer;

namespace tandrel {

class AIToolsTab;

// What the panel asks of the view beyond what its pages may.
class SettingsPanelHost : public SettingsContext {
 public:
  // Whether the view shows the settings panel now, and the way out of it.
  virtual bool showsSettings() = 0;
  virtual void leaveSettings() = 0;
  // The usage display forgets its list of tools (the tool health changed).
  virtual void usageToolsChanged() = 0;
  // What of the tool health the usage display's list of tools depends on.
  virtual QString usageToolsHealthSignature(const std::vector<ToolHealth>& rows) = 0;
  // Whether the view was torn down.
  virtual bool terminated() = 0;
  // The banner the frame draws and its colour.
  virtual const std::optional<QString>& statusBanner() = 0;
  virtual QColor statusBannerColor() = 0;
};

class SettingsPanel : public LivePreviewControl {
 public:
  explicit SettingsPanel(SettingsPanelHost& host);
  ~SettingsPanel() override;
  SettingsPanel(const SettingsPanel&) = delete;
  SettingsPanel& operator=(const SettingsPanel&) = delete;

  SettingsTab activeTab() const { return activeTab_; }
  // Shows a tab (its preview driver and the view's animations follow); `selectTab` also
  // refreshes what the tab shows (the AI Tools tab reads the tool health again).
  void activateTab(SettingsTab tab);
  void selectTab(SettingsTab tab);
  // Makes a tab the active one and nothing else (the view's set-up).
  void setActiveTab(SettingsTab tab) { activeTab_ = tab; }
  // The page of a tab.
  SettingsPage& page(SettingsTab tab);

  // ---- Frame, scrolling and the pointer (settings_panel.cpp) ----

  // A press of the pointer that the panel follows until the button is released: the window
  // being moved by hand (where the window system cannot move it itself), or the Pets tab's size
  // slider. Screen coordinates for the move; content coordinates for the slider.
  struct PointerInteraction {
    enum class Kind { drag, petScaleSlider };
    Kind kind = Kind::drag;
    QPointF startPoint;
    QRectF frame;
    QRectF track;
    qreal scrollOffset = 0;
  };
  std::optional<PointerInteraction> pointerInteraction;
  // The height of the active tab's content as last drawn, never less than the viewport's.
  qreal lastDrawnContentHeight = 0;
  // Each tab's scroll offset.
  std::map<SettingsTab, qreal> scrollOffsets;
  // The content point of the click being routed.
  QPointF lastClickContentPoint;

  // The frame, the active page, the banner and the scroll indicator.
  void paint(QPainter& painter);
  // The active tab's scroll offset (0 when it was never scrolled).
  qreal scrollOffset() const;
  // A press at `point` (view coordinates): a double click on the title strip zooms the window; a
  // sidebar row selects its tab and clears the banner; the header moves the window; anything
  // else goes to the active page as a click in content coordinates.
  void mouseDown(QPointF point, bool doubleClick);
  // The pointer moved with the button down after a press the panel follows (`point` in view,
  // `globalPoint` in screen coordinates).
  void continuePointerInteraction(QPointF point, QPointF globalPoint);
  // Where a panel moved by hand may go: the screens' available areas together.
  QRectF desktop() const;
  // A click in content coordinates on the active page: true when a region took it.
  bool handleClick(QPointF contentPoint);
  // A wheel movement of `deltaY` pixels (positive: towards the top); true when the offset moved.
  bool scroll(qreal deltaY);
  // A wheel event's movement: touchpads report pixels; wheels report angles, 120 to a notch.
  bool scrollByWheel(QPoint pixelDelta, QPoint angleDelta);

  // ---- The Pets tab's live preview (settings_panel_live_preview.cpp) ----

  // It follows the companion's mode and scale whenever the settings are read, and can be changed
  // on its own.
  LivePreviewState livePreview;
  // Takes the companion's mode and scale from freshly read settings.
  void settingsLoaded();
  // Runs the 60 Hz driver exactly while the animated preview shows: settings shown on the Pets
  // tab, a floating or roaming preview, motion on, no fixture render. A running driver keeps
  // its phase; every start begins at 0.
  void evaluateLivePreviewDriver();
  void stopLivePreviewDriver();
  bool hasLivePreviewDriver() const { return livePreviewTimer_ != nullptr; }
  // One frame at `now` (monotonic seconds): the phase grows by the step, 0 to 50 ms, and the
  // canvas is redrawn.
  void livePreviewDriverTick(double now);
  // The canvas's top in unscrolled content coordinates.
  qreal unscrolledLivePreviewCanvasY();
  // On the Pets tab of a shown panel: scrolls so that the canvas sits 80 below the top.
  void scrollPetsTabToLivePreviewCanvas();
  // The pet scale under the pointer on the slider's track (content coordinates).
  void updateLivePreviewPetScaleSlider(QPointF point, const QRectF& track);
  bool effectiveLivePreviewReduceMotion() const override;
  void livePreviewChanged() override;
  void setFloatingPetScale(double scale) override;
  void beginLivePreviewSliderInteraction(const QRectF& track) override;

  // ---- The About tab's update flow (settings_panel_tabs.cpp) ----

  AboutUpdateFlow& aboutUpdate() { return *aboutUpdate_; }
  // Starts the flow afresh, in the error a failed install left when there is one.
  void resetAboutUpdateFlow(std::optional<QString> installFailure);
  // A click through the click routing in the middle of the update row's status control, and in
  // the middle of the update panel's button (the status control when the panel has none).
  bool clickAboutUpdateCheck();
  bool clickAboutPrimaryUpdateAction();

  // ---- The AI Tools tab (settings_panel_tabs.cpp) ----

  // The tab's rows and actions over the view's tool health; made on first use.
  AIToolsTab& aiToolsTab();

 private:
  SettingsPanelHost& host_;
  SettingsTab activeTab_ = SettingsTab::general;
  std::map<SettingsTab, std::unique_ptr<SettingsPage>> pages_;
  std::unique_ptr<AboutUpdateFlow> aboutUpdate_;
  std::unique_ptr<AIToolsTab> aiToolsTab_;
  QTimer* livePreviewTimer_ = nullptr;
  double livePreviewLastTickTime_ = 0;
};

}  // namespace tandrel
