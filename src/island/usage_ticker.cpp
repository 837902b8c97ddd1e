// The ticker queue and the usage-tool list with their caches, and the two rotations.

#include "island/usage_ticker.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "island/usage_header.h"
#include "usage/usage_brand.h"

namespace tandrel {

UsageTicker::UsageTicker(EventStore& store, SettingsModel& settings, Clock& clock,
                         const std::vector<ToolHealth>& toolHealth, ShownMessages shownMessages)
    : store_(store), settings_(settings), clock_(clock), toolHealth_(toolHealth), shownMessages_(std::move(shownMessages)) {
  usageAnimationStarted = lastUsageRotationAt = lastCollapsedMessageRotationAt = now();
}

const std::vector<CollapsedTickerDisplay>& UsageTicker::items() {
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
  int approvals = 0;
  for (const IslandMessage& message : shownMessages_()) {
    approvals += messageWaitsForUser(message);
  }
  cachedCollapsedTickerItems_ = buildCollapsedTickerItems(messages(), approvals, usage);
  cachedCollapsedTickerKeys_ = std::move(keys);
  return cachedCollapsedTickerItems_;
}

std::vector<IslandMessage> UsageTicker::messages() { return collapsedTickerMessages(shownMessages_()); }

CollapsedTickerDisplay UsageTicker::display() {
  const std::vector<CollapsedTickerDisplay> queue = withFinishedTurnsFirst(finishedTurnItems(), items());
  if (collapsedMessageRotationIndex < 0 || collapsedMessageRotationIndex >= static_cast<int>(queue.size())) {
    collapsedMessageRotationIndex = 0;
  }
  return queue[static_cast<size_t>(collapsedMessageRotationIndex)];
}

std::vector<CollapsedTickerDisplay> UsageTicker::finishedTurnItems() {
  std::vector<CollapsedTickerDisplay> turns;
  if (!waitingFinishedTurns) {
    return turns;
  }
  const QDateTime now = clock_.now();
  for (const PendingAction& action : waitingFinishedTurns()) {
    // Whole seconds, rounded up: the full time shows at first and "0:00" only as it runs out.
    const qint64 msLeft = action.timeoutSeconds * 1000 - action.createdAt.msecsTo(now);
    turns.push_back(finishedTurnTickerItem(toolDisplayName(action.agent), (msLeft + 999) / 1000));
  }
  return turns;
}

int UsageTicker::itemCount() { return static_cast<int>(withFinishedTurnsFirst(finishedTurnItems(), items()).size()); }

void UsageTicker::showFinishedTurnsFirst() {
  collapsedMessageRotationIndex = 0;
  lastCollapsedMessageRotationAt = now();
}

const QStringList& UsageTicker::enabledUsageTools() {
  const QDateTime now = clock_.now();
  UsageToolsCacheKeys keys{store_.revision(), settings_.values().disabledToolIDs, usageToolsHealthSignature(),
                           wrapperBridgeReadyCached(now)};
  if (cachedUsageToolsKeys_ == keys) {
    return cachedUsageTools_;
  }
  cachedUsageTools_ = eligibleUsageToolNames(toolHealth_, settings_.values().disabledToolIDs, store_, keys.wrapperReady, now);
  cachedUsageToolsKeys_ = std::move(keys);
  return cachedUsageTools_;
}

bool UsageTicker::wrapperBridgeReadyCached(const QDateTime& now) {
  if (cachedUsageToolsKeys_.storeRevision >= 0 && cachedWrapperBridgeReadyCheckedAt_.isValid() &&
      cachedWrapperBridgeReadyCheckedAt_.msecsTo(now) < ticker::kWrapperReadinessLifetimeMs) {
    return cachedWrapperBridgeReady_;
  }
  cachedWrapperBridgeReady_ =
      wrapperBridgeReadyProbe ? wrapperBridgeReadyProbe() : HookManager::shared().wrapperBridgeReady();
  cachedWrapperBridgeReadyCheckedAt_ = now;
  return cachedWrapperBridgeReady_;
}

QString UsageTicker::usageToolsHealthSignature() const { return tandrel::usageToolsHealthSignature(toolHealth_); }

std::optional<UsageSnapshot> UsageTicker::usageSnapshotForTool(const QString& tool) {
  if (tool.isEmpty()) {
    return std::nullopt;
  }
  std::optional<UsageSnapshot> merged = store_.mergedUsage(usageToolIDs(tool), usageBrandName(tool));
  if (!merged) {
    return std::nullopt;
  }
  return usageSnapshotForDisplay(*merged, tool);
}

void UsageTicker::normalizeActiveUsageTool() {
  const NormalizedUsageTool normalized = normalizedUsageTool(enabledUsageTools(), activeUsageTool);
  activeUsageTool = normalized.tool;
  if (normalized.unpin) {
    usageRotationPinnedByUser = false;
  }
  if (normalized.restart) {
    usageAnimationStarted = lastUsageRotationAt = now();
  }
}

void UsageTicker::selectUsageTool(const QString& tool, bool pinnedByUser) {
  activeUsageTool = tool;
  usageRotationPinnedByUser = pinnedByUser;
  usageAnimationStarted = lastUsageRotationAt = now();
}

bool UsageTicker::rotationDue() {
  const double at = now();
  return collapsedMessageRotationDue(itemCount(), at, lastCollapsedMessageRotationAt) ||
         usageToolRotationDue(usageRotationPinnedByUser, enabledUsageToolCount(), at, lastUsageRotationAt);
}

bool UsageTicker::rotateMessageIfNeeded() {
  const int count = itemCount();
  if (count < 2) {
    collapsedMessageRotationIndex = 0;
    return false;
  }
  const double at = now();
  if (!collapsedMessageRotationDue(count, at, lastCollapsedMessageRotationAt)) {
    return false;
  }
  collapsedMessageRotationIndex = (collapsedMessageRotationIndex + 1) % count;
  lastCollapsedMessageRotationAt = at;
  return true;
}

bool UsageTicker::rotateUsageToolIfNeeded() {
  const QStringList& tools = enabledUsageTools();
  if (tools.size() < 2) {
    normalizeActiveUsageTool();
    return false;
  }
  const double at = now();
  if (!usageToolRotationDue(usageRotationPinnedByUser, static_cast<int>(tools.size()), at, lastUsageRotationAt)) {
    return false;
  }
  activeUsageTool = nextUsageTool(tools, activeUsageTool);
  usageAnimationStarted = lastUsageRotationAt = at;
  return true;
}

QRectF UsageTicker::usageTabRect(const QString& tool) {
  const QStringList& tools = enabledUsageTools();
  const qsizetype index = tools.indexOf(tool);
  if (index < 0) {
    return {};
  }
  return usageTabRects(tools)[static_cast<size_t>(index)];
}

}  // namespace tandrel
