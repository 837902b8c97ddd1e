// The filtered inbox and its page, the open choice card, the confirmation of risky answers and
// the two clear buttons.

#include "island/island_inbox.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"

#include <algorithm>
#include <cmath>

namespace tandrel {

using namespace inbox_layout;

IslandInbox::IslandInbox(EventStore& store, SettingsModel& settings, std::function<QSizeF()> viewSize)
    : store_(store), settings_(settings), viewSize_(std::move(viewSize)) {}

void IslandInbox::ensureCache() {
  const qreal available = messagePageAvailableHeight(viewSize_().height());
  const int baseLimit = messagePageBaseLimit(available);
  if (cachedMessageRevision_ == store_.revision() && cachedMessagePageLimit_ == baseLimit &&
      std::abs(cachedMessageLayoutHeight_ - available) <= 0.001 && cachedDisabledToolIDs_ == settings_.values().disabledToolIDs &&
      cachedExpandedChoiceMessageID_ == expandedChoiceMessageID) {
    return;
  }
  cachedMessageRevision_ = store_.revision();
  cachedMessagePageLimit_ = baseLimit;
  cachedMessageLayoutHeight_ = available;
  cachedDisabledToolIDs_ = settings_.values().disabledToolIDs;
  cachedExpandedChoiceMessageID_ = expandedChoiceMessageID;

  cachedFilteredAllMessages_.clear();
  for (const IslandMessage& message : store_.allMessages()) {
    if (!settings_.values().disabledToolIDs.contains(canonicalToolID(message.tool))) {
      cachedFilteredAllMessages_.push_back(message);
    }
  }
  if (expandedChoiceMessageID) {
    const bool kept = std::any_of(cachedFilteredAllMessages_.begin(), cachedFilteredAllMessages_.end(),
                                  [&](const IslandMessage& m) { return m.event.id == *expandedChoiceMessageID; });
    if (!kept) {
      clearChoiceState();
      cachedExpandedChoiceMessageID_.reset();
    }
  }
  const auto [first, length] =
      fittedPageRange(cachedFilteredAllMessages_, expandedChoiceMessageID, baseLimit, available);
  cachedFilteredMessages_.assign(cachedFilteredAllMessages_.begin() + first,
                                 cachedFilteredAllMessages_.begin() + first + length);
}

const std::vector<IslandMessage>& IslandInbox::page() {
  ensureCache();
  return cachedFilteredMessages_;
}

const std::vector<IslandMessage>& IslandInbox::all() {
  ensureCache();
  return cachedFilteredAllMessages_;
}

int IslandInbox::approvalCount() {
  int count = 0;
  for (const IslandMessage& message : all()) {
    count += messageWaitsForUser(message);
  }
  return count;
}

InboxPageLayout IslandInbox::pageLayout(OverlayMode mode) {
  ensureCache();
  return InboxPageLayout(viewSize_(), mode, cachedFilteredMessages_, expandedChoiceMessageID);
}

qreal IslandInbox::openChoiceExtent() { return inbox_layout::openChoiceExtent(page(), expandedChoiceMessageID); }

bool IslandInbox::clearChoiceState() {
  if (!expandedChoiceMessageID && !choiceNoteFocusedMessageID && activeChoiceNote.isEmpty()) {
    return false;
  }
  expandedChoiceMessageID.reset();
  choiceNoteFocusedMessageID.reset();
  activeChoiceNote.clear();
  return true;
}

bool IslandInbox::toggleChoiceCard(const IslandMessage& message) {
  bool noteFocused = false;
  if (expandedChoiceMessageID == message.event.id) {
    expandedChoiceMessageID.reset();
    choiceNoteFocusedMessageID.reset();
  } else {
    expandedChoiceMessageID = message.event.id;
    noteFocused = choiceNote(message).enabled;
    if (noteFocused) {
      choiceNoteFocusedMessageID = message.event.id;
    } else {
      choiceNoteFocusedMessageID.reset();
    }
  }
  activeChoiceNote.clear();
  return noteFocused;
}

void IslandInbox::focusNote(const QString& eventID) {
  expandedChoiceMessageID = eventID;
  choiceNoteFocusedMessageID = eventID;
}

void IslandInbox::openChoiceCard(const QString& eventID) {
  expandedChoiceMessageID = eventID;
  ensureCache();
  choiceNoteFocusedMessageID.reset();
  for (const IslandMessage& message : cachedFilteredMessages_) {
    if (message.event.id == eventID) {
      if (choiceNote(message).enabled) {
        choiceNoteFocusedMessageID = eventID;
      }
      break;
    }
  }
  activeChoiceNote.clear();
}

bool IslandInbox::deferForConfirmation(const IslandMessage& message, const QString& role) {
  bool needsConfirmation = false;
  if (message.pendingAction) {
    // Approving a high-risk request waiting behind the card takes two clicks, as on a card that
    // answers through a decision file.
    const std::optional<PendingCardAction> action = pendingCardActionOfRole(role);
    needsConfirmation = (action == PendingCardAction::approve || action == PendingCardAction::always) &&
                        message.normalized && message.normalized->risk == MessageRisk::high;
  } else if (message.normalized) {
    for (const MessageActionSpec& action : message.normalized->actions) {
      if (cardButtonRole(action.role) == role && action.requiresConfirmation) {
        needsConfirmation = true;
        break;
      }
    }
  }
  if (!needsConfirmation) {
    pendingMessageConfirmation.reset();
    return false;
  }
  if (pendingMessageConfirmation == std::pair{message.event.id, role}) {
    pendingMessageConfirmation.reset();
    return false;
  }
  pendingMessageConfirmation = std::pair{message.event.id, role};
  return true;
}

void IslandInbox::clearPendingConfirmationUnlessConfirming(const ExpandedClickTarget& target) {
  if (!pendingMessageConfirmation) {
    return;
  }
  const bool confirming = target.kind == ExpandedClickTarget::Kind::messageAction &&
                          pendingMessageConfirmation->first == target.message->event.id &&
                          pendingMessageConfirmation->second == target.role;
  if (!confirming) {
    pendingMessageConfirmation.reset();
  }
}

int IslandInbox::clearPage() {
  const int count = store_.clear(page(), QStringLiteral("clear_page"));
  resetInteraction();
  return count;
}

int IslandInbox::clearAll() {
  const int count = store_.clearAll();
  resetInteraction();
  return count;
}

}  // namespace tandrel
