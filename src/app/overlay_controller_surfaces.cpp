// The overlay surfaces: which screens show the island, building and replacing the panels, and
// laying them out for the current mode.

#include "app/overlay_controller.h"

#include "app/application_menu.h"
#include "base/log.h"
#include "catalog/paths.h"
#include "island/tandrel_view.h"
#include "platform/user_defaults.h"
#include "platform/window_server.h"
#include "ui/window_activation.h"

#include <QCursor>
#include <QGuiApplication>
#include <QWindow>

#include <unistd.h>

namespace tandrel {
namespace {

bool debugRegular() { return qgetenv("TANDREL_DEBUG_REGULAR") == "1"; }

PanelStyle panelStyleFor(OverlayMode mode) {
  if (mode == OverlayMode::settings) {
    return PanelStyle::settings;
  }
  return debugRegular() ? PanelStyle::debugRegularIsland : PanelStyle::island;
}

// Orders a panel to the front without taking focus, or shows and focuses it.
void orderFront(QWidget& panel) {
  panel.show();
  panel.raise();
}

void makeKeyAndOrderFront(QWidget& panel) {
  panel.show();
  panel.raise();
  activateIfItTakesFocus(panel);
}

}  // namespace

DisplayPolicy OverlayController::displayPolicySetting() const {
  const std::optional<QString> raw = defaults_.string(kDisplayPolicyKey);
  return raw ? parseDisplayPolicy(*raw).value_or(DisplayPolicy::primary) : DisplayPolicy::primary;
}

bool OverlayController::showCapsuleSetting() const { return settings_.values().showCapsuleMode; }

std::vector<ScreenInfo> OverlayController::allScreens() const {
  return options_.screens ? options_.screens() : ScreenInfo::fromScreens();
}

std::vector<ScreenInfo> OverlayController::uniqueLogicalScreens() const {
  return tandrel::uniqueLogicalScreens(allScreens());
}

std::vector<ScreenInfo> OverlayController::screensForCurrentPolicy() const {
  return screensForPolicy(uniqueLogicalScreens(), displayPolicySetting(), QCursor::pos());
}

QString OverlayController::screenSignature() const { return tandrel::screenSignature(screensForCurrentPolicy()); }

DisplayKind OverlayController::displayKind(const ScreenInfo* screen) const {
  return displayKindFor(qgetenv("TANDREL_DISPLAY_KIND"), screen);
}

QSizeF OverlayController::size(OverlayMode mode, const ScreenInfo& screen) {
  switch (mode) {
    case OverlayMode::collapsed:
      // Linux reports no camera housing: the safe top inset is 0.
      return collapsedOverlaySize(displayKind(&screen), topReservedHeight(screen), 0);
    case OverlayMode::expanded: {
      // Only the active surface expands; a choice card open there makes room for its body.
      const OverlaySurface* active = activeSurface();
      const qreal openChoice = active != nullptr && active->view != nullptr ? active->view->openChoiceExtent() : 0;
      return {island::kExpandedWidth,
              expandedOverlayHeight(static_cast<int>(store_->allMessages().size()), openChoice)};
    }
    case OverlayMode::settings:
      return settingsFrame(screen).size();
  }
  return {};
}

QRectF OverlayController::frame(OverlayMode mode, const ScreenInfo& screen) {
  if (mode == OverlayMode::settings) {
    return settingsFrame(screen);
  }
  return topCentredFrame(size(mode, screen), screen.geometry);
}

QRectF OverlayController::settingsFrame(const ScreenInfo& screen) {
  const QString key = screenID(screen);
  const auto remembered = settingsPanelFrames_.find(key);
  if (remembered != settingsPanelFrames_.end()) {
    remembered->second = clampedSettingsPanelFrame(
        remembered->second, settingsPanelDesktopFrame(settingsPanelVisibleFrames(QRectF(screen.availableGeometry))));
    return remembered->second;
  }
  return settingsPanelDefaultFrame(QRectF(screen.availableGeometry));
}

std::vector<QRectF> OverlayController::settingsPanelVisibleFrames(const QRectF& fallback) const {
  std::vector<QRectF> frames;
  for (const ScreenInfo& screen : uniqueLogicalScreens()) {
    frames.emplace_back(screen.availableGeometry);
  }
  if (frames.empty()) {
    frames.push_back(fallback);
  }
  return frames;
}

OverlaySurface* OverlayController::activeSurface() const {
  if (surfaces_.empty()) {
    return nullptr;
  }
  for (const auto& surface : surfaces_) {
    if (activeSurfaceID_ && surface->id == *activeSurfaceID_) {
      return surface.get();
    }
  }
  return surfaces_.front().get();
}

void OverlayController::rebuildSurfaces(OverlayMode mode) {
  std::vector<std::unique_ptr<OverlaySurface>> oldSurfaces = std::move(surfaces_);
  surfaces_.clear();
  const std::vector<ScreenInfo> policyScreens = screensForCurrentPolicy();

  std::optional<ScreenInfo> previousActive;
  for (const auto& surface : oldSurfaces) {
    if (activeSurfaceID_ && surface->id == *activeSurfaceID_) {
      previousActive = surface->screen;
    }
  }
  if (!previousActive && !oldSurfaces.empty()) {
    previousActive = oldSurfaces.front()->screen;
  }
  if (!previousActive && !policyScreens.empty()) {
    previousActive = policyScreens.front();
  }

  lastFullscreenDisplayIDs_ = currentFullscreenDisplayIDs();
  lastFullscreenRefreshAt_ = clock_.now();

  const bool translucent = windowServer_.hasCompositor();
  for (const ScreenInfo& screen : policyScreens) {
    // Only the active screen shows the expanded island or the settings page.
    const OverlayMode surfaceMode =
        mode != OverlayMode::collapsed && previousActive && !sameScreen(screen, &*previousActive)
            ? OverlayMode::collapsed
            : mode;
    auto surface = std::make_unique<OverlaySurface>();
    surface->id = screenID(screen);
    surface->screen = screen;
    const QRect panelFrame = frame(surfaceMode, screen).toAlignedRect();

    auto* view = new TandrelView(panelFrame.size(), *store_, settings_, clock_);
    view->controller = this;
    view->waitingFinishedTurns = [this] { return waitingFinishedTurns(); };
    view->companionDragOut = companionDragOutHandle();
    // A card answers the request waiting behind it exactly as the request's notification does.
    view->respondToRequest = [this](const QString& actionID, const PendingAction& action) {
      if (notificationDelegate_) {
        notificationDelegate_->dispatch(actionID, action.requestID, rawValue(action.kind));
      }
    };
    // The power button quits as the menu and the signals do: teardown first, so that no panel is
    // left to turn the quit down by keeping its close for itself. The press runs inside this
    // view's own handler and the teardown deletes the view, so it waits for the next turn.
    view->quitApplication = [this] { requestTermination(); };
    // Views are made anew when the settings boundary is crossed: each starts from what the
    // launch and the last automatic check found, not from a blank About tab.
    view->resetAboutUpdateFlow(installFailureAtLaunch_);
    if (lastAutomaticUpdateResult_) {
      view->aboutUpdate().applyAutomaticUpdateResult(UpdateCheckResult(*lastAutomaticUpdateResult_), false);
    }
    view->setMode(surfaceMode);
    view->setDisplayKind(displayKind(&screen));

    surface->panel = std::make_unique<TandrelOverlayPanel>(panelStyleFor(surfaceMode), translucent, &windowServer_);
    TandrelOverlayPanel& panel = *surface->panel;
    panel.setContentView(view);
    panel.setGeometry(panelFrame);
    panel.setCloseHandler([this, view] { closeSettings(view); });
    if (applicationMenu_ && panel.style() == PanelStyle::settings) {
      applicationMenu_->attach(panel);
    }
    if (panel.style() != PanelStyle::settings) {
      // The overlay properties must be on the window before the window manager first sees it.
      if (Result<void> prepared = windowServer_.prepareOverlayWindow(panel.winId()); !prepared) {
        static bool logged = false;
        if (!logged) {
          logged = true;
          logInfo(prepared.error());
        }
      }
    }
    surface->view = view;
    configurePanelChrome(*surface, surfaceMode);
    if (surfaceMode == OverlayMode::settings || debugRegular()) {
      makeKeyAndOrderFront(panel);
    } else {
      orderFront(panel);
    }
    surfaces_.push_back(std::move(surface));
  }

  activeSurfaceID_.reset();
  for (const auto& surface : surfaces_) {
    if (previousActive && sameScreen(surface->screen, &*previousActive)) {
      activeSurfaceID_ = surface->id;
      break;
    }
  }
  if (!activeSurfaceID_ && !surfaces_.empty()) {
    activeSurfaceID_ = surfaces_.front()->id;
  }

  // The old panels go only after the new ones are shown.
  const bool replaced = !oldSurfaces.empty();
  retireSurfaces(oldSurfaces);
  lastScreenSignature_ = tandrel::screenSignature(policyScreens);
  applyMode(false);
  if (replaced) {
    // The new panels know nothing of where the pointer was (a screen that went may have taken
    // the expanded island with it).
    collapseExpandedIslandLaterUnlessPointerNear(TandrelView::kCollapseDelay);
  }
}

void OverlayController::collapseExpandedIslandLaterUnlessPointerNear(std::chrono::milliseconds delay) {
  if (OverlaySurface* active = activeSurface(); active != nullptr && currentMode_ == OverlayMode::expanded) {
    active->view->collapseLaterUnlessPointerNear(delay);
  }
}

void OverlayController::destroySurfaces() {
  retireSurfaces(surfaces_);
  activeSurfaceID_.reset();
}

void OverlayController::retireSurfaces(std::vector<std::unique_ptr<OverlaySurface>>& surfaces) {
  for (const auto& surface : surfaces) {
    if (surface->view != nullptr) {
      surface->view->prepareForTermination();
    }
    TandrelOverlayPanel* panel = surface->panel.release();
    panel->setCloseHandler(nullptr);
    panel->hide();
    // Deleted on the next turn of the event loop: the request may come from inside the panel.
    panel->deleteLater();
  }
  surfaces.clear();
}

void OverlayController::configurePanelChrome(OverlaySurface& surface, OverlayMode mode) {
  TandrelOverlayPanel& panel = *surface.panel;
  panel.allowsRegularWindowActivation = mode == OverlayMode::settings;
  // The window kind (island or settings window) is fixed when a panel is made: crossing the
  // settings boundary rebuilds the panels.
  if (mode == OverlayMode::settings) {
    panel.setWindowTitle(QStringLiteral("Tandrel"));
  }
}

void OverlayController::applyMode(bool animated) {
  if (surfaces_.empty()) {
    return;
  }
  const bool showCapsule = showCapsuleSetting();
  OverlaySurface* active = activeSurface();
  for (const auto& surfacePointer : surfaces_) {
    OverlaySurface& surface = *surfacePointer;
    const OverlayMode surfaceMode =
        currentMode_ != OverlayMode::collapsed && &surface != active ? OverlayMode::collapsed : currentMode_;
    TandrelView& view = *surface.view;
    TandrelOverlayPanel& panel = *surface.panel;
    view.setDisplayKind(displayKind(&surface.screen));
    const QRect target = frame(surfaceMode, surface.screen).toAlignedRect();
    view.setMode(surfaceMode);
    configurePanelChrome(surface, surfaceMode);

    const bool fullscreen = lastFullscreenDisplayIDs_.count(surface.id) > 0;
    if (surfaceMode == OverlayMode::settings) {
      makeKeyAndOrderFront(panel);
    } else if (fullscreen || !showCapsule) {
      panel.hide();
    } else {
      orderFront(panel);
    }

    if (!animated || !panel.isVisible()) {
      panel.setFrame(target);
      view.update();
      applyModeDisplayFrameUsedForTests = true;
    } else {
      panel.animateFrame(target);
      applyModeAnimatedFrameUsedForTests = true;
    }
  }
  keepStartupPromptInFront();
}

void OverlayController::keepStartupPromptInFront() {
  if (startupPermissionPrompt_) {
    startupPermissionPrompt_->raiseAboveOverlays();
  }
}

void OverlayController::applyModeAfterSettingsBoundaryChange(bool wasSettings, bool animated) {
  if (wasSettings == (currentMode_ == OverlayMode::settings)) {
    applyMode(animated);
  } else {
    rebuildSurfaces(currentMode_);
  }
}

void OverlayController::setMode(OverlayMode mode, TandrelView* source) {
  std::optional<SettingsTab> tab;
  if (source != nullptr) {
    for (const auto& surface : surfaces_) {
      if (surface->view == source) {
        activeSurfaceID_ = surface->id;
      }
    }
    tab = source->activeSettingsTab();
  }
  const OverlayMode oldMode = currentMode_;
  currentMode_ = mode;
  if ((oldMode == OverlayMode::settings) != (mode == OverlayMode::settings)) {
    applyActivationPolicy();
  }
  applyModeAfterSettingsBoundaryChange(oldMode == OverlayMode::settings, true);
  if (mode == OverlayMode::settings && tab) {
    selectSettingsTabOnSurfaces(*tab);
  }
  if (mode == OverlayMode::settings && oldMode != OverlayMode::settings) {
    bringSettingsPanelToFront();
  }
}

void OverlayController::closeSettings(TandrelView* source) {
  OverlaySurface* surface = nullptr;
  for (const auto& candidate : surfaces_) {
    if (source != nullptr && candidate->view == source) {
      surface = candidate.get();
    }
  }
  if (surface == nullptr) {
    surface = activeSurface();
  }
  std::optional<ScreenInfo> screen;
  if (surface != nullptr) {
    activeSurfaceID_ = surface->id;
    screen = surface->screen;
  } else if (const std::vector<ScreenInfo> policyScreens = screensForCurrentPolicy(); !policyScreens.empty()) {
    screen = policyScreens.front();
  }
  const QRectF expandedFrame =
      screen ? frame(OverlayMode::expanded, *screen) : QRectF(0, 0, island::kExpandedWidth, expandedOverlayHeight(0));
  const bool wasSettings = currentMode_ == OverlayMode::settings;
  currentMode_ = insideExpandedHoverRegion(expandedFrame, QCursor::pos()) ? OverlayMode::expanded : OverlayMode::collapsed;
  applyActivationPolicy();
  applyModeAfterSettingsBoundaryChange(wasSettings, true);
}

void OverlayController::settingsDidChange() {
  applyActivationPolicy();
  updateTrayIcon();
  const DisplayPolicy policy = displayPolicySetting();
  const QString signature = screenSignature();
  if (policy == lastDisplayPolicy_ && signature == lastScreenSignature_) {
    applyMode(false);
  } else {
    lastDisplayPolicy_ = policy;
    rebuildSurfaces(currentMode_);
  }
  syncCompanion();
}

void OverlayController::petsDidChange(TandrelView* source) {
  if (source == nullptr) {
    return;
  }
  std::vector<TandrelView*> views;
  for (const auto& surface : surfaces_) views.push_back(surface->view);
  syncPetSettings(*source, views);
  syncCompanion();
}

void OverlayController::selectSettingsTabOnSurfaces(SettingsTab tab) {
  for (const auto& surface : surfaces_) {
    surface->view->activateSettingsTab(tab);
  }
  if (OverlaySurface* active = activeSurface()) {
    active->view->selectSettingsTab(tab);
  }
}

void OverlayController::bringSettingsPanelToFront() {
  settingsSpaceCloseSuppressedUntil_ = clock_.now().addMSecs(runtime_tuning::kSettingsSpaceCloseSuppression.count());
  bringSettingsPanelToFrontStep();
  QPointer<OverlayController> weak(this);
  postToMain([weak] {
    if (weak) {
      weak->bringSettingsPanelToFrontStep();
    }
  });
  clock_.schedule(runtime_tuning::kSecondBringToFrontDelay, [weak] {
    if (weak) {
      weak->bringSettingsPanelToFrontStep();
    }
  });
}

void OverlayController::bringSettingsPanelToFrontStep() {
  if (OverlaySurface* active = activeSurface()) {
    makeKeyAndOrderFront(*active->panel);
    keepStartupPromptInFront();
  }
}

std::set<QString> OverlayController::currentFullscreenDisplayIDs() {
  if (isTestEnvironment()) {
    return {};
  }
  return displayIDsWithFullScreenWindows(windowServer_.currentWindowSnapshots(),
                                         activeDisplayBounds(uniqueLogicalScreens()),
                                         static_cast<qint32>(::getpid()), windowServer_.supportsFullScreenState());
}

}  // namespace tandrel
