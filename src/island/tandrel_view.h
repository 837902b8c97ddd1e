#pragma once

// The island view of one overlay panel: the one widget per panel, in the mode the controller
// gives it. The collapsed capsule and the expanded inbox are its IslandView (island_view.h, with
// the ticker of usage_ticker.h and the inbox of island_inbox.h); the settings page is drawn in
// settings/. The view keeps the mode and display kind, the status banner, the one animation timer,
// the drawing entry points and what its parts share (tool health, sounds, pets), and forwards the
// names it has always had to the part that now holds them. Split by concern: tandrel_view.cpp
// (set-up, environment knobs, the mode, the status banner, tear-down), tandrel_view_hover.cpp
// (Qt's pointer events, the animation timer), tandrel_view_ticker.cpp (the redraws after the
// ticker moved, the animation tick), tandrel_view_inbox.cpp (the page's rectangles for tests) and
// tandrel_view_paint.cpp (the drawing pass and the outline).

#include "events/pet_preview_state.h"
#include "hooks/hook_manager.h"
#include "inbox/island_message.h"
#include "island/collapsed_ticker.h"
#include "island/inbox_hit_test.h"
#include "island/inbox_layout.h"
#include "island/island_painters_capsule.h"
#include "island/island_painters_inbox.h"
#include "island/island_painters_ticker.h"
#include "island/island_view.h"
#include "pets/island_pet_state.h"
#include "pets/pet_choice.h"
#include "pets/view_pets.h"
#include "settings/settings_panel.h"
#include "platform/clock.h"
#include "requests/pending_action.h"
#include "sounds/view_sounds.h"
#include "ui/island_geometry.h"
#include "ui/live_animation_timers.h"
#include "ui/overlay_host.h"
#include "ui/overlay_mode.h"
#include "ui/overlay_settings.h"
#include "ui/settings_model.h"

#include <QColor>
#include <QImage>
#include <QMap>
#include <QPainterPath>
#include <QPointF>
#include <QPointer>
#include <QProcessEnvironment>
#include <QRegion>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tandrel {

class AIToolsTab;
struct PetRenderSnapshot;
class EventStore;

// Whether this process renders fixtures (TANDREL_RENDER_FIXTURES is set, whatever its value):
// the expanded content then shows at full opacity at once.
bool isRenderingFixtures();

class TandrelView : public QWidget {
  Q_OBJECT

  // Declared first, since the forwarding references below bind to what they hold (the ticker
  // reads the tool health).
  EventStore& store_;
  SettingsModel& settings_;
  Clock& clock_;
  std::unique_ptr<ViewPets> pets_;
  // What the settings panel reaches of the view, and the panel (tandrel_view_settings.cpp).
  class SettingsHost;
  std::unique_ptr<SettingsHost> settingsHost_;
  std::unique_ptr<SettingsPanel> settingsPanel_;

 public:
  // The tool health the usage eligibility reads; the hook manager's at set-up.
  std::vector<ToolHealth> toolHealth;

 private:
  std::unique_ptr<IslandView> island_;

 public:
  static constexpr std::chrono::milliseconds kHoverExpandDelay{280};
  static constexpr std::chrono::milliseconds kCollapseDelay{200};
  // How long an island shown on the user's request away from the pointer (a tray click, a second
  // launch) stays open for them to find it before it collapses as after the pointer left it.
  static constexpr std::chrono::milliseconds kShownAwayFromPointerDelay{4000};
  static constexpr std::chrono::milliseconds kStatusBannerDuration{2000};

  // A view of `size` over the one store and the one settings model (the process's shared model
  // unless given); the controller then sets `controller`, the mode and the display kind. Reads
  // the environment's fixture knobs (TANDREL_LOCK_EXPANDED, TANDREL_SETTINGS_TAB and the ones
  // read with it).
  TandrelView(const QSize& size, EventStore& store, Clock& clock = Clock::system(), QWidget* parent = nullptr);
  TandrelView(const QSize& size, EventStore& store, SettingsModel& settings, Clock& clock = Clock::system(),
              QWidget* parent = nullptr);
  ~TandrelView() override;

  // The controller that placed the view; none for views drawn without a panel.
  QPointer<OverlayHost> controller;

  OverlayMode mode() const { return mode_; }
  // A different mode resets hover, choice and confirmation state, stamps the mode animation and
  // redraws; the same mode again does nothing.
  void setMode(OverlayMode mode);
  // Asks the controller for a mode with this view as the source; without a controller the view
  // changes its own mode.
  void requestMode(OverlayMode mode);

  // The user's settings, shared with every other view, the controller and the companion; the
  // view redraws whenever they change.
  SettingsModel& settings() const { return settings_; }
  // Reads the settings from the user defaults again (after someone else wrote them) and
  // refreshes what depends on them.
  void reloadSettingsFromDefaults();

  DisplayKind displayKind() const { return displayKind_; }
  void setDisplayKind(DisplayKind kind);

  // The settings panel: its frame, tabs and pages, the live preview, the AI Tools tab and the
  // About flow (settings/settings_panel.h). The names below are the view's own for its parts.
  SettingsPanel& settingsPanel() { return *settingsPanel_; }
  SettingsTab activeSettingsTab() const { return settingsPanel_->activeTab(); }
  // Shows a settings tab; `selectSettingsTab` also refreshes what the tab shows.
  void activateSettingsTab(SettingsTab tab) { settingsPanel_->activateTab(tab); }
  void selectSettingsTab(SettingsTab tab) { settingsPanel_->selectTab(tab); }
  // The settings window's close button: asks the controller to close the settings page.
  void closeSettingsFromTitleBar();

  // Applies the fixture knobs of `environment` (only when TANDREL_SETTINGS_TAB is present).
  void applyEnvironmentOverrides(const QProcessEnvironment& environment);

  // The one-line banner; cleared 2 s after it was set unless a newer one replaced it.
  const std::optional<QString>& statusBanner() const { return statusBanner_; }
  void setStatusBanner(std::optional<QString> text);
  QColor statusBannerColor{0, 214, 163};

  // The controller's periodic refresh.
  void refreshFromDisk();

  // The view's sounds: the selected sound, packages, previews and event sounds.
  ViewSounds& sounds() { return *sounds_; }
  const ViewSounds& sounds() const { return *sounds_; }
  // Plays the selected sound for a new event of the store that needs the user (once for all
  // views); the controller calls it on every store change.
  void playSoundsForNewEvents();

  // ---- The About tab's update flow ----

  // The check, download and restart of the About tab; its banners are the view's.
  AboutUpdateFlow& aboutUpdate() { return settingsPanel_->aboutUpdate(); }
  // Starts the flow afresh, in the error a failed install left when there is one.
  void resetAboutUpdateFlow(std::optional<QString> installFailure) {
    settingsPanel_->resetAboutUpdateFlow(std::move(installFailure));
  }
  // Test hooks: a click through the settings click routing in the middle of the update row's
  // status control, and in the middle of the update panel's button (the status control when the
  // panel has none). Whether the click hit.
  bool clickAboutUpdateCheckForTests() { return settingsPanel_->clickAboutUpdateCheck(); }
  bool clickAboutPrimaryUpdateActionForTests() { return settingsPanel_->clickAboutPrimaryUpdateAction(); }

  // ---- AI Tools tab (tandrel_view_settings.cpp) ----

  // The tab's rows and actions over `toolHealth`; made on first use.
  AIToolsTab& aiToolsTab() { return settingsPanel_->aiToolsTab(); }
  // Re-reads tool health on the tab's queue (at most every 2 s unless forced); false when the
  // throttle skipped it. The rows change when the read comes back.
  bool refreshAIToolsHealth(bool force);
  // The primary action of the first row with this id (its outcome arrives as a banner); false
  // when no row has the id.
  bool performAIToolPrimaryActionForTests(const QString& toolID);
  // Hands a web address or file to the desktop, or to AIToolsTab::externalURLOpenerForTests; the
  // desktop's opener is watched up to JumpOpeners::kDesktopOpenerWindow for a failure.
  bool openExternalToolURL(const QUrl& url);

  // Cancels the view's pending work and stops its timer; harmless when repeated.
  void prepareForTermination();

  // ---- Hover and timers (tandrel_view_hover.cpp) ----

  // The pointer entered, left or moved over the view (Qt's enter, leave and move events call
  // these; tests call them directly).
  void mouseEnteredView() { island_->mouseEntered(); }
  void mouseExitedView() { island_->mouseExited(); }
  void mouseMovedInView(QPointF location) { island_->mouseMoved(location); }
  // The island expanded without the pointer (a tray click, a reopen, rebuilt panels): unless the
  // pointer is near it when `delay` has passed, it collapses then, as after the pointer left it.
  void collapseLaterUnlessPointerNear(std::chrono::milliseconds delay) { island_->collapseLaterUnlessPointerNear(delay); }
  bool hasPendingHoverExpand() const { return island_->hasPendingHoverExpand(); }
  bool hasPendingCollapse() const { return island_->hasPendingCollapse(); }

  // Arms, keeps or stops the animation timer for what currently animates: 1 s while a collapsed
  // ticker rotates or counts down a finished turn's wait, 1/30 s while expanded (with reduced motion only for rotating usage meters on
  // an empty inbox) and while a sound previews on the Sounds tab.
  void evaluatePetAnimationTimer();
  void stopPetAnimationTimer();
  std::optional<std::chrono::milliseconds> petAnimationTimerInterval() const;

  // ---- Collapsed ticker and usage tools (island/usage_ticker.h; redraws in tandrel_view_ticker.cpp) ----

  UsageTicker& ticker() { return island_->ticker(); }
  const std::vector<CollapsedTickerDisplay>& collapsedTickerItems() { return island_->ticker().items(); }
  std::vector<IslandMessage> collapsedTickerMessages() { return island_->ticker().messages(); }
  CollapsedTickerDisplay collapsedTickerDisplay() { return island_->ticker().display(); }
  // A finished turn began waiting: the ticker goes to the head of its queue at once.
  void showFinishedTurnsFirst();
  CollapsedTickerDisplay collapsedTickerDisplayForTests() { return island_->ticker().display(); }
  // The word and colour a notched capsule shows beside the camera for the item shown now.
  MacBookCollapsedStatus macBookCollapsedStatusDisplay();
  void forceCollapsedMessageRotationDueForTests() { island_->ticker().forceMessageRotationDue(); }
  const QStringList& enabledUsageTools() { return island_->ticker().enabledUsageTools(); }
  void markUsageToolsUnset() { island_->ticker().markUsageToolsUnset(); }
  bool wrapperBridgeReadyCached(const QDateTime& now) { return island_->ticker().wrapperBridgeReadyCached(now); }
  QString usageToolsHealthSignature() const { return island_->ticker().usageToolsHealthSignature(); }
  std::optional<UsageSnapshot> usageSnapshotForTool(const QString& tool) { return island_->ticker().usageSnapshotForTool(tool); }
  void normalizeActiveUsageTool() { island_->ticker().normalizeActiveUsageTool(); }
  // Makes a tool active and redraws; a tool the user picked stays until it disappears.
  void selectUsageTool(const QString& tool, bool pinnedByUser);
  // The ticker's rotations; each redraws when it moved.
  void rotateCollapsedMessageIfNeeded();
  void rotateUsageToolIfNeeded();
  // One firing of the animation timer: rotations when due, then the frames of whatever moves.
  void animationTick();
  QRectF usageTabRect(const QString& tool) { return island_->ticker().usageTabRect(tool); }
  static UsageMetric usageMetricDisplaySnapshotForTests(const UsageMetric& metric, const QString& rowLabel,
                                                        const QString& tool, const QString& dataSource);
  // Opens a message's choice card, focusing its note when the note takes text.
  void setExpandedChoiceMessageForTests(const QString& eventID);

  // ---- Inbox (island/island_inbox.h; its test rectangles in tandrel_view_inbox.cpp) ----

  IslandInbox& inbox() { return island_->inbox(); }
  void ensureMessageCache() { island_->inbox().ensureCache(); }
  const std::vector<IslandMessage>& filteredMessages() { return island_->inbox().page(); }
  const std::vector<IslandMessage>& filteredAllMessages() { return island_->inbox().all(); }
  int filteredUnreadCount() { return static_cast<int>(island_->inbox().all().size()); }
  int filteredApprovalCount() { return island_->inbox().approvalCount(); }
  // The page's rectangles at the view's current size and mode.
  inbox_layout::InboxPageLayout pageLayout() { return island_->inbox().pageLayout(mode_); }
  // What the open choice card's body adds below its card on the page, 0 when none is open; the
  // controller makes the expanded island that much taller.
  qreal openChoiceExtent() { return island_->inbox().openChoiceExtent(); }
  bool clearChoiceState() { return island_->inbox().clearChoiceState(); }

  std::map<QString, QRectF> messageRectsForTests();
  std::map<QString, QRectF> choiceOptionRectsForTests(const QString& messageID);
  std::optional<QRectF> choiceNoteRectForTests(const QString& messageID);
  std::optional<QRectF> choiceBodyRectForTests(const QString& messageID);
  std::optional<QRectF> messageActionButtonRectForTests(const QString& eventID, const QString& role);

  // ---- Presses and card actions (tandrel_view_clicks.cpp) ----

  // Status colours of the banner.
  static inline const QColor kSuccessColor{0, 214, 163};
  static inline const QColor kFailureColor = QColor::fromRgbF(1, 1 / 3.0, 1 / 3.0);
  static inline const QColor kAttentionColor{255, 187, 0};

  // A press at `point` (view coordinates) with the pointer at `screenPoint`; Qt's press events
  // come here. Expanded: toolbar, tabs, choice cards and card buttons; collapsed: the pet opens
  // the Pets settings, anywhere else expands; settings: the page's own handling.
  void mousePressed(QPointF point, QPointF screenPoint);
  ExpandedClickTarget expandedClickTarget(QPointF point) { return island_->expandedClickTarget(point); }
  // Runs a card's action (or a choice, role "choose_option:<id>") and reports it in the banner.
  void performExpandedMessageAction(const IslandMessage& message, const QString& role) {
    island_->performExpandedMessageAction(message, role);
  }
  // True when the action waits for a second click on the same card's same button.
  bool deferMessageActionForConfirmationIfNeeded(const IslandMessage& message, const QString& role) {
    return island_->deferMessageActionForConfirmationIfNeeded(message, role);
  }
  void clearPendingConfirmationUnlessConfirming(const ExpandedClickTarget& target) {
    island_->inbox().clearPendingConfirmationUnlessConfirming(target);
  }
  // The toolbar's two clear buttons: the page becomes read, or every message hidden.
  void clearPage() { island_->clearPage(); }
  void clearAll() { island_->clearAll(); }
  // What the quit button does; ends the application's event loop by default.
  std::function<void()>& quitApplication = island_->quitApplication;
  // Answers the socket request waiting behind a card as a press on its notification's action
  // `actionID` would (NotificationCategoryRegistrar's identifiers): the controller hands it to
  // the notification delegate. Unset: a card's request buttons do nothing but say so.
  std::function<void(const QString& actionID, const PendingAction& action)>& respondToRequest = island_->respondToRequest;
  // The same press as `role` ("request:approve", … or "choose_option:<id>") on a card with a
  // waiting request: the answer goes through respondToRequest.
  void performPendingCardAction(const IslandMessage& message, const QString& role) {
    island_->performPendingCardAction(message, role);
  }

  // The pet's press in the expanded island (screen point) and whether it is being dragged out.
  std::optional<QPointF>& pendingPetDragStart = island_->pendingPetDragStart;
  bool& petDragOutActive = island_->petDragOutActive;
  // The desktop companion the pet is dragged out into; none: the pet is never dragged out.
  CompanionDragOut*& companionDragOut = island_->companionDragOut;

  // ---- Keys and drags (tandrel_view_keys.cpp) ----

  // A key press; true when the view consumed it (Qt's key events come here).
  bool keyPressed(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    return island_->keyPressed(key, modifiers, text);
  }
  // The pointer moved with the button held after a press on the pet, and was released.
  void mouseDragged(QPointF screenPoint) { island_->mouseDragged(screenPoint); }
  void mouseReleased(QPointF screenPoint);

  // ---- Pets (tandrel_view_pets.cpp) ----

  // The view's pets: its catalogue, imports, removals and the selection (pets/view_pets.h).
  ViewPets& pets() { return *pets_; }
  const ViewPets& pets() const { return *pets_; }
  // The names the view has always had for them.
  std::vector<PetChoice>& petChoices = pets_->choices;
  std::function<std::optional<QString>(QWidget* parent)>& petFolderChooser = pets_->folderChooser;
  void refreshLocalPets() { pets_->refresh(); }
  void reloadLocalPetsFromControl() { pets_->reloadFromControl(); }
  void importPetDirectory() { pets_->importDirectory(); }
  void removePetFromCatalogue(const QString& id) { pets_->remove(id); }
  const PetChoice* selectedPetChoice() const { return pets_->selected(); }
  void selectPet(const QString& id) { pets_->select(id); }
  // The island pet's state: the agents' state without the events of hidden tools, cached.
  PetState currentPetState() { return island_->currentPetState(); }
  void warmPetImageCache() const { pets_->warmImageCache(); }
  static bool petImageCacheContainsForTests(const QString& id);
  // The pet rail at the left of the expanded island.
  void paintExpandedPetRail(QPainter& painter) { island_->paintExpandedPetRail(painter); }
  // The collapsed capsule's pet in `rect`, in the island pet's state.
  void paintCollapsedPet(QPainter& painter, const QRectF& rect) { island_->paintCollapsedPet(painter, rect); }
  // The monotonic clock in seconds: every pet animation is drawn at this time.
  double mediaSeconds() const { return mediaTime(); }

  // ---- The Pets tab's live preview ----

  // The preview's own switch or the app-wide one; never in fixture renders (fixed phase).
  bool effectiveLivePreviewReduceMotion() const { return settingsPanel_->effectiveLivePreviewReduceMotion(); }
  // Runs the 60 Hz driver exactly while the animated preview shows: settings mode on the Pets
  // tab, a floating or roaming preview, motion on, no fixture render. A running driver keeps
  // its phase; every start begins at 0.
  void evaluateLivePreviewDriver() { settingsPanel_->evaluateLivePreviewDriver(); }
  void stopLivePreviewDriver() { settingsPanel_->stopLivePreviewDriver(); }
  bool hasLivePreviewDriver() const { return settingsPanel_->hasLivePreviewDriver(); }
  // One frame at `now` (monotonic seconds): the phase grows by the step, 0 to 50 ms, and the
  // canvas is redrawn.
  void livePreviewDriverTick(double now) { settingsPanel_->livePreviewDriverTick(now); }
  // The canvas's top in unscrolled content coordinates.
  qreal unscrolledLivePreviewCanvasY() const { return settingsPanel_->unscrolledLivePreviewCanvasY(); }
  // On the Pets tab: scrolls so that the canvas sits 80 below the top.
  void scrollPetsTabToLivePreviewCanvas() { settingsPanel_->scrollPetsTabToLivePreviewCanvas(); }
  // The pet scale under the pointer on the slider's track (content coordinates).
  void updateLivePreviewPetScaleSlider(QPointF point, const QRectF& track) {
    settingsPanel_->updateLivePreviewPetScaleSlider(point, track);
  }
  // A press on the slider: the scale follows it until the button is released.
  void beginLivePreviewSliderInteraction(const QRectF& track) {
    settingsPanel_->beginLivePreviewSliderInteraction(track);
  }
  // The content point of the settings click being routed.
  QPointF& lastSettingsClickContentPoint = settingsPanel_->lastClickContentPoint;

  // ---- Drawing (tandrel_view_paint.cpp) ----

  // The whole island in the current mode, into any painter whose device is the view's size.
  // With a dirty rectangle inside the pet rail's animated strip, only the background and the rail.
  void paintIsland(QPainter& painter, const std::optional<QRect>& dirty = std::nullopt);
  // The island drawn into a transparent image of the view's size at `devicePixelRatio`.
  QImage renderImage(qreal devicePixelRatio = 1);
  // The fade-in of the expanded content (1 outside the first 0.2 s of the expanded mode).
  qreal expandedContentAlpha() const { return island_->expandedContentAlpha(); }
  // Draws a tool's logo in the cards: drawToolLogo unless replaced; none leaves the squares empty.
  ToolLogoPainter& toolLogoPainter = island_->toolLogoPainter;

  // ---- Settings page (the panel's; mouse and wheel events in tandrel_view_settings.cpp) ----

  // A press of the pointer that the settings page follows until the button is released: the
  // window being moved by hand (where the window system cannot move it itself), or the Pets
  // tab's size slider.
  using SettingsPanelPointerInteraction = SettingsPanel::PointerInteraction;
  std::optional<SettingsPanelPointerInteraction>& settingsPanelPointerInteraction = settingsPanel_->pointerInteraction;
  // The height of the active tab's content as last drawn, never less than the viewport's.
  qreal& lastDrawnContentHeight = settingsPanel_->lastDrawnContentHeight;

  // The desktop companion's scale, pulled into 0.75...1.6, also taken by the live preview; written,
  // and the controller re-places the companion.
  void setFloatingPetScale(double scale) { settingsPanel_->setFloatingPetScale(scale); }
  // The active tab's scroll offset (0 when it was never scrolled).
  qreal settingsScrollOffset() const { return settingsPanel_->scrollOffset(); }
  // A press at `point` (view coordinates) in settings mode: a double click on the title strip
  // zooms the window; a sidebar row selects its tab; the header moves the window; anything else
  // goes to the active page as a click in content coordinates.
  void settingsMouseDown(QPointF point, bool doubleClick) { settingsPanel_->mouseDown(point, doubleClick); }
  // The pointer moved with the button down after a press the page follows (`point` in view,
  // `globalPoint` in screen coordinates).
  void continueSettingsPointerInteraction(QPointF point, QPointF globalPoint) {
    settingsPanel_->continuePointerInteraction(point, globalPoint);
  }
  // Where a settings panel moved by hand may go: the screens' available areas together.
  QRectF settingsPanelDesktop() const { return settingsPanel_->desktop(); }
  // A click in content coordinates on the active page: true when a region took it.
  bool handleSettingsClick(QPointF contentPoint) { return settingsPanel_->handleClick(contentPoint); }
  // A wheel movement of `deltaY` pixels (positive: towards the top) on the settings page; true
  // when the offset moved.
  bool scrollSettings(qreal deltaY) { return settingsPanel_->scroll(deltaY); }

  // The island's outline for a panel of `size`: the panel is cut to it when no compositor blends
  // transparent corners, and drawing fills it.
  QPainterPath islandOutline(const QSizeF& size) const;
  // The outline as a region of pixels at `devicePixelRatio` pixels per point.
  QRegion islandShape(const QSize& size, qreal devicePixelRatio = 1) const;

  // ---- State the settings page, drawing and tests read or set ----
  bool& usageRotationPinnedByUser = island_->ticker().usageRotationPinnedByUser;
  std::optional<QString>& expandedChoiceMessageID = island_->inbox().expandedChoiceMessageID;
  QString& activeChoiceNote = island_->inbox().activeChoiceNote;
  std::optional<QString>& choiceNoteFocusedMessageID = island_->inbox().choiceNoteFocusedMessageID;
  std::optional<std::pair<QString, QString>>& pendingMessageConfirmation = island_->inbox().pendingMessageConfirmation;
  std::optional<QPointF>& hoverPoint = island_->hoverPoint;
  // The Pets tab's live preview: it follows the companion's mode and scale whenever the settings
  // are read, and can be changed on its own.
  PetPreviewMode& previewMode = settingsPanel_->livePreview.mode;
  bool& previewReduceMotion = settingsPanel_->livePreview.reduceMotion;
  double& previewPetScale = settingsPanel_->livePreview.petScale;
  std::map<SettingsTab, qreal>& settingsScrollOffsets = settingsPanel_->scrollOffsets;
  double& livePreviewPhase = settingsPanel_->livePreview.phase;
  bool& isLivePreviewFixtureMode = settingsPanel_->livePreview.fixtureMode;
  // Whether the view draws a fixture image: the expanded content then shows at full opacity at
  // once. The process's fixture renderer by default; the renderer sets it on its own views.
  bool renderingFixtures = isRenderingFixtures();
  // How the wrapper bridge's readiness is read; the shared hook manager's by default.
  std::function<bool()>& wrapperBridgeReadyProbe = island_->ticker().wrapperBridgeReadyProbe;
  // The finished turns that wait for the user's reply, oldest first: the controller's waiting
  // requests raised at the end of a turn. None when unset.
  std::function<std::vector<PendingAction>()>& waitingFinishedTurns = island_->ticker().waitingFinishedTurns;
  int& collapsedMessageRotationIndex = island_->ticker().collapsedMessageRotationIndex;
  QString& activeUsageTool = island_->ticker().activeUsageTool;
  // Monotonic seconds of the last mode change, of the usage meters' start (the bars grow from
  // it) and of the last moves of the ticker and of the usage tool.
  double modeAnimationStarted = 0;
  double& usageAnimationStarted = island_->ticker().usageAnimationStarted;
  double& lastUsageRotationAt = island_->ticker().lastUsageRotationAt;
  double& lastCollapsedMessageRotationAt = island_->ticker().lastCollapsedMessageRotationAt;
  const bool debugLockExpanded;

  // The paints the view received, and the region of the last one.
  static inline int paintCountForTests = 0;
  static inline QRegion lastPaintRegionForTests;
  // Redraws requested by the animation tick and the rotations.
  static inline int animationTickWorkCountForTests = 0;
  // Entries into the two rotations.
  static inline int rotationCallCountForTests = 0;
  static inline int terminationCountForTests = 0;
  static inline int& livePetAnimationTimerCountForTests = liveAnimationTimerCount;
  // Views made while it is set play through it instead of the system's audio output.
  static inline SoundOutput* soundOutputOverrideForTests = nullptr;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  double mediaTime() const { return clock_.monotonicMs() / 1000.0; }
  void paintSettings(QPainter& painter) { settingsPanel_->paint(painter); }

  // The live preview takes the companion's mode and scale from freshly read settings.
  void settingsLoaded();
  // What the pets ask of the view: banners, redraws, the controller told.
  ViewPets::ViewHooks petHooks();

  std::unique_ptr<ViewSounds> sounds_;
  OverlayMode mode_ = OverlayMode::collapsed;
  DisplayKind displayKind_ = DisplayKind::macBookPhysical;
  std::optional<QString> statusBanner_;

  DelayedWork statusBannerDismissWork_;
  QTimer* petAnimationTimer_ = nullptr;
  bool terminated_ = false;
};

// Hands the source view's pet catalogue to the other views (the selection is the shared settings'
// own): the pet images are decoded afresh and each view redraws.
void syncPetSettings(const TandrelView& source, const std::vector<TandrelView*>& views);

// What the companion draws of an island view: its pet settings, the live preview's state and the
// pet scale.
PetRenderSnapshot petRenderSnapshot(const TandrelView& view);

}  // namespace tandrel
