// The collapsed ticker and the usage tools: the cached queue and tool list, the rotation of the
// shown item and of the active usage tool, and the animation timer's tick.

#include "island/tandrel_view.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "island/usage_header.h"
#include "pets/pet_rail.h"
#include "usage/usage_brand.h"

namespace tandrel {

const std::vector<CollapsedTickerDisplay>& TandrelView::collapsedTickerItems() {
  enabledUsageTools();  // brings the usage-tool keys up to date first
  CollapsedTickerCacheKeys keys{store_.revision(), settings_.values().disabledToolIDs, cachedUsageToolsKeys_.storeRevision,
                                cachedUsageToolsKeys_.healthSignature, cachedUsageToolsKeys_.wrapperReady};
  if (cachedCollapsedTickerKeys_ == keys) {
    return cachedCollapsedTickerItems_;
  }
  std::vector<TickerUsageReading> usage;
  for (const QString& tool : cachedUsageTools_) {
    if (std::optional<UsageSnapshot> snapshot = usageSnapshotForTool(tool)) {
      usage.push_back({usageBrandName(tool), std::move(*snapshot)});
    }
  }
  cachedCollapsedTickerItems_ = buildCollapsedTickerItems(collapsedTickerMessages(), filteredApprovalCount(), usage);
  cachedCollapsedTickerKeys_ = std::move(keys);
  return cachedCollapsedTickerItems_;
}

std::vector<IslandMessage> TandrelView::collapsedTickerMessages() {
  return tandrel::collapsedTickerMessages(filteredAllMessages());
}

CollapsedTickerDisplay TandrelView::collapsedTickerDisplay() {
  const std::vector<CollapsedTickerDisplay> items = withFinishedTurnsFirst(finishedTurnTickerItems(), collapsedTickerItems());
  if (collapsedMessageRotationIndex < 0 || collapsedMessageRotationIndex >= static_cast<int>(items.size())) {
    collapsedMessageRotationIndex = 0;
  }
  return items[static_cast<size_t>(collapsedMessageRotationIndex)];
}

std::vector<CollapsedTickerDisplay> TandrelView::finishedTurnTickerItems() {
  std::vector<CollapsedTickerDisplay> items;
  if (!waitingFinishedTurns) {
    return items;
  }
  const QDateTime now = clock_.now();
  for (const PendingAction& action : waitingFinishedTurns()) {
    // Whole seconds, rounded up: the full time shows at first and "0:00" only as it runs out.
    const qint64 msLeft = action.timeoutSeconds * 1000 - action.createdAt.msecsTo(now);
    items.push_back(finishedTurnTickerItem(toolDisplayName(action.agent), (msLeft + 999) / 1000));
  }
  return items;
}

void TandrelView::showFinishedTurnsFirst() {
  collapsedMessageRotationIndex = 0;
  lastCollapsedMessageRotationAt = mediaTime();
  update();
  evaluatePetAnimationTimer();
}

void TandrelView::forceCollapsedMessageRotationDueForTests() { lastCollapsedMessageRotationAt = mediaTime() - 10; }

const QStringList& TandrelView::enabledUsageTools() {
  const QDateTime now = clock_.now();
  UsageToolsCacheKeys keys{store_.revision(), settings_.values().disabledToolIDs, usageToolsHealthSignature(),
                           wrapperBridgeReadyCached(now)};
  if (cachedUsageToolsKeys_ == keys) {
    return cachedUsageTools_;
  }
  cachedUsageTools_ = eligibleUsageToolNames(toolHealth, settings_.values().disabledToolIDs, store_, keys.wrapperReady, now);
  cachedUsageToolsKeys_ = std::move(keys);
  return cachedUsageTools_;
}

bool TandrelView::wrapperBridgeReadyCached(const QDateTime& now) {
  if (cachedUsageToolsKeys_.storeRevision >= 0 && cachedWrapperBridgeReadyCheckedAt_.isValid() &&
      cachedWrapperBridgeReadyCheckedAt_.msecsTo(now) < ticker::kWrapperReadinessLifetimeMs) {
    return cachedWrapperBridgeReady_;
  }
  cachedWrapperBridgeReady_ =
      wrapperBridgeReadyProbe ? wrapperBridgeReadyProbe() : HookManager::shared().wrapperBridgeReady();
  cachedWrapperBridgeReadyCheckedAt_ = now;
  return cachedWrapperBridgeReady_;
}

QString TandrelView::usageToolsHealthSignature() const { return tandrel::usageToolsHealthSignature(toolHealth); }

std::optional<UsageSnapshot> TandrelView::usageSnapshotForTool(const QString& tool) {
  if (tool.isEmpty()) {
    return std::nullopt;
  }
  std::optional<UsageSnapshot> merged = store_.mergedUsage(usageToolIDs(tool), usageBrandName(tool));
  if (!merged) {
    return std::nullopt;
  }
  return usageSnapshotForDisplay(*merged, tool);
}

void TandrelView::normalizeActiveUsageTool() {
  const NormalizedUsageTool normalized = normalizedUsageTool(enabledUsageTools(), activeUsageTool);
  activeUsageTool = normalized.tool;
  if (normalized.unpin) {
    usageRotationPinnedByUser = false;
  }
  if (normalized.restart) {
    usageAnimationStarted = lastUsageRotationAt = mediaTime();
  }
}

void TandrelView::selectUsageTool(const QString& tool, bool pinnedByUser) {
  activeUsageTool = tool;
  usageRotationPinnedByUser = pinnedByUser;
  usageAnimationStarted = lastUsageRotationAt = mediaTime();
  update();
  evaluatePetAnimationTimer();
}

void TandrelView::rotateCollapsedMessageIfNeeded() {
  ++rotationCallCountForTests;
  const int count = collapsedTickerItemCount();
  if (count < 2) {
    collapsedMessageRotationIndex = 0;
    return;
  }
  const double now = mediaTime();
  if (!collapsedMessageRotationDue(count, now, lastCollapsedMessageRotationAt)) {
    return;
  }
  collapsedMessageRotationIndex = (collapsedMessageRotationIndex + 1) % count;
  lastCollapsedMessageRotationAt = now;
  update();
  ++animationTickWorkCountForTests;
}

void TandrelView::rotateUsageToolIfNeeded() {
  ++rotationCallCountForTests;
  const QStringList& tools = enabledUsageTools();
  if (tools.size() < 2) {
    normalizeActiveUsageTool();
    return;
  }
  const double now = mediaTime();
  if (!usageToolRotationDue(usageRotationPinnedByUser, static_cast<int>(tools.size()), now, lastUsageRotationAt)) {
    return;
  }
  activeUsageTool = nextUsageTool(tools, activeUsageTool);
  usageAnimationStarted = lastUsageRotationAt = now;
  update();
  ++animationTickWorkCountForTests;
}

void TandrelView::animationTick() {
  switch (mode_) {
    case OverlayMode::collapsed: {
      // A collapsed island redraws only when its ticker moves on, or while it counts down the
      // wait of a finished turn.
      const double now = mediaTime();
      if (collapsedMessageRotationDue(collapsedTickerItemCount(), now, lastCollapsedMessageRotationAt) ||
          usageToolRotationDue(usageRotationPinnedByUser, enabledUsageToolCount(), now, lastUsageRotationAt)) {
        rotateCollapsedMessageIfNeeded();
      } else if (collapsedMessageRotationIndex < static_cast<int>(finishedTurnTickerItems().size())) {
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
      if (activeSettingsTab_ != SettingsTab::pets && activeSettingsTab_ != SettingsTab::sound) {
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
  } else if (activeSettingsTab_ == SettingsTab::pets) {
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

QRectF TandrelView::usageTabRect(const QString& tool) {
  const QStringList& tools = enabledUsageTools();
  const qsizetype index = tools.indexOf(tool);
  if (index < 0) {
    return {};
  }
  return usageTabRects(tools)[static_cast<size_t>(index)];
}

UsageMetric TandrelView::usageMetricDisplaySnapshotForTests(const UsageMetric& metric, const QString& rowLabel,
                                                            const QString& tool, const QString& dataSource) {
  return usageMetricForDisplay(metric, rowLabel, tool, dataSource);
}

void TandrelView::setExpandedChoiceMessageForTests(const QString& eventID) {
  expandedChoiceMessageID = eventID;
  ensureMessageCache();
  choiceNoteFocusedMessageID.reset();
  for (const IslandMessage& message : cachedFilteredMessages_) {
    if (message.event.id == eventID) {
      if (inbox_layout::choiceNote(message).enabled) {
        choiceNoteFocusedMessageID = eventID;
      }
      break;
    }
  }
  activeChoiceNote.clear();
  update();
}

}  // namespace tandrel
