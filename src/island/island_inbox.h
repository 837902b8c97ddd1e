#pragma once

// The inbox of one island view: the store's messages without the hidden tools and the page of
// them that fits, cached on the five values the page depends on; the open choice card with its
// note; the two-click confirmation of a risky answer; clearing the page or everything. It draws
// nothing and shows no banner: the view asks it and reports what it answers.

#include "inbox/island_message.h"
#include "island/inbox_hit_test.h"
#include "island/inbox_layout.h"
#include "ui/overlay_mode.h"
#include "ui/settings_model.h"

#include <QSet>
#include <QSizeF>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tandrel {

class EventStore;

class IslandInbox {
 public:
  // Over the view's store and settings; `viewSize` is the size of the view the page is laid out in.
  IslandInbox(EventStore& store, SettingsModel& settings, std::function<QSizeF()> viewSize);

  // Rebuilds the filtered inbox and the page when the store's revision, the page size, the room
  // for cards, the hidden tools or the open choice card changed.
  void ensureCache();
  const std::vector<IslandMessage>& page();
  const std::vector<IslandMessage>& all();  // every message of the shown tools
  // The messages of the shown tools that wait for the user.
  int approvalCount();
  // The page's rectangles at the view's size in `mode`.
  inbox_layout::InboxPageLayout pageLayout(OverlayMode mode);
  // What the open choice card's body adds below its card on the page, 0 when none is open.
  qreal openChoiceExtent();

  // Closes the open choice card and forgets its note; false when nothing was open.
  bool clearChoiceState();
  // Opens a message's choice card, or closes it when it is open; true when its note now takes the
  // keyboard.
  bool toggleChoiceCard(const IslandMessage& message);
  // Opens a message's choice card with its note focused (a press on the note field).
  void focusNote(const QString& eventID);
  // Opens a message's choice card, focusing its note when the note takes text.
  void openChoiceCard(const QString& eventID);

  // Whether an action waits for a second click on the same card's same button: true when this
  // click armed the confirmation (the view asks for the second click), false when the action may
  // run (it needs none, or this click confirmed it).
  bool deferForConfirmation(const IslandMessage& message, const QString& role);
  // A press anywhere but on the button that confirms forgets the armed confirmation.
  void clearPendingConfirmationUnlessConfirming(const ExpandedClickTarget& target);
  // Closes the open card and forgets the armed confirmation (the view leaves the inbox).
  void resetInteraction() {
    clearChoiceState();
    pendingMessageConfirmation.reset();
  }
  // The toolbar's two clear buttons: the page becomes read, or every message hidden; the number
  // of messages cleared. The open card and the confirmation are forgotten.
  int clearPage();
  int clearAll();

  std::optional<QString> expandedChoiceMessageID;
  QString activeChoiceNote;
  std::optional<QString> choiceNoteFocusedMessageID;
  std::optional<std::pair<QString, QString>> pendingMessageConfirmation;  // event id, role

 private:
  EventStore& store_;
  SettingsModel& settings_;
  std::function<QSizeF()> viewSize_;

  // The cache and the five values it was built for.
  qint64 cachedMessageRevision_ = -1;
  int cachedMessagePageLimit_ = -1;
  qreal cachedMessageLayoutHeight_ = -1;
  QSet<QString> cachedDisabledToolIDs_;
  std::optional<QString> cachedExpandedChoiceMessageID_;
  std::vector<IslandMessage> cachedFilteredAllMessages_;
  std::vector<IslandMessage> cachedFilteredMessages_;
};

}  // namespace tandrel
