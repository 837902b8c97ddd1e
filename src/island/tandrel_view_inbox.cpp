// The rectangles of the view's inbox page for tests, and opening a choice card for them.

#include "island/tandrel_view.h"

namespace tandrel {

using namespace inbox_layout;

void TandrelView::setExpandedChoiceMessageForTests(const QString& eventID) {
  island_->inbox().openChoiceCard(eventID);
  update();
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
