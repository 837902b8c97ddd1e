#include "inbox/message_vocabulary.h"

#include "events/raw_value_table.h"

namespace tandrel {
namespace {

constexpr RawValueTable<MessageCategory, 5> kCategories{{
    {MessageCategory::humanLoop, "human_loop"},
    {MessageCategory::lifecycle, "lifecycle"},
    {MessageCategory::usage, "usage"},
    {MessageCategory::workspace, "workspace"},
    {MessageCategory::integration, "integration"},
}};

constexpr RawValueTable<MessageIntent, 9> kIntents{{
    {MessageIntent::permissionRequest, "permission_request"},
    {MessageIntent::choiceRequest, "choice_request"},
    {MessageIntent::inputRequest, "input_request"},
    {MessageIntent::planReview, "plan_review"},
    {MessageIntent::taskStatus, "task_status"},
    {MessageIntent::taskResult, "task_result"},
    {MessageIntent::usageAlert, "usage_alert"},
    {MessageIntent::jumpNotice, "jump_notice"},
    {MessageIntent::integrationNotice, "integration_notice"},
}};

constexpr RawValueTable<MessageReadState, 4> kReadStates{{
    {MessageReadState::unread, "unread"},
    {MessageReadState::read, "read"},
    {MessageReadState::hidden, "hidden"},
    {MessageReadState::answered, "answered"},
}};

constexpr RawValueTable<MessageActionRole, 8> kActionRoles{{
    {MessageActionRole::approve, "approve"},
    {MessageActionRole::reject, "reject"},
    {MessageActionRole::chooseOption, "choose_option"},
    {MessageActionRole::sendInput, "send_input"},
    {MessageActionRole::jump, "jump"},
    {MessageActionRole::ignore, "ignore"},
    {MessageActionRole::markRead, "mark_read"},
    {MessageActionRole::configure, "configure"},
}};

constexpr RawValueTable<MessageActionPlacement, 3> kPlacements{{
    {MessageActionPlacement::cardFooter, "card_footer"},
    {MessageActionPlacement::expandedBody, "expanded_body"},
    {MessageActionPlacement::overflow, "overflow"},
}};

constexpr RawValueTable<MessageSubmitKind, 2> kSubmitKinds{{
    {MessageSubmitKind::selectImmediately, "select_immediately"},
    {MessageSubmitKind::sendButton, "send_button"},
}};

constexpr RawValueTable<MessageSubmitFallback, 1> kSubmitFallbacks{{
    {MessageSubmitFallback::jump, "jump"},
}};

}  // namespace

QString rawValue(MessageCategory category) { return rawValueIn(kCategories, category); }
QString rawValue(MessageIntent intent) { return rawValueIn(kIntents, intent); }
QString rawValue(MessageReadState state) { return rawValueIn(kReadStates, state); }
QString rawValue(MessageActionRole role) { return rawValueIn(kActionRoles, role); }
QString rawValue(MessageActionPlacement placement) { return rawValueIn(kPlacements, placement); }
QString rawValue(MessageSubmitKind kind) { return rawValueIn(kSubmitKinds, kind); }
QString rawValue(MessageSubmitFallback fallback) { return rawValueIn(kSubmitFallbacks, fallback); }

std::optional<MessageCategory> parseMessageCategory(QStringView raw) { return parseRawValueIn(kCategories, raw); }
std::optional<MessageIntent> parseMessageIntent(QStringView raw) { return parseRawValueIn(kIntents, raw); }
std::optional<MessageReadState> parseMessageReadState(QStringView raw) { return parseRawValueIn(kReadStates, raw); }
std::optional<MessageActionRole> parseMessageActionRole(QStringView raw) {
  return parseRawValueIn(kActionRoles, raw);
}
std::optional<MessageActionPlacement> parseMessageActionPlacement(QStringView raw) {
  return parseRawValueIn(kPlacements, raw);
}
std::optional<MessageSubmitKind> parseMessageSubmitKind(QStringView raw) {
  return parseRawValueIn(kSubmitKinds, raw);
}
std::optional<MessageSubmitFallback> parseMessageSubmitFallback(QStringView raw) {
  return parseRawValueIn(kSubmitFallbacks, raw);
}

}  // namespace tandrel
