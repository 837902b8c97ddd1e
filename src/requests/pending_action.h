#pragma once

// One blocking agent request waiting for the user, and the user's answer to it.

#include "requests/hook_request.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace tandrel {

// What the agent waits for. Raw values are the wire strings of a request's "kind".
enum class PendingActionKind {
  permissionRequest,  // "permission_request"
  waitingChoice,      // "waiting_choice"
  waitingInput,       // "waiting_input"
};

QString rawValue(PendingActionKind kind);
std::optional<PendingActionKind> pendingActionKindFromRaw(const QString& raw);

// Where an action stands. Only `awaitingUser` ever changes; every other status is final.
enum class PendingActionStatus {
  awaitingUser,       // inserted, no answer yet
  answered,           // the user answered (or whatever status a caller completes it with)
  timedOut,           // its time-out ran out
  agentDied,          // the agent's process exited
  superseded,         // a newer request of the same agent, session and kind, or the same id
  hookDropped,        // the agent's connection closed before an answer
  appliedAfterCrash,  // reserved for records of an earlier run
  droppedOnRestart,   // reserved for records of an earlier run
};

// The raw values are the case names ("awaitingUser", "timedOut", ...).
QString rawValue(PendingActionStatus status);
std::optional<PendingActionStatus> pendingActionStatusFromRaw(const QString& raw);

// The user's answer to a pending action.
struct UserDecision {
  enum class Verb { allow, deny, choice, input };
  enum class Mode { once, always };

  Verb verb = Verb::allow;
  Mode mode = Mode::once;
  std::optional<QString> optionID;  // the chosen option
  std::optional<QString> text;      // typed text (or the note added to a choice)

  friend bool operator==(const UserDecision&, const UserDecision&) = default;
};

QString rawValue(UserDecision::Verb verb);  // "allow", "deny", "choice", "input"
QString rawValue(UserDecision::Mode mode);  // "once", "always"
std::optional<UserDecision::Verb> userDecisionVerbFromRaw(const QString& raw);
std::optional<UserDecision::Mode> userDecisionModeFromRaw(const QString& raw);

struct PendingAction {
  QString requestID;  // the request's "request_id"; the store's key
  QString agent;      // "claude_code", "codex", ...
  QString sessionID;
  std::int32_t agentPID = 0;  // watched for exit
  PendingActionKind kind = PendingActionKind::permissionRequest;
  QDateTime createdAt;  // when the request was accepted
  std::int64_t timeoutSeconds = 0;
  HookRequestPayload payload;
  PendingActionStatus status = PendingActionStatus::awaitingUser;
  // The decision of the reply that ended it ("allow", "deny", "choice", "input", "timed_out", …);
  // none while it waits and when it ended without a reply (its agent hung up).
  std::optional<QString> decision;

  // The action a request becomes when it is accepted at `now`, awaiting the user; nothing when
  // its "kind" is not a `PendingActionKind` (the request handler then closes the connection
  // without a reply).
  static std::optional<PendingAction> fromRequest(const HookRequest& request, const QDateTime& now);

  // The hook event name the client sent in `payload.extras["hook_event_name"]`, or "".
  QString hookEventName() const;
  // Whether the agent raised it as it ended its turn (its Stop hook): it then waits for a
  // follow-up instruction, not for a decision about something it is about to do.
  bool isFinishedTurn() const;
  // The key the client derived from the agent's payload, `payload.extras["request_key"]`: the
  // bridge record of the same request carries it too. "" when the client sent none.
  QString requestKey() const;

  friend bool operator==(const PendingAction&, const PendingAction&) = default;
};

}  // namespace tandrel
