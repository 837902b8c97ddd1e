// The view's side of the collapsed ticker and the usage tools (island/usage_ticker.h): the word a
// notch shows for the current item, the redraws after a rotation or a selection, and the animation
// timer's tick.

#include "island/tandrel_view.h"

#include "events/event_store.h"
#include "island/usage_header.h"
#include "pets/pet_rail.h"

namespace tandrel {

MacBookCollapsedStatus TandrelView::macBookCollapsedStatusDisplay() {
  return macBookCollapsedStatus(island_->ticker().display(), store_.petState());
}

void TandrelView::showFinishedTurnsFirst() {
  island_->ticker().showFinishedTurnsFirst();
  update();
  evaluatePetAnimationTimer();
}

void TandrelView::selectUsageTool(const QString& tool, bool pinnedByUser) {
  island_->ticker().selectUsageTool(tool, pinnedByUser);
  update();
  evaluatePetAnimationTimer();
}

void TandrelView::rotateCollapsedMessageIfNeeded() {
  ++rotationCallCountForTests;
  if (island_->ticker().rotateMessageIfNeeded()) {
    update();
    ++animationTickWorkCountForTests;
  }
}

void TandrelView::rotateUsageToolIfNeeded() {
  ++rotationCallCountForTests;
  if (island_->ticker().rotateUsageToolIfNeeded()) {
    update();
    ++animationTickWorkCountForTests;
  }
}

void TandrelView::animationTick() {
  switch (mode_) {
    case OverlayMode::collapsed: {
      // A collapsed island redraws only when its ticker moves on, or while it counts down the
      // wait of a finished turn.
      if (island_->ticker().rotationDue()) {
        rotateCollapsedMessageIfNeeded();
      } else if (collapsedMessageRotationIndex < static_cast<int>(island_->ticker().finishedTurnItems().size())) {
        update();
        ++animationTickWorkCountForTests;
      }
      return;
    }
    case OverlayMode::expanded:
      rotateCollapsedMessageIfNeeded();
      if (filteredMessages().empty()) {
        rotateUsageToolIfNeeded();
      }
      break;
    case OverlayMode::settings:
      if (activeSettingsTab() != SettingsTab::pets && activeSettingsTab() != SettingsTab::sound) {
        return;
      }
      break;
  }
  if (settings_.values().reduceMotion) {
    return;
  }
  const double now = mediaTime();
  if (mode_ == OverlayMode::expanded) {
    switch (expandedTickRedraw(now, modeAnimationStarted, usageAnimationStarted)) {
      case ExpandedTickRedraw::whole:
        update();
        break;
      case ExpandedTickRedraw::petRailStrip:
        update(expandedPetRailAnimationDirtyRect().toAlignedRect());
        break;
      case ExpandedTickRedraw::none:
        return;
    }
  } else if (activeSettingsTab() == SettingsTab::pets) {
    update();
  } else {
    if (!sounds_->playingSoundKey) {
      return;
    }
    const bool previewEnded = sounds_->playingAnimationTime() >= ViewSounds::kPlayingKeySeconds;
    if (previewEnded) {
      sounds_->playingSoundKey.reset();
    }
    update();
    if (previewEnded) {
      evaluatePetAnimationTimer();
    }
  }
  ++animationTickWorkCountForTests;
}

UsageMetric TandrelView::usageMetricDisplaySnapshotForTests(const UsageMetric& metric, const QString& rowLabel,
                                                            const QString& tool, const QString& dataSource) {
  return usageMetricForDisplay(metric, rowLabel, tool, dataSource);
}


}  // namespace tandrel
