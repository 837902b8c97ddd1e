#include "selfcheck/checks/usage_date_checks.h"

#include "inbox/user_facing_message.h"
#include "selfcheck/harness.h"
#include "usage/usage_dates.h"

#include <QDateTime>

#include <variant>

namespace tandrel {

namespace {

// A choice with one option, a note and a response file, and the button that answers it.
UserFacingMessage choiceMessage() {
  const ResponseChannel channel = ResponseChannel::responseFile(QStringLiteral("/tmp/tandrel-response.json"));
  MessageChoice choice;
  choice.selectionMode = MessageSelectionMode::single;
  choice.options = {MessageOption{QStringLiteral("b"), QStringLiteral("方案 B"),
                                  QStringLiteral("Keep the compact list and expand inline."), std::nullopt,
                                  std::nullopt}};
  choice.note = MessageNote{true, QStringLiteral("Add detail"), 500};
  choice.submit.channel = channel;

  MessageActionSpec answer;
  answer.role = MessageActionRole::chooseOption;
  answer.label = QStringLiteral("方案 B");
  answer.enabled = true;
  answer.requiresConfirmation = false;
  answer.channel = channel;

  UserFacingMessage message;
  message.sourceEventIDs = {QStringLiteral("event-choice")};
  message.title = QStringLiteral("Pick an approach");
  message.detail = QStringLiteral("Codex is waiting for a choice.");
  message.timestamp = QStringLiteral("2026-05-11T00:00:00Z");
  message.interaction = choice;
  message.actions = {answer};
  return message;
}

}  // namespace

void runUsageDateAndChoiceMessageChecks(SelfCheckFailures& failures) {
  // The current moment to the second in UTC, "YYYY-MM-DDTHH:MM:SSZ".
  const QString text = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  failures.check(parseUsageDate(text).has_value(), QStringLiteral("usage date parser should parse ISO8601 fixture"));
  const auto parseRepeatedly = [&text] {
    for (int i = 0; i < 4000; ++i) (void)parseUsageDate(text);
  };
  failures.checkTiming(secondsTaken(parseRepeatedly), 0.02,
                       QStringLiteral("repeated usage date parsing should reuse parsed dates"));
  failures.checkTiming(secondsTaken(parseRepeatedly), 0.02,
                       QStringLiteral("repeated event date parsing should reuse parsed dates"));

  const UserFacingMessage message = choiceMessage();
  const auto* choice = message.interaction ? std::get_if<MessageChoice>(&*message.interaction) : nullptr;
  failures.check(choice != nullptr && choice->note.enabled && !message.actions.empty() &&
                     std::holds_alternative<ResponseChannel::ResponseFile>(choice->submit.channel.value()),
                 QStringLiteral("message model types should represent choice interactions with note and response channel"));
}

}  // namespace tandrel
