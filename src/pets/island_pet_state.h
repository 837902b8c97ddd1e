#pragma once

// The state the island's pet shows: the agents' combined state as this view sees it (events of
// tools the user switched off are left out, usage comes from the enabled usage tools), cached on
// the five things it depends on.

#include "attention/pet_state.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tandrel {

class EventStore;

// What the cached state was computed for.
struct IslandPetStateKeys {
  qint64 storeRevision = -1;
  QSet<QString> disabledToolIDs;
  QString healthSignature;  // the usage tools' health
  bool wrapperReady = false;
  bool hasPendingApprovals = false;

  bool operator==(const IslandPetStateKeys&) const = default;
};

class IslandPetStateCache {
 public:
  // The cached state while the keys are those it was computed for; else `resolve()`, kept.
  PetState state(const IslandPetStateKeys& keys, const std::function<PetState()>& resolve);
  // Forgets the cached state (settings reloaded from the user defaults).
  void invalidate() { keys_.reset(); }

  int resolveCountForTests = 0;

 private:
  std::optional<IslandPetStateKeys> keys_;
  PetState state_ = PetState::idle;
};

// The state from the store's companion candidates without the events of disabled tools (the
// first 200 of the rest), the first merged usage reading of the enabled usage tools, and whether
// socket approvals wait.
PetState resolveIslandPetState(EventStore& store, const QSet<QString>& disabledToolIDs,
                               const QStringList& enabledUsageTools, bool hasPendingApprovals);

}  // namespace tandrel
