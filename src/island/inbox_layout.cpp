#include "island/inbox_layout.h"

#include <algorithm>
#include <cmath>

namespace tandrel::inbox_layout {
namespace {

constexpr qreal kButtonHeight = 18;
constexpr qreal kButtonBottomMargin = 4;
constexpr qreal kButtonGap = 5;
constexpr qreal kButtonRightInset = 12;
constexpr qreal kChoiceInset = 8;
constexpr qreal kNoteHeight = 24;
constexpr qreal kOptionHeight = 22;
constexpr qreal kOptionRowGap = 5;
constexpr qreal kOptionColumnGap = 6;
constexpr qreal kChoiceMinimumHeight = 96;

bool hasChoiceOptions(const IslandMessage& message) { return !message.choiceOptions.isEmpty(); }

// The height a card takes on a page, with the gap before it and its open body.
qreal cardHeight(const IslandMessage& message, bool expanded, bool withGap) {
  qreal height = (withGap ? kCardGap : 0) + kCardHeight;
  if (expanded) {
    height += kCardGap + choiceBodyHeight(message);
  }
  return height;
}

}  // namespace

qreal messagePageAvailableHeight(qreal viewHeight) {
  return std::max<qreal>(0, viewHeight - kFooterReserve - kHeaderHeight);
}

int messagePageBaseLimit(qreal availableHeight) {
  const int fitting = static_cast<int>(std::floor((availableHeight + kCardGap) / (kCardHeight + kCardGap)));
  return std::clamp(fitting, 1, kMaximumPageCards);
}

MessageNote choiceNote(const IslandMessage& message) {
  if (message.normalized && message.normalized->interaction) {
    return std::visit([](const auto& interaction) { return interaction.note; }, *message.normalized->interaction);
  }
  return {message.event.noteEnabled, message.event.notePlaceholder, message.event.noteMaxLength};
}

int choiceColumns(int optionCount) {
  if (optionCount <= 2) {
    return 1;
  }
  return optionCount <= 4 ? 2 : 3;
}

qreal choiceBodyHeight(const IslandMessage& message) {
  const int count = static_cast<int>(message.choiceOptions.size());
  const qreal top = choiceNote(message).enabled ? 40 + (count > 0 ? kOptionRowGap : 0) : 16;
  const int rows = (count + choiceColumns(count) - 1) / choiceColumns(count);
  const qreal options = rows > 0 ? kOptionHeight * rows + kOptionRowGap * (rows - 1) : 0;
  return std::max(kChoiceMinimumHeight, top + options);
}

qreal openChoiceExtent(const std::vector<IslandMessage>& messages,
                       const std::optional<QString>& expandedChoiceMessageID) {
  if (!expandedChoiceMessageID) {
    return 0;
  }
  const auto open = std::find_if(messages.begin(), messages.end(), [&](const IslandMessage& message) {
    return message.event.id == *expandedChoiceMessageID;
  });
  return open != messages.end() && hasChoiceOptions(*open) ? kCardGap + choiceBodyHeight(*open) : 0;
}

std::pair<int, int> fittedPageRange(const std::vector<IslandMessage>& messages,
                                    const std::optional<QString>& expandedChoiceMessageID, int baseLimit,
                                    qreal availableHeight) {
  const int count = static_cast<int>(messages.size());
  int open = -1;
  if (expandedChoiceMessageID) {
    for (int i = 0; i < count; ++i) {
      if (messages[i].event.id == *expandedChoiceMessageID) {
        open = i;
        break;
      }
    }
  }
  if (open < 0) {
    return {0, std::min(baseLimit, count)};
  }
  auto expanded = [&](int i) { return i == open && hasChoiceOptions(messages[i]); };
  int first = open;
  int last = open;
  qreal total = cardHeight(messages[open], expanded(open), false);
  while (last - first + 1 < kMaximumPageCards && first > 0) {
    const qreal next = cardHeight(messages[first - 1], expanded(first - 1), true);
    if (total + next > availableHeight) {
      break;
    }
    total += next;
    --first;
  }
  while (last - first + 1 < kMaximumPageCards && last + 1 < count) {
    const qreal next = cardHeight(messages[last + 1], expanded(last + 1), true);
    if (total + next > availableHeight) {
      break;
    }
    total += next;
    ++last;
  }
  return {first, last - first + 1};
}

qreal actionButtonWidth(const QString& label) {
  return std::clamp(label.size() * 5.2 + 20, 48.0, 78.0);
}

QRectF cardAgeRect(const QRectF& card) { return QRectF(card.right() - 74, card.top() + 7, 62, 16); }

QRectF cardOutcomeRect(const QRectF& card, const std::vector<std::pair<IslandButton, QRectF>>& buttons) {
  const qreal left = card.left() + 32;
  const qreal right = buttons.empty() ? card.right() - kButtonRightInset : buttons.front().second.left() - 8;
  return QRectF(left, card.bottom() - kButtonHeight - kButtonBottomMargin, std::max<qreal>(0, right - left),
                kButtonHeight);
}

std::optional<qint64> cardAgeRefreshDelayMs(const std::vector<IslandMessage>& page, const QDateTime& now) {
  constexpr qint64 kSecond = 1000;
  constexpr qint64 kMinute = 60 * kSecond;
  std::optional<qint64> soonest;
  for (const IslandMessage& message : page) {
    const QDateTime& when = message.event.timestamp;
    if (!when.isValid() || isDistantPast(when)) continue;
    const qint64 age = std::max<qint64>(0, when.msecsTo(now));
    const qint64 delay = age < kMinute ? kSecond - age % kSecond : kMinute - age % kMinute;
    soonest = std::min(soonest.value_or(delay), delay);
  }
  return soonest;
}

InboxPageLayout::InboxPageLayout(QSizeF viewSize, OverlayMode mode, std::vector<IslandMessage> page,
                                 std::optional<QString> expandedChoiceMessageID)
    : size_(viewSize), mode_(mode), page_(std::move(page)), expandedChoiceMessageID_(std::move(expandedChoiceMessageID)) {}

bool InboxPageLayout::isChoiceExpanded(const IslandMessage& message) const {
  return expandedChoiceMessageID_ && *expandedChoiceMessageID_ == message.event.id && hasChoiceOptions(message);
}

qreal InboxPageLayout::expandedChoiceExtraHeight(int index) const {
  qreal extra = 0;
  for (int i = 0; i < std::min<int>(index, static_cast<int>(page_.size())); ++i) {
    if (isChoiceExpanded(page_[i])) {
      extra += choiceBodyHeight(page_[i]) + kCardGap;
    }
  }
  return extra;
}

QRectF InboxPageLayout::messageRect(int index) const {
  return {kCardInset, kHeaderHeight + (kCardHeight + kCardGap) * index + expandedChoiceExtraHeight(index),
          size_.width() - 2 * kCardInset, kCardHeight};
}

std::optional<QRectF> InboxPageLayout::choiceBodyRect(int index) const {
  if (index < 0 || index >= static_cast<int>(page_.size()) || !isChoiceExpanded(page_[index])) {
    return std::nullopt;
  }
  const QRectF card = messageRect(index);
  return QRectF(card.left(), card.bottom() + kCardGap, card.width(), choiceBodyHeight(page_[index]));
}

std::optional<QRectF> InboxPageLayout::choiceNoteRect(int index) const {
  const std::optional<QRectF> body = choiceBodyRect(index);
  if (!body || !choiceNote(page_[index]).enabled) {
    return std::nullopt;
  }
  return QRectF(body->left() + kChoiceInset, body->top() + kChoiceInset, body->width() - 2 * kChoiceInset, kNoteHeight);
}

std::vector<std::pair<MessageOption, QRectF>> InboxPageLayout::choiceOptionRects(int index) const {
  const std::optional<QRectF> body = choiceBodyRect(index);
  if (!body) {
    return {};
  }
  const QList<MessageOption>& options = page_[index].choiceOptions;
  const int columns = choiceColumns(static_cast<int>(options.size()));
  const std::optional<QRectF> note = choiceNoteRect(index);
  const qreal firstRowTop = note ? note->bottom() + kOptionRowGap : body->top() + kChoiceInset + kOptionRowGap;
  const qreal width = std::floor((body->width() - 2 * kChoiceInset - kOptionColumnGap * (columns - 1)) / columns);
  std::vector<std::pair<MessageOption, QRectF>> rects;
  for (int i = 0; i < options.size(); ++i) {
    const int row = i / columns;
    const int column = i % columns;
    rects.emplace_back(options[i], QRectF(body->left() + kChoiceInset + column * (width + kOptionColumnGap),
                                          firstRowTop + row * (kOptionHeight + kOptionRowGap), width, kOptionHeight));
  }
  return rects;
}

std::vector<std::pair<IslandButton, QRectF>> InboxPageLayout::actionButtonRects(int index) const {
  if (index < 0 || index >= static_cast<int>(page_.size())) {
    return {};
  }
  std::vector<IslandButton> ordered;
  for (const IslandButton& button : page_[index].buttons) {
    if (button.role != QLatin1String("jump")) {
      ordered.push_back(button);
    }
  }
  for (const IslandButton& button : page_[index].buttons) {
    if (button.role == QLatin1String("jump")) {
      ordered.push_back(button);
    }
  }
  if (ordered.empty()) {
    return {};
  }
  qreal rowWidth = kButtonGap * (static_cast<qreal>(ordered.size()) - 1);
  for (const IslandButton& button : ordered) {
    rowWidth += actionButtonWidth(button.label);
  }
  const QRectF card = messageRect(index);
  const qreal y = card.bottom() - kButtonHeight - kButtonBottomMargin;
  qreal x = card.right() - kButtonRightInset - rowWidth;
  std::vector<std::pair<IslandButton, QRectF>> rects;
  for (const IslandButton& button : ordered) {
    const qreal width = actionButtonWidth(button.label);
    rects.emplace_back(button, QRectF(x, y, width, kButtonHeight));
    x += width + kButtonGap;
  }
  return rects;
}

QRectF InboxPageLayout::emptyInboxRect() const {
  const QRectF area(kCardInset, kHeaderHeight, size_.width() - 2 * kCardInset,
                    std::max(size_.height() - kFooterReserve - kHeaderHeight, kEmptyLineHeight));
  return {area.left(), area.center().y() - kEmptyLineHeight / 2, area.width(), kEmptyLineHeight};
}

QRectF InboxPageLayout::topSettingsRect() const {
  return mode_ == OverlayMode::expanded ? QRectF(size_.width() - 35, 5, 24, 24) : QRectF();
}

QRectF InboxPageLayout::clearPageRect() const {
  return mode_ == OverlayMode::expanded ? QRectF(size_.width() - 64, 162, 22, 22) : QRectF();
}

QRectF InboxPageLayout::clearAllRect() const {
  return mode_ == OverlayMode::expanded ? QRectF(size_.width() - 36, 162, 22, 22) : QRectF();
}

QRectF InboxPageLayout::quitRect() const {
  return mode_ == OverlayMode::expanded ? QRectF(size_.width() - 33, size_.height() - 25, 20, 20) : QRectF();
}

}  // namespace tandrel::inbox_layout
