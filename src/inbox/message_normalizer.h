#pragma once

#include "events/tandrel_event.h"
#include "inbox/user_facing_message.h"

#include <QString>

#include <optional>
#include <vector>

namespace tandrel {

// Every " - " (space, hyphen, space) replaced by " · " (space, middle dot, space): how titles and
// messages are shown on cards.
QString tidyMessageText(const QString& text);

// "usage_limited" -> "Usage Limited": every "_" replaced by a space, then each space-separated word
// with its first letter in upper case and the rest in lower case.
QString capitalizedWords(const QString& text);

// A session id of 13 characters or more cut to its first 8 characters followed by "..."; a shorter
// one as it is. Characters are grapheme clusters.
QString shortSessionText(const QString& sessionId);

// Builds the normalized form of one inbox card from its events. Pure functions without state.
struct MessageNormalizer {
  MessageNormalizer() = delete;

  // The events of one card, the first being its representative; nothing for an empty list.
  static std::optional<UserFacingMessage> normalize(const std::vector<TandrelEvent>& events);

  // The detail line of one event: its tool name and message (or project), tidied, then
  // "pid: …", "terminal: …" and "session: …" where present, the non-empty parts joined by " · ".
  static QString detailText(const TandrelEvent& event);

  // The actions offered for an intent, given the event, the channel an answer would go back over
  // and the interaction, in the order a card shows them.
  static std::vector<MessageActionSpec> actions(MessageIntent intent, const TandrelEvent& event,
                                                const ResponseChannel& channel,
                                                const std::optional<MessageInteraction>& interaction);
};

}  // namespace tandrel
