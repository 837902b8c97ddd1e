#pragma once

// The desktop companion: a small frameless, translucent window above ordinary windows, without
// focus or taskbar entry, on every workspace, that draws the selected pet for the agents' state
// with a two-line label bubble ("<tool>:" and what it does), rotates through the ticker's items,
// follows the pointer when dragged, and turns a click into opening the item under the label or
// the Pets settings. Outside the pet and the bubble the window lets the pointer through (it is
// cut to what it draws). The controller creates, places and persists it.

#include "attention/companion_status.h"
#include "events/pet_preview_state.h"
#include "pets/pet_choice.h"
#include "platform/clock.h"
#include "ui/overlay_settings.h"

#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace tandrel {

class EventStore;
class SettingsModel;
class TandrelView;

// What pet the companion draws and how, taken from the active island view.
struct PetRenderSnapshot {
  QString selectedPetID;
  std::vector<PetChoice> petChoices;
  PetState previewPetState = PetState::idle;
  bool reduceMotion = false;
  bool highContrast = false;
  double floatingPetScale = 1.0;
  bool operator==(const PetRenderSnapshot&) const = default;
};

// What a paint of the companion draws from, apart from the clock that moves the pet.
struct CompanionDrawnInputs {
  std::optional<PetRenderSnapshot> snapshot;
  std::optional<CompanionStatusItem> labelItem;
  PetState state = PetState::idle;
  CompanionDisplayMode displayMode = CompanionDisplayMode::bubble;
  bool placementMode = false;
  bool darkAppearance = true;
  bool reduceMotion = false;
  QSize size;
  bool operator==(const CompanionDrawnInputs&) const = default;
};

// What the companion asks of the controller.
struct CompanionViewActions {
  std::function<void(const CompanionStatusItem& item)> openStatus;
  // The window's frame (y-down screen coordinates) after a release.
  std::function<void(const QRectF& frame)> persistFrame;
  std::function<void()> endPlacement;
  std::function<void()> openPetSettings;
  // A right click at a screen point.
  std::function<void(QPointF screenPoint)> showMenu;
};

// Whether the companion's window can be seen: its window is exposed.
bool defaultCompanionVisibility(const QWidget& window);

class TandrelCompanionView : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kAnimationInterval{350};
  static constexpr double kTickerRotationSeconds = 4.0;
  // A press that moves more than this is a drag, not a click.
  static constexpr qreal kDragThreshold = 2;

  // `translucent`: a compositor blends the window; without one the window is cut to the
  // pixels it draws.
  TandrelCompanionView(EventStore& store, SettingsModel& settings, bool translucent, Clock& clock = Clock::system());
  ~TandrelCompanionView() override;

  CompanionDisplayMode displayMode = CompanionDisplayMode::bubble;
  bool placementMode = false;
  std::function<std::optional<PetRenderSnapshot>()> petSnapshotProvider = [] { return std::nullopt; };
  std::function<std::optional<CompanionStatusItem>()> statusProvider = [] { return std::nullopt; };
  std::function<std::vector<CompanionStatusItem>()> tickerProvider = [] { return std::vector<CompanionStatusItem>(); };
  CompanionViewActions actions;
  // Dark label chrome and light text, or the other way round.
  bool darkAppearance = true;

  int tickerIndex() const { return tickerIndex_; }
  // The label's click area and the item it showed, as last drawn.
  QRectF labelHitRect() const { return labelHitRect_; }
  const std::optional<CompanionStatusItem>& labelStatusItem() const { return labelStatusItem_; }

  // Starts the animation timer unless reduce motion is on (which stops it), the view was
  // prepared for termination or its owner drives the animation.
  void evaluateAnimationTimer();
  void stopAnimationTimer();
  bool hasAnimationTimer() const { return timer_ != nullptr; }
  // While a roaming companion moves, its motion timer calls animationTick() and the view keeps no
  // timer of its own: one wake-up instead of two. Handing the animation back restarts the view's
  // timer (unless reduce motion is on).
  void setAnimationDrivenByOwner(bool driven);
  bool animationDrivenByOwner() const { return animationDrivenByOwner_; }
  // The pointer is over the window (over what it draws: elsewhere the window lets it through).
  bool pointerInside() const { return pointerInside_; }
  // Once: stops the timer for good.
  void prepareForTermination();
  // One timer tick: rotates the ticker every 4 s and redraws, unless the window cannot be seen.
  // An approval that joined the ticker since the last look is shown at once, for a full turn.
  void animationTick();

  // Asks for a paint only when something drawn has changed since the last one: the providers'
  // answers, the mode, the appearance or the size. The pet's own motion is painted by the
  // animation timer; a move of the window is no reason to paint.
  void redrawIfChanged();

  // The whole companion at the view's size; the window's paint event draws the same.
  void drawCompanion(QPainter& painter);
  QImage renderImage(qreal devicePixelRatio = 1);

  // The pointer, in screen coordinates, pressed, moved with the button down, and released (Qt's
  // events come here; tests call them directly). `clickCount` 2 for the release of a double click.
  void pointerPressed(QPointF screenPoint);
  void pointerDragged(QPointF screenPoint);
  void pointerReleased(QPointF screenPoint, int clickCount = 1);
  bool didDrag() const { return didDrag_; }

  // The region that takes the pointer and, without a compositor, shows: what was last drawn.
  QRegion drawnRegion() const { return drawnRegion_; }

  // Replaces the window-visibility test of every companion (tests).
  static inline std::function<bool()> visibilityOverrideForTests;
  // Paints of any companion window, rebuilds of its cut-out from the drawn alpha, and labels
  // drawn (not copied from the previous paint).
  static inline int paintCountForTests = 0;
  static inline int maskRebuildCountForTests = 0;
  static inline int labelDrawCountForTests = 0;
  // The companions' animation timers running now (the island views' are not counted here).
  static inline int liveAnimationTimerCountForTests = 0;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  double mediaTime() const { return clock_.monotonicMs() / 1000.0; }
  bool reduceMotion() const;
  CompanionDrawnInputs drawnInputs() const;
  // Moves the ticker to the first approval item not in it at the last look, so that a request the
  // user must answer is not left waiting behind the working items' rotation.
  void showNewApprovals(const std::vector<CompanionStatusItem>& ticker);
  // What the label bubble and its two lines are drawn from.
  struct LabelInputs {
    QString target;
    QString detail;
    QRectF titleRect;
    QRectF detailRect;
    CompanionDisplayMode displayMode = CompanionDisplayMode::bubble;
    bool darkAppearance = true;
    QSize size;
    qreal devicePixelRatio = 1;
    bool operator==(const LabelInputs&) const = default;
  };
  // The label drawn once into a layer of the view's size, copied while its inputs hold.
  struct LabelLayer {
    LabelInputs inputs;
    QImage image;
    QRectF bubble;
  };
  // Draws the label (on a transparent painter) and answers its bubble.
  QRectF drawLabel(QPainter& painter, const LabelInputs& inputs);
  void drawSimplePet(QPainter& painter, const QRectF& rect, PetState state) const;
  void updateDrawnRegion(const QImage& image);

  EventStore& store_;
  SettingsModel& settings_;
  Clock& clock_;
  bool translucent_;
  QTimer* timer_ = nullptr;
  bool timerInvalidated_ = false;
  bool animationDrivenByOwner_ = false;
  bool pointerInside_ = false;
  std::optional<QPointF> dragStartMouse_;
  std::optional<QRectF> dragStartFrame_;
  bool didDrag_ = false;
  bool releaseOfDoubleClick_ = false;
  int tickerIndex_ = 0;
  double lastTickerRotationAt_ = 0;
  // The events of the ticker's approval items at the last look.
  QSet<QString> tickerApprovalIDs_;
  QRectF labelHitRect_;
  std::optional<CompanionStatusItem> labelStatusItem_;
  std::optional<CompanionDrawnInputs> lastDrawnInputs_;
  std::optional<LabelInputs> lastLabelInputs_;
  std::optional<LabelLayer> labelLayer_;
  // The alpha of the last painted image, from which drawnRegion_ was cut.
  QImage drawnAlpha_;
  QRegion drawnRegion_;
};

}  // namespace tandrel
