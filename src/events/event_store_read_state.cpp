// EventStore: read and hidden event identifiers, clearing the inbox and wiping the history.
//
// Both sets grow with the user's actions, up to a bound past which the identifiers of events gone
// from the bridge caches are dropped (or until clearHistory), and are kept in the store's user
// defaults, except in the test environment, where they live in memory only. Changing them is not a
// publish: the revision goes up without onChange, and every derived cache rebuilds on its next
// read.

#include "events/event_store.h"

#include "platform/append_file.h"
#include "platform/user_defaults.h"
#include "usage/scanners/local_usage_values.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace tandrel {

void EventStore::markRead(const IslandMessage& message, EventIDSet set) {
  QSet<QString>& target = set == EventIDSet::hidden ? hiddenIDs_ : readIDs_;
  for (const TandrelEvent& event : message.events) {
    target.insert(event.id);
  }
}

void EventStore::persistRead(EventIDSet set) {
  if (testEnvironment_) {
    return;
  }
  const QSet<QString>& ids = set == EventIDSet::hidden ? hiddenIDs_ : readIDs_;
  defaults_.set(set == EventIDSet::hidden ? kHiddenEventIDsKey : kReadEventIDsKey,
                QStringList(ids.cbegin(), ids.cend()));
}

void EventStore::forgetReadStateOfEventsGone() {
  if (readIDs_.size() <= kReadStateIDsBeforePruning && hiddenIDs_.size() <= kReadStateIDsBeforePruning) {
    return;
  }
  QSet<QString> held;
  held.reserve(static_cast<qsizetype>(bridgeEvents_.size()));
  for (const TandrelEvent& event : bridgeEvents_) {
    held.insert(event.id);
  }
  for (const EventIDSet set : {EventIDSet::read, EventIDSet::hidden}) {
    QSet<QString>& ids = set == EventIDSet::hidden ? hiddenIDs_ : readIDs_;
    if (ids.size() <= kReadStateIDsBeforePruning) {
      continue;
    }
    ids.removeIf([&held](const QString& id) { return !held.contains(id) && !isLocalHotplugEventID(id); });
    persistRead(set);
  }
}

int EventStore::clear(const std::vector<IslandMessage>& messages, const QString& auditRole) {
  if (messages.empty()) {
    return 0;
  }
  const EventIDSet target = auditRole == kClearAllAuditRole ? EventIDSet::hidden : EventIDSet::read;
  for (const IslandMessage& message : messages) {
    markRead(message, target);
    audit(auditRole, message.event, static_cast<int>(message.events.size()));
  }
  persistRead(EventIDSet::hidden);
  persistRead(EventIDSet::read);
  bumpRevisionWithoutPublishing();
  return static_cast<int>(messages.size());
}

int EventStore::clearAll() {
  ensureMessageCache();
  // clear() leaves the cache alone (it only raises the revision), so the list stays valid.
  return clear(cachedInbox_.messages, kClearAllAuditRole);
}

namespace {

// Removes the file at `path` when there is one (a dangling link counts as one).
Result<void> removeIfPresent(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) {
    return Result<void>::success();
  }
  QFile file(path);
  if (!file.remove()) {
    return Result<void>::failure(QStringLiteral("Could not remove %1: %2").arg(path, file.errorString()));
  }
  return Result<void>::success();
}

}  // namespace

Result<void> EventStore::clearHistory() {
  if (Result<void> removed = removeIfPresent(eventFile_); !removed) {
    return removed;
  }
  if (Result<void> removed = removeIfPresent(rotatedBridgeFile()); !removed) {
    return removed;
  }
  if (Result<void> removed = removeIfPresent(auditFile_); !removed) {
    return removed;
  }
  if (Result<void> removed = removeIfPresent(rotatedLogPath(auditFile_)); !removed) {
    return removed;
  }

  hiddenIDs_.clear();
  readIDs_.clear();
  persistRead(EventIDSet::hidden);
  persistRead(EventIDSet::read);

  events_.clear();

  forgetBridgeTail();
  lastBridgeEventMetadataCheckAt_ = distantPast();

  bumpRevisionWithoutPublishing();
  return Result<void>::success();
}

}  // namespace tandrel
