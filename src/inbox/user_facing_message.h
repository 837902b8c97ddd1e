#pragma once

#include "events/message_option.h"
#include "inbox/message_vocabulary.h"
#include "jump/jump_target.h"
#include "requests/response_channel.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>
#include <variant>
#include <vector>

// The normalized form of one inbox card: what kind of message it is, how urgent, which actions it
// offers, over which channel an answer goes back, and whether it asks for a choice or a typed
// answer. MessageNormalizer builds it; equality of every type here is field by field.

namespace tandrel {

// The free-text note that may accompany an answer.
struct MessageNote {
  bool enabled = false;
  QString placeholder;
  qint64 maxLength = 0;

  bool operator==(const MessageNote&) const = default;
};

// How an answer is submitted and where it goes.
struct MessageSubmitBehavior {
  MessageSubmitKind behavior = MessageSubmitKind::selectImmediately;
  ResponseChannel channel;
  MessageSubmitFallback fallback = MessageSubmitFallback::jump;

  bool operator==(const MessageSubmitBehavior&) const = default;
};

// The user picks one (or several) of the offered options.
struct MessageChoice {
  MessageSelectionMode selectionMode = MessageSelectionMode::single;
  QList<MessageOption> options;
  MessageNote note;
  MessageSubmitBehavior submit;

  bool operator==(const MessageChoice&) const = default;
};

// The user types an answer.
struct MessageTextInput {
  MessageNote note;
  MessageSubmitBehavior submit;

  bool operator==(const MessageTextInput&) const = default;
};

// What a message asks the user to fill in beyond its buttons.
using MessageInteraction = std::variant<MessageChoice, MessageTextInput>;

// The submit behaviour of either kind of interaction.
const MessageSubmitBehavior& submitBehavior(const MessageInteraction& interaction);

// One offered action.
struct MessageActionSpec {
  MessageActionRole role = MessageActionRole::ignore;
  QString label;
  MessageActionPlacement placement = MessageActionPlacement::cardFooter;
  bool enabled = true;
  std::optional<QString> disabledReason;
  bool requiresConfirmation = false;  // the view asks for a second click before running it
  std::optional<MessageRisk> risk;
  std::optional<ResponseChannel> channel;

  bool operator==(const MessageActionSpec&) const = default;
};

struct UserFacingMessage {
  QString id;  // the ids of all source events joined with "+"
  QStringList sourceEventIDs;
  QString toolID;     // canonical tool id of the tool's display name
  QString toolLabel;  // display name of the first event's source
  MessageCategory category = MessageCategory::lifecycle;
  MessageIntent intent = MessageIntent::taskStatus;
  int priority = 5;  // lower is more urgent, 0 to 5
  QString title;
  QString detail;
  MessagePreview preview;
  QString badge;
  std::optional<MessageRisk> risk;
  QString timestamp;  // the first event's timestamp text as received
  MessageReadState readState = MessageReadState::unread;
  std::vector<MessageActionSpec> actions;
  std::optional<MessageInteraction> interaction;
  std::optional<ResolvedJumpTarget> jump;

  bool operator==(const UserFacingMessage&) const = default;
};

}  // namespace tandrel
