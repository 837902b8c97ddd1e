#include "requests/pending_card_action.h"

#include <algorithm>

namespace tandrel {

QString rawValue(PendingCardAction action) {
  switch (action) {
    case PendingCardAction::approve:
      return QStringLiteral("approve");
    case PendingCardAction::always:
      return QStringLiteral("always");
    case PendingCardAction::deny:
      return QStringLiteral("deny");
    case PendingCardAction::openInput:
      return QStringLiteral("open_input");
    case PendingCardAction::choice:
      return QStringLiteral("choice");
    case PendingCardAction::jump:
      return QStringLiteral("jump");
    case PendingCardAction::letStop:
      return QStringLiteral("let_stop");
  }
  return {};
}

std::vector<PendingCardAction> pendingCardActions(PendingActionKind kind, bool agentCanAlways) {
  switch (kind) {
    case PendingActionKind::permissionRequest:
      if (agentCanAlways) {
        return {PendingCardAction::deny, PendingCardAction::always, PendingCardAction::approve,
                PendingCardAction::jump};
      }
      return {PendingCardAction::deny, PendingCardAction::approve, PendingCardAction::jump};
    case PendingActionKind::waitingChoice:
      return {PendingCardAction::choice, PendingCardAction::jump};
    case PendingActionKind::waitingInput:
      return {PendingCardAction::openInput, PendingCardAction::jump};
  }
  return {};
}

std::vector<PendingCardAction> pendingCardActions(const PendingAction& action, bool agentCanAlways) {
  if (action.isFinishedTurn()) {
    return {PendingCardAction::openInput, PendingCardAction::letStop, PendingCardAction::jump};
  }
  return pendingCardActions(action.kind, agentCanAlways);
}

QString countdownLabel(std::int64_t secondsRemaining) {
  return QString::number(std::max<std::int64_t>(0, secondsRemaining)) + QLatin1Char('s');
}

}  // namespace tandrel
