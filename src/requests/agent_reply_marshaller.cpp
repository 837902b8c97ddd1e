#include "requests/agent_reply_marshaller.h"

#include "base/canonical_json.h"

#include <QJsonObject>

#include <optional>

namespace tandrel {
namespace {

const QString kNoDecision = QStringLiteral("{}");
const QString kDenyMessage = QStringLiteral("Denied in Tandrel");

enum class HookEvent { preToolUse, permissionRequest, userPromptSubmit, stop, other };

HookEvent hookEvent(const QString& agent, PendingActionKind kind, const QString& name) {
  const QString trimmed = name.trimmed();
  if (trimmed.isEmpty()) {
    if (kind != PendingActionKind::permissionRequest) {
      return HookEvent::userPromptSubmit;
    }
    return agent == QLatin1String("codex") ? HookEvent::permissionRequest : HookEvent::preToolUse;
  }
  const QString folded = trimmed.toLower();
  if (folded == QLatin1String("pretooluse")) {
    return HookEvent::preToolUse;
  }
  if (folded == QLatin1String("permissionrequest")) {
    return HookEvent::permissionRequest;
  }
  if (folded == QLatin1String("userpromptsubmit")) {
    return HookEvent::userPromptSubmit;
  }
  if (folded == QLatin1String("stop")) {
    return HookEvent::stop;
  }
  return HookEvent::other;
}

QString serialize(const QJsonObject& object) { return QString::fromUtf8(canonicalJson(object)); }

bool isBlank(const std::optional<QString>& text) { return !text || text->trimmed().isEmpty(); }

// The text a text or choice answer hands the agent, or nothing when there is none to hand.
std::optional<QString> answerText(PendingActionKind kind, const UserDecision& decision,
                                  const QList<HookRequestOption>& options) {
  using Verb = UserDecision::Verb;
  if (kind == PendingActionKind::waitingInput) {
    if (decision.verb != Verb::input || isBlank(decision.text)) {
      return std::nullopt;
    }
    return *decision.text;
  }
  // A choice: the chosen option (with the note, when there is one), or a typed answer.
  if (decision.verb == Verb::choice && decision.optionID && !decision.optionID->isEmpty()) {
    QString label = *decision.optionID;
    for (const HookRequestOption& option : options) {
      if (option.id == *decision.optionID && !option.label.isEmpty()) {
        label = option.label;
        break;
      }
    }
    QString text = QStringLiteral("The user chose: ") + label;
    if (!isBlank(decision.text)) {
      text += QLatin1Char('\n') + *decision.text;
    }
    return text;
  }
  if ((decision.verb == Verb::choice || decision.verb == Verb::input) && !isBlank(decision.text)) {
    return *decision.text;
  }
  return std::nullopt;
}

// PreToolUse: Claude's permissionDecision, "always" noted as the reason.
QString preToolUsePayload(const UserDecision& decision) {
  QJsonObject inner{{QStringLiteral("hookEventName"), QStringLiteral("PreToolUse")}};
  switch (decision.verb) {
    case UserDecision::Verb::allow:
      inner.insert(QStringLiteral("permissionDecision"), QStringLiteral("allow"));
      break;
    case UserDecision::Verb::deny:
      inner.insert(QStringLiteral("permissionDecision"), QStringLiteral("deny"));
      break;
    default:
      return kNoDecision;
  }
  if (decision.mode == UserDecision::Mode::always) {
    inner.insert(QStringLiteral("permissionDecisionReason"), QStringLiteral("always"));
  }
  return serialize(QJsonObject{{QStringLiteral("hookSpecificOutput"), inner}});
}

// PermissionRequest (Claude and Codex): a behaviour, with a message when denied.
QString permissionRequestPayload(const UserDecision& decision) {
  QJsonObject behaviour;
  switch (decision.verb) {
    case UserDecision::Verb::allow:
      behaviour.insert(QStringLiteral("behavior"), QStringLiteral("allow"));
      break;
    case UserDecision::Verb::deny:
      behaviour.insert(QStringLiteral("behavior"), QStringLiteral("deny"));
      behaviour.insert(QStringLiteral("message"), kDenyMessage);
      break;
    default:
      return kNoDecision;
  }
  return serialize(QJsonObject{
      {QStringLiteral("hookSpecificOutput"),
       QJsonObject{{QStringLiteral("hookEventName"), QStringLiteral("PermissionRequest")},
                   {QStringLiteral("decision"), behaviour}}}});
}

// A choice answered at UserPromptSubmit: the option chosen as the agent's own choice field
// (Claude's "optionId", Codex's "metadata.choice_id"), with the typed text beside it. A dismissal,
// or an answer with neither option nor text, gives the agent no decision.
QString choicePayload(bool claude, const UserDecision& decision) {
  using Verb = UserDecision::Verb;
  const QString option = decision.optionID.value_or(QString());
  const bool hasText = !isBlank(decision.text);
  if ((decision.verb != Verb::choice && decision.verb != Verb::input) || (option.isEmpty() && !hasText)) {
    return kNoDecision;
  }
  if (!claude) {
    return serialize(QJsonObject{{QStringLiteral("metadata"), QJsonObject{{QStringLiteral("choice_id"), option}}},
                                 {QStringLiteral("prompt"), hasText ? *decision.text : QString()}});
  }
  QJsonObject inner{{QStringLiteral("hookEventName"), QStringLiteral("UserPromptSubmit")},
                    {QStringLiteral("optionId"), option}};
  if (hasText) {
    inner.insert(QStringLiteral("userPromptResponse"), *decision.text);
  }
  return serialize(QJsonObject{{QStringLiteral("hookSpecificOutput"), inner}});
}

}  // namespace

QString AgentReplyMarshaller::rawAgentPayload(const QString& agent, PendingActionKind kind,
                                              const UserDecision& decision,
                                              const QString& hookEventName,
                                              const QList<HookRequestOption>& options) {
  const bool claude = agent == QLatin1String("claude_code");
  if (!claude && agent != QLatin1String("codex")) {
    return kNoDecision;
  }
  const HookEvent event = hookEvent(agent, kind, hookEventName);

  if (kind == PendingActionKind::permissionRequest) {
    switch (event) {
      case HookEvent::preToolUse:
        return claude ? preToolUsePayload(decision) : kNoDecision;
      case HookEvent::permissionRequest:
        return permissionRequestPayload(decision);
      default:
        return kNoDecision;
    }
  }

  if (kind == PendingActionKind::waitingChoice && event == HookEvent::userPromptSubmit) {
    return choicePayload(claude, decision);
  }
  const std::optional<QString> text = answerText(kind, decision, options);
  if (!text) {
    return kNoDecision;
  }
  switch (event) {
    case HookEvent::userPromptSubmit:
      return serialize(QJsonObject{
          {QStringLiteral("hookSpecificOutput"),
           QJsonObject{{QStringLiteral("hookEventName"), QStringLiteral("UserPromptSubmit")},
                       {QStringLiteral("additionalContext"), *text}}}});
    case HookEvent::stop:
      if (claude) {
        // Claude Code goes on with a Stop hook's additional context and shows it as what the hook
        // says; a "block" decision would show the user's words as a problem the hook reported.
        return serialize(QJsonObject{
            {QStringLiteral("hookSpecificOutput"),
             QJsonObject{{QStringLiteral("hookEventName"), QStringLiteral("Stop")},
                         {QStringLiteral("additionalContext"), *text}}}});
      }
      // Codex takes nothing else at Stop: "block" makes it go on with the reason as the next
      // prompt.
      return serialize(QJsonObject{{QStringLiteral("decision"), QStringLiteral("block")},
                                   {QStringLiteral("reason"), *text}});
    default:
      return kNoDecision;
  }
}

QString AgentReplyMarshaller::rawAgentPayload(const PendingAction& action,
                                              const UserDecision& decision) {
  return rawAgentPayload(action.agent, action.kind, decision, action.hookEventName(),
                         action.payload.options.value_or(QList<HookRequestOption>{}));
}

HookReply AgentReplyMarshaller::userReply(const PendingAction& action,
                                          const UserDecision& decision) {
  HookReply reply;
  reply.requestID = action.requestID;
  reply.decision = rawValue(decision.verb);
  reply.mode = rawValue(decision.mode);
  reply.rawAgentPayload = rawAgentPayload(action, decision);
  return reply;
}

}  // namespace tandrel
