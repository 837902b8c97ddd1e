// Qt's pointer crossings and moves, handed to the settings page or the island, and the view's
// one animation timer (its tick is in tandrel_view_ticker.cpp).

#include "island/tandrel_view.h"

#include "events/event_store.h"

#include <QEnterEvent>
#include <QMouseEvent>

#include <cmath>

namespace tandrel {
namespace {

constexpr std::chrono::milliseconds kCollapsedTickInterval{1000};
constexpr std::chrono::milliseconds kMotionTickInterval{33};  // 1/30 s

}  // namespace

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
      if (island_->ticker().itemCount() >= 2 || (!usageRotationPinnedByUser && island_->ticker().enabledUsageToolCount() >= 2) ||
          !island_->ticker().finishedTurnItems().empty()) {
        wanted = kCollapsedTickInterval;
      }
      break;
    case OverlayMode::expanded:
      if (!settings_.values().reduceMotion) {
        wanted = kMotionTickInterval;
      } else {
        if (island_->inbox().page().empty() && !usageRotationPinnedByUser && island_->ticker().enabledUsageToolCount() >= 2) {
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
