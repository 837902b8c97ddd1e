#include "requests/agent_reply_marshaller.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using Verb = UserDecision::Verb;
using Mode = UserDecision::Mode;
using Kind = PendingActionKind;

// A null option or text stands for an absent one.
UserDecision decision(Verb verb, Mode mode = Mode::once, const char* optionID = nullptr,
                      const char* text = nullptr) {
  UserDecision d;
  d.verb = verb;
  d.mode = mode;
  if (optionID != nullptr) {
    d.optionID = QString::fromUtf8(optionID);
  }
  if (text != nullptr) {
    d.text = QString::fromUtf8(text);
  }
  return d;
}

const QList<HookRequestOption> kOptions{{QStringLiteral("a"), QStringLiteral("Run the tests"), {}},
                                        {QStringLiteral("b"), QStringLiteral("Ship it"), {}}};

struct Row {
  const char* name;
  const char* agent;
  Kind kind;
  const char* event;
  UserDecision decision;
  const char* payload;
};

const char* const kClaudeAllow =
    R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"allow"}})";
const char* const kPermissionRequestAllow =
    R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})";
const char* const kPermissionRequestDeny =
    R"({"hookSpecificOutput":{"decision":{"behavior":"deny","message":"Denied in Tandrel"},"hookEventName":"PermissionRequest"}})";

const Row kRows[] = {
    // Claude permission requests from PreToolUse (also when the client sent no event name).
    {"claude allow once", "claude_code", Kind::permissionRequest, "PreToolUse", decision(Verb::allow),
     kClaudeAllow},
    {"claude allow once, no event", "claude_code", Kind::permissionRequest, "", decision(Verb::allow),
     kClaudeAllow},
    {"claude allow always", "claude_code", Kind::permissionRequest, "PreToolUse",
     decision(Verb::allow, Mode::always),
     R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"allow","permissionDecisionReason":"always"}})"},
    {"claude deny", "claude_code", Kind::permissionRequest, "PreToolUse", decision(Verb::deny),
     R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"deny"}})"},
    {"claude deny always", "claude_code", Kind::permissionRequest, "", decision(Verb::deny, Mode::always),
     R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"deny","permissionDecisionReason":"always"}})"},
    // Claude permission requests raised by a PermissionRequest hook.
    {"claude PermissionRequest allow", "claude_code", Kind::permissionRequest, "PermissionRequest",
     decision(Verb::allow, Mode::always), kPermissionRequestAllow},
    {"claude PermissionRequest deny", "claude_code", Kind::permissionRequest, "permissionrequest",
     decision(Verb::deny), kPermissionRequestDeny},
    // Claude text and choices.
    {"claude input at UserPromptSubmit", "claude_code", Kind::waitingInput, "UserPromptSubmit",
     decision(Verb::input, Mode::once, nullptr, "use the staging db"),
     R"({"hookSpecificOutput":{"additionalContext":"use the staging db","hookEventName":"UserPromptSubmit"}})"},
    {"claude empty input", "claude_code", Kind::waitingInput, "UserPromptSubmit",
     decision(Verb::input, Mode::once, nullptr, ""), "{}"},
    {"claude input without text", "claude_code", Kind::waitingInput, "", decision(Verb::input), "{}"},
    {"claude dismissed input", "claude_code", Kind::waitingInput, "UserPromptSubmit", decision(Verb::deny),
     "{}"},
    {"claude input at Stop", "claude_code", Kind::waitingInput, "Stop",
     decision(Verb::input, Mode::once, nullptr, "now add tests"),
     R"({"hookSpecificOutput":{"additionalContext":"now add tests","hookEventName":"Stop"}})"},
    {"claude blank input at Stop", "claude_code", Kind::waitingInput, "Stop",
     decision(Verb::input, Mode::once, nullptr, " \n"), "{}"},
    {"claude choice at Stop", "claude_code", Kind::waitingChoice, "Stop",
     decision(Verb::choice, Mode::once, "b"),
     R"({"hookSpecificOutput":{"additionalContext":"The user chose: Ship it","hookEventName":"Stop"}})"},
    {"claude choice with note at Stop", "claude_code", Kind::waitingChoice, "stop",
     decision(Verb::choice, Mode::once, "a", "only unit tests"),
     R"({"hookSpecificOutput":{"additionalContext":"The user chose: Run the tests\nonly unit tests","hookEventName":"Stop"}})"},
    {"claude typed answer to a choice at Stop", "claude_code", Kind::waitingChoice, "Stop",
     decision(Verb::input, Mode::once, nullptr, "neither"),
     R"({"hookSpecificOutput":{"additionalContext":"neither","hookEventName":"Stop"}})"},
    {"claude dismissed choice at Stop", "claude_code", Kind::waitingChoice, "Stop", decision(Verb::deny),
     "{}"},
    // Choices at UserPromptSubmit (also the default event) carry the agent's own choice field.
    {"claude choice, no event", "claude_code", Kind::waitingChoice, "",
     decision(Verb::choice, Mode::once, "b"),
     R"({"hookSpecificOutput":{"hookEventName":"UserPromptSubmit","optionId":"b"}})"},
    {"claude choice with note at UserPromptSubmit", "claude_code", Kind::waitingChoice, "UserPromptSubmit",
     decision(Verb::choice, Mode::once, "a", "only unit tests"),
     R"({"hookSpecificOutput":{"hookEventName":"UserPromptSubmit","optionId":"a","userPromptResponse":"only unit tests"}})"},
    {"claude dismissed choice at UserPromptSubmit", "claude_code", Kind::waitingChoice, "",
     decision(Verb::deny), "{}"},
    {"codex choice, no event", "codex", Kind::waitingChoice, "", decision(Verb::choice, Mode::once, "b"),
     R"({"metadata":{"choice_id":"b"},"prompt":""})"},
    {"codex typed answer to a choice at UserPromptSubmit", "codex", Kind::waitingChoice, "UserPromptSubmit",
     decision(Verb::input, Mode::once, nullptr, "neither"),
     R"({"metadata":{"choice_id":""},"prompt":"neither"})"},
    // Codex.
    {"codex allow once", "codex", Kind::permissionRequest, "PermissionRequest", decision(Verb::allow),
     kPermissionRequestAllow},
    {"codex allow always", "codex", Kind::permissionRequest, "PermissionRequest",
     decision(Verb::allow, Mode::always), kPermissionRequestAllow},
    {"codex allow, no event", "codex", Kind::permissionRequest, "", decision(Verb::allow),
     kPermissionRequestAllow},
    {"codex deny", "codex", Kind::permissionRequest, "PermissionRequest", decision(Verb::deny),
     kPermissionRequestDeny},
    {"codex input at UserPromptSubmit", "codex", Kind::waitingInput, "UserPromptSubmit",
     decision(Verb::input, Mode::once, nullptr, "hello"),
     R"({"hookSpecificOutput":{"additionalContext":"hello","hookEventName":"UserPromptSubmit"}})"},
    {"codex empty input", "codex", Kind::waitingInput, "UserPromptSubmit",
     decision(Verb::input, Mode::once, nullptr, ""), "{}"},
    {"codex input at Stop", "codex", Kind::waitingInput, "Stop",
     decision(Verb::input, Mode::once, nullptr, "keep going"),
     R"({"decision":"block","reason":"keep going"})"},
    {"codex empty input at Stop", "codex", Kind::waitingInput, "Stop", decision(Verb::input), "{}"},
    // Verbs that do not fit the kind never approve.
    {"choice on a permission request", "claude_code", Kind::permissionRequest, "PreToolUse",
     decision(Verb::choice, Mode::once, "a"), "{}"},
    {"input on a permission request", "codex", Kind::permissionRequest, "PermissionRequest",
     decision(Verb::input, Mode::once, nullptr, "yes"), "{}"},
    {"allow on a text request", "claude_code", Kind::waitingInput, "UserPromptSubmit",
     decision(Verb::allow, Mode::once, nullptr, "x"), "{}"},
    {"allow on a choice", "claude_code", Kind::waitingChoice, "Stop", decision(Verb::allow), "{}"},
    {"choice on a text request", "codex", Kind::waitingInput, "Stop",
     decision(Verb::choice, Mode::once, "a"), "{}"},
    // Events the agent takes no such answer from, and agents without a reply format.
    {"claude permission at Stop", "claude_code", Kind::permissionRequest, "Stop", decision(Verb::allow),
     "{}"},
    {"codex permission at PreToolUse", "codex", Kind::permissionRequest, "PreToolUse",
     decision(Verb::allow), "{}"},
    {"claude input at an unknown event", "claude_code", Kind::waitingInput, "Notification",
     decision(Verb::input, Mode::once, nullptr, "x"), "{}"},
    {"unknown agent allow", "cursor", Kind::permissionRequest, "", decision(Verb::allow), "{}"},
    {"unknown agent input", "opencode", Kind::waitingInput, "UserPromptSubmit",
     decision(Verb::input, Mode::once, nullptr, "x"), "{}"},
    {"unknown agent choice", "", Kind::waitingChoice, "Stop",
     decision(Verb::choice, Mode::once, "a"), "{}"},
};

TEST(AgentReplyMarshallerTest, EveryRowGivesExactlyThePayloadTheAgentAccepts) {
  for (const Row& row : kRows) {
    EXPECT_EQ(AgentReplyMarshaller::rawAgentPayload(QString::fromUtf8(row.agent), row.kind,
                                                    row.decision, QString::fromUtf8(row.event),
                                                    kOptions)
                  .toUtf8(),
              QByteArray(row.payload))
        << row.name;
  }
}

TEST(AgentReplyMarshallerTest, TextIsEscapedInsideTheJsonString) {
  const char* text = "say \"hi\"\nthen cd /tmp — ok";
  EXPECT_EQ(AgentReplyMarshaller::rawAgentPayload(QStringLiteral("codex"), Kind::waitingInput,
                                                  decision(Verb::input, Mode::once, nullptr, text),
                                                  QStringLiteral("Stop"))
                .toUtf8(),
            QByteArray(R"({"decision":"block","reason":"say \"hi\"\nthen cd \/tmp — ok"})"));
}

TEST(AgentReplyMarshallerTest, AnOptionNotOfferedIsNamedByItsID) {
  EXPECT_EQ(AgentReplyMarshaller::rawAgentPayload(
                QStringLiteral("claude_code"), Kind::waitingChoice,
                decision(Verb::choice, Mode::once, "zz"), QStringLiteral("Stop")),
            QStringLiteral(R"({"hookSpecificOutput":{"additionalContext":"The user chose: zz","hookEventName":"Stop"}})"));
}

TEST(AgentReplyMarshallerTest, AStoredActionSuppliesItsEventNameAndOptions) {
  PendingAction action;
  action.requestID = QStringLiteral("r-9");
  action.agent = QStringLiteral("claude_code");
  action.kind = Kind::waitingChoice;
  action.payload.options = kOptions;
  action.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("Stop")}};

  const HookReply reply = AgentReplyMarshaller::userReply(
      action, decision(Verb::choice, Mode::once, "a"));
  EXPECT_EQ(reply.v, 1);
  EXPECT_EQ(reply.type, QStringLiteral("hook.reply"));
  EXPECT_EQ(reply.requestID, QStringLiteral("r-9"));
  EXPECT_EQ(reply.decision, QStringLiteral("choice"));
  EXPECT_EQ(reply.mode, QStringLiteral("once"));
  EXPECT_EQ(reply.rawAgentPayload,
            QStringLiteral(R"({"hookSpecificOutput":{"additionalContext":"The user chose: Run the tests","hookEventName":"Stop"}})"));

  action.kind = Kind::permissionRequest;
  action.payload.extras->insert(QStringLiteral("hook_event_name"), QStringLiteral("PermissionRequest"));
  const HookReply always = AgentReplyMarshaller::userReply(action, decision(Verb::allow, Mode::always));
  EXPECT_EQ(always.decision, QStringLiteral("allow"));
  EXPECT_EQ(always.mode, QStringLiteral("always"));
  EXPECT_EQ(always.rawAgentPayload, QString::fromUtf8(kPermissionRequestAllow));
}

}  // namespace
}  // namespace tandrel
