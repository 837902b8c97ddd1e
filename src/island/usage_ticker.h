#pragma once

// The collapsed ticker and the usage tools of one island view: the ticker queue and the
// usage-tool list with their caches, the wrapper bridge's readiness asked at most every 10 s,
// the rotation of the shown item and of the active usage tool. It draws nothing and redraws
// nothing: the view asks it and redraws on what it answers.

#include "hooks/hook_manager.h"
#include "inbox/island_message.h"
#include "island/collapsed_ticker.h"
#include "platform/clock.h"
#include "requests/pending_action.h"
#include "ui/settings_model.h"
#include "usage/usage_snapshot.h"

#include <QDateTime>
#include <QRectF>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace tandrel {

class EventStore;

class UsageTicker {
 public:
  // The inbox messages of the shown tools, which the queue takes its messages and its approval
  // count from.
  using ShownMessages = std::function<const std::vector<IslandMessage>&()>;

  // Over the view's store, settings, clock and tool health (read at every rebuild, so the view
  // may replace its rows).
  UsageTicker(EventStore& store, SettingsModel& settings, Clock& clock, const std::vector<ToolHealth>& toolHealth,
              ShownMessages shownMessages);

  // The ticker queue, never empty; rebuilt when the store's revision, the hidden tools or the
  // usage-tool list's keys changed.
  const std::vector<CollapsedTickerDisplay>& items();
  // The inbox messages of the shown tools without a usage reading.
  std::vector<IslandMessage> messages();
  // The item shown now (the first when the queue shrank below the shown position). Finished turns
  // that wait for the user's reply come before the queue, each with the time it still waits.
  CollapsedTickerDisplay display();
  // The ticker lines of the waiting finished turns, with the time left on the clock.
  std::vector<CollapsedTickerDisplay> finishedTurnItems();
  // The queue's length with the finished turns.
  int itemCount();
  // A finished turn began waiting: the queue shows its head from now on.
  void showFinishedTurnsFirst();
  // Makes the next rotation of the shown item due: the last one 10 s ago.
  void forceMessageRotationDue() { lastCollapsedMessageRotationAt = now() - 10; }

  // The usage brands to show, cached on the store's revision, the hidden tools, the tool health
  // and the wrapper bridge's readiness.
  const QStringList& enabledUsageTools();
  int enabledUsageToolCount() { return static_cast<int>(enabledUsageTools().size()); }
  // Forgets the usage-tool list (after the settings or the tool health changed); the next read of
  // the wrapper bridge's readiness goes to the disk.
  void markUsageToolsUnset() { cachedUsageToolsKeys_.storeRevision = -1; }
  // The wrapper bridge's readiness, asked at most every 10 s while the usage-tool list is set.
  bool wrapperBridgeReadyCached(const QDateTime& now);
  QString usageToolsHealthSignature() const;
  // The merged reading of a usage brand as shown; none for "".
  std::optional<UsageSnapshot> usageSnapshotForTool(const QString& tool);

  // Keeps `activeUsageTool` among the enabled tools (the first, unpinned, when it is not).
  void normalizeActiveUsageTool();
  // Makes a tool active; a tool the user picked stays until it disappears.
  void selectUsageTool(const QString& tool, bool pinnedByUser);
  // Whether either rotation is due now.
  bool rotationDue();
  // Moves the shown item on when 4 s have passed; true when it moved.
  bool rotateMessageIfNeeded();
  // Moves the active usage tool on when 4 s have passed and the user pinned none; true when it
  // moved.
  bool rotateUsageToolIfNeeded();
  // A tab's rectangle; the zero rectangle for a tool that is not enabled.
  QRectF usageTabRect(const QString& tool);

  // How the wrapper bridge's readiness is read; the shared hook manager's by default.
  std::function<bool()> wrapperBridgeReadyProbe;
  // The finished turns that wait for the user's reply, oldest first. None when unset.
  std::function<std::vector<PendingAction>()> waitingFinishedTurns;

  bool usageRotationPinnedByUser = false;
  int collapsedMessageRotationIndex = 0;
  QString activeUsageTool = QStringLiteral("Claude");
  // Monotonic seconds of the usage meters' start (the bars grow from it) and of the last moves of
  // the usage tool and of the ticker.
  double usageAnimationStarted = 0;
  double lastUsageRotationAt = 0;
  double lastCollapsedMessageRotationAt = 0;

 private:
  double now() const { return clock_.monotonicMs() / 1000.0; }

  EventStore& store_;
  SettingsModel& settings_;
  Clock& clock_;
  const std::vector<ToolHealth>& toolHealth_;
  ShownMessages shownMessages_;

  // The usage-tool list and its keys (store revision -1: unset), the wrapper readiness and when
  // it was read, and the ticker queue and its keys (none: not built).
  UsageToolsCacheKeys cachedUsageToolsKeys_;
  QStringList cachedUsageTools_;
  bool cachedWrapperBridgeReady_ = false;
  QDateTime cachedWrapperBridgeReadyCheckedAt_;
  std::optional<CollapsedTickerCacheKeys> cachedCollapsedTickerKeys_;
  std::vector<CollapsedTickerDisplay> cachedCollapsedTickerItems_;
};

}  // namespace tandrel
