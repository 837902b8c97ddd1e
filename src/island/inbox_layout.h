#pragma once

// The expanded island's inbox page and every rectangle in it: the cards, an open choice card's
// body, note field and options, the card buttons, the empty-inbox line and the toolbar. Pure
// functions of the view's size and the page, in the view's y-down coordinates; drawing and
// hit-testing both read them, so a card is clicked where it is drawn.

#include "inbox/island_message.h"
#include "inbox/user_facing_message.h"
#include "ui/overlay_mode.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tandrel::inbox_layout {

inline constexpr qreal kHeaderHeight = 190;
inline constexpr qreal kFooterReserve = 30;
inline constexpr qreal kCardHeight = 84;
inline constexpr qreal kCardGap = 8;
inline constexpr qreal kCardInset = 12;
inline constexpr int kMaximumPageCards = 5;
inline constexpr qreal kEmptyLineHeight = 18;

// The room for cards below the header and above the toolbar strip, never below 0.
qreal messagePageAvailableHeight(qreal viewHeight);
// How many cards a page asks for: as many as fit, 1 to 5.
int messagePageBaseLimit(qreal availableHeight);

// The note setting of a message's choice: its normalized interaction's, else its event's.
MessageNote choiceNote(const IslandMessage& message);
// Option columns: 1 for up to two options, 2 for three or four, 3 beyond.
int choiceColumns(int optionCount);
// The open choice body's height: the note (or a small top margin) and the option rows, at least 96.
qreal choiceBodyHeight(const IslandMessage& message);

// What the open choice card among `messages` adds below its card: its body and the gap above it;
// 0 when no card with options is open.
qreal openChoiceExtent(const std::vector<IslandMessage>& messages,
                       const std::optional<QString>& expandedChoiceMessageID);

// The page of `messages` to show: the first `baseLimit`, or, with an open choice card among them,
// a contiguous run of at most 5 that holds it, grown backwards then forwards while the cards
// (with open bodies) fit `availableHeight`. Returns the run's first index and length.
std::pair<int, int> fittedPageRange(const std::vector<IslandMessage>& messages,
                                    const std::optional<QString>& expandedChoiceMessageID, int baseLimit,
                                    qreal availableHeight);

// One page laid out in a view of `viewSize`.
class InboxPageLayout {
 public:
  InboxPageLayout(QSizeF viewSize, OverlayMode mode, std::vector<IslandMessage> page,
                  std::optional<QString> expandedChoiceMessageID);

  const std::vector<IslandMessage>& page() const { return page_; }

  // Whether the card's choice body is open: it is the open card and has options.
  bool isChoiceExpanded(const IslandMessage& message) const;
  // What open choice bodies above card `index` push it down by.
  qreal expandedChoiceExtraHeight(int index) const;
  QRectF messageRect(int index) const;

  std::optional<QRectF> choiceBodyRect(int index) const;
  std::optional<QRectF> choiceNoteRect(int index) const;
  std::vector<std::pair<MessageOption, QRectF>> choiceOptionRects(int index) const;
  // The card's buttons, jump last, right-aligned above the card's bottom edge.
  std::vector<std::pair<IslandButton, QRectF>> actionButtonRects(int index) const;

  QRectF emptyInboxRect() const;
  // The toolbar: the settings gear, clearing the page, clearing everything and quitting; empty
  // outside the expanded mode.
  QRectF topSettingsRect() const;
  QRectF clearPageRect() const;
  QRectF clearAllRect() const;
  QRectF quitRect() const;

 private:
  QSizeF size_;
  OverlayMode mode_;
  std::vector<IslandMessage> page_;
  std::optional<QString> expandedChoiceMessageID_;
};

// The width of a card button: 5.2 per character of its label plus 20, from 48 to 78.
qreal actionButtonWidth(const QString& label);

// Where a card draws its age ("12s ago"), right-aligned in its top line.
QRectF cardAgeRect(const QRectF& card);
// Where a card of an ended request says how it ended: the bottom line, left of its buttons.
QRectF cardOutcomeRect(const QRectF& card, const std::vector<std::pair<IslandButton, QRectF>>& buttons);

// How long until the age of one of `page`'s cards reads differently at `now`: to the next whole
// second while an age is under a minute, to the next whole minute (at most a minute) after that.
// Nothing for a page without dated cards.
std::optional<qint64> cardAgeRefreshDelayMs(const std::vector<IslandMessage>& page, const QDateTime& now);

}  // namespace tandrel::inbox_layout
