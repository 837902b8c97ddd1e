#pragma once

#include "events/message_option.h"
#include "events/tandrel_event.h"
#include "inbox/user_facing_message.h"
#include "jump/jump_target.h"
#include "requests/pending_action.h"
#include "requests/pending_card_action.h"
#include "requests/response_channel.h"

#include <QColor>
#include <QDateTime>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <span>
#include <vector>

// The inbox: one card per task or per human-in-the-loop request, built from the events that are
// neither read nor hidden and that the user should see. Everything here is a pure function of the
// events and the read and hidden sets; the store keeps the result for one revision.

namespace tandrel {

// One footer button of a card: its text and the role handed to the message actions.
struct IslandButton {
  QString label;
  QString role;

  bool operator==(const IslandButton&) const = default;
};

// The role a card button carries for an action: the approval's is "authorize", every other
// action's is its wire value.
QString cardButtonRole(MessageActionRole role);

// The role of a card button that answers the pending action behind the card: "request:" and the
// card action's raw value ("request:approve", "request:deny", "request:open_input", …).
inline const QString kPendingCardRolePrefix = QStringLiteral("request:");
QString pendingCardRole(PendingCardAction action);
std::optional<PendingCardAction> pendingCardActionOfRole(const QString& role);

// One inbox card.
struct IslandMessage {
  TandrelEvent event;                // the lead event: the first of its group
  std::vector<TandrelEvent> events;  // every event of the group, in inbox order
  QString tool;                      // display name of the lead event's source
  QString sourceType;
  QColor toolColor;
  QString badge;
  QString title;
  QString detail;
  MessagePreview preview;
  QString time;               // age of the lead event ("5m ago")
  std::optional<QString> risk;  // a permission request's risk in upper case
  QColor accent;
  QColor fill;
  std::vector<IslandButton> buttons;
  std::optional<UserFacingMessage> normalized;
  QList<MessageOption> choiceOptions;
  ResponseChannel responseChannel;  // where a typed or chosen answer goes
  std::optional<ResolvedJumpTarget> jump;
  // The socket request waiting behind the card (same request key): the card then answers it with
  // the buttons of its pending card actions, as its notification does.
  std::optional<PendingAction> pendingAction;
  // How the card's request ended, in words; such a card waits for nobody.
  std::optional<QString> outcome;
};

// Whether the card waits for the user: led by a permission, input or plan request that has not
// ended. What the approval counts and the ticker's approvals count.
bool messageWaitsForUser(const IslandMessage& message);

// What building cards needs besides the events: the time the ages are measured from, and the
// store's resolution of an event's Jump (no function means no card has a Jump).
struct MessageBuildContext {
  QDateTime now;
  std::function<std::optional<ResolvedJumpTarget>(const TandrelEvent&)> jumpTarget;
  // The waiting socket request with the event's request key (no function: none waits).
  std::function<std::optional<PendingAction>(const TandrelEvent&)> waitingRequest;
};

// The inbox built for one revision of the store.
struct InboxMessages {
  std::vector<TandrelEvent> sortedActiveEvents;                // unread, unhidden, human-facing; sorted
  std::vector<std::vector<TandrelEvent>> groupedActiveEvents;  // those grouped, by first appearance
  std::vector<IslandMessage> messages;                         // one card per group
  std::optional<TandrelEvent> latestEvent;                     // the newest of all events
  int approvalCount = 0;  // cards that wait for the user (messageWaitsForUser)
};

// One part of a group key: lower-cased, every " - " and " · " made a single space, trimmed.
QString normalizedGroupPart(const QString& part);

// The key that puts an event into its card's group: permission requests by tool, task, folder,
// action kind, title and risk; input and plan requests by tool, task and title; everything else by
// tool and task.
QString inboxGroupKey(const TandrelEvent& event);

// The card of one group (the first event leads); nothing for an empty group.
std::optional<IslandMessage> makeMessage(const std::vector<TandrelEvent>& events, const MessageBuildContext& context);

// The whole inbox: of `events`, those whose id is in neither set and whose reminder policy is
// human-facing or whose request has ended, sorted by priority (newest first among equals), grouped by inboxGroupKey in order
// of first appearance, one card per group; also the newest of all `events` (the earlier on equal
// times) and the number of cards that wait for the user.
InboxMessages buildIslandMessages(std::span<const TandrelEvent> events, const QSet<QString>& readIDs,
                                  const QSet<QString>& hiddenIDs, const MessageBuildContext& context);

}  // namespace tandrel
