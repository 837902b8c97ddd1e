#pragma once

#include "events/tandrel_event.h"
#include "catalog/tool_catalog.h"

#include <QSet>
#include <QString>

#include <optional>
#include <span>
#include <vector>

// What the desktop companion says: its status item (the speech bubble), the ticker under it, the
// bubble's short-lived replacement after a click that led nowhere, and the file-system place a
// click on the companion opens. All pure functions of the events they are given; the store keeps
// the results per revision.

namespace tandrel {

class Clock;

enum class CompanionStatusKind { approval, working, finished };

struct CompanionStatusItem {
  CompanionStatusKind kind = CompanionStatusKind::working;
  QString label;
  TandrelEvent event;
  bool operator==(const CompanionStatusItem&) const = default;
};

// An item shown in the bubble instead of the store's until `expiresAt`, in seconds on the clock
// of the `now` given to companionBubbleStatus (companionBubbleTime).
struct CompanionBubbleFallback {
  CompanionStatusItem item;
  double expiresAt = 0;
};

// The companion candidates: the events, in their order, whose id is neither hidden nor read and
// that a newer record of their session has not overtaken (outdatedSessionRecords), sorted by
// priority (sortEventsByPriority). The pet, the status item and the ticker all read this list.
std::vector<TandrelEvent> companionCandidateEvents(std::span<const TandrelEvent> events,
                                                   const QSet<QString>& hiddenIDs,
                                                   const QSet<QString>& readIDs);

// The one item the companion shows for `events` (the store passes its candidates): of the
// working events and the human-facing approvals and completions, the first approval in priority
// order; else the newest working or finished event, a completion before work of the same time.
// Nothing when none qualifies.
std::optional<CompanionStatusItem> companionStatusItem(std::span<const TandrelEvent> events);

// The ticker over the candidates, in candidate order: an approval item for every human-facing
// approval, then a working item for every working event, then a finished item for every
// human-facing completion. No length limit.
std::vector<CompanionStatusItem> companionTickerItems(std::span<const TandrelEvent> candidates);

// The first of the event's user preview, agent preview, message and title that is not empty
// after every " - " became " · " and the ends were trimmed; nothing when none is.
std::optional<QString> companionEventText(const TandrelEvent& event);

// The companion text when there is one; otherwise a label from the event type ("Approval
// needed", "Choice needed", "<Tool> working", "<Tool> done", "<Tool> failed", "Rate limited"), or
// for other types the status with "_" as spaces, each word capitalized.
QString shortCompanionLabel(const TandrelEvent& event);

// The fallback's item while `now` is earlier than its expiry, else the store's item.
std::optional<CompanionStatusItem> companionBubbleStatus(const std::optional<CompanionStatusItem>& storeStatus,
                                                         const std::optional<CompanionBubbleFallback>& fallback,
                                                         double now);

// The time, in seconds, that bubble fallbacks expire on: the clock's monotonic time.
double companionBubbleTime(const Clock& clock);

// The file-system place that stands for an event: the first of its jump target text, its
// transcript path and (only when the record named it) its working directory that is not empty
// after trimming and for which `fileExists` holds. The path is returned as it is (no "~"
// expansion).
std::optional<QString> companionJumpTarget(const TandrelEvent& event, const PathPredicate& fileExists);

}  // namespace tandrel
