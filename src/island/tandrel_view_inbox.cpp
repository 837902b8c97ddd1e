// The view's inbox page: the store's messages without the hidden tools, cached on the five
// values the page depends on, and the rectangles of the page.

#include "island/tandrel_view.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"

#include <cmath>

namespace tandrel {

using namespace inbox_layout;

void TandrelView::ensureMessageCache() {
  const qreal available = messagePageAvailableHeight(height());
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

const std::vector<IslandMessage>& TandrelView::filteredMessages() {
  ensureMessageCache();
  return cachedFilteredMessages_;
}

const std::vector<IslandMessage>& TandrelView::filteredAllMessages() {
  ensureMessageCache();
  return cachedFilteredAllMessages_;
}

int TandrelView::filteredUnreadCount() { return static_cast<int>(filteredAllMessages().size()); }

int TandrelView::filteredApprovalCount() {
  int count = 0;
  for (const IslandMessage& message : filteredAllMessages()) {
    count += messageWaitsForUser(message);
  }
  return count;
}

InboxPageLayout TandrelView::pageLayout() {
  ensureMessageCache();
  return InboxPageLayout(QSizeF(size()), mode_, cachedFilteredMessages_, expandedChoiceMessageID);
}

qreal TandrelView::openChoiceExtent() {
  return inbox_layout::openChoiceExtent(filteredMessages(), expandedChoiceMessageID);
}

bool TandrelView::clearChoiceState() {
  if (!expandedChoiceMessageID && !choiceNoteFocusedMessageID && activeChoiceNote.isEmpty()) {
    return false;
  }
  expandedChoiceMessageID.reset();
  choiceNoteFocusedMessageID.reset();
  activeChoiceNote.clear();
  return true;
}

namespace {

int pageIndexOf(const std::vector<IslandMessage>& page, const QString& id) {
  for (int i = 0; i < static_cast<int>(page.size()); ++i) {
    if (page[i].event.id == id) {
      return i;
    }
  }
  return -1;
}

}  // namespace

std::map<QString, QRectF> TandrelView::messageRectsForTests() {
  const InboxPageLayout layout = pageLayout();
  std::map<QString, QRectF> rects;
  for (int i = 0; i < static_cast<int>(layout.page().size()); ++i) {
    rects[layout.page()[i].event.id] = layout.messageRect(i);
  }
  return rects;
}

std::map<QString, QRectF> TandrelView::choiceOptionRectsForTests(const QString& messageID) {
  const InboxPageLayout layout = pageLayout();
  std::map<QString, QRectF> rects;
  for (const auto& [option, rect] : layout.choiceOptionRects(pageIndexOf(layout.page(), messageID))) {
    rects[option.id] = rect;
  }
  return rects;
}

std::optional<QRectF> TandrelView::choiceNoteRectForTests(const QString& messageID) {
  const InboxPageLayout layout = pageLayout();
  return layout.choiceNoteRect(pageIndexOf(layout.page(), messageID));
}

std::optional<QRectF> TandrelView::choiceBodyRectForTests(const QString& messageID) {
  const InboxPageLayout layout = pageLayout();
  return layout.choiceBodyRect(pageIndexOf(layout.page(), messageID));
}

std::optional<QRectF> TandrelView::messageActionButtonRectForTests(const QString& eventID, const QString& role) {
  const InboxPageLayout layout = pageLayout();
  for (const auto& [button, rect] : layout.actionButtonRects(pageIndexOf(layout.page(), eventID))) {
    if (button.role == role) {
      return rect;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
