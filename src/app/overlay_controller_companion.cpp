#include "app/overlay_controller.h"

#include "base/log.h"
#include "island/tandrel_view.h"
#include "jump/jump_diagnostics.h"
#include "pets/pet_images.h"
#include "platform/appearance.h"
#include "platform/user_defaults.h"
#include "platform/window_server.h"

#include <QActionGroup>
#include <QJsonObject>

#include <cmath>

namespace tandrel {

using namespace companion;

namespace {

// The pet dragged out of an island view moves the companion, in placement, under the pointer.
class ControllerCompanionDragOut final : public CompanionDragOut {
 public:
  explicit ControllerCompanionDragOut(OverlayController& controller) : controller_(controller) {}

  bool begin(QPointF screenPoint) override {
    controller_.settings().change(applyCompanionDragOutSettings);
    controller_.syncCompanion();
    TandrelCompanionView* view = controller_.companionView();
    if (view == nullptr) return false;
    view->placementMode = true;
    view->update();
    controller_.updateCompanionDragOut(screenPoint);
    return true;
  }

  void move(QPointF screenPoint) override { controller_.updateCompanionDragOut(screenPoint); }

  void finish(QPointF screenPoint) override {
    controller_.updateCompanionDragOut(screenPoint);
    if (TandrelCompanionView* view = controller_.companionView()) {
      controller_.persistCompanionFrame(QRectF(view->geometry()));
    }
    controller_.endCompanionPlacement();
  }

 private:
  OverlayController& controller_;
};

double secondsOf(const Clock& clock) { return clock.monotonicMs() / 1000.0; }

qint64 wholeMilliseconds(double seconds) { return std::llround(seconds * 1000); }

}  // namespace

CompanionDragOut* OverlayController::companionDragOutHandle() {
  if (!companionDragOut_) companionDragOut_ = std::make_unique<ControllerCompanionDragOut>(*this);
  return companionDragOut_.get();
}

bool OverlayController::companionSetting() const { return settings_.values().desktopCompanionMode; }

CompanionDisplayMode OverlayController::companionDisplayModeSetting() const {
  return settings_.values().companionDisplayMode;
}

double OverlayController::floatingPetScaleSetting() const { return settings_.values().floatingPetScale; }

void OverlayController::createCompanion() {
  const CompanionDisplayMode mode = companionDisplayModeSetting();
  companionView_ = std::make_unique<TandrelCompanionView>(*store_, settings_, windowServer_.hasCompositor(), clock_);
  TandrelCompanionView& view = *companionView_;
  view.displayMode = mode;
  view.darkAppearance = prefersDarkAppearance();
  QPointer<OverlayController> weak(this);
  if (!appearanceWatcher_) {
    appearanceWatcher_ = std::make_unique<AppearanceWatcher>();
    QObject::connect(appearanceWatcher_.get(), &AppearanceWatcher::darkAppearanceChanged, this, [weak](bool dark) {
      if (!weak || !weak->companionView_) return;
      weak->companionView_->darkAppearance = dark;
      weak->companionView_->redrawIfChanged();
    });
  }
  view.actions.openStatus = [weak](const CompanionStatusItem& item) {
    if (weak) weak->openCompanionStatus(item);
  };
  view.actions.persistFrame = [weak](const QRectF& frame) {
    if (weak) weak->persistCompanionFrame(frame);
  };
  view.actions.endPlacement = [weak] {
    if (weak) weak->endCompanionPlacement();
  };
  view.actions.openPetSettings = [weak] {
    if (weak) weak->openCompanionPetSettings();
  };
  view.actions.showMenu = [weak](QPointF point) {
    if (weak) weak->showCompanionMenu(point);
  };
  view.setGeometry(companionFrame(companionSize(mode, floatingPetScaleSetting()), companionScreenGeometry()).toRect());
  // Above ordinary windows, on every workspace, without taskbar entry, before the window manager
  // first sees it.
  if (Result<void> prepared = windowServer_.prepareOverlayWindow(view.winId()); !prepared) {
    static bool logged = false;
    if (!logged) {
      logged = true;
      logInfo(prepared.error());
    }
  }

  companionBubbleView_ = std::make_unique<TandrelCompanionBubbleView>();
  companionBubbleView_->openStatus = [weak](const CompanionStatusItem& item) {
    if (weak) weak->openCompanionStatus(item);
  };
  positionCompanionBubble();
}

void OverlayController::syncCompanion() {
  if (companionSetting() && !isPreparingForTermination_) {
    if (!companionView_) createCompanion();
    companionView_->displayMode = companionDisplayModeSetting();
    companionView_->redrawIfChanged();
    companionView_->evaluateAnimationTimer();
    positionCompanion();
    companionView_->show();
    companionView_->raise();
  } else {
    destroyCompanion();
  }
  updateCompanionProviders();
  positionCompanionBubble();
  evaluateCompanionMotionTimer();
}

void OverlayController::destroyCompanion() {
  companionPlacementEnd_.cancel();
  companionMotionTimer_.reset();
  // "Hide Companion" comes here from inside the menu's own handling of the click: it goes once
  // that has returned.
  if (companionMenu_) companionMenu_.release()->deleteLater();
  if (companionView_) {
    companionView_->prepareForTermination();
    companionView_->hide();
    companionView_.reset();
  }
  companionBubbleView_.reset();
}

QRectF OverlayController::companionFrame(const QSizeF& size, const std::optional<QRectF>& screenAvailableGeometry) {
  CompanionPlacement placement;
  placement.mode = companionDisplayModeSetting();
  placement.size = size;
  placement.visible = companionVisibleFrame(screenAvailableGeometry);
  const std::optional<double> x = defaults_.storedAs<double>(kCompanionOriginXKey);
  const std::optional<double> y = defaults_.storedAs<double>(kCompanionOriginYKey);
  if (x && y) placement.persistedOrigin = QPointF(*x, *y);
  placement.anchor = roamingCompanionAnchor_;
  placement.now = secondsOf(clock_);
  return companion::companionFrame(placement, companionScreens());
}

QRectF OverlayController::clampCompanionFrame(const QRectF& frame) const {
  return companion::clampCompanionFrame(frame, companionScreens());
}

std::optional<QRectF> OverlayController::companionScreenGeometry() const {
  if (const OverlaySurface* active = activeSurface()) return QRectF(active->screen.availableGeometry);
  if (const std::vector<ScreenInfo> screens = screensForCurrentPolicy(); !screens.empty()) {
    return QRectF(screens.front().availableGeometry);
  }
  if (const std::vector<ScreenInfo> all = allScreens(); !all.empty()) return QRectF(all.front().availableGeometry);
  return std::nullopt;
}

CompanionScreens OverlayController::companionScreens() const {
  CompanionScreens screens;
  for (const ScreenInfo& screen : allScreens()) screens.available.emplace_back(screen.availableGeometry);
  if (const OverlaySurface* active = activeSurface()) screens.activeSurface = QRectF(active->screen.availableGeometry);
  // Qt lists the primary screen first.
  if (!screens.available.empty()) screens.primary = screens.available.front();
  return screens;
}

void OverlayController::positionCompanion() {
  if (!companionView_ || companionView_->placementMode) return;
  TandrelCompanionView& view = *companionView_;
  const CompanionDisplayMode mode = companionDisplayModeSetting();
  const QSizeF size = companionSize(mode, floatingPetScaleSetting());
  // The providers' refresh below asks for a paint when what is drawn changed.
  view.displayMode = mode;
  // A roaming pet stops under the pointer, and beside its open menu.
  const bool menuOpen = companionMenu_ && companionMenu_->isVisible();
  if (mode == CompanionDisplayMode::roaming && (view.pointerInside() || menuOpen)) {
    updateCompanionProviders();
    positionCompanionBubble();
    return;
  }
  view.setGeometry(companionFrame(size, companionScreenGeometry()).toRect());
  updateCompanionProviders();
  positionCompanionBubble();
}

void OverlayController::positionCompanionBubble() {
  // The companion view draws the status itself; the bubble's own window stays hidden.
  if (companionBubbleView_) companionBubbleView_->hide();
}

void OverlayController::persistCompanionFrame(const QRectF& frame) {
  const QRectF clamped = clampCompanionFrame(frame);
  if (companionView_) companionView_->setGeometry(clamped.toRect());
  if (companionDisplayModeSetting() == CompanionDisplayMode::roaming) {
    // The roaming path clamps each position itself, so the anchor keeps the frame as given.
    roamingCompanionAnchor_ = RoamingAnchor{frame.topLeft(), secondsOf(clock_)};
    return;
  }
  defaults_.set(kCompanionOriginXKey, clamped.x());
  defaults_.set(kCompanionOriginYKey, clamped.y());
}

void OverlayController::updateCompanionDragOut(QPointF point) {
  if (!companionView_) return;
  const QSizeF size = companionView_->size();
  const QRectF centred(point - QPointF(size.width() / 2, size.height() / 2), size);
  companionView_->setGeometry(clampCompanionFrame(centred).toRect());
  updateCompanionProviders();
  positionCompanionBubble();
}

void OverlayController::endCompanionPlacement() {
  companionPlacementEnd_.cancel();
  if (companionView_) {
    companionView_->placementMode = false;
    companionView_->update();
  }
}

void OverlayController::evaluateCompanionMotionTimer() {
  // With reduce motion a roaming pet holds still where it is, as the Pets tab's preview does.
  const bool wanted = companionSetting() && companionDisplayModeSetting() == CompanionDisplayMode::roaming &&
                      !settings_.values().reduceMotion && companionView_ && !isPreparingForTermination_;
  if (!wanted) {
    // The asking may come from the timer's own tick: it goes once that tick has returned.
    if (companionMotionTimer_) {
      companionMotionTimer_->stop();
      companionMotionTimer_.release()->deleteLater();
    }
    if (companionView_) companionView_->setAnimationDrivenByOwner(false);
    return;
  }
  companionView_->setAnimationDrivenByOwner(true);
  if (companionMotionTimer_) return;
  companionMotionTimer_ = std::make_unique<QTimer>();
  companionMotionTimer_->setInterval(runtime_tuning::kCompanionMotionInterval);
  companionMotionSteps_ = 0;
  QPointer<OverlayController> weak(this);
  QObject::connect(companionMotionTimer_.get(), &QTimer::timeout, companionMotionTimer_.get(), [weak] {
    if (weak) weak->companionMotionTick();
  });
  companionMotionTimer_->start();
}

void OverlayController::companionMotionTick() {
  if (!companionView_) return;
  if (settings_.values().reduceMotion) {
    evaluateCompanionMotionTimer();
    return;
  }
  const bool visible = runtimeVisibilityPredicateOverrideForTests ? runtimeVisibilityPredicateOverrideForTests()
                                                                  : defaultCompanionVisibility(*companionView_);
  if (!visible) return;
  if (++companionMotionSteps_ % runtime_tuning::kCompanionMotionStepsPerAnimationTick == 0) {
    companionView_->animationTick();
  }
  positionCompanion();
}

void OverlayController::updateCompanionProviders() {
  QPointer<OverlayController> weak(this);
  if (companionView_) {
    companionView_->petSnapshotProvider = [weak]() -> std::optional<PetRenderSnapshot> {
      const OverlaySurface* surface = weak ? weak->activeSurface() : nullptr;
      if (surface == nullptr || surface->view == nullptr) return std::nullopt;
      return petRenderSnapshot(*surface->view);
    };
    companionView_->statusProvider = [weak]() -> std::optional<CompanionStatusItem> {
      return weak ? weak->store_->companionStatus() : std::nullopt;
    };
    companionView_->tickerProvider = [weak] {
      return weak ? weak->store_->companionTickerItems() : std::vector<CompanionStatusItem>();
    };
    companionView_->redrawIfChanged();
  }
  if (companionBubbleView_) companionBubbleView_->setStatusItem(currentCompanionBubbleStatus());
}

std::optional<CompanionStatusItem> OverlayController::currentCompanionBubbleStatus() {
  const double now = companionBubbleTime(clock_);
  std::optional<CompanionStatusItem> status = companionBubbleStatus(store_->companionStatus(), companionBubbleFallback_, now);
  if (companionBubbleFallback_ && companionBubbleFallback_->expiresAt <= now) companionBubbleFallback_.reset();
  return status;
}

void OverlayController::openCompanionStatus(const CompanionStatusItem& item, std::function<void()> done) {
  QPointer<OverlayController> weak(this);
  // The Jump runs its openers off the main thread; the answer comes back here.
  store_->openCompanionStatusInBackground(item, [weak, item, done = std::move(done)](bool opened) {
    if (weak) {
      if (opened) {
        weak->companionBubbleFallback_.reset();
      } else {
        CompanionStatusItem stand_in{item.kind, QStringLiteral("No linked task"), item.event};
        weak->companionBubbleFallback_ =
            CompanionBubbleFallback{std::move(stand_in), companionBubbleTime(weak->clock_) + kNoLinkedTaskSeconds};
        if (weak->companionBubbleView_) weak->companionBubbleView_->setStatusItem(weak->currentCompanionBubbleStatus());
        weak->positionCompanionBubble();
      }
    }
    if (done) done();
  });
}

void OverlayController::openCompanionPetSettings() {
  if (surfaces_.empty()) return;
  const double t0 = secondsOf(clock_);
  const bool wasSettings = currentMode_ == OverlayMode::settings;
  const QScreen* companionScreen = companionView_ ? companionView_->screen() : nullptr;
  const OverlaySurface* match = nullptr;
  if (companionScreen != nullptr) {
    const ScreenInfo info = ScreenInfo::fromScreen(const_cast<QScreen*>(companionScreen));
    for (const auto& surface : surfaces_) {
      if (sameScreen(surface->screen, &info)) {
        match = surface.get();
        break;
      }
    }
  }
  if (match != nullptr) {
    activeSurfaceID_ = match->id;
  } else if (!activeSurfaceID_) {
    activeSurfaceID_ = surfaces_.front()->id;
  }
  const double t1 = secondsOf(clock_);
  for (const auto& surface : surfaces_) surface->view->activateSettingsTab(SettingsTab::pets);
  for (const auto& surface : surfaces_) surface->view->warmPetImageCache();
  const double t2 = secondsOf(clock_);

  QJsonObject record;
  record.insert(QStringLiteral("surface_count"), static_cast<qint64>(surfaces_.size()));
  record.insert(QStringLiteral("screen_pick_ms"), wholeMilliseconds(t1 - t0));
  record.insert(QStringLiteral("activate_tab_ms"), wholeMilliseconds(t2 - t1));
  if (wasSettings) {
    selectSettingsTabOnSurfaces(SettingsTab::pets);
    bringSettingsPanelToFront();
    record.insert(QStringLiteral("stage"), QStringLiteral("companion_pet_open_settings_duplicate"));
    record.insert(QStringLiteral("total_ms"), wholeMilliseconds(secondsOf(clock_) - t0));
  } else {
    ++companionPetSettingsOpenCountForTests;
    currentMode_ = OverlayMode::settings;
    applyActivationPolicy();
    const double t3 = secondsOf(clock_);
    applyModeAfterSettingsBoundaryChange(false, false);
    selectSettingsTabOnSurfaces(SettingsTab::pets);
    bringSettingsPanelToFront();
    const double t4 = secondsOf(clock_);
    record.insert(QStringLiteral("stage"), QStringLiteral("companion_pet_open_settings"));
    record.insert(QStringLiteral("nsapp_activate_ms"), wholeMilliseconds(t3 - t2));
    record.insert(QStringLiteral("apply_mode_ms"), wholeMilliseconds(t4 - t3));
    record.insert(QStringLiteral("total_ms"), wholeMilliseconds(t4 - t0));
  }
  recordJumpDiagnostic(record);
}

std::unique_ptr<QMenu> OverlayController::createCompanionMenu() {
  auto menu = std::make_unique<QMenu>();
  QPointer<OverlayController> weak(this);
  const auto add = [&](const QString& title, std::function<void(OverlayController&)> action) {
    QAction* item = menu->addAction(title);
    QObject::connect(item, &QAction::triggered, menu.get(), [weak, action = std::move(action)] {
      if (weak) action(*weak);
    });
    return item;
  };
  add(QStringLiteral("Open Settings"), [](OverlayController& c) { c.showSettingsFromMenu(); });
  add(QStringLiteral("Open Pets"), [](OverlayController& c) { c.showPetsFromMenu(); });
  menu->addSeparator();
  const CompanionDisplayMode current = companionDisplayModeSetting();
  for (const CompanionDisplayMode mode : {CompanionDisplayMode::bubble, CompanionDisplayMode::floating,
                                          CompanionDisplayMode::roaming, CompanionDisplayMode::tucked}) {
    const QString raw = rawValue(mode);
    QAction* item = add(raw.left(1).toUpper() + raw.mid(1),
                        [raw](OverlayController& c) { c.setCompanionModeFromMenu(raw); });
    item->setCheckable(true);
    item->setChecked(mode == current);
  }
  menu->addSeparator();
  add(QStringLiteral("Move"), [](OverlayController& c) { c.moveCompanionFromMenu(); });
  add(QStringLiteral("Hide Companion"), [](OverlayController& c) { c.hideCompanionFromMenu(); });
  // The application menu is reachable from here too (there is no menu bar).
  if (applicationMenu_) {
    menu->addSeparator();
    std::unique_ptr<QMenu> application = applicationMenu_->createMenu();
    for (QAction* action : application->actions()) menu->addAction(action);
    // Owned by the menu whose rows it lends, but kept a window of its own: as a child widget it
    // would be drawn over those rows.
    QMenu* lender = application.release();
    lender->setParent(menu.get(), lender->windowFlags());
  }
  return menu;
}

void OverlayController::showCompanionMenu(QPointF screenPoint) {
  if (!companionSetting() || !companionView_ || !companionView_->geometry().contains(screenPoint.toPoint())) return;
  companionMenu_ = createCompanionMenu();
  companionMenu_->popup(screenPoint.toPoint());
}

void OverlayController::setCompanionModeFromMenu(const QString& rawMode) {
  const std::optional<CompanionDisplayMode> mode = parseCompanionDisplayMode(rawMode);
  if (!mode) return;
  settings_.change([&](UserSettings& values) {
    values.desktopCompanionMode = true;
    values.companionDisplayMode = *mode;
  });
  syncCompanion();
  reloadViewSettingsFromDefaults();
}

void OverlayController::reloadViewSettingsFromDefaults() {
  // A view takes its live preview's mode and scale from the companion's when it loads, so the Pets
  // tab shows what the menu chose.
  for (const auto& surface : surfaces_) surface->view->reloadSettingsFromDefaults();
}

void OverlayController::moveCompanionFromMenu() {
  settings_.change(applyCompanionDragOutSettings);
  reloadViewSettingsFromDefaults();
  syncCompanion();
  if (!companionView_) return;
  companionView_->placementMode = true;
  companionView_->update();
  companionView_->show();
  companionView_->raise();
  companionPlacementEnd_.cancel();
  QPointer<OverlayController> weak(this);
  companionPlacementEnd_ = clock_.schedule(kCompanionPlacementDuration, [weak] {
    if (weak) weak->endCompanionPlacement();
  });
}

void OverlayController::hideCompanionFromMenu() {
  settings_.change([](UserSettings& values) { values.desktopCompanionMode = false; });
  syncCompanion();
  reloadViewSettingsFromDefaults();
}

}  // namespace tandrel
