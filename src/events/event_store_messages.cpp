// EventStore: the inbox caches, rebuilt whole from the published events once per revision.

#include "events/event_store.h"

namespace tandrel {

MessageBuildContext EventStore::messageBuildContext() const {
  return MessageBuildContext{clock_.now(), [this](const TandrelEvent& event) { return jumpTarget(event); }};
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
