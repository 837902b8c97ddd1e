#pragma once

#include "hooks/hook_manager.h"
#include "usage/usage_snapshot.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// Whether a tool's usage may appear in the island's usage carousel, and why not when it may not:
// one decision per tool-health row, from the user's disabled tools, the tool's integration health,
// the wrapper bridge and the usage readings the store holds. Also the texts the settings panel
// shows per tool. Everything is computed on demand on the main thread and stores nothing.

namespace tandrel {

class EventStore;

// Why a tool's usage is shown or not. The raw values are the case names.
enum class UsageEligibilityReason {
  eligible,
  notEnabled,
  integrationMissing,
  integrationUnhealthy,
  waitingFirstUsage,
  staleUsage,
  jumpOnly,
  messagesOnly,
  wrapperMissing,
  remoteSetupRequired,
  unsupported,
};

QString rawValue(UsageEligibilityReason reason);
std::optional<UsageEligibilityReason> parseUsageEligibilityReason(QStringView raw);

struct UsageEligibility {
  QString toolID;
  QString displayName;
  bool enabledByUser = true;
  bool integrationHealthy = false;
  bool usageObserved = false;  // the store holds a reading of the tool's own identifier
  std::optional<QString> latestUsageSource;      // of the reading the decision used
  std::optional<QString> latestUsageObservedAt;  // of the reading the decision used
  bool stale = false;  // the tool's newest reading is stale
  std::optional<UsageQuality> quality;  // of the reading the decision used
  UsageSourceClass sourceClass = UsageSourceClass::unsupported;
  UsageEligibilityReason reason = UsageEligibilityReason::unsupported;

  bool operator==(const UsageEligibility&) const = default;
};

// One decision per row, ordered by priority and then by name (stable).
std::vector<UsageEligibility> deriveUsageEligibility(const std::vector<ToolHealth>& toolHealth,
                                                     const QSet<QString>& disabledToolIDs, EventStore& store,
                                                     bool wrapperBridgeReady, const QDateTime& now);

// The newest of the tool's own readings that is fresh, not a demo, of a class that can show usage
// and whose integration is healthy for that class.
std::optional<UsageSnapshot> bestUsageForEligibility(const ToolHealth& tool, EventStore& store,
                                                     bool wrapperBridgeReady, const QDateTime& now);

// The source class a tool's usage comes from before any reading says otherwise.
UsageSourceClass configuredUsageSourceClass(const ToolHealth& tool);
// One of the tool's capabilities is "Usage" in any letter case.
bool hasExactUsageCapability(const ToolHealth& tool);
// Whether the tool's integration can deliver usage of that class.
bool integrationIsHealthy(const ToolHealth& tool, UsageSourceClass sourceClass, bool wrapperBridgeReady);
// Older than 6 hours for a status line, rollout, transcript, trajectory or OpenCode plug-in
// reading, older than 10 minutes for any other; a time that does not parse is never stale.
bool isUsageSnapshotStale(const UsageSnapshot& snapshot, const QDateTime& now);

// The short badge of a decision ("Rollout usage active", "Install tool first", …).
QString reasonBadge(const UsageEligibility& eligibility);

// The settings table's texts per tool: its source-class label ("official-push", "jump-only", …)
// and its usage path ("Hooks + transcript ready", "No usage", …). The labels follow their own
// table, which does not always agree with configuredUsageSourceClass.
// A wrapper tool's usage path reads how to run it through the wrapper once the wrapper is
// installed and the tool found (its row is healthy), and what is missing before that.
QString usageSourceClass(const ToolHealth& tool);
QString usageReason(const ToolHealth& tool);

// "Run: tandrel-wrap --source <tool id> -- <the tool's command>".
QString wrapperRunHint(const QString& toolID);

}  // namespace tandrel
