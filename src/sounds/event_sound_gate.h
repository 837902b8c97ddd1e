#pragma once

// Which new agent event, if any, sounds: every overlay view asks after each disk refresh and
// store change, and process-wide state lets one view per store revision decide, never sounds an
// event twice and keeps sounds at least 3 s apart.

#include "events/tandrel_event.h"

#include <QSet>
#include <QString>

#include <limits>
#include <optional>
#include <vector>

namespace tandrel {

// What all views share (main thread only).
struct SharedEventSoundState {
  // The last store revision for which some view went on to the sound decision.
  qint64 revision = -1;
  // Ids of events some view has considered for a sound.
  QSet<QString> notifiedEventIDs;
  // Media time (seconds) of the last event sound; minus infinity before the first.
  double lastPlayedAt = -std::numeric_limits<double>::infinity();

  static SharedEventSoundState& shared();
};

class EventSoundGate {
 public:
  static constexpr qsizetype kIDSetLimit = 1000;
  static constexpr size_t kKeptAfterTrim = 500;
  static constexpr double kMinimumGap = 3.0;

  explicit EventSoundGate(SharedEventSoundState& shared = SharedEventSoundState::shared()) : shared_(shared) {}

  // A new view: everything the store holds now counts as heard, here and (when no view has
  // gone further) for all views.
  void seed(const std::vector<TandrelEvent>& events, qint64 revision);

  // The event to sound for this store revision, at media time `now`; nothing when this view
  // already saw the revision, no new event asks for the user or reports a human-facing
  // completion, another view decided this revision, the event was considered before, or the last
  // sound is less than 3 s ago. A returned event counts as played (also when the caller is
  // muted). Events are the store's, oldest first.
  std::optional<TandrelEvent> eventToSound(const std::vector<TandrelEvent>& events, qint64 revision, double now);

  qint64 lastSoundEventRevision = -1;
  QSet<QString> notifiedEventIDs;

 private:
  SharedEventSoundState& shared_;
};

// The ids of the last 500 events, the set an id set is cut back to past 1000 ids.
QSet<QString> recentEventIDs(const std::vector<TandrelEvent>& events);

}  // namespace tandrel
