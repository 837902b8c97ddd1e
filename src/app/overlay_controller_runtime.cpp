// The runtime refresh: a 2 s tick that keeps the panels in step with the inbox, full-screen
// windows, the pointer's screen and files on disk, and the reactions to screen and workspace
// changes.

#include "app/overlay_controller.h"

#include "island/tandrel_view.h"
#include "platform/window_server.h"

#include <QGuiApplication>
#include <QScreen>

namespace tandrel {
namespace {

// A step runs when its interval has passed since it last ran (or it never ran); its date then
// becomes now.
bool throttleDue(QDateTime& lastRun, std::chrono::milliseconds interval, const QDateTime& now) {
  if (lastRun.isValid() && lastRun.msecsTo(now) < interval.count()) {
    return false;
  }
  lastRun = now;
  return true;
}

}  // namespace

bool OverlayController::defaultRuntimeVisibilityPredicate() const {
  if (QCoreApplication::instance() == nullptr) {
    return true;
  }
  for (const auto& surface : surfaces_) {
    if (surface->panel->isVisible() || lastFullscreenDisplayIDs_.count(surface->id) > 0) {
      return true;
    }
  }
  return false;
}

void OverlayController::refreshRuntime() {
  const bool visible = runtimeVisibilityPredicateOverrideForTests ? runtimeVisibilityPredicateOverrideForTests()
                                                                   : defaultRuntimeVisibilityPredicate();
  if (!visible) {
    return;
  }
  ++refreshRuntimeWorkCountForTests;
  updateCompanionProviders();
  const QDateTime now = clock_.now();

  if (throttleDue(lastStoreFallbackRefreshAt_, runtime_tuning::kStoreFallbackInterval, now)) {
    store_->reload(false);
  }

  if (currentMode_ == OverlayMode::expanded) {
    for (const auto& surface : surfaces_) {
      const QSize wanted = frame(surface->view->mode(), surface->screen).toAlignedRect().size();
      if (surface->view->size() != wanted) {
        applyMode(true);
        break;
      }
    }
  }

  if (throttleDue(lastFullscreenRefreshAt_, runtime_tuning::kFullscreenScanInterval, now)) {
    std::set<QString> fullscreen = currentFullscreenDisplayIDs();
    if (fullscreen != lastFullscreenDisplayIDs_) {
      lastFullscreenDisplayIDs_ = std::move(fullscreen);
      applyMode(false);
    }
  }

  if (displayPolicySetting() == DisplayPolicy::mouse && currentMode_ == OverlayMode::collapsed) {
    settingsDidChange();
  }

  if (throttleDue(lastDiskBackedRefreshAt_, runtime_tuning::kDiskBackedRefreshInterval, now)) {
    for (const auto& surface : surfaces_) {
      surface->view->refreshFromDisk();
    }
  }
}

void OverlayController::screenParametersChanged() {
  if (!isPreparingForTermination_) {
    rebuildSurfaces(currentMode_);
  }
}

void OverlayController::scheduleScreenRebuild() {
  // Qt reports one change as several signals (a screen removed, the primary changed, geometry
  // changed); they rebuild once, after Qt's screen list has settled.
  if (screenRebuildPending_) {
    return;
  }
  screenRebuildPending_ = true;
  QPointer<OverlayController> weak(this);
  postToMain([weak] {
    if (weak) {
      weak->screenRebuildPending_ = false;
      weak->screenParametersChanged();
    }
  });
}

void OverlayController::activeSpaceDidChange() {
  if (currentMode_ != OverlayMode::settings) {
    return;
  }
  if (settingsSpaceCloseSuppressedUntil_ && clock_.now() < *settingsSpaceCloseSuppressedUntil_) {
    return;
  }
  settingsSpaceCloseSuppressedUntil_.reset();
  closeSettingsForSpaceChange();
}

void OverlayController::closeSettingsForSpaceChange() {
  currentMode_ = OverlayMode::collapsed;
  lastFullscreenDisplayIDs_ = currentFullscreenDisplayIDs();
  lastFullscreenRefreshAt_ = clock_.now();
  applyActivationPolicy();
  applyModeAfterSettingsBoundaryChange(true, false);
}

void armRuntimeRefreshTimer(QTimer& timer) {
  timer.setTimerType(Qt::VeryCoarseTimer);
  timer.setInterval(runtime_tuning::kRefreshInterval);
}

void OverlayController::startRuntimeObservers() {
  // Screens added, removed, moved or resized rebuild the panels.
  screenObserver_ = std::make_unique<QObject>();
  auto watchScreen = [this](QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, screenObserver_.get(), [this] { scheduleScreenRebuild(); });
    QObject::connect(screen, &QScreen::availableGeometryChanged, screenObserver_.get(),
                     [this] { scheduleScreenRebuild(); });
  };
  if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    for (QScreen* screen : QGuiApplication::screens()) {
      watchScreen(screen);
    }
    QObject::connect(application, &QGuiApplication::screenAdded, screenObserver_.get(), [this, watchScreen](QScreen* screen) {
      watchScreen(screen);
      scheduleScreenRebuild();
    });
    QObject::connect(application, &QGuiApplication::screenRemoved, screenObserver_.get(),
                     [this] { scheduleScreenRebuild(); });
    QObject::connect(application, &QGuiApplication::primaryScreenChanged, screenObserver_.get(),
                     [this] { scheduleScreenRebuild(); });
  }
  windowServer_.setWorkspaceChangedHandler([this] { activeSpaceDidChange(); });

  runtimeTimer_ = std::make_unique<QTimer>();
  armRuntimeRefreshTimer(*runtimeTimer_);
  QObject::connect(runtimeTimer_.get(), &QTimer::timeout, runtimeTimer_.get(), [this] { refreshRuntime(); });
  runtimeTimer_->start();
}

}  // namespace tandrel
