// EventStore: the companion candidates, status item, ticker and pet state. The candidates are
// built once per revision and shared by the other three, which are cached per revision too.

#include "events/event_store.h"


#include <algorithm>
#include <span>

namespace tandrel {

namespace {

// The pet looks at no more candidates than this.
constexpr std::size_t kPetStateCandidateLimit = 200;

}  // namespace

void EventStore::ensureCompanionCandidateCache() {
  if (companionCandidateCacheRevision_ == revision_) {
    return;
  }
  cachedCompanionCandidateEvents_ = companionCandidateEvents(events_, hiddenIDs_, readIDs_);
  companionCandidateCacheRevision_ = revision_;
  ++companionCandidateCacheBuildCountForTests;
}

const std::optional<CompanionStatusItem>& EventStore::companionStatus() {
  if (companionCacheRevision_ != revision_) {
    ensureCompanionCandidateCache();
    cachedCompanionStatus_ = companionStatusItem(cachedCompanionCandidateEvents_);
    companionCacheRevision_ = revision_;
  }
  return cachedCompanionStatus_;
}

const std::vector<CompanionStatusItem>& EventStore::companionTickerItems() {
  if (companionTickerCacheRevision_ != revision_) {
    ensureCompanionCandidateCache();
    cachedCompanionTickerItems_ = tandrel::companionTickerItems(cachedCompanionCandidateEvents_);
    companionTickerCacheRevision_ = revision_;
  }
  return cachedCompanionTickerItems_;
}

PetState EventStore::petState() {
  const bool hasSocketLoopPending = socketRequestsWaiting_();
  ensureCompanionCandidateCache();
  const std::span<const TandrelEvent> candidates(cachedCompanionCandidateEvents_);
  ensureUsageCache();
  return PetStateResolver::resolve(candidates.first(std::min(kPetStateCandidateLimit, candidates.size())),
                                   cachedLatestUsage_, hasSocketLoopPending);
}

}  // namespace tandrel
