#pragma once

#include "events/event_vocabulary.h"

#include <QString>
#include <QStringView>

#include <optional>

// The words of a normalized inbox message. Each enumeration is string-valued: the raw value of a
// case is its exact wire string, and reading a string that names no case gives nothing. The risk,
// selection-mode, source-class and source-capability words that events carry themselves live in
// event_vocabulary.h, which this header brings along.

namespace tandrel {

// What area a message belongs to.
enum class MessageCategory { humanLoop, lifecycle, usage, workspace, integration };

// What a message wants from the user, or tells them.
enum class MessageIntent {
  permissionRequest,
  choiceRequest,
  inputRequest,
  planReview,
  taskStatus,
  taskResult,
  usageAlert,
  jumpNotice,
  integrationNotice,
};

enum class MessageReadState { unread, read, hidden, answered };

// What an offered action does.
enum class MessageActionRole { approve, reject, chooseOption, sendInput, jump, ignore, markRead, configure };

// Where a view shows an offered action.
enum class MessageActionPlacement { cardFooter, expandedBody, overflow };

// Whether an answer goes back as soon as it is picked, or after a Send button.
enum class MessageSubmitKind { selectImmediately, sendButton };

// What the user can still do when an answer cannot be delivered.
enum class MessageSubmitFallback { jump };

QString rawValue(MessageCategory category);
QString rawValue(MessageIntent intent);
QString rawValue(MessageReadState state);
QString rawValue(MessageActionRole role);
QString rawValue(MessageActionPlacement placement);
QString rawValue(MessageSubmitKind kind);
QString rawValue(MessageSubmitFallback fallback);

// Exact, case-sensitive matches of the raw values above.
std::optional<MessageCategory> parseMessageCategory(QStringView raw);
std::optional<MessageIntent> parseMessageIntent(QStringView raw);
std::optional<MessageReadState> parseMessageReadState(QStringView raw);
std::optional<MessageActionRole> parseMessageActionRole(QStringView raw);
std::optional<MessageActionPlacement> parseMessageActionPlacement(QStringView raw);
std::optional<MessageSubmitKind> parseMessageSubmitKind(QStringView raw);
std::optional<MessageSubmitFallback> parseMessageSubmitFallback(QStringView raw);

}  // namespace tandrel
