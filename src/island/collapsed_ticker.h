#pragma once

// The collapsed island's ticker: the queue of one-line items it rotates through (approvals
// waiting, other inbox messages, finished tasks, one usage meter per usage tool, or a single
// idle line), the keys its cache is valid for, the list of usage tools, and the rules of the
// rotation and of the animation tick's redraws. Pure functions and small values; the view
// (tandrel_view_ticker.cpp) keeps the state and the caches and feeds them the clock's time.

#include "hooks/hook_manager.h"
#include "inbox/island_message.h"
#include "usage/usage_snapshot.h"

#include <QColor>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace tandrel {

class EventStore;

enum class CollapsedTickerKind { approval, message, completion, usage, idle };

// One line of the collapsed ticker.
struct CollapsedTickerDisplay {
  CollapsedTickerKind kind = CollapsedTickerKind::idle;
  QString tool;   // tool or brand name: the logo and the status word come from it
  QString label;  // the line of text
  QColor accent;
  std::optional<QString> deadlineLabel;  // a usage item's "Resets …"
  bool showsApprovalBadge = false;
  int approvalCount = 0;

  bool operator==(const CollapsedTickerDisplay&) const = default;
};

namespace ticker {
// Both the shown item and the active usage tool move on every 4 s of monotonic time.
inline constexpr double kRotationInterval = 4.0;
// Wrapper readiness reads a script from disk; it is asked at most this often (wall seconds).
inline constexpr qint64 kWrapperReadinessLifetimeMs = 10'000;
inline const QColor kApprovalAccent = QColor::fromRgbF(245 / 255.0, 179 / 255.0, 1 / 255.0);
inline const QColor kIdleAccent = QColor::fromRgbF(1, 1, 1, 0.58);
}  // namespace ticker

// Whether a message asks for the user's decision: a permission, input or plan request that has
// not ended (messageWaitsForUser).
bool collapsedMessageIsApproval(const IslandMessage& message);

// The inbox messages the ticker may show: those whose event carries no usage reading and whose
// request (if any) has not ended, in order.
std::vector<IslandMessage> collapsedTickerMessages(const std::vector<IslandMessage>& filteredMessages);

// The reset text of a usage item: the first non-blank suffix of the five-hour, daily, weekly and
// rate-limit metrics, trimmed, with "Resets " put before it unless it begins with "resets" in any
// case. None without a reading or such a suffix.
std::optional<QString> collapsedUsageDeadlineLabel(const std::optional<UsageSnapshot>& snapshot);

// The line of a usage item, shorter when a reset text is shown beside it:
// "Usage limit · <rate limit>", "5h <five-hour> · 7d <weekly>", "5h limit · <five-hour>", or the
// daily, weekly or headline label.
QString collapsedUsageLabel(const UsageSnapshot& snapshot, bool hasDeadline);

// One usage tool with its merged reading.
struct TickerUsageReading {
  QString brand;
  UsageSnapshot snapshot;
};

// The queue: approvals ("Need approve"), other messages (title, else detail, else badge; with the
// approval badge while any approval waits), completions (snippet, else a real message, else
// "Done"), one item per usage reading; the single idle item when nothing else is there.
std::vector<CollapsedTickerDisplay> buildCollapsedTickerItems(const std::vector<IslandMessage>& tickerMessages,
                                                              int approvalCount,
                                                              const std::vector<TickerUsageReading>& usage);

// What the usage-tool list was computed for: the store's revision, the hidden tools, the tool
// health and the wrapper bridge.
struct UsageToolsCacheKeys {
  qint64 storeRevision = -1;
  QSet<QString> disabledToolIDs;
  QString healthSignature;
  bool wrapperReady = false;

  bool operator==(const UsageToolsCacheKeys&) const = default;
};

// ---- Finished turns waiting for a reply ----

// Whole seconds as "m:ss" ("1:52", "0:05"); below zero counts as zero.
QString minutesAndSecondsLabel(qint64 seconds);

// The line of an agent that finished its turn and waits for the user's reply, with the time it
// still waits: "Claude Code waits for your reply · 1:52", in the approval colour, under the
// agent's logo.
CollapsedTickerDisplay finishedTurnTickerItem(const QString& agentName, qint64 secondsLeft);

// The queue with the finished turns first. While one waits, only the approvals stay beside it: an
// agent is held, and a long queue of completions and meters would keep its countdown off the
// ticker for most of the wait.
std::vector<CollapsedTickerDisplay> withFinishedTurnsFirst(std::vector<CollapsedTickerDisplay> finishedTurns,
                                                           const std::vector<CollapsedTickerDisplay>& items);

// What the ticker queue was built for: the store's revision, the hidden tools and the keys of
// the usage-tool list it used (whose revision is -1 while that list is marked unset).
struct CollapsedTickerCacheKeys {
  qint64 storeRevision = -1;
  QSet<QString> disabledToolIDs;
  qint64 usageToolsRevision = -1;
  QString usageToolsHealthSignature;
  bool usageWrapperReady = false;

  bool operator==(const CollapsedTickerCacheKeys&) const = default;
};

// "id:status:detected" per tool, joined with "|" ("" for none): the tool health as a cache key.
QString usageToolsHealthSignature(const std::vector<ToolHealth>& toolHealth);

// The brands whose usage meters may be shown: the eligible tools' brands, first occurrence kept,
// in the order of the eligibility list.
QStringList eligibleUsageToolNames(const std::vector<ToolHealth>& toolHealth, const QSet<QString>& disabledToolIDs,
                                   EventStore& store, bool wrapperBridgeReady, const QDateTime& now);

// ---- Rotation ----

// Whether the shown item is due to move on: two or more items and 4 s since the last move.
bool collapsedMessageRotationDue(int itemCount, double now, double lastRotationAt);
// Whether the active usage tool is due to move on: not pinned, two or more tools, 4 s since the
// last move.
bool usageToolRotationDue(bool pinnedByUser, int toolCount, double now, double lastRotationAt);
// The tool after `active` in `tools`, wrapping; after the last position when `active` is not
// listed, so the second tool comes next. `tools` must not be empty.
QString nextUsageTool(const QStringList& tools, const QString& active);

// The active usage tool kept valid: "" for no tools, unchanged when listed, else the first tool.
struct NormalizedUsageTool {
  QString tool;
  bool unpin = false;    // the user's pin no longer holds
  bool restart = false;  // a different tool: its meters grow in afresh
};
NormalizedUsageTool normalizedUsageTool(const QStringList& tools, const QString& active);

// What a tick of the expanded island redraws once the rotations ran: everything while the mode
// or the usage tool changed less than 0.75 s ago, then the pet rail's strip during the first
// 0.65 s of every 3.65 s, else nothing.
enum class ExpandedTickRedraw { none, whole, petRailStrip };
ExpandedTickRedraw expandedTickRedraw(double now, double modeAnimationStarted, double usageAnimationStarted);

}  // namespace tandrel
