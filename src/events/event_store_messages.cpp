// EventStore: the inbox caches, rebuilt whole from the published events once per revision.

#include "events/event_store.h"

namespace tandrel {

MessageBuildContext EventStore::messageBuildContext() const {
  QHash<QString, PendingAction> waitingByKey;
  for (PendingAction& action : waitingRequests_()) {
    if (const QString key = action.requestKey(); !key.isEmpty()) {
      waitingByKey.insert(key, std::move(action));
    }
  }
  return MessageBuildContext{
      clock_.now(), [this](const TandrelEvent& event) { return jumpTarget(event); },
      [waitingByKey = std::move(waitingByKey)](const TandrelEvent& event) -> std::optional<PendingAction> {
        if (!event.requestKey) return std::nullopt;
        const auto found = waitingByKey.constFind(*event.requestKey);
        return found == waitingByKey.constEnd() ? std::nullopt : std::optional<PendingAction>(*found);
      }};
}

void EventStore::ensureMessageCache() {
  if (messageCacheRevision_ == revision_) {
    return;
  }
  cachedInbox_ = buildIslandMessages(events_, readIDs_, hiddenIDs_, messageBuildContext());
  messageCacheRevision_ = revision_;
  ++messageCacheBuildCount_;
}

const std::vector<IslandMessage>& EventStore::allMessages() {
  ensureMessageCache();
  return cachedInbox_.messages;
}

}  // namespace tandrel
