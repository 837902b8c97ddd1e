#include "app/hot_keys.h"
#include "app/overlay_controller.h"
#include "base/log.h"
#include "platform/dispatch.h"
#include "requests/pending_action_store.h"

namespace tandrel {

void OverlayController::registerHotKeys() {
  if (hotKeys_ != nullptr) {
    return;
  }
  if (options_.hotKeys != nullptr) {
    hotKeys_ = options_.hotKeys;
  } else {
    sessionHotKeys_ = GlobalHotKeys::createForSession();
    hotKeys_ = sessionHotKeys_.get();
  }
  if (const std::optional<QString> reason = hotKeys_->unavailableReason()) {
    logInfo(*reason);
    return;
  }
  hotKeys_->onPressed = [this](int id) {
    // Out of the native event filter first; the operations rebuild and move windows.
    postToMain(this, [id](OverlayController& controller) {
      switch (static_cast<HotKeyOperation>(id)) {
        case HotKeyOperation::toggle:
          controller.toggleFromHotKey();
          break;
        case HotKeyOperation::jumpToLatestPending:
          controller.jumpToLatestPendingFromHotKey();
          break;
        case HotKeyOperation::cycleToNextPending:
          controller.cycleToNextPendingFromHotKey();
          break;
      }
    });
  };
  for (const HotKey& key : kApplicationHotKeys) {
    if (Result<void> registered = hotKeys_->registerHotKey(key); !registered) {
      logWarning(QStringLiteral("hot key not registered: %1").arg(registered.error()));
      unavailableHotKeys_.push_back(registered.error());
    }
  }
}

void OverlayController::unregisterHotKeys() {
  if (hotKeys_ == nullptr) {
    return;
  }
  hotKeys_->unregisterAll();
  hotKeys_->onPressed = nullptr;
  hotKeys_ = nullptr;
  sessionHotKeys_.reset();
}

void OverlayController::toggleFromHotKey() {
  const OverlayMode oldMode = currentMode_;
  if (oldMode == OverlayMode::collapsed) {
    const std::vector<ScreenInfo> screens = screensForCurrentPolicy();
    activeSurfaceID_ = screens.empty() ? std::nullopt : std::optional<QString>(screenID(screens.front()));
    currentMode_ = OverlayMode::expanded;
  } else {
    currentMode_ = OverlayMode::collapsed;
    if (oldMode == OverlayMode::settings) {
      applyActivationPolicy();
    }
  }
  applyModeAfterSettingsBoundaryChange(oldMode == OverlayMode::settings, true);
}

void OverlayController::jumpToLatestPendingFromHotKey() {
  const std::optional<PendingAction> latest = latestPendingAction(pendingActions_.waitingActions());
  if (!latest) {
    toggleFromHotKey();
    return;
  }
  if (notificationDelegate_) {
    notificationDelegate_->jump(*latest);
  }
}

void OverlayController::cycleToNextPendingFromHotKey() {
  const std::optional<PendingAction> next =
      nextPendingActionToCycle(pendingActions_.waitingActions(), lastCycledRequestID_);
  if (!next) {
    return;
  }
  lastCycledRequestID_ = next->requestID;
  if (notificationDelegate_) {
    notificationDelegate_->jump(*next);
  }
}

}  // namespace tandrel
