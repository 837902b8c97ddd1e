#pragma once

// Turns the user's answer into the hook output that the waiting agent itself reads. The text
// travels as `raw_agent_payload` in the `HookReply`, and the hook prints it unchanged.

#include "requests/hook_request.h"
#include "requests/pending_action.h"

#include <QList>
#include <QString>

namespace tandrel {

class AgentReplyMarshaller {
 public:
  // The payload for `agent` ("claude_code", "codex"; any other agent gets "{}"), chosen by the
  // request's kind, the decision's verb and the hook event that raised the request
  // (`payload.extras["hook_event_name"]`: "PreToolUse", "PermissionRequest",
  // "UserPromptSubmit", "Stop"; compared without regard to case). An empty event name stands for
  // the event the agent's request of that kind comes from by default: PreToolUse for a Claude
  // permission request, PermissionRequest for a Codex one, UserPromptSubmit for text and choices.
  //
  // Only the verb "allow" ever yields an approval. A verb that does not fit the kind, a
  // dismissal of a text or choice request, an empty answer and an event the agent cannot take an
  // answer from all yield "{}", which leaves the decision to the agent's own prompt.
  //
  // A choice at UserPromptSubmit (the default event of a choice) names the option in the agent's
  // own choice field: Claude's "optionId" (with "userPromptResponse" for a typed note), Codex's
  // "metadata"."choice_id" (with "prompt"). At Stop, `options` are the request's offered choices;
  // a chosen option is named to the agent by its label ("The user chose: <label>", then the note
  // on its own line). At Stop the text goes to Claude Code as the hook's additional context (it
  // goes on and shows "Stop hook says: <text>") and to Codex as a "block" with the text as its
  // reason (its next prompt).
  static QString rawAgentPayload(const QString& agent, PendingActionKind kind,
                                 const UserDecision& decision, const QString& hookEventName = {},
                                 const QList<HookRequestOption>& options = {});

  // The same for a stored action: its agent, kind, hook event name and options.
  static QString rawAgentPayload(const PendingAction& action, const UserDecision& decision);

  // The reply that carries the user's answer: v 1, "hook.reply", the action's request id, the
  // verb and mode raw values, and the payload above.
  static HookReply userReply(const PendingAction& action, const UserDecision& decision);
};

}  // namespace tandrel
