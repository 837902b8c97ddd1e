#include "app/overlay_controller.h"

#include "app/entry_point.h"
#include "base/log.h"
#include "island/tandrel_view.h"
#include "catalog/paths.h"
#include "platform/appearance.h"
#include "platform/dispatch.h"
#include "platform/private_folder.h"
#include "platform/termination_signals.h"
#include "platform/tray_hosts.h"
#include "platform/user_defaults.h"
#include "platform/window_server.h"
#include "requests/audit_writer.h"
#include "requests/pending_action_store.h"
#include "update/update_installer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

namespace tandrel {
namespace {

bool environmentFlag(const char* name) { return qgetenv(name) == "1"; }

// The store reads the controller's pending actions and defaults, unless its options name others.
EventStoreOptions storeOptions(EventStoreOptions options, PendingActionStore& pendingActions,
                               UserDefaults& defaults) {
  if (options.defaults == nullptr) {
    options.defaults = &defaults;
  }
  if (!options.socketRequestsWaiting) {
    options.socketRequestsWaiting = [&pendingActions] { return !pendingActions.waitingActions().empty(); };
  }
  if (!options.waitingRequests) {
    options.waitingRequests = [&pendingActions] { return pendingActions.waitingActions(); };
  }
  return options;
}

// The first layout: settings wins over expanded.
OverlayMode startMode() {
  if (environmentFlag("TANDREL_START_SETTINGS")) {
    return OverlayMode::settings;
  }
  if (environmentFlag("TANDREL_START_EXPANDED")) {
    return OverlayMode::expanded;
  }
  return OverlayMode::collapsed;
}

}  // namespace

QString OverlayControllerOptions::defaultSocketPath() {
  return tilde(QStringLiteral(".tandrel/tandrel.sock"));
}

OverlayController::OverlayController(QObject* parent)
    : OverlayController(OverlayControllerOptions(), parent) {}

OverlayController::OverlayController(OverlayControllerOptions options, QObject* parent)
    : OverlayHost(parent),
      options_(std::move(options)),
      pendingActions_(options_.pendingActions != nullptr ? *options_.pendingActions
                                                         : PendingActionStore::shared()),
      audit_(options_.audit != nullptr ? *options_.audit : AuditWriter::shared()),
      defaults_(options_.defaults != nullptr ? *options_.defaults : UserDefaults::standard()),
      ownSettings_(options_.defaults != nullptr ? std::make_unique<SettingsModel>(defaults_) : nullptr),
      settings_(ownSettings_ ? *ownSettings_ : SettingsModel::shared()),
      clock_(*options_.clock),
      windowServer_(options_.windowServer != nullptr ? *options_.windowServer : WindowServer::shared()),
      store_(std::make_unique<EventStore>(storeOptions(options_.store, pendingActions_, defaults_))) {}

OverlayController::~OverlayController() {
  unregisterHotKeys();
  releaseTrayIcon();
  runtimeTimer_.reset();
  screenObserver_.reset();
  destroyCompanion();
  if (!surfaces_.empty()) {
    destroySurfaces();
  }
  // Panels retired with deleteLater go now, while what they point at still exists.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void OverlayController::applicationDidFinishLaunching() {
  if (didFinishLaunching_) {
    return;
  }
  didFinishLaunching_ = true;

  // Termination signals end the app through the same path as a quit request. Installed first, so
  // that a signal arriving while the app starts up still ends it in order.
  terminationSignals_ = std::make_unique<TerminationSignals>([this](int) { handleTerminationRequest(); });

  // The socket's folder also holds the approval audit; earlier versions created it 0755.
  restrictFolderToOwner(QFileInfo(options_.socketPath).absolutePath());

  // Every pending action is audited as it starts and as it ends; then the requests a previous run
  // left unanswered are reconciled.
  AuditWriter* audit = &audit_;
  pendingActions_.addObserver([audit](const PendingAction& action) { audit->record(action); });
  audit_.reconcileOnLaunch();
  QPointer<OverlayController> self(this);
  // The cards follow the requests: a waiting one is answered from its card, an ended one is
  // recorded in the bridge file and its card stops asking.
  pendingActions_.addObserver([self](const PendingAction& action) {
    if (self) {
      self->store_->pendingActionChanged(action);
    }
  });
  // A finished turn that starts waiting heads every ticker at once; one that ends leaves it.
  pendingActions_.addObserver([self](const PendingAction& action) {
    if (!self || !action.isFinishedTurn()) {
      return;
    }
    for (const auto& surface : self->surfaces_) {
      if (action.status == PendingActionStatus::awaitingUser) {
        surface->view->showFinishedTurnsFirst();
      } else {
        surface->view->update();
        surface->view->evaluatePetAnimationTimer();
      }
    }
  });

  startNotifications();

  if (socketApprovalEnabled()) {
    startSocketServer();
  } else {
    logInfo(QStringLiteral("socket-based approval disabled by user; skipping server start"));
  }

  QPointer<OverlayController> weak(this);
  store_->onChange = [weak] {
    if (weak) {
      weak->handleStoreChange();
    }
  };
  store_->reload(false);
  store_->startMonitoringBridgeEvents();

  installApplicationMenu();
  currentMode_ = startMode();
  applyActivationPolicy();
  lastDisplayPolicy_ = displayPolicySetting();
  // What a failed install left is shown in About, so it is read before the views exist.
  installFailureAtLaunch_ = UpdateInstaller::takeInstallFailure();
  if (installFailureAtLaunch_) {
    logWarning(*installFailureAtLaunch_);
  }
  rebuildSurfaces(currentMode_);
  if (currentMode_ == OverlayMode::settings) {
    bringSettingsPanelToFront();
  }
  syncCompanion();

  if (options_.trayHosts != nullptr) {
    trayHosts_ = options_.trayHosts;
  } else {
    sessionTrayHosts_ = TrayHosts::createForSession();
    trayHosts_ = sessionTrayHosts_.get();
  }
  connect(trayHosts_, &TrayHosts::changed, this, [this] {
    // A new host gets a new icon: the old one was handed to the host that went.
    releaseTrayIcon();
    updateTrayIcon();
    for (const auto& surface : surfaces_) {
      surface->view->update();  // the General tab says whether an icon can show
    }
  });
  updateTrayIcon();
  // Turning "holdFinishedTurns" off, in the General tab or in the settings file, lets go of the
  // agents it holds as well as of those that finish later.
  connect(&settings_, &SettingsModel::changed, this, [this] {
    if (settings_.values().holdFinishedTurns) {
      return;
    }
    // Answered as "Let it stop" answers, so each agent goes on at once.
    for (const PendingAction& turn : waitingFinishedTurns()) {
      pendingActions_.complete(turn.requestID, noDecisionReply(turn.requestID), PendingActionStatus::answered);
    }
  });
  registerHotKeys();
  startRuntimeObservers();

  if (!isTestEnvironment()) {
    scheduleAutomaticUpdateChecks();
    postToMain(this, [](OverlayController& controller) {
      controller.requestAutomationPermissionAtLaunchIfNeeded();
      controller.runStartupPermissionFlowIfNeeded();
    });
  }
}

void OverlayController::requestAutomationPermissionAtLaunchIfNeeded() {
  const QString key = QLatin1String(GlobalSettings::kStartupAutomationPromptRequestedKey);
  if (isTestEnvironment() || defaults_.boolean(key)) {
    return;
  }
  defaults_.set(key, true);
  logInfo(QStringLiteral("no terminal automation permission to request on this platform"));
}

void OverlayController::runStartupPermissionFlowIfNeeded() {
  if (isTestEnvironment() || didRunStartupPermissionFlow_) {
    return;
  }
  didRunStartupPermissionFlow_ = true;
  StartupPermissionOffer offer;
  offer.hooks = startupHooksToOffer(options_.toolHealth ? options_.toolHealth() : HookManager::shared().health());
  offer.codexPets = !settings_.values().codexPetsDirectoryAuthorized &&
                    !settings_.values().didRequestCodexPetsDirectoryAuthorization;
  if (offer.isEmpty()) {
    return;
  }
  QPointer<OverlayController> self(this);
  const OverlaySurface* active = activeSurface();
  QScreen* screen = active != nullptr ? active->screen.screen.data() : nullptr;
  startupPermissionPrompt_ = new StartupPermissionPrompt(offer, screen, windowServer_, [self, offer](bool accepted) {
    if (self) {
      self->completeStartupPermissionFlow(offer, accepted);
    }
  });
}

void OverlayController::completeStartupPermissionFlow(const StartupPermissionOffer& offer, bool accepted) {
  startupPermissionPrompt_ = nullptr;
  if (!accepted) {
    return;
  }
  if (offer.codexPets) {
    settings_.change([](UserSettings& s) {
      s.codexPetsDirectoryAuthorized = true;
      s.didRequestCodexPetsDirectoryAuthorization = true;
    });
    logInfo(QStringLiteral("Authorized ~/.codex/pets"));
    if (OverlaySurface* surface = activeSurface()) {
      surface->view->setStatusBanner(QStringLiteral("Authorized ~/.codex/pets"));
      surface->view->statusBannerColor = QColor::fromRgbF(0, 0.8392, 0.6392);
      // The Codex pets folders are read from now on, in every view.
      surface->view->refreshLocalPets();
      petsDidChange(surface->view);
    }
  }
  // One failure does not stop the others; the tools' health shows the outcome.
  for (const QString& toolID : offer.hooks) {
    const Result<void> installed =
        options_.installHook ? options_.installHook(toolID) : HookManager::shared().install(toolID);
    if (!installed) {
      logWarning(QStringLiteral("could not install the %1 hooks: %2").arg(toolID, installed.error()));
    }
  }
  // Every view shows the tools as the installs left them.
  if (!offer.hooks.isEmpty()) {
    const std::vector<ToolHealth> health = options_.toolHealth ? options_.toolHealth() : HookManager::shared().health();
    for (const auto& surface : surfaces_) {
      surface->view->toolHealth = health;
      surface->view->update();
    }
  }
}

std::function<bool()> OverlayController::terminalJump(const PendingAction& action) const {
  if (action.sessionID.isEmpty()) {
    return {};
  }
  // The newest event of the request's session that knows the agent's terminal.
  const std::vector<TandrelEvent>& events = store_->events();
  for (auto event = events.rbegin(); event != events.rend(); ++event) {
    if (event->sessionId != action.sessionID || !event->typedJumpTarget ||
        event->typedJumpTarget->kind() != JumpTarget::Kind::terminalWindow) {
      continue;
    }
    const std::optional<ResolvedJumpTarget> resolved = store_->jumpTarget(*event);
    if (!resolved || !resolved->available) {
      return {};
    }
    return [opener = store_->jumpOpener(), target = *resolved] { return opener(target); };
  }
  return {};
}

void OverlayController::handleStoreChange() {
  for (const auto& surface : surfaces_) {
    surface->view->playSoundsForNewEvents();
    // A tool that just got usage gets its tab now, not at the next timer.
    surface->view->normalizeActiveUsageTool();
    surface->view->update();
    surface->view->evaluatePetAnimationTimer();
  }
  if (companionView_) {
    companionView_->redrawIfChanged();
  }
}

void OverlayController::scheduleAutomaticUpdateChecks() {
  AutomaticUpdateScheduler::Options updates;
  updates.interval = GlobalSettings::kAutomaticUpdateInterval;
  updates.initialDelay = GlobalSettings::kAutomaticUpdateInitialDelay;
  updates.clock = &clock_;
  updates.defaults = &defaults_;
  updates.runCheck = options_.updateCheck;
  updates.views = [this] {
    std::vector<AutomaticUpdateScheduler::ResultApplier> views;
    for (const auto& surface : surfaces_) {
      QPointer<TandrelView> view = surface->view;
      views.push_back([this, view](const UpdateCheckResult& result, bool showReminder) -> std::optional<QString> {
        if (std::holds_alternative<UpgradeCheckResponse>(result)) {  // a failure changes no view
          lastAutomaticUpdateResult_ = std::get<UpgradeCheckResponse>(result);
        }
        return view ? view->aboutUpdate().applyAutomaticUpdateResult(result, showReminder) : std::nullopt;
      });
    }
    return views;
  };
  automaticUpdates_ = std::make_unique<AutomaticUpdateScheduler>(std::move(updates));
  automaticUpdates_->start();
}

void OverlayController::startNotifications() {
  notifications_ = std::make_unique<DesktopNotifications>(QDBusConnection::sessionBus(), options_.notificationService);
  banners_ = std::make_unique<TandrelBanners>(*notifications_);
  NotificationCategoryRegistrar::registerCategories(*notifications_, *banners_);
  QPointer<OverlayController> weak(this);
  notificationDelegate_ = std::make_unique<TandrelUNDelegate>(TandrelUNDelegate::Services{
      pendingActions_, *banners_, TextInputPanel::shared(), options_.jumpToAgent, {},
      [weak](const PendingAction& action) { return weak ? weak->terminalJump(action) : std::function<bool()>(); }});
  notificationDelegate_->respondTo(*banners_);
  showBannersForRequests(pendingActions_, *banners_);
}

void OverlayController::startSocketServer() {
  socketServer_ = std::make_unique<SocketServer>(
      options_.socketPath, [this](const HookRequest& request, const SocketReplyHandle& reply) {
        handleSocketRequest(request, reply);
      });
  if (const std::optional<POSIXError> error = socketServer_->start()) {
    logWarning(QStringLiteral("socket server failed to start: %1").arg(error->description()));
  } else {
    logInfo(QStringLiteral("socket server listening at %1").arg(options_.socketPath));
  }
}

std::vector<PendingAction> OverlayController::waitingFinishedTurns() const {
  std::vector<PendingAction> turns;
  for (PendingAction& action : pendingActions_.waitingActions()) {
    if (action.isFinishedTurn()) {
      turns.push_back(std::move(action));
    }
  }
  return turns;
}

void OverlayController::handleSocketRequest(const HookRequest& request, const SocketReplyHandle& reply) {
  std::optional<PendingAction> action = PendingAction::fromRequest(request, clock_.now());
  if (!action) {
    reply.close();
    return;
  }
  if (action->isFinishedTurn() && !settings_.values().holdFinishedTurns) {
    const HookReply answer = noDecisionReply(action->requestID);
    reply.send(answer);
    audit_.recordRequest(*action);
    action->status = PendingActionStatus::answered;
    audit_.recordReply(*action, answer);
    return;
  }
  pendingActions_.insert(
      std::move(*action),
      PendingReplySink{[reply](const HookReply& answer) { reply.send(answer); },
                       [reply](std::function<void()> closed) { reply.onClosed(std::move(closed)); }});
}

ActivationPolicy OverlayController::activationPolicyFor(bool debugRegular, bool showInDock, OverlayMode mode) {
  if (debugRegular || showInDock || mode == OverlayMode::settings) {
    return ActivationPolicy::regular;
  }
  return ActivationPolicy::accessory;
}

void OverlayController::applyActivationPolicy() {
  activationPolicy_ =
      activationPolicyFor(environmentFlag("TANDREL_DEBUG_REGULAR"), showInDockSetting(), currentMode_);
}

bool OverlayController::socketApprovalEnabled() const {
  const std::optional<DefaultsValue> value = defaults_.object(kUseSocketApprovalEnabledKey);
  if (value && std::holds_alternative<bool>(*value)) {
    return std::get<bool>(*value);
  }
  return true;
}

bool OverlayController::showInDockSetting() const { return settings_.values().showInDockMode; }

bool OverlayController::applicationShouldHandleReopen() {
  if (showInDockSetting()) {
    expandIslandOn(QGuiApplication::primaryScreen());
  }
  return true;
}

void OverlayController::handleSecondLaunch(QPoint pointer) {
  QScreen* screen = QGuiApplication::screenAt(pointer);
  expandIslandOn(screen != nullptr ? screen : QGuiApplication::primaryScreen());
}

void OverlayController::expandIslandOn(QScreen* screen) {
  if (screen != nullptr) {
    activeSurfaceID_ = screenID(ScreenInfo::fromScreen(screen));
  }
  const bool wasSettings = currentMode_ == OverlayMode::settings;
  currentMode_ = OverlayMode::expanded;
  if (wasSettings) {
    applyActivationPolicy();
  }
  applyModeAfterSettingsBoundaryChange(wasSettings, true);
  collapseExpandedIslandLaterUnlessPointerNear(TandrelView::kShownAwayFromPointerDelay);
}

void OverlayController::applicationWillTerminate() { prepareForTermination(); }

void OverlayController::handleTerminationRequest() {
  prepareForTermination();
  postToMain([] { QCoreApplication::quit(); });
}

void OverlayController::requestTermination() {
  QMetaObject::invokeMethod(this, &OverlayController::handleTerminationRequest, Qt::QueuedConnection);
}

void OverlayController::prepareForTermination() {
  if (isPreparingForTermination_) {
    return;
  }
  isPreparingForTermination_ = true;
  if (automaticUpdates_) {
    automaticUpdates_->stop();
  }
  if (startupPermissionPrompt_) {
    startupPermissionPrompt_->dismiss();
  }
  unregisterHotKeys();
  if (trayHosts_ != nullptr) {
    disconnect(trayHosts_, nullptr, this, nullptr);
  }
  releaseTrayIcon();
  runtimeTimer_.reset();
  screenObserver_.reset();
  windowServer_.setWorkspaceChangedHandler(nullptr);
  store_->stopMonitoringBridgeEvents();
  destroyCompanion();
  destroySurfaces();
}

}  // namespace tandrel
