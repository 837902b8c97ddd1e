// The island's hover expand and delayed collapse, its keys, and the pet dragged out of the
// expanded island onto the desktop. Every point here is in Qt's y-down coordinates, the screen's
// as well as the view's.

#include "island/island_view.h"

#include "island/choice_note_input.h"
#include "island/tandrel_view.h"
#include "ui/island_geometry.h"

#include <QCursor>
#include <QLineF>

namespace tandrel {

bool shouldExpandAfterHoverDelay(OverlayMode mode, const std::optional<QRectF>& windowFrame, QPointF mouseLocation) {
  if (mode != OverlayMode::collapsed || !windowFrame) {
    return false;
  }
  if (windowFrame->adjusted(-1, -1, 1, 1).contains(mouseLocation)) {
    return true;
  }
  if (mouseLocation.y() <= windowFrame->bottom()) {
    return false;
  }
  // Below the capsule: inside what the expanded island would cover, with the hover margin.
  QRectF expanded(0, windowFrame->top(), island::kExpandedWidth, expandedOverlayHeight(island::kCardsCountedForHeight));
  expanded.moveCenter(QPointF(windowFrame->center().x(), expanded.center().y()));
  return insideExpandedHoverRegion(expanded, mouseLocation);
}

bool petTravelStartsDragOut(QPointF start, QPointF point) {
  return QLineF(start, point).length() > kPetDragOutThreshold;
}

IslandView::IslandView(TandrelView& view, EventStore& store, SettingsModel& settings, Clock& clock)
    : view_(view),
      store_(store),
      settings_(settings),
      clock_(clock),
      ticker_(std::make_unique<UsageTicker>(store, settings, clock, view.toolHealth,
                                            [this]() -> const std::vector<IslandMessage>& { return inbox_->all(); })),
      inbox_(std::make_unique<IslandInbox>(store, settings, [&view] { return QSizeF(view.size()); })) {}

void IslandView::modeChanged(OverlayMode mode) {
  if (mode != OverlayMode::collapsed) {
    hoverExpandWork_.cancel();
  }
  if (mode != OverlayMode::expanded) {
    inbox_->resetInteraction();
    if (auto* panel = dynamic_cast<KeyboardFocusPanel*>(view_.window())) {
      panel->releaseKeyboardFocus();
    }
  }
}

void IslandView::cancelHoverWork() {
  hoverExpandWork_.cancel();
  collapseWork_.cancel();
}

std::optional<QRectF> IslandView::windowFrame() const { return QRectF(view_.window()->geometry()); }

void IslandView::mouseEntered() {
  collapseWork_.cancel();
  hoverExpandWork_.cancel();
  if (view_.mode() != OverlayMode::collapsed) {
    return;
  }
  QPointer<TandrelView> view(&view_);
  hoverExpandWork_ = clock_.schedule(TandrelView::kHoverExpandDelay, [this, view] {
    if (view && shouldExpandAfterHoverDelay(view->mode(), windowFrame(), QCursor::pos())) {
      view->requestMode(OverlayMode::expanded);
    }
  });
}

void IslandView::mouseExited() {
  if (shouldExpandAfterHoverDelay(view_.mode(), windowFrame(), QCursor::pos())) {
    view_.update();  // still in the hover zone of the collapsed capsule
    return;
  }
  hoverExpandWork_.cancel();
  hoverPoint.reset();
  view_.update();
  scheduleCollapse(TandrelView::kCollapseDelay);
}

void IslandView::collapseLaterUnlessPointerNear(std::chrono::milliseconds delay) {
  if (view_.mode() == OverlayMode::expanded) {
    scheduleCollapse(delay);
  }
}

void IslandView::scheduleCollapse(std::chrono::milliseconds delay) {
  if (view_.mode() == OverlayMode::settings || view_.debugLockExpanded) {
    return;
  }
  QPointer<TandrelView> view(&view_);
  collapseWork_ = clock_.schedule(delay, [this, view] {
    if (!view || view->mode() == OverlayMode::settings || view->debugLockExpanded) {
      return;
    }
    if (view->mode() == OverlayMode::expanded) {
      const std::optional<QRectF> frame = windowFrame();
      if (frame && insideExpandedHoverRegion(*frame, QCursor::pos())) {
        return;  // the pointer is still near the island
      }
    }
    view->requestMode(OverlayMode::collapsed);
  });
}

void IslandView::mouseMoved(QPointF location) {
  if (view_.mode() != OverlayMode::expanded) {
    hoverPoint.reset();
    return;
  }
  if (hoverPoint == location) {
    return;
  }
  // Only the hover highlight follows the pointer: a move repaints the options it leaves and
  // enters, and nothing while it stays on one (or on none).
  const inbox_layout::InboxPageLayout layout = inbox_->pageLayout(view_.mode());
  const std::optional<QRectF> before = inbox_hit_test::hoverHighlightRect(layout, hoverPoint);
  const std::optional<QRectF> after = inbox_hit_test::hoverHighlightRect(layout, location);
  hoverPoint = location;
  if (before != after) {
    for (const std::optional<QRectF>& rect : {before, after}) {
      if (rect) {
        view_.update(rect->adjusted(-1, -1, 1, 1).toAlignedRect());  // with the stroke's antialiased edge
      }
    }
  }
  view_.evaluatePetAnimationTimer();
}

bool IslandView::keyPressed(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  if (key == Qt::Key_Escape) {
    if (view_.mode() == OverlayMode::expanded && inbox_->clearChoiceState()) {
      inbox_->pendingMessageConfirmation.reset();
      view_.update();
      view_.requestMode(OverlayMode::expanded);  // the island loses the closed body's height
    } else {
      view_.requestMode(OverlayMode::collapsed);
    }
    return true;
  }
  if (view_.mode() != OverlayMode::expanded || !inbox_->choiceNoteFocusedMessageID) {
    return false;
  }

  const std::vector<IslandMessage>& page = inbox_->page();
  const inbox_layout::InboxPageLayout layout = inbox_->pageLayout(view_.mode());
  const auto focused = std::find_if(page.begin(), page.end(), [&](const IslandMessage& message) {
    return message.event.id == *inbox_->choiceNoteFocusedMessageID && layout.isChoiceExpanded(message);
  });
  const std::optional<MessageNote> note =
      focused == page.end() ? std::nullopt : std::optional(inbox_layout::choiceNote(*focused));
  QString& typed = inbox_->activeChoiceNote;
  if (!note || !note->enabled) {
    inbox_->choiceNoteFocusedMessageID.reset();
    typed.clear();
    view_.update();
    return true;
  }

  if (key == Qt::Key_Backspace) {
    if (const std::optional<QString> shorter = noteAfterDelete(typed)) {
      typed = *shorter;
      view_.update();
    }
    return true;
  }
  if (modifiers & (Qt::ControlModifier | Qt::MetaModifier)) {
    return true;  // shortcuts never type into the note
  }
  if (text.isEmpty()) {
    return false;
  }
  if (const std::optional<QString> longer = noteAfterTyping(typed, text, note->maxLength)) {
    typed = *longer;
    view_.update();
  }
  return true;
}

void IslandView::mouseDragged(QPointF screenPoint) {
  if (!pendingPetDragStart) {
    return;
  }
  if (petDragOutActive) {
    if (companionDragOut != nullptr) {
      companionDragOut->move(screenPoint);
    }
    return;
  }
  if (!petTravelStartsDragOut(*pendingPetDragStart, screenPoint)) {
    return;  // jitter: still a click on the pet
  }
  petDragOutActive = companionDragOut != nullptr && companionDragOut->begin(screenPoint);
}

void IslandView::mouseReleased(QPointF screenPoint) {
  if (!pendingPetDragStart) {
    petDragOutActive = false;
    return;
  }
  if (!petDragOutActive) {
    view_.activateSettingsTab(SettingsTab::pets);
    view_.requestMode(OverlayMode::settings);
  } else if (companionDragOut != nullptr) {
    companionDragOut->finish(screenPoint);
  }
  pendingPetDragStart.reset();
  petDragOutActive = false;
}

}  // namespace tandrel
