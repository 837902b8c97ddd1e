#include "pets/island_pet_state.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "usage/usage_brand.h"

#include <vector>

namespace tandrel {

namespace {
constexpr std::size_t kPetStateEventLimit = 200;
}

PetState IslandPetStateCache::state(const IslandPetStateKeys& keys, const std::function<PetState()>& resolve) {
  if (keys_ && *keys_ == keys) {
    return state_;
  }
  ++resolveCountForTests;
  state_ = resolve();
  keys_ = keys;
  return state_;
}

PetState resolveIslandPetState(EventStore& store, const QSet<QString>& disabledToolIDs,
                               const QStringList& enabledUsageTools, bool hasPendingApprovals) {
  store.ensureCompanionCandidateCache();
  std::vector<TandrelEvent> kept;
  for (const TandrelEvent& event : store.cachedCompanionCandidateEvents()) {
    if (kept.size() == kPetStateEventLimit) {
      break;
    }
    if (!disabledToolIDs.contains(canonicalToolID(event.source))) {
      kept.push_back(event);
    }
  }
  std::optional<UsageSnapshot> usage;
  for (const QString& tool : enabledUsageTools) {
    if (auto snapshot = store.mergedUsage(usageToolIDs(tool), usageBrandName(tool))) {
      usage = std::move(snapshot);
      break;
    }
  }
  return PetStateResolver::resolve(kept, usage, hasPendingApprovals);
}

}  // namespace tandrel
