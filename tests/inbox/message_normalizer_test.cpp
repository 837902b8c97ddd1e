#include "inbox/message_normalizer.h"

#include "message_test_events.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <vector>

namespace tandrel {
namespace {

using test::bridgeEvent;

std::vector<MessageActionRole> roles(const std::vector<MessageActionSpec>& actions) {
  std::vector<MessageActionRole> result;
  for (const MessageActionSpec& action : actions) result.push_back(action.role);
  return result;
}

UserFacingMessage normalizeOne(const TandrelEvent& event) {
  std::optional<UserFacingMessage> message = MessageNormalizer::normalize({event});
  EXPECT_TRUE(message.has_value());
  return message.value_or(UserFacingMessage{});
}

class MessageNormalizerTest : public ::testing::Test {
 protected:
  test::TempHome home;
};

TEST_F(MessageNormalizerTest, EmptyListGivesNoMessage) {
  EXPECT_FALSE(MessageNormalizer::normalize({}).has_value());
}

TEST_F(MessageNormalizerTest, IntentCategoryPriorityBadgeAndActionsByEventShape) {
  using R = MessageActionRole;
  struct Case {
    const char* record;
    MessageIntent intent;
    MessageCategory category;
    int priority;
    const char* badge;
    std::vector<R> actions;
  };
  const Case cases[] = {
      {R"({"event_id":"a","event_type":"permission_request","action":{"decision_file":"/tmp/d"}})",
       MessageIntent::permissionRequest, MessageCategory::humanLoop, 0, "Approval",
       {R::approve, R::reject, R::ignore, R::jump}},
      {R"({"event_id":"a","event_type":"permission_request","action":{"decision_command":"answer"}})",
       MessageIntent::permissionRequest, MessageCategory::humanLoop, 0, "Approval", {R::jump, R::ignore}},
      {R"({"event_id":"a","event_type":"permission_request","severity":"critical"})",
       MessageIntent::permissionRequest, MessageCategory::humanLoop, 0, "Approval", {R::jump, R::ignore}},
      {R"({"event_id":"a","event_type":"waiting_input","options":[{"id":"1","label":"One"}]})",
       MessageIntent::choiceRequest, MessageCategory::humanLoop, 0, "Choice", {R::chooseOption, R::jump, R::ignore}},
      {R"({"event_id":"a","event_type":"waiting_input"})", MessageIntent::inputRequest, MessageCategory::humanLoop,
       0, "Human", {R::ignore, R::jump}},
      {R"({"event_id":"a","event_type":"plan_ready"})", MessageIntent::planReview, MessageCategory::humanLoop, 0,
       "Plan", {R::ignore, R::jump}},
      {R"({"event_id":"a","event_type":"plan_ready","options":[{"id":"1","label":"One"},{"id":"2","label":"Two"}]})",
       MessageIntent::choiceRequest, MessageCategory::humanLoop, 0, "Choice",
       {R::chooseOption, R::chooseOption, R::jump, R::ignore}},
      {R"({"event_id":"a","event_type":"task_completed"})", MessageIntent::taskResult, MessageCategory::lifecycle, 4,
       "Done", {R::markRead, R::jump}},
      {R"({"event_id":"a","event_type":"task_completed","severity":"critical"})", MessageIntent::taskResult,
       MessageCategory::lifecycle, 1, "Error", {R::markRead, R::jump}},
      {R"({"event_id":"a","event_type":"task_failed"})", MessageIntent::taskResult, MessageCategory::lifecycle, 1,
       "Error", {R::markRead, R::ignore, R::configure}},
      {R"({"event_id":"a","event_type":"task_cancelled","severity":"critical"})", MessageIntent::taskResult,
       MessageCategory::lifecycle, 1, "Cancelled", {R::markRead, R::jump}},
      {R"({"event_id":"a","event_type":"rate_limited"})", MessageIntent::usageAlert, MessageCategory::usage, 2,
       "Usage", {R::markRead, R::ignore, R::configure}},
      {R"({"event_id":"a","event_type":"task_updated","status":"usage_limited"})", MessageIntent::usageAlert,
       MessageCategory::usage, 2, "Usage", {R::markRead, R::ignore, R::configure}},
      {R"({"event_id":"a","event_type":"jump_notice"})", MessageIntent::jumpNotice, MessageCategory::workspace, 5,
       "Jump", {R::ignore, R::jump}},
      {R"({"event_id":"a","event_type":"integration_notice"})", MessageIntent::integrationNotice,
       MessageCategory::integration, 5, "Setup", {R::ignore, R::jump}},
      {R"({"event_id":"a","event_type":"task_updated"})", MessageIntent::taskStatus, MessageCategory::lifecycle, 5,
       "Task Updated", {R::ignore, R::jump}},
      {R"({"event_id":"a","event_type":"TASK_started","severity":"critical"})", MessageIntent::taskStatus,
       MessageCategory::lifecycle, 1, "Task Started", {R::ignore, R::jump}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    const UserFacingMessage message = normalizeOne(bridgeEvent(c.record));
    EXPECT_EQ(message.intent, c.intent);
    EXPECT_EQ(message.category, c.category);
    EXPECT_EQ(message.priority, c.priority);
    EXPECT_EQ(message.badge, QString::fromUtf8(c.badge));
    EXPECT_EQ(roles(message.actions), c.actions);
  }
}

TEST_F(MessageNormalizerTest, PermissionRequestAnswersOverTheDecisionFileWithConfirmationWhenRiskIsHigh) {
  struct Case {
    const char* risk;
    std::optional<MessageRisk> expected;
  };
  const Case cases[] = {
      {"high", MessageRisk::high}, {"  High\n", MessageRisk::high}, {"medium", MessageRisk::medium},
      {"severe", std::nullopt},   {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.risk);
    const QByteArray record = QByteArray(R"({"event_id":"p","event_type":"permission_request",)") +
                              R"("action":{"decision_file":"/tmp/answer.json","risk":")" + c.risk + R"("}})";
    const UserFacingMessage message = normalizeOne(bridgeEvent(record.constData()));
    EXPECT_EQ(message.risk, c.expected);
    ASSERT_EQ(message.actions.size(), 4u);
    const MessageActionSpec& approve = message.actions[0];
    EXPECT_EQ(approve.label, "Approve");
    EXPECT_EQ(approve.risk, c.expected);
    EXPECT_EQ(approve.requiresConfirmation, c.expected == MessageRisk::high);
    EXPECT_EQ(approve.channel, ResponseChannel::decisionFile("/tmp/answer.json"));
    EXPECT_EQ(message.actions[1].label, "Reject");
    EXPECT_EQ(message.actions[1].channel, ResponseChannel::decisionFile("/tmp/answer.json"));
    for (const MessageActionSpec& action : message.actions) {
      EXPECT_EQ(action.placement, MessageActionPlacement::cardFooter);
      EXPECT_TRUE(action.enabled);
      if (action.role != MessageActionRole::approve) {
        EXPECT_FALSE(action.requiresConfirmation);
        EXPECT_FALSE(action.risk.has_value());
      }
    }
    EXPECT_EQ(message.actions[2].channel, std::nullopt);
    EXPECT_FALSE(message.interaction.has_value());
  }
}

TEST_F(MessageNormalizerTest, ActionsTakeTheChannelTheyAreGiven) {
  // A response file offers Approve and Reject like a decision file; a command channel does not.
  const TandrelEvent event = bridgeEvent(R"({"event_id":"p","event_type":"permission_request"})");
  const auto viaFile = MessageNormalizer::actions(MessageIntent::permissionRequest, event,
                                                  ResponseChannel::responseFile("/tmp/r"), std::nullopt);
  EXPECT_EQ(roles(viaFile), (std::vector{MessageActionRole::approve, MessageActionRole::reject,
                                         MessageActionRole::ignore, MessageActionRole::jump}));
  EXPECT_EQ(viaFile[0].channel, ResponseChannel::responseFile("/tmp/r"));
  const auto viaCommand = MessageNormalizer::actions(MessageIntent::permissionRequest, event,
                                                     ResponseChannel::responseCommand("x"), std::nullopt);
  EXPECT_EQ(roles(viaCommand), (std::vector{MessageActionRole::jump, MessageActionRole::ignore}));
  // A choice without its interaction offers no options.
  const TandrelEvent choice =
      bridgeEvent(R"({"event_id":"c","event_type":"waiting_input","options":[{"id":"1","label":"One"}]})");
  EXPECT_EQ(roles(MessageNormalizer::actions(MessageIntent::choiceRequest, choice, ResponseChannel::none(),
                                             std::nullopt)),
            (std::vector{MessageActionRole::jump, MessageActionRole::ignore}));
}

TEST_F(MessageNormalizerTest, OnlyResponseStyleChannelsCarryChoicesAndTypedAnswers) {
  struct Case {
    const char* response;
    ResponseChannel expected;
  };
  const Case cases[] = {
      {R"({"response_file":"/tmp/r"})", ResponseChannel::responseFile("/tmp/r")},
      {R"({"response_command":"reply"})", ResponseChannel::responseCommand("reply")},
      {R"({"socket_path":"/tmp/s"})", ResponseChannel::localSocket("/tmp/s", "line_json")},
      {R"({"base_url":"http://127.0.0.1:9","endpoint":"/answer"})",
       ResponseChannel::appServer("http://127.0.0.1:9", "/answer")},
      {R"({"decision_file":"/tmp/d"})", ResponseChannel::none()},
      {R"({"decision_command":"decide"})", ResponseChannel::none()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.response);
    const QByteArray record = QByteArray(R"({"event_id":"w","event_type":"waiting_input","response":)") +
                              c.response + "}";
    const UserFacingMessage message = normalizeOne(bridgeEvent(record.constData()));
    ASSERT_TRUE(message.interaction.has_value());
    const auto* input = std::get_if<MessageTextInput>(&*message.interaction);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->submit, (MessageSubmitBehavior{MessageSubmitKind::sendButton, c.expected,
                                                    MessageSubmitFallback::jump}));
    EXPECT_EQ(submitBehavior(*message.interaction).channel, c.expected);
  }
}

TEST_F(MessageNormalizerTest, ChoiceRequestOffersEachOptionInTheExpandedBody) {
  const TandrelEvent event = bridgeEvent(R"({"event_id":"c","event_type":"waiting_input",
      "selection_mode":"multiple",
      "response":{"response_file":"/tmp/r","note_placeholder":"Why?","note_max_length":80},
      "options":[{"id":"a","label":"方案 A","risk":"high","detail":"fast"},
                 {"id":"b","label":"Plan B","disabled_reason":"Needs network"}]})");
  const UserFacingMessage message = normalizeOne(event);
  EXPECT_EQ(message.intent, MessageIntent::choiceRequest);
  ASSERT_TRUE(message.interaction.has_value());
  const auto* choice = std::get_if<MessageChoice>(&*message.interaction);
  ASSERT_NE(choice, nullptr);
  const ResponseChannel channel = ResponseChannel::responseFile("/tmp/r");
  EXPECT_EQ(*choice, (MessageChoice{MessageSelectionMode::multiple, event.choiceOptions,
                                    MessageNote{true, "Why?", 80},
                                    MessageSubmitBehavior{MessageSubmitKind::selectImmediately, channel,
                                                          MessageSubmitFallback::jump}}));

  ASSERT_EQ(message.actions.size(), 4u);
  MessageActionSpec first;
  first.role = MessageActionRole::chooseOption;
  first.label = QString::fromUtf8("方案 A");
  first.placement = MessageActionPlacement::expandedBody;
  first.risk = MessageRisk::high;
  first.channel = channel;
  EXPECT_EQ(message.actions[0], first);
  MessageActionSpec second = first;
  second.label = "Plan B";
  second.enabled = false;
  second.disabledReason = "Needs network";
  second.risk = std::nullopt;
  EXPECT_EQ(message.actions[1], second);
  EXPECT_EQ(message.actions[2].label, "Jump");
  EXPECT_EQ(message.actions[3].label, "Ignore");
  EXPECT_EQ(message.actions[3].placement, MessageActionPlacement::cardFooter);
}

TEST_F(MessageNormalizerTest, InputRequestAlwaysEnablesItsNote) {
  const UserFacingMessage message =
      normalizeOne(bridgeEvent(R"({"event_id":"i","event_type":"waiting_input","note_enabled":false})"));
  ASSERT_TRUE(message.interaction.has_value());
  const auto* input = std::get_if<MessageTextInput>(&*message.interaction);
  ASSERT_NE(input, nullptr);
  EXPECT_EQ(input->note, (MessageNote{true, "Add context", 500}));
  EXPECT_EQ(input->submit.channel, ResponseChannel::none());

  // A limit beyond 32 bits is kept as given.
  const UserFacingMessage large = normalizeOne(
      bridgeEvent(R"({"event_id":"i","event_type":"waiting_input","note_max_length":3000000000})"));
  ASSERT_TRUE(large.interaction.has_value());
  EXPECT_EQ(std::get<MessageTextInput>(*large.interaction).note.maxLength, 3000000000LL);
}

TEST_F(MessageNormalizerTest, IdentityFieldsComeFromTheEventsInOrder) {
  const TandrelEvent first = bridgeEvent(
      R"({"event_id":"e1","source":"claude_code","event_type":"task_completed","timestamp":"2026-05-11T13:00:00Z"})");
  const TandrelEvent second = bridgeEvent(R"({"event_id":"e2","source":"codex","event_type":"task_completed"})");
  const std::optional<UserFacingMessage> message = MessageNormalizer::normalize({first, second});
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->id, "e1+e2");
  EXPECT_EQ(message->sourceEventIDs, (QStringList{"e1", "e2"}));
  EXPECT_EQ(message->toolLabel, "Claude Code");
  EXPECT_EQ(message->toolID, "claude-code");
  EXPECT_EQ(message->timestamp, "2026-05-11T13:00:00Z");
  EXPECT_EQ(message->readState, MessageReadState::unread);
  EXPECT_FALSE(message->jump.has_value());
}

TEST_F(MessageNormalizerTest, TextsAreTidiedAndPreviewsFallBack) {
  // Preview user falls back to the title; agent to the message, then to the detail line.
  struct Case {
    const char* record;
    const char* title;
    const char* user;
    const char* agent;
  };
  const Case cases[] = {
      {R"({"event_id":"a","title":"Fix - tests","message":"ran - twice","tool_name":"Bash"})", "Fix · tests",
       "Fix · tests", "ran · twice"},
      {R"({"event_id":"a","title":"T","preview":{"user":"why - now","agent":"because - so"},"message":"m"})", "T",
       "why · now", "because · so"},
      {R"({"event_id":"a","title":"T","tool_name":"Edit - file","project":"demo"})", "T", "T", "Edit · file · demo"},
      {R"({"event_id":"a","title":"A-B - C","project":"demo"})", "A-B · C", "A-B · C", "demo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    const UserFacingMessage message = normalizeOne(bridgeEvent(c.record));
    EXPECT_EQ(message.title, QString::fromUtf8(c.title));
    EXPECT_EQ(message.preview.user, QString::fromUtf8(c.user));
    EXPECT_EQ(message.preview.agent, QString::fromUtf8(c.agent));
  }
}

TEST_F(MessageNormalizerTest, DetailTextJoinsThePresentParts) {
  struct Case {
    const char* record;
    const char* detail;
  };
  const Case cases[] = {
      {R"({"event_id":"a","tool_name":"Bash - run","message":"ls - la","pid":4242,"terminal":"tty1",
           "session_id":"0123456789abcdefghij"})",
       "Bash · run · ls · la · pid: 4242 · terminal: tty1 · session: 01234567..."},
      {R"({"event_id":"a","message":"hi","session_id":"0123456789ab"})", "hi · session: 0123456789ab"},
      {R"({"event_id":"a","message":"hi","session_id":"0123456789abc"})", "hi · session: 01234567..."},
      {R"({"event_id":"a","project":"my - app"})", "my · app"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(MessageNormalizer::detailText(bridgeEvent(c.record)), QString::fromUtf8(c.detail));
  }
}

TEST_F(MessageNormalizerTest, TextHelpers) {
  EXPECT_EQ(tidyMessageText("a - b - c"), QString::fromUtf8("a · b · c"));
  EXPECT_EQ(tidyMessageText("a-b -c"), "a-b -c");
  EXPECT_EQ(capitalizedWords("usage_limited"), "Usage Limited");
  EXPECT_EQ(capitalizedWords("RUNNING_tool  now"), "Running Tool  Now");
  EXPECT_EQ(capitalizedWords(""), "");
  // Characters are grapheme clusters: 13 emoji flags are cut to 8 flags.
  const QString flag = QString::fromUtf8("\U0001F1E9\U0001F1EA");
  EXPECT_EQ(shortSessionText(flag.repeated(12)), flag.repeated(12));
  EXPECT_EQ(shortSessionText(flag.repeated(13)), flag.repeated(8) + "...");
}

}  // namespace
}  // namespace tandrel
