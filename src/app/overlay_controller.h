#pragma once

// The application controller: owns the one event store and the agent request server, runs the
// start-up sequence once the application has launched, turns socket requests into pending
// actions, chooses the activation policy, answers reopen requests and tears everything down once
// on quit. Main thread only. A QObject, so that screens, timers, the tray and views can hold it
// through QPointer and connect to it.

#include "app/application_menu.h"
#include "app/display_policy.h"
#include "app/overlay_surface.h"
#include "app/startup_permission_prompt.h"
#include "companion/companion_bubble_view.h"
#include "companion/companion_layout.h"
#include "companion/companion_view.h"
#include "events/event_store.h"
#include "notifications/tandrel_banners.h"
#include "notifications/tandrel_un_delegate.h"
#include "platform/clock.h"
#include "platform/desktop_notifications.h"
#include "platform/global_hot_keys.h"
#include "requests/socket_server.h"
#include "ui/overlay_host.h"
#include "ui/overlay_mode.h"
#include "ui/overlay_settings.h"
#include "ui/settings_model.h"
#include "update/automatic_update_scheduler.h"

#include <QMenu>
#include <QMessageBox>
#include <QObject>
#include <QPoint>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QPointer>
#include <QDateTime>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tandrel {

class AppearanceWatcher;
class AuditWriter;
class PendingActionStore;
class TerminationSignals;
class TrayHosts;
class UserDefaults;
class WindowServer;

// How often the runtime refresh runs and how often each of its throttled steps does work.
namespace runtime_tuning {
using std::chrono::milliseconds;
inline constexpr milliseconds kRefreshInterval{2000};
inline constexpr milliseconds kRefreshTolerance{1000};
inline constexpr milliseconds kFullscreenScanInterval{5000};
inline constexpr milliseconds kStoreFallbackInterval{10000};
inline constexpr milliseconds kDiskBackedRefreshInterval{10000};
inline constexpr milliseconds kCompanionProviderRefreshInterval{2000};
// The roaming companion moves on this tick, and every second tick (0.32 s, next to the pet
// animation's own 0.35 s) animates the pet too, so that a roaming companion wakes on one timer.
inline constexpr milliseconds kCompanionMotionInterval{160};
inline constexpr int kCompanionMotionStepsPerAnimationTick = 2;
// After the settings page is brought to the front, a workspace switch does not close it.
inline constexpr milliseconds kSettingsSpaceCloseSuppression{600};
inline constexpr milliseconds kSecondBringToFrontDelay{250};
}  // namespace runtime_tuning

// Sets up the runtime refresh timer the controller starts: every kRefreshInterval, to the whole
// second only, so that the system may group the wake-up with others.
void armRuntimeRefreshTimer(QTimer& timer);

// Whether the application shows a panel-bar entry and takes focus like a regular window
// (regular) or stays an accessory without one.
enum class ActivationPolicy { regular, accessory };

struct OverlayControllerOptions {
  // The event store's construction: the bridge file, the action audit file and the data roots.
  EventStoreOptions store;
  // Where agents' blocking hooks connect: "~/.tandrel/tandrel.sock" under the home folder
  // (TANDREL_HOME does not move it; the hooks look there).
  QString socketPath = defaultSocketPath();
  PendingActionStore* pendingActions = nullptr;  // the shared store when null
  AuditWriter* audit = nullptr;                  // the shared writer when null
  // The standard defaults and the process's settings model when null; otherwise the controller
  // keeps a settings model of its own over these defaults for its views.
  UserDefaults* defaults = nullptr;
  Clock* clock = &Clock::system();
  // The notification server's bus name on the session bus (tests run their own).
  QString notificationService = DesktopNotifications::kService;
  // Runs the automatic update check; the feed of the process environment when empty.
  AutomaticUpdateScheduler::CheckRunner updateCheck;
  // The agent tools' health and the hook installation the start-up prompt uses; the shared hook
  // manager's when empty.
  std::function<std::vector<ToolHealth>()> toolHealth;
  std::function<Result<void>(const QString& toolID)> installHook;
  WindowServer* windowServer = nullptr;          // the shared one when null
  // The screens to show on; Qt's screens when empty.
  std::function<std::vector<ScreenInfo>()> screens;
  // The global hot keys; the session's when null.
  GlobalHotKeys* hotKeys = nullptr;
  // The tray hosts that run, watched; the session's when null.
  TrayHosts* trayHosts = nullptr;
  // The product documentation "Tandrel Help" opens; the build's TANDREL_HELP_URL by default.
  QString helpAddress = defaultHelpAddress();
  // Jumps to the agent behind a waiting request (on the notification delegate's thread);
  // TandrelJumpRouter::jumpToAgent when empty.
  std::function<void(const PendingAction& action)> jumpToAgent;

  static QString defaultSocketPath();
  static QString defaultHelpAddress();
};

class OverlayController : public OverlayHost {
  Q_OBJECT

 public:
  // User-defaults keys read here.
  static inline const QString kUseSocketApprovalEnabledKey = QStringLiteral("useSocketApprovalEnabled");
  static inline const QString kShowInDockModeKey = QString::fromLatin1(settings_keys::kShowInDockMode);
  static inline const QString kCodexPetsDirectoryAuthorizedKey =
      QString::fromLatin1(settings_keys::kCodexPetsDirectoryAuthorized);
  static inline const QString kDidRequestCodexPetsDirectoryAuthorizationKey =
      QString::fromLatin1(settings_keys::kDidRequestCodexPetsDirectoryAuthorization);
  static inline const QString kDisplayPolicyKey = QStringLiteral("displayPolicy");
  static inline const QString kShowCapsuleModeKey = QString::fromLatin1(settings_keys::kShowCapsuleMode);

  // Creates the event store; nothing is read or started until launch finishes.
  explicit OverlayController(QObject* parent = nullptr);
  explicit OverlayController(OverlayControllerOptions options, QObject* parent = nullptr);
  ~OverlayController() override;
  OverlayController(const OverlayController&) = delete;
  OverlayController& operator=(const OverlayController&) = delete;

  // The start-up sequence; run once, when the application's event loop is about to start.
  void applicationDidFinishLaunching();

  // The tray icon was clicked: with "Show in Tray" on, the island expands on the main screen.
  // Always true.
  bool applicationShouldHandleReopen();
  // The Jump of a banner's request to the agent's own terminal, as the newest event of its session
  // recorded it (made on the main thread, run on the delegate's); none when no event knows it.
  std::function<bool()> terminalJump(const PendingAction& action) const;
  // A later launch asked this instance to come forward: the user asks to see the app, whatever
  // "Show in Tray" says, so the island expands on the screen under `pointer`.
  void handleSecondLaunch(QPoint pointer);

  // The application is quitting: tears down (once).
  void applicationWillTerminate();

  // A request to quit from outside (a termination signal): tears down, then asks the
  // application's event loop to end.
  void handleTerminationRequest() override;
  // A quit chosen in a menu or with the island's power button: the termination runs once control
  // is back in the event loop, since it deletes the menu or the view whose click asks for it.
  void requestTermination();

  // Tears everything down at most once; later calls do nothing.
  void prepareForTermination();

  // The requests raised at the end of a turn that wait for the user's reply, oldest first.
  std::vector<PendingAction> waitingFinishedTurns() const;

  // Turns a decoded socket request into a pending action answered through `reply`; a request of
  // unknown kind has its connection closed without a reply. A finished turn (the agent's Stop
  // hook) waits only while "holdFinishedTurns" is on; otherwise it is answered "no decision" at
  // once and audited, with no pending action and no banner.
  void handleSocketRequest(const HookRequest& request, const SocketReplyHandle& reply);

  // Regular with TANDREL_DEBUG_REGULAR="1", with "showInDockMode" on, or in settings mode;
  // accessory otherwise.
  static ActivationPolicy activationPolicyFor(bool debugRegular, bool showInDock, OverlayMode mode);
  void applyActivationPolicy();
  ActivationPolicy activationPolicy() const { return activationPolicy_; }

  // "useSocketApprovalEnabled": on unless stored as the flag false (a value of any other type
  // counts as on).
  bool socketApprovalEnabled() const;
  // "showInDockMode" of the settings model.
  bool showInDockSetting() const;

  EventStore& store() { return *store_; }
  // The settings model the controller and its views share.
  SettingsModel& settings() { return settings_; }
  OverlayMode currentMode() const { return currentMode_; }

  // ---- Surfaces, modes and display policy (overlay_controller_surfaces.cpp) ----

  // "displayPolicy": primary when missing or unrecognised. "showCapsuleMode" of the settings model.
  DisplayPolicy displayPolicySetting() const;
  bool showCapsuleSetting() const;

  std::vector<ScreenInfo> uniqueLogicalScreens() const;
  std::vector<ScreenInfo> screensForCurrentPolicy() const;
  QString screenSignature() const;
  DisplayKind displayKind(const ScreenInfo* screen) const;

  // The panel size and frame of a mode on a screen (logical pixels, y-down); the expanded height
  // follows the inbox.
  QSizeF size(OverlayMode mode, const ScreenInfo& screen);
  QRectF frame(OverlayMode mode, const ScreenInfo& screen);
  QRectF settingsFrame(const ScreenInfo& screen);
  std::vector<QRectF> settingsPanelVisibleFrames(const QRectF& fallback) const override;

  const std::vector<std::unique_ptr<OverlaySurface>>& surfaces() const { return surfaces_; }
  OverlaySurface* activeSurface() const;
  const std::optional<QString>& activeSurfaceID() const { return activeSurfaceID_; }
  bool hasSurfacesForTests() const { return !surfaces_.empty(); }

  // Replaces every surface with one per screen of the display policy, laid out for `mode`.
  void rebuildSurfaces(OverlayMode mode);
  // Lays out, orders and shows or hides every surface for the current mode.
  void applyMode(bool animated);
  void applyModeAfterSettingsBoundaryChange(bool wasSettings, bool animated);
  // Makes the surface of `screen` (when it has one; else the first) the active one and expands it.
  void expandIslandOn(QScreen* screen);
  void configurePanelChrome(OverlaySurface& surface, OverlayMode mode);

  // A view (or the hot key, with no view) asks for a mode; the view's surface becomes active.
  void setMode(OverlayMode mode, TandrelView* source = nullptr) override;
  void closeSettings(TandrelView* source = nullptr) override;
  // A view changed a setting that may move or re-lay the panels.
  void settingsDidChange() override;
  // A view's pet catalogue changed: every other surface's view takes a copy, the shared pet
  // images are decoded afresh, and the companion follows.
  void petsDidChange(TandrelView* source) override;
  void selectSettingsTabOnSurfaces(SettingsTab tab);
  void bringSettingsPanelToFront();
  // Settings-panel rectangles remembered per screen id.
  std::map<QString, QRectF>& settingsPanelFrames() { return settingsPanelFrames_; }
  const std::set<QString>& lastFullscreenDisplayIDs() const { return lastFullscreenDisplayIDs_; }

  // Tears the surfaces down: each view's tear-down, then the panels are hidden and closed.
  void destroySurfaces();

  // ---- Runtime refresh (overlay_controller_runtime.cpp) ----

  // The 2 s tick: nothing while nothing is shown; otherwise the throttled store, full-screen,
  // display-policy and disk refreshes.
  void refreshRuntime();
  // True when an island panel is shown, or is hidden only because a full-screen window covers
  // its screen (the full-screen check has to go on to bring it back).
  bool defaultRuntimeVisibilityPredicate() const;
  void screenParametersChanged();
  void activeSpaceDidChange();
  void closeSettingsForSpaceChange();
  bool hasRuntimeTimer() const { return runtimeTimer_ != nullptr; }

  // Seams for tests: a process-wide visibility override, the count of refreshes that did work,
  // and which frame-setting branch applyMode took last.
  static inline std::function<bool()> runtimeVisibilityPredicateOverrideForTests;
  static inline int refreshRuntimeWorkCountForTests = 0;
  static inline bool applyModeDisplayFrameUsedForTests = false;
  static inline bool applyModeAnimatedFrameUsedForTests = false;
  // The request server, kept from launch to the end of the process (also when it failed to
  // start); none before launch or when socket approval is off.
  const SocketServer* socketServer() const { return socketServer_.get(); }
  bool isPreparingForTermination() const { return isPreparingForTermination_; }
  // The automatic update check, armed at launch outside the test environment; none otherwise.
  const AutomaticUpdateScheduler* automaticUpdates() const { return automaticUpdates_.get(); }
  // What a failed update install left for this launch to show in About (read once, at launch).
  const std::optional<QString>& installFailureAtLaunch() const { return installFailureAtLaunch_; }
  // The banners of waiting requests and what answers them; none before launch.
  TandrelBanners* banners() const { return banners_.get(); }
  TandrelUNDelegate* notificationDelegate() const { return notificationDelegate_.get(); }

  // The terminal Automation request, once per installation: Linux has no such permission, so
  // this only records that it was made. Not in the test environment.
  void requestAutomationPermissionAtLaunchIfNeeded();
  // The one-time start-up prompt (Codex pets folder, hook repair), when it has something to
  // offer. Not in the test environment.
  void runStartupPermissionFlowIfNeeded();
  StartupPermissionPrompt* startupPermissionPrompt() const { return startupPermissionPrompt_; }

  // ---- Application menu and tray (overlay_controller_menu.cpp) ----

  // Builds the application menu afresh (the previous one and its actions go): the settings
  // window takes its actions, the tray icon shows it.
  void installApplicationMenu();
  ApplicationMenu* applicationMenu() const { return applicationMenu_.get(); }
  // Shows the tray icon with its menu while "showInDockMode" is on and a tray host runs; removes
  // it otherwise. A host that starts later, or comes back, gets the icon then.
  void updateTrayIcon();
  QSystemTrayIcon* trayIcon() const { return trayIcon_.data(); }
  // Whether a tray host runs on this desktop now (none before launch).
  bool trayHostRuns() const override;

  // The menu's operations.
  void openSettings(SettingsTab tab);
  void showSettingsFromMenu();
  void showPetsFromMenu();
  // Closes the settings page; nothing outside settings mode or without an active surface.
  void closeSettingsFromMenu();
  void checkForUpdatesFromMenu();
  // Opens the documentation in the default browser; nothing when the address is not an http or
  // https address.
  void showHelpFromMenu();
  void showAboutPanel();
  QMessageBox* aboutPanel() const { return aboutPanel_; }
  static constexpr int kAboutPanelMinimumWidth = 320;

  // ---- Desktop companion (overlay_controller_companion.cpp) ----

  // "desktopCompanionMode", "companionDisplayMode" and "floatingPetScale" of the settings model.
  bool companionSetting() const;
  CompanionDisplayMode companionDisplayModeSetting() const;
  double floatingPetScaleSetting() const;
  // User-defaults keys of the remembered companion origin (Qt top-left, logical pixels).
  static inline const QString kCompanionOriginXKey = QStringLiteral("companionOriginX");
  static inline const QString kCompanionOriginYKey = QStringLiteral("companionOriginY");
  static constexpr std::chrono::milliseconds kCompanionPlacementDuration{15000};
  static constexpr double kNoLinkedTaskSeconds = 1.4;

  // Makes the companion window and its (never shown) bubble view, placed but not shown.
  void createCompanion();
  // Shows, re-lays and places the companion while "desktopCompanionMode" is on, removes it
  // otherwise; then the providers, the bubble and the motion timer follow.
  void syncCompanion();
  void destroyCompanion();
  // Sizes and places the companion for its mode; a roaming pet under the pointer stays put.
  void positionCompanion();
  void positionCompanionBubble();
  // The companion's frame of `size` on a screen (none: the 1440 x 900 stand-in).
  QRectF companionFrame(const QSizeF& size, const std::optional<QRectF>& screenAvailableGeometry);
  QRectF clampCompanionFrame(const QRectF& frame) const;
  // Places the companion at the frame (clamped) and remembers it: as the roaming anchor while
  // roaming, else as the origin in the user defaults.
  void persistCompanionFrame(const QRectF& frame);
  // Centres the companion on a screen point (the pet dragged out of the island).
  void updateCompanionDragOut(QPointF point);
  void endCompanionPlacement();
  // The motion timer runs exactly while a roaming companion is shown; while it runs it drives
  // the pet's animation too.
  void evaluateCompanionMotionTimer();
  bool hasCompanionMotionTimer() const { return companionMotionTimer_ != nullptr; }
  QTimer* companionMotionTimerForTests() const { return companionMotionTimer_.get(); }
  // One tick of the motion timer: unless the companion cannot be seen, it moves along its path
  // and, every second tick, the pet animates.
  void companionMotionTick();
  // Hands the companion view its pet, status and ticker, and the bubble its status item.
  void updateCompanionProviders();
  // The "No linked task" stand-in while it lasts, else the store's status; an expired stand-in
  // is dropped.
  std::optional<CompanionStatusItem> currentCompanionBubbleStatus();
  const std::optional<CompanionBubbleFallback>& companionBubbleFallback() const { return companionBubbleFallback_; }
  // A click on a status item: the Jump to its event; when nothing opens, the bubble says "No
  // linked task" for 1.4 s. `done` (tests) runs once the Jump finished.
  void openCompanionStatus(const CompanionStatusItem& item, std::function<void()> done = {});
  // Opens the settings page on the Pets tab, on the companion's screen when a surface shows it.
  // While the page is already open (the second click of a double click) it only shows the Pets
  // tab again and brings the page to the front.
  void openCompanionPetSettings();
  // The times openCompanionPetSettings() really opened the page.
  static inline int companionPetSettingsOpenCountForTests = 0;
  // The companion's pop-up menu, and showing it at a screen point.
  std::unique_ptr<QMenu> createCompanionMenu();
  void showCompanionMenu(QPointF screenPoint);
  QMenu* companionMenu() const { return companionMenu_.get(); }
  void setCompanionModeFromMenu(const QString& rawMode);
  void moveCompanionFromMenu();
  void hideCompanionFromMenu();
  TandrelCompanionView* companionView() const { return companionView_.get(); }
  TandrelCompanionBubbleView* companionBubbleView() const { return companionBubbleView_.get(); }
  bool hasCompanionPlacementTimer() const { return companionPlacementEnd_.isPending(); }
  const std::optional<companion::RoamingAnchor>& roamingCompanionAnchor() const { return roamingCompanionAnchor_; }

  // ---- Global hot keys (overlay_controller_hot_keys.cpp) ----

  // Registers the three hot keys of kApplicationHotKeys. A key another application holds is
  // logged and listed in unavailableHotKeys(); a session without global keys says so once in
  // the log.
  void registerHotKeys();
  void unregisterHotKeys();
  // Ctrl+Alt+Space: expands the island on the first screen of the display policy, or collapses
  // it (also from settings).
  void toggleFromHotKey();
  // Super+Shift+U: jumps to the newest waiting request; toggles the island when none waits.
  void jumpToLatestPendingFromHotKey();
  // Ctrl+Super+U: jumps to the next waiting request in turn, oldest first; nothing when none waits.
  void cycleToNextPendingFromHotKey();
  // Why each hot key that could not be registered does not work.
  const std::vector<QString>& unavailableHotKeys() const { return unavailableHotKeys_; }
  const std::optional<QString>& lastCycledRequestID() const { return lastCycledRequestID_; }

 private:
  void startSocketServer();
  // Connects to the notification server: every waiting request gets a banner, withdrawn when the
  // request ends; responses to banners go to the delegate.
  void startNotifications();
  // Arms the automatic update check (the overlay views receive its results once they exist).
  void scheduleAutomaticUpdateChecks();
  void completeStartupPermissionFlow(const StartupPermissionOffer& offer, bool accepted);
  void handleStoreChange();
  void startRuntimeObservers();
  std::set<QString> currentFullscreenDisplayIDs();
  void bringSettingsPanelToFrontStep();
  // A shown start-up prompt goes back in front of the panels just ordered front: the island
  // stays on top, and the prompt above it.
  void keepStartupPromptInFront();
  std::vector<ScreenInfo> allScreens() const;
  void scheduleScreenRebuild();
  // After an expansion the pointer did not cause, the expanded island collapses after `delay`
  // unless the pointer is near it then.
  void collapseExpandedIslandLaterUnlessPointerNear(std::chrono::milliseconds delay);
  // The icon and its menu go once control is back in the event loop: the menu may be the one
  // whose click led here.
  void releaseTrayIcon();
  void retireSurfaces(std::vector<std::unique_ptr<OverlaySurface>>& surfaces);
  // The companion's screen (the active surface's, else the first of the policy, else the
  // primary one) and every screen a companion frame is kept on.
  std::optional<QRectF> companionScreenGeometry() const;
  // After a companion menu action every surface's view reads the saved settings again.
  void reloadViewSettingsFromDefaults();
  companion::CompanionScreens companionScreens() const;
  // What the island views' pet drag-out moves: this controller's companion.
  CompanionDragOut* companionDragOutHandle();

  OverlayControllerOptions options_;
  PendingActionStore& pendingActions_;
  AuditWriter& audit_;
  UserDefaults& defaults_;
  std::unique_ptr<SettingsModel> ownSettings_;
  SettingsModel& settings_;
  Clock& clock_;
  WindowServer& windowServer_;

  std::unique_ptr<EventStore> store_;
  OverlayMode currentMode_ = OverlayMode::collapsed;
  ActivationPolicy activationPolicy_ = ActivationPolicy::accessory;
  bool didFinishLaunching_ = false;
  bool isPreparingForTermination_ = false;
  std::unique_ptr<TerminationSignals> terminationSignals_;
  std::unique_ptr<AutomaticUpdateScheduler> automaticUpdates_;
  std::optional<QString> installFailureAtLaunch_;
  // The newest answer of an automatic check, for views made after it arrived.
  std::optional<UpgradeCheckResponse> lastAutomaticUpdateResult_;
  bool didRunStartupPermissionFlow_ = false;
  QPointer<StartupPermissionPrompt> startupPermissionPrompt_;
  std::unique_ptr<DesktopNotifications> notifications_;
  std::unique_ptr<TandrelBanners> banners_;
  std::unique_ptr<TandrelUNDelegate> notificationDelegate_;

  std::vector<std::unique_ptr<OverlaySurface>> surfaces_;
  std::optional<QString> activeSurfaceID_;
  DisplayPolicy lastDisplayPolicy_ = DisplayPolicy::primary;
  QString lastScreenSignature_;
  std::set<QString> lastFullscreenDisplayIDs_;
  std::map<QString, QRectF> settingsPanelFrames_;
  std::optional<QDateTime> settingsSpaceCloseSuppressedUntil_;
  // The dates of each throttled runtime step; the distant past until it first runs.
  QDateTime lastStoreFallbackRefreshAt_;
  QDateTime lastFullscreenRefreshAt_;
  QDateTime lastDiskBackedRefreshAt_;
  std::unique_ptr<QTimer> runtimeTimer_;
  bool screenRebuildPending_ = false;
  // Receives Qt's screen signals; dropped at teardown, which disconnects them.
  std::unique_ptr<QObject> screenObserver_;
  std::unique_ptr<ApplicationMenu> applicationMenu_;
  QPointer<QMenu> trayMenu_;
  QPointer<QSystemTrayIcon> trayIcon_;
  std::unique_ptr<TrayHosts> sessionTrayHosts_;
  TrayHosts* trayHosts_ = nullptr;
  QPointer<QMessageBox> aboutPanel_;
  std::unique_ptr<GlobalHotKeys> sessionHotKeys_;
  GlobalHotKeys* hotKeys_ = nullptr;
  std::vector<QString> unavailableHotKeys_;
  std::optional<QString> lastCycledRequestID_;
  std::unique_ptr<TandrelCompanionView> companionView_;
  std::unique_ptr<TandrelCompanionBubbleView> companionBubbleView_;
  std::optional<CompanionBubbleFallback> companionBubbleFallback_;
  DelayedWork companionPlacementEnd_;
  std::unique_ptr<QTimer> companionMotionTimer_;
  int companionMotionSteps_ = 0;
  std::optional<companion::RoamingAnchor> roamingCompanionAnchor_;
  std::unique_ptr<QMenu> companionMenu_;
  std::unique_ptr<CompanionDragOut> companionDragOut_;
  // The portal's colour scheme as it changes, for the companion's label chrome.
  std::unique_ptr<AppearanceWatcher> appearanceWatcher_;
  // Declared last: destroyed first, so that its connections close while the rest still exists.
  std::unique_ptr<SocketServer> socketServer_;
};

}  // namespace tandrel
