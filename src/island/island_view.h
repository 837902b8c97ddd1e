#pragma once

// The island as the user sees it collapsed and expanded: hover expand and the delayed collapse,
// presses on the capsule and the inbox with the card actions and their banners, keys, the pet
// dragged out onto the desktop, and the drawing of the capsule and of the expanded island. Split
// by concern: island_view.cpp (hover, keys, drags), island_view_clicks.cpp (presses and card
// actions) and island_view_paint.cpp (the capsule, the expanded island and the island pet). It
// keeps the ticker (usage_ticker.h) and the inbox (island_inbox.h). The panel's widget,
// TandrelView, holds one, hands it Qt's events in the collapsed and expanded modes, and keeps the
// mode, the banner, the animation timer and what the settings page shares.

#include "island/inbox_hit_test.h"
#include "island/inbox_layout.h"
#include "island/island_inbox.h"
#include "island/island_painters_capsule.h"
#include "island/island_painters_inbox.h"
#include "island/island_painters_ticker.h"
#include "island/usage_ticker.h"
#include "pets/island_pet_state.h"
#include "platform/clock.h"
#include "requests/pending_action.h"
#include "ui/overlay_mode.h"
#include "ui/settings_model.h"

#include <QColor>
#include <QDateTime>
#include <QPainter>
#include <QPointF>
#include <QRectF>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tandrel {

class EventStore;
class TandrelView;

// How far the pointer travels from a press on the pet before the pet leaves the island: a
// travel up to this is still a click on the pet.
inline constexpr qreal kPetDragOutThreshold = 14;
bool petTravelStartsDragOut(QPointF start, QPointF point);

// The desktop companion as the pet dragged out of the expanded island moves it. Positions are
// screen points (y-down).
class CompanionDragOut {
 public:
  virtual ~CompanionDragOut() = default;
  // Switches the companion on in its floating mode and puts it, in placement, under the point;
  // false when no companion panel could be made.
  virtual bool begin(QPointF screenPoint) = 0;
  virtual void move(QPointF screenPoint) = 0;
  // Places it at the point, saves its frame and ends placement.
  virtual void finish(QPointF screenPoint) = 0;
};

// Whether a collapsed island should expand after the hover delay: the pointer is within 1 of
// the panel's frame, or below it inside the area the expanded island would cover grown by the
// hover margin. `windowFrame` and `mouseLocation` are in screen coordinates (y-down).
bool shouldExpandAfterHoverDelay(OverlayMode mode, const std::optional<QRectF>& windowFrame, QPointF mouseLocation);

class IslandView {
 public:
  // The island of `view`, over the view's store, settings and clock; the view's tool health
  // decides the usage tools.
  IslandView(TandrelView& view, EventStore& store, SettingsModel& settings, Clock& clock);

  UsageTicker& ticker() { return *ticker_; }
  IslandInbox& inbox() { return *inbox_; }

  // The view's mode changed: leaving the collapsed island ends a pending hover expand, leaving
  // the expanded one closes the open card, forgets the confirmation and gives the keyboard back.
  void modeChanged(OverlayMode mode);
  // Cancels the pending hover expand and collapse.
  void cancelHoverWork();
  // Forgets the island pet's cached state (the settings were read again).
  void invalidatePetState() { petStateCache_.invalidate(); }

  // ---- Hover (island_view.cpp) ----

  void mouseEntered();
  void mouseExited();
  void mouseMoved(QPointF location);
  // The island expanded without the pointer: unless the pointer is near it when `delay` has
  // passed, it collapses then, as after the pointer left it.
  void collapseLaterUnlessPointerNear(std::chrono::milliseconds delay);
  bool hasPendingHoverExpand() const { return hoverExpandWork_.isPending(); }
  bool hasPendingCollapse() const { return collapseWork_.isPending(); }

  // ---- Presses and card actions (island_view_clicks.cpp) ----

  // A press in the collapsed or expanded island at `point` (view coordinates) with the pointer at
  // `screenPoint`. Expanded: toolbar, tabs, choice cards and card buttons; collapsed: the pet opens
  // the Pets settings, anywhere else expands.
  void mousePressed(QPointF point, QPointF screenPoint);
  ExpandedClickTarget expandedClickTarget(QPointF point);
  void performExpandedMessageAction(const IslandMessage& message, const QString& role);
  bool deferMessageActionForConfirmationIfNeeded(const IslandMessage& message, const QString& role);
  void performPendingCardAction(const IslandMessage& message, const QString& role);
  void clearPage();
  void clearAll();

  // ---- Keys and the pet dragged out (island_view.cpp) ----

  bool keyPressed(int key, Qt::KeyboardModifiers modifiers, const QString& text);
  void mouseDragged(QPointF screenPoint);
  void mouseReleased(QPointF screenPoint);

  // ---- Drawing (island_view_paint.cpp) ----

  void paintCollapsed(QPainter& painter);
  void paintExpanded(QPainter& painter, const std::optional<QRect>& dirty);
  qreal expandedContentAlpha() const;
  // The island pet's state: the agents' state without the events of hidden tools, cached.
  PetState currentPetState();
  void paintExpandedPetRail(QPainter& painter);
  void paintCollapsedPet(QPainter& painter, const QRectF& rect);

  // What the quit button does; ends the application's event loop by default.
  std::function<void()> quitApplication;
  // Answers the socket request waiting behind a card (see TandrelView::respondToRequest).
  std::function<void(const QString& actionID, const PendingAction& action)> respondToRequest;
  // The pet's press in the expanded island (screen point) and whether it is being dragged out.
  std::optional<QPointF> pendingPetDragStart;
  bool petDragOutActive = false;
  // The desktop companion the pet is dragged out into; none: the pet is never dragged out.
  CompanionDragOut* companionDragOut = nullptr;
  // Draws a tool's logo in the cards: drawToolLogo unless replaced; none leaves the squares empty.
  ToolLogoPainter toolLogoPainter;
  std::optional<QPointF> hoverPoint;

 private:
  double mediaTime() const { return clock_.monotonicMs() / 1000.0; }
  // The frame on screen of the panel holding the view.
  std::optional<QRectF> windowFrame() const;
  // Collapses after `delay`, unless the pointer is near the expanded island then.
  void scheduleCollapse(std::chrono::milliseconds delay);
  void toggleChoiceCard(const IslandMessage& message);
  // Gives the view the keyboard, so that typing reaches an open card's note.
  void takeKeyboardFocus();
  void showBanner(const QString& text, const QColor& color);
  std::vector<std::pair<QString, QRectF>> usageTabHitRects();
  UsageHeaderState usageHeaderState();
  // Repaints the cards' ages when the next of them reads differently (expanded island only).
  void scheduleCardAgeRefresh(const inbox_layout::InboxPageLayout& layout, const QDateTime& now);

  TandrelView& view_;
  EventStore& store_;
  SettingsModel& settings_;
  Clock& clock_;
  std::unique_ptr<UsageTicker> ticker_;
  std::unique_ptr<IslandInbox> inbox_;
  DelayedWork hoverExpandWork_;
  DelayedWork collapseWork_;
  DelayedWork cardAgeRefreshWork_;
  IslandPetStateCache petStateCache_;
};

}  // namespace tandrel
