#pragma once

// What a pending-action card offers, and the countdown it shows.

#include "requests/pending_action.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace tandrel {

enum class PendingCardAction {
  approve,    // "approve"
  always,     // "always"
  deny,       // "deny"
  openInput,  // "open_input"
  choice,     // "choice"
  jump,       // "jump"
  letStop,    // "let_stop": a finished turn ends without a follow-up
};

QString rawValue(PendingCardAction action);

// The card's actions in display order: a permission request offers deny, always (only when the
// agent can remember the answer), approve and jump; a choice offers choice and jump; a text
// request offers open_input and jump.
std::vector<PendingCardAction> pendingCardActions(PendingActionKind kind, bool agentCanAlways);
// The same for one action: a finished turn (the agent's Stop hook) offers open_input (a reply),
// let_stop and jump; any other request what its kind offers.
std::vector<PendingCardAction> pendingCardActions(const PendingAction& action, bool agentCanAlways);

// The seconds left as "<n>s", never below "0s".
QString countdownLabel(std::int64_t secondsRemaining);

}  // namespace tandrel
