// Hover expand and delayed collapse, and the view's one animation timer (its tick is in
// tandrel_view_ticker.cpp).

#include "island/tandrel_view.h"

#include "events/event_store.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>

#include <cmath>

namespace tandrel {
namespace {

constexpr std::chrono::milliseconds kCollapsedTickInterval{1000};
constexpr std::chrono::milliseconds kMotionTickInterval{33};  // 1/30 s

}  // namespace

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

std::optional<QRectF> TandrelView::windowFrame() const { return QRectF(window()->geometry()); }

void TandrelView::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  mouseEnteredView();
}

void TandrelView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  mouseExitedView();
}

void TandrelView::mouseMoveEvent(QMouseEvent* event) {
  QWidget::mouseMoveEvent(event);
  if (settingsPanelPointerInteraction) {
    continueSettingsPointerInteraction(event->position(), event->globalPosition());
  } else if (pendingPetDragStart && (event->buttons() & Qt::LeftButton)) {
    mouseDragged(event->globalPosition());
  } else {
    mouseMovedInView(event->position());
  }
}

void TandrelView::mouseEnteredView() {
  collapseWork_.cancel();
  hoverExpandWork_.cancel();
  if (mode_ != OverlayMode::collapsed) {
    return;
  }
  QPointer<TandrelView> self(this);
  hoverExpandWork_ = clock_.schedule(kHoverExpandDelay, [self] {
    if (self && shouldExpandAfterHoverDelay(self->mode_, self->windowFrame(), QCursor::pos())) {
      self->requestMode(OverlayMode::expanded);
    }
  });
}

void TandrelView::mouseExitedView() {
  if (shouldExpandAfterHoverDelay(mode_, windowFrame(), QCursor::pos())) {
    update();  // still in the hover zone of the collapsed capsule
    return;
  }
  hoverExpandWork_.cancel();
  hoverPoint.reset();
  update();
  scheduleCollapse();
}

void TandrelView::collapseLaterUnlessPointerNear(std::chrono::milliseconds delay) {
  if (mode_ == OverlayMode::expanded) {
    scheduleCollapse(delay);
  }
}

void TandrelView::scheduleCollapse(std::chrono::milliseconds delay) {
  if (mode_ == OverlayMode::settings || debugLockExpanded) {
    return;
  }
  QPointer<TandrelView> self(this);
  collapseWork_ = clock_.schedule(delay, [self] {
    if (!self || self->mode_ == OverlayMode::settings || self->debugLockExpanded) {
      return;
    }
    if (self->mode_ == OverlayMode::expanded) {
      const std::optional<QRectF> frame = self->windowFrame();
      if (frame && insideExpandedHoverRegion(*frame, QCursor::pos())) {
        return;  // the pointer is still near the island
      }
    }
    self->requestMode(OverlayMode::collapsed);
  });
}

void TandrelView::mouseMovedInView(QPointF location) {
  if (mode_ != OverlayMode::expanded) {
    hoverPoint.reset();
    return;
  }
  if (hoverPoint == location) {
    return;
  }
  // Only the hover highlight follows the pointer: a move repaints the options it leaves and
  // enters, and nothing while it stays on one (or on none).
  const inbox_layout::InboxPageLayout layout = pageLayout();
  const std::optional<QRectF> before = inbox_hit_test::hoverHighlightRect(layout, hoverPoint);
  const std::optional<QRectF> after = inbox_hit_test::hoverHighlightRect(layout, location);
  hoverPoint = location;
  if (before != after) {
    for (const std::optional<QRectF>& rect : {before, after}) {
      if (rect) {
        update(rect->adjusted(-1, -1, 1, 1).toAlignedRect());  // with the stroke's antialiased edge
      }
    }
  }
  evaluatePetAnimationTimer();
}

std::optional<std::chrono::milliseconds> TandrelView::petAnimationTimerInterval() const {
  if (petAnimationTimer_ == nullptr || !petAnimationTimer_->isActive()) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(petAnimationTimer_->interval());
}

void TandrelView::evaluatePetAnimationTimer() {
  std::optional<std::chrono::milliseconds> wanted;
  switch (mode_) {
    case OverlayMode::collapsed:
      if (ticker_->itemCount() >= 2 || (!usageRotationPinnedByUser && ticker_->enabledUsageToolCount() >= 2) ||
          !ticker_->finishedTurnItems().empty()) {
        wanted = kCollapsedTickInterval;
      }
      break;
    case OverlayMode::expanded:
      if (!settings_.values().reduceMotion) {
        wanted = kMotionTickInterval;
      } else {
        if (inbox_->page().empty() && !usageRotationPinnedByUser && ticker_->enabledUsageToolCount() >= 2) {
          wanted = kMotionTickInterval;
        }
      }
      break;
    case OverlayMode::settings:
      if (activeSettingsTab() == SettingsTab::sound && sounds_->playingSoundKey) {
        wanted = kMotionTickInterval;
      }
      break;
  }
  if (!wanted || terminated_) {
    stopPetAnimationTimer();
    return;
  }
  if (petAnimationTimerInterval() == wanted) {
    return;  // the running timer already ticks at this rate
  }
  stopPetAnimationTimer();
  petAnimationTimer_ = new QTimer(this);
  petAnimationTimer_->setTimerType(*wanted < kCollapsedTickInterval ? Qt::PreciseTimer : Qt::CoarseTimer);
  petAnimationTimer_->setInterval(*wanted);
  connect(petAnimationTimer_, &QTimer::timeout, this, &TandrelView::animationTick);
  petAnimationTimer_->start();
  ++livePetAnimationTimerCountForTests;
}

void TandrelView::stopPetAnimationTimer() {
  if (petAnimationTimer_ == nullptr) {
    return;
  }
  petAnimationTimer_->stop();
  petAnimationTimer_->deleteLater();
  petAnimationTimer_ = nullptr;
  --livePetAnimationTimerCountForTests;
}

}  // namespace tandrel
