#include "inbox/message_vocabulary.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace tandrel {
namespace {

// Every case reads back from its raw value; the raw values are the wire strings.
template <typename E, typename Parse>
void expectRoundTrip(std::initializer_list<std::pair<E, const char*>> cases, Parse parse) {
  for (const auto& [value, raw] : cases) {
    EXPECT_EQ(rawValue(value), QString::fromLatin1(raw));
    EXPECT_EQ(parse(QString::fromLatin1(raw)), value) << raw;
  }
}

TEST(MessageVocabularyTest, RawValuesAreTheWireStrings) {
  expectRoundTrip<MessageCategory>({{MessageCategory::humanLoop, "human_loop"},
                                    {MessageCategory::lifecycle, "lifecycle"},
                                    {MessageCategory::usage, "usage"},
                                    {MessageCategory::workspace, "workspace"},
                                    {MessageCategory::integration, "integration"}},
                                   parseMessageCategory);
  expectRoundTrip<MessageIntent>({{MessageIntent::permissionRequest, "permission_request"},
                                  {MessageIntent::choiceRequest, "choice_request"},
                                  {MessageIntent::inputRequest, "input_request"},
                                  {MessageIntent::planReview, "plan_review"},
                                  {MessageIntent::taskStatus, "task_status"},
                                  {MessageIntent::taskResult, "task_result"},
                                  {MessageIntent::usageAlert, "usage_alert"},
                                  {MessageIntent::jumpNotice, "jump_notice"},
                                  {MessageIntent::integrationNotice, "integration_notice"}},
                                 parseMessageIntent);
  expectRoundTrip<MessageReadState>({{MessageReadState::unread, "unread"},
                                     {MessageReadState::read, "read"},
                                     {MessageReadState::hidden, "hidden"},
                                     {MessageReadState::answered, "answered"}},
                                    parseMessageReadState);
  expectRoundTrip<MessageActionRole>({{MessageActionRole::approve, "approve"},
                                      {MessageActionRole::reject, "reject"},
                                      {MessageActionRole::chooseOption, "choose_option"},
                                      {MessageActionRole::sendInput, "send_input"},
                                      {MessageActionRole::jump, "jump"},
                                      {MessageActionRole::ignore, "ignore"},
                                      {MessageActionRole::markRead, "mark_read"},
                                      {MessageActionRole::configure, "configure"}},
                                     parseMessageActionRole);
  expectRoundTrip<MessageActionPlacement>({{MessageActionPlacement::cardFooter, "card_footer"},
                                           {MessageActionPlacement::expandedBody, "expanded_body"},
                                           {MessageActionPlacement::overflow, "overflow"}},
                                          parseMessageActionPlacement);
  expectRoundTrip<MessageSubmitKind>({{MessageSubmitKind::selectImmediately, "select_immediately"},
                                      {MessageSubmitKind::sendButton, "send_button"}},
                                     parseMessageSubmitKind);
  expectRoundTrip<MessageSubmitFallback>({{MessageSubmitFallback::jump, "jump"}}, parseMessageSubmitFallback);
}

TEST(MessageVocabularyTest, UnknownOrMiscasedWordsGiveNothing) {
  EXPECT_FALSE(parseMessageCategory(u"Human_Loop"));
  EXPECT_FALSE(parseMessageIntent(u"permissionRequest"));
  EXPECT_FALSE(parseMessageReadState(u" unread"));
  EXPECT_FALSE(parseMessageActionRole(u"authorize"));
  EXPECT_FALSE(parseMessageActionPlacement(u""));
  EXPECT_FALSE(parseMessageSubmitKind(u"send"));
  EXPECT_FALSE(parseMessageSubmitFallback(u"JUMP"));
}

}  // namespace
}  // namespace tandrel
