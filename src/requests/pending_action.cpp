#include "requests/pending_action.h"

#include <array>
#include <utility>

namespace tandrel {
namespace {

template <typename Enum, std::size_t N>
std::optional<Enum> fromRaw(const std::array<std::pair<Enum, const char*>, N>& table,
                            const QString& raw) {
  for (const auto& [value, name] : table) {
    if (raw == QLatin1String(name)) {
      return value;
    }
  }
  return std::nullopt;
}

template <typename Enum, std::size_t N>
QString toRaw(const std::array<std::pair<Enum, const char*>, N>& table, Enum value) {
  for (const auto& [candidate, name] : table) {
    if (candidate == value) {
      return QString::fromLatin1(name);
    }
  }
  return {};
}

constexpr std::array<std::pair<PendingActionKind, const char*>, 3> kKinds{{
    {PendingActionKind::permissionRequest, "permission_request"},
    {PendingActionKind::waitingChoice, "waiting_choice"},
    {PendingActionKind::waitingInput, "waiting_input"},
}};

constexpr std::array<std::pair<PendingActionStatus, const char*>, 8> kStatuses{{
    {PendingActionStatus::awaitingUser, "awaitingUser"},
    {PendingActionStatus::answered, "answered"},
    {PendingActionStatus::timedOut, "timedOut"},
    {PendingActionStatus::agentDied, "agentDied"},
    {PendingActionStatus::superseded, "superseded"},
    {PendingActionStatus::hookDropped, "hookDropped"},
    {PendingActionStatus::appliedAfterCrash, "appliedAfterCrash"},
    {PendingActionStatus::droppedOnRestart, "droppedOnRestart"},
}};

constexpr std::array<std::pair<UserDecision::Verb, const char*>, 4> kVerbs{{
    {UserDecision::Verb::allow, "allow"},
    {UserDecision::Verb::deny, "deny"},
    {UserDecision::Verb::choice, "choice"},
    {UserDecision::Verb::input, "input"},
}};

constexpr std::array<std::pair<UserDecision::Mode, const char*>, 2> kModes{{
    {UserDecision::Mode::once, "once"},
    {UserDecision::Mode::always, "always"},
}};

}  // namespace

QString rawValue(PendingActionKind kind) { return toRaw(kKinds, kind); }
std::optional<PendingActionKind> pendingActionKindFromRaw(const QString& raw) {
  return fromRaw(kKinds, raw);
}

QString rawValue(PendingActionStatus status) { return toRaw(kStatuses, status); }
std::optional<PendingActionStatus> pendingActionStatusFromRaw(const QString& raw) {
  return fromRaw(kStatuses, raw);
}

QString rawValue(UserDecision::Verb verb) { return toRaw(kVerbs, verb); }
QString rawValue(UserDecision::Mode mode) { return toRaw(kModes, mode); }
std::optional<UserDecision::Verb> userDecisionVerbFromRaw(const QString& raw) {
  return fromRaw(kVerbs, raw);
}
std::optional<UserDecision::Mode> userDecisionModeFromRaw(const QString& raw) {
  return fromRaw(kModes, raw);
}

std::optional<PendingAction> PendingAction::fromRequest(const HookRequest& request,
                                                        const QDateTime& now) {
  const std::optional<PendingActionKind> kind = pendingActionKindFromRaw(request.kind);
  if (!kind) {
    return std::nullopt;
  }
  PendingAction action;
  action.requestID = request.requestID;
  action.agent = request.agent;
  action.sessionID = request.sessionID;
  action.agentPID = request.agentPID;
  action.kind = *kind;
  action.createdAt = now;
  action.timeoutSeconds = request.timeoutSeconds;
  action.payload = request.payload;
  action.status = PendingActionStatus::awaitingUser;
  return action;
}

QString PendingAction::hookEventName() const {
  if (!payload.extras) {
    return {};
  }
  return payload.extras->value(QStringLiteral("hook_event_name"));
}

bool PendingAction::isFinishedTurn() const {
  return hookEventName().trimmed().compare(QLatin1String("stop"), Qt::CaseInsensitive) == 0;
}

QString PendingAction::requestKey() const {
  if (!payload.extras) {
    return {};
  }
  return payload.extras->value(QStringLiteral("request_key"));
}

}  // namespace tandrel
