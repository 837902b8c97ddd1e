#include "requests/pending_action_store.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace tandrel {
namespace {

// Timers count milliseconds in an int; a longer time-out waits as long as a timer can.
std::chrono::milliseconds timeoutDelay(std::int64_t seconds) {
  constexpr std::int64_t kMaxMs = std::numeric_limits<int>::max();
  if (seconds <= 0) {
    return std::chrono::milliseconds(0);
  }
  if (seconds >= kMaxMs / 1000) {
    return std::chrono::milliseconds(kMaxMs);
  }
  return std::chrono::milliseconds(seconds * 1000);
}

}  // namespace

PendingActionStore::PendingActionStore(Clock& clock, ProcessExitWatcherFactory watchers)
    : clock_(clock),
      watchers_(std::move(watchers)),
      self_(std::make_shared<PendingActionStore*>(this)) {}

PendingActionStore::~PendingActionStore() {
  self_.reset();
  for (auto& [id, entry] : entries_) {
    entry.timeout.cancel();
    entry.watcher.reset();
  }
}

PendingActionStore& PendingActionStore::shared() {
  // Never destroyed: its time-outs live on the application's timers until the process ends.
  static auto* store = new PendingActionStore();
  return *store;
}

QString PendingActionStore::keyOf(const PendingAction& action) {
  return action.agent + QLatin1Char('|') + action.sessionID + QLatin1Char('|') +
         rawValue(action.kind);
}

PendingAction PendingActionStore::insert(PendingAction action,
                                         std::function<void(const HookReply&)> sender) {
  return insert(std::move(action), PendingReplySink{std::move(sender), {}});
}

PendingAction PendingActionStore::insert(PendingAction action, PendingReplySink sink) {
  action.status = PendingActionStatus::awaitingUser;
  const QString requestID = action.requestID;

  // A repeated request id ends the older action first, so that nothing armed for it (time-out,
  // watcher, closed connection) can reach the new one; then the older action of the same key.
  if (auto it = entries_.find(requestID);
      it != entries_.end() && it->second.action.status == PendingActionStatus::awaitingUser) {
    finish(requestID, PendingActionStatus::superseded,
           noDecisionReply(requestID, QStringLiteral("superseded")));
  }
  const QString key = keyOf(action);
  if (auto it = awaitingByKey_.find(key); it != awaitingByKey_.end()) {
    const QString olderID = it->second;
    finish(olderID, PendingActionStatus::superseded,
           noDecisionReply(olderID, QStringLiteral("superseded")));
  }

  forgetOldEndedActions();
  const std::uint64_t serial = ++nextSerial_;
  Entry& entry = entries_[requestID];
  entry.timeout.cancel();
  entry.watcher.reset();
  entry.action = action;
  entry.serial = serial;
  entry.sender = std::move(sink.send);
  awaitingByKey_[key] = requestID;

  const std::weak_ptr<PendingActionStore*> weak = self_;
  entry.timeout = clock_.schedule(timeoutDelay(action.timeoutSeconds), [weak, requestID, serial] {
    if (auto self = weak.lock(); self && (*self)->isCurrent(requestID, serial)) {
      (*self)->finish(requestID, PendingActionStatus::timedOut,
                      noDecisionReply(requestID, QStringLiteral("timed_out")));
    }
  });
  if (watchers_) {
    entry.watcher = watchers_(action.agentPID, [weak, requestID, serial] {
      if (auto self = weak.lock(); self && (*self)->isCurrent(requestID, serial)) {
        (*self)->fail(requestID, PendingActionStatus::agentDied);
      }
    });
  }
  notify(action);

  // Registered last: a connection that is already gone may report it at once.
  if (sink.watchClosed) {
    sink.watchClosed([weak, requestID, serial] {
      if (auto self = weak.lock(); self && (*self)->isCurrent(requestID, serial)) {
        (*self)->connectionClosed(requestID);
      }
    });
  }
  return action;
}

bool PendingActionStore::isCurrent(const QString& requestID, std::uint64_t serial) const {
  auto it = entries_.find(requestID);
  return it != entries_.end() && it->second.serial == serial &&
         it->second.action.status == PendingActionStatus::awaitingUser;
}

bool PendingActionStore::finish(const QString& requestID, PendingActionStatus status,
                                const std::optional<HookReply>& reply) {
  auto it = entries_.find(requestID);
  if (it == entries_.end() || it->second.action.status != PendingActionStatus::awaitingUser) {
    return false;
  }
  Entry& entry = it->second;
  entry.action.status = status;
  if (reply) {
    entry.action.decision = reply->decision;
  }
  awaitingByKey_.erase(keyOf(entry.action));
  std::function<void(const HookReply&)> sender = std::move(entry.sender);
  entry.sender = nullptr;
  entry.timeout.cancel();
  entry.timeout = DelayedWork();
  std::unique_ptr<ProcessExitWatcher> watcher = std::move(entry.watcher);
  const PendingAction ended = entry.action;
  // The entry may move from here on: senders and observers can call back into the store.
  watcher.reset();
  entry.endedAtMs = clock_.monotonicMs();
  ended_.push_back(Ended{requestID, entry.serial, entry.endedAtMs});
  if (reply && sender) {
    sender(*reply);
  }
  notify(ended);
  forgetOldEndedActions();
  return true;
}

bool PendingActionStore::isExpired(qint64 endedAtMs) const {
  return clock_.monotonicMs() - endedAtMs >=
         std::chrono::duration_cast<std::chrono::milliseconds>(kEndedActionsKeptFor).count();
}

void PendingActionStore::forgetOldEndedActions() {
  while (!ended_.empty() &&
         (ended_.size() > kEndedActionsKept || isExpired(ended_.front().endedAtMs))) {
    const Ended oldest = std::move(ended_.front());
    ended_.pop_front();
    // The id may have been inserted again since; that newer action stays.
    if (auto it = entries_.find(oldest.requestID);
        it != entries_.end() && it->second.serial == oldest.serial &&
        it->second.action.status != PendingActionStatus::awaitingUser) {
      entries_.erase(it);
    }
  }
}

bool PendingActionStore::complete(const QString& requestID, const HookReply& reply,
                                  PendingActionStatus newStatus) {
  return finish(requestID, newStatus, reply);
}

void PendingActionStore::fail(const QString& requestID, PendingActionStatus reason) {
  finish(requestID, reason, noDecisionReply(requestID, rawValue(reason)));
}

void PendingActionStore::connectionClosed(const QString& requestID) {
  finish(requestID, PendingActionStatus::hookDropped, std::nullopt);
}

std::optional<PendingAction> PendingActionStore::action(const QString& requestID) const {
  // An ended action past its time is gone, even before the next ending forgets it for good.
  if (auto it = entries_.find(requestID);
      it != entries_.end() && (it->second.action.status == PendingActionStatus::awaitingUser ||
                               !isExpired(it->second.endedAtMs))) {
    return it->second.action;
  }
  return std::nullopt;
}

std::vector<PendingAction> PendingActionStore::waitingActions() const {
  std::vector<const Entry*> waiting;
  waiting.reserve(awaitingByKey_.size());
  for (const auto& [key, requestID] : awaitingByKey_) {
    waiting.push_back(&entries_.at(requestID));
  }
  std::sort(waiting.begin(), waiting.end(), [](const Entry* a, const Entry* b) {
    if (a->action.createdAt != b->action.createdAt) {
      return a->action.createdAt < b->action.createdAt;
    }
    return a->serial < b->serial;
  });
  std::vector<PendingAction> actions;
  actions.reserve(waiting.size());
  for (const Entry* entry : waiting) {
    actions.push_back(entry->action);
  }
  return actions;
}

void PendingActionStore::addObserver(Observer observer) {
  observers_.push_back(std::move(observer));
}

void PendingActionStore::notify(const PendingAction& action) {
  // An observer may add another; only those registered now see this change.
  const std::size_t count = observers_.size();
  for (std::size_t i = 0; i < count; ++i) {
    const Observer observer = observers_[i];
    observer(action);
  }
}

int PendingActionStore::activeWatcherCount() const {
  int count = 0;
  for (const auto& [id, entry] : entries_) {
    count += entry.watcher ? 1 : 0;
  }
  return count;
}

int PendingActionStore::armedTimeoutCount() const {
  int count = 0;
  for (const auto& [id, entry] : entries_) {
    count += entry.timeout.isPending() ? 1 : 0;
  }
  return count;
}

}  // namespace tandrel
