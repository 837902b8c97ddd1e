#include "sounds/event_sound_gate.h"

#include "attention/event_priority.h"
#include "attention/event_reminder_policy.h"

#include <algorithm>

namespace tandrel {

namespace {

QSet<QString> idsOf(const std::vector<TandrelEvent>& events) {
  QSet<QString> ids;
  ids.reserve(static_cast<qsizetype>(events.size()));
  for (const TandrelEvent& event : events) {
    ids.insert(event.id);
  }
  return ids;
}

// Adds the ids of `fresh`; past the limit the set becomes the ids of the store's last events.
void remember(QSet<QString>& set, const std::vector<TandrelEvent>& fresh, const std::vector<TandrelEvent>& all) {
  for (const TandrelEvent& event : fresh) {
    set.insert(event.id);
  }
  if (set.size() > EventSoundGate::kIDSetLimit) {
    set = recentEventIDs(all);
  }
}

// Permission, waiting for an answer or a choice, a plan to review, or a completion, and allowed to
// remind.
bool soundsForUser(const TandrelEvent& event) {
  const EventReminderPolicy policy = eventReminderPolicy(event);
  switch (policy.kind) {
    case EventReminderKind::none:
    case EventReminderKind::working:
    case EventReminderKind::failure:
    case EventReminderKind::rateLimit:
      return false;
    default:
      return policy.allowsReminder;
  }
}

}  // namespace

SharedEventSoundState& SharedEventSoundState::shared() {
  static SharedEventSoundState state;
  return state;
}

QSet<QString> recentEventIDs(const std::vector<TandrelEvent>& events) {
  const size_t from = events.size() > EventSoundGate::kKeptAfterTrim ? events.size() - EventSoundGate::kKeptAfterTrim : 0;
  return idsOf(std::vector<TandrelEvent>(events.begin() + static_cast<std::ptrdiff_t>(from), events.end()));
}

void EventSoundGate::seed(const std::vector<TandrelEvent>& events, qint64 revision) {
  notifiedEventIDs = idsOf(events);
  lastSoundEventRevision = revision;
  if (shared_.revision < revision) {
    shared_.revision = revision;
    shared_.notifiedEventIDs = notifiedEventIDs;
  }
}

std::optional<TandrelEvent> EventSoundGate::eventToSound(const std::vector<TandrelEvent>& events, qint64 revision,
                                                         double now) {
  if (revision == lastSoundEventRevision) {
    return std::nullopt;
  }
  lastSoundEventRevision = revision;
  std::vector<TandrelEvent> fresh;
  for (const TandrelEvent& event : events) {
    if (!notifiedEventIDs.contains(event.id)) {
      fresh.push_back(event);
    }
  }
  sortEventsByPriority(fresh);
  remember(notifiedEventIDs, fresh, events);
  const auto candidate = std::find_if(fresh.begin(), fresh.end(), soundsForUser);
  if (candidate == fresh.end() || shared_.revision == revision) {
    return std::nullopt;
  }
  shared_.revision = revision;
  const bool seen = shared_.notifiedEventIDs.contains(candidate->id);
  remember(shared_.notifiedEventIDs, fresh, events);
  if (seen || now - shared_.lastPlayedAt < kMinimumGap) {
    return std::nullopt;
  }
  shared_.lastPlayedAt = now;
  return *candidate;
}

}  // namespace tandrel
