#pragma once

// Every socket request the app accepts becomes one pending action, kept here until it ends:
// by the user's answer, its time-out, its agent's exit, a newer request superseding it, or its
// agent hanging up. Each action ends exactly once and is answered at most once.

#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/process_exit_watcher.h"
#include "requests/hook_request.h"
#include "requests/pending_action.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tandrel {

// Where the answer to one action goes: normally the socket connection its request came on. The
// store does not know the socket server; the start-up code builds the sink from the request's
// reply handle (`send` sends on it, `watchClosed` registers on its close notification).
struct PendingReplySink {
  // Delivers the one reply. May be empty: the answer then goes nowhere.
  std::function<void(const HookReply& reply)> send;
  // Called once at insertion with a callback to run, on the main thread, when the agent's side
  // is gone (its connection closed). May be empty: the store then never hears of it.
  std::function<void(std::function<void()> closed)> watchClosed;
};

class PendingActionStore {
 public:
  using Observer = std::function<void(const PendingAction& action)>;

  // An ended action stays for lookups while it is one of the newest `kEndedActionsKept` ended
  // ones and ended less than `kEndedActionsKeptFor` ago (on the store's clock); then it is
  // forgotten, so that a long session does not grow without bound. Awaiting actions are always
  // kept.
  static constexpr std::size_t kEndedActionsKept = 1000;
  static constexpr std::chrono::minutes kEndedActionsKeptFor{10};

  // Time-outs run through `clock`; agent processes are watched through `watchers`.
  explicit PendingActionStore(Clock& clock = Clock::system(),
                              ProcessExitWatcherFactory watchers = systemProcessExitWatcherFactory());
  ~PendingActionStore();
  PendingActionStore(const PendingActionStore&) = delete;
  PendingActionStore& operator=(const PendingActionStore&) = delete;

  // The one store of the process, on the system clock and the real process watcher. It is never
  // destroyed.
  static PendingActionStore& shared();

  // Registers a new awaiting action and returns it as stored. An older action still awaiting
  // under the same request id, or with the same agent, session and kind, ends first as
  // `superseded` (its agent gets the decision "superseded"). Then the time-out is armed, the
  // agent's process is watched and observers see the new action.
  PendingAction insert(PendingAction action, PendingReplySink sink);
  PendingAction insert(PendingAction action, std::function<void(const HookReply&)> sender);

  // Ends an awaiting action with `newStatus` and sends `reply` unchanged; false (and nothing
  // sent or changed) when the id is unknown or the action has already ended.
  bool complete(const QString& requestID, const HookReply& reply, PendingActionStatus newStatus);

  // Ends an awaiting action with status `reason`, answering "once" with the decision
  // `rawValue(reason)` and the payload "{}". Used with `agentDied`.
  void fail(const QString& requestID, PendingActionStatus reason);

  // The action's connection closed before an answer: ends it as `hookDropped`, sending nothing
  // (nobody is left to read it). Does nothing once the action has ended.
  void connectionClosed(const QString& requestID);

  // Lookup: an awaiting action, or an ended one still kept (see `kEndedActionsKept`).
  std::optional<PendingAction> action(const QString& requestID) const;
  // The actions still awaiting the user, oldest first (equal times in insertion order).
  std::vector<PendingAction> waitingActions() const;

  // Observers see every new action and every change of status, in registration order; they are
  // never removed.
  void addObserver(Observer observer);

  // Live process watchers and armed time-outs (for tests: ended actions keep neither).
  int activeWatcherCount() const;
  int armedTimeoutCount() const;

 private:
  struct Entry {
    PendingAction action;
    std::uint64_t serial = 0;  // tells a re-inserted id apart from the action it replaced
    qint64 endedAtMs = 0;      // on the clock's monotonic time, once ended
    std::function<void(const HookReply&)> sender;
    DelayedWork timeout;
    std::unique_ptr<ProcessExitWatcher> watcher;
  };

  static QString keyOf(const PendingAction& action);
  // Ends the awaiting entry `requestID` with `status`: removes its sender (and calls it with
  // `reply` when one is given), cancels its time-out, releases its watcher, notifies observers,
  // and forgets the oldest ended actions beyond the window.
  bool finish(const QString& requestID, PendingActionStatus status,
              const std::optional<HookReply>& reply);
  // Whether `requestID` is still the insertion `serial` and still awaiting: what a time-out,
  // watcher or closed connection armed for that insertion may act on.
  bool isCurrent(const QString& requestID, std::uint64_t serial) const;
  bool isExpired(qint64 endedAtMs) const;
  void forgetOldEndedActions();
  void notify(const PendingAction& action);

  Clock& clock_;
  ProcessExitWatcherFactory watchers_;
  std::unordered_map<QString, Entry> entries_;
  // The one awaiting request id per agent|session|kind key: every awaiting action is here.
  std::unordered_map<QString, QString> awaitingByKey_;
  std::vector<Observer> observers_;
  std::uint64_t nextSerial_ = 0;
  // The ended actions in the order they ended.
  struct Ended {
    QString requestID;
    std::uint64_t serial = 0;
    qint64 endedAtMs = 0;
  };
  std::deque<Ended> ended_;
  // Callbacks handed out (time-outs, watchers, closed connections) hold it weakly, so they do
  // nothing once the store is gone.
  std::shared_ptr<PendingActionStore*> self_;
};

}  // namespace tandrel
