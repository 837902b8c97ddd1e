#include "island/inbox_layout.h"
#include "ui/island_geometry.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

using namespace inbox_layout;

IslandMessage message(const QString& id, int options = 0, bool note = false) {
  IslandMessage m;
  m.event.id = id;
  m.event.noteEnabled = note;
  for (int i = 0; i < options; ++i) {
    m.choiceOptions.append(MessageOption{QStringLiteral("o%1").arg(i), QStringLiteral("Option %1").arg(i), {}, {}, {}});
  }
  return m;
}

std::vector<IslandMessage> messages(int count) {
  std::vector<IslandMessage> list;
  for (int i = 0; i < count; ++i) {
    list.push_back(message(QStringLiteral("m%1").arg(i)));
  }
  return list;
}

TEST(InboxLayout, PageSizeFollowsTheRoomBelowTheHeader) {
  const struct {
    qreal viewHeight;
    qreal available;
    int limit;
  } cases[] = {{100, 0, 1}, {260, 40, 1}, {317, 97, 1}, {409, 189, 2}, {501, 281, 3}, {2000, 1780, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(messagePageAvailableHeight(c.viewHeight), c.available) << c.viewHeight;
    EXPECT_EQ(messagePageBaseLimit(c.available), c.limit) << c.viewHeight;
  }
}

TEST(InboxLayout, ChoiceBodiesGrowWithOptionsAndNote) {
  const struct {
    int options;
    bool note;
    int columns;
    qreal height;
  } cases[] = {
      {1, false, 1, 96},           // 16 + 22 is below the minimum
      {2, true, 1, 40 + 5 + 49},   // 94 -> 96
      {4, true, 2, 40 + 5 + 49},   // two rows of two
      {5, false, 3, 96},           // two rows of three: 16 + 49
      {9, true, 3, 40 + 5 + 76},   // three rows
      {0, true, 1, 96},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(choiceColumns(c.options), c.columns) << c.options;
    EXPECT_EQ(choiceBodyHeight(message("m", c.options, c.note)), std::max<qreal>(96, c.height)) << c.options;
  }
}

TEST(InboxLayout, ThePageHoldsTheOpenChoiceCard) {
  std::vector<IslandMessage> list = messages(12);
  list[7] = message(QStringLiteral("m7"), 2);  // open body: 96 high
  const struct {
    std::optional<QString> open;
    int baseLimit;
    qreal available;
    std::pair<int, int> range;
  } cases[] = {
      {std::nullopt, 3, 281, {0, 3}},
      {QStringLiteral("gone"), 3, 281, {0, 3}},
      // 84 + 8 + 96 = 188, one more card before it (92) fits 281, nothing after it.
      {QStringLiteral("m7"), 3, 281, {6, 2}},
      // Room for five plain cards and the body: backwards until five cards.
      {QStringLiteral("m7"), 5, 1000, {3, 5}},
      // The open card alone, even without room for it.
      {QStringLiteral("m7"), 1, 0, {7, 1}},
      // A card without options does not open; backwards first, then forwards.
      {QStringLiteral("m1"), 3, 281, {0, 3}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fittedPageRange(list, c.open, c.baseLimit, c.available), c.range) << c.open.value_or("none").toStdString();
  }
  EXPECT_EQ(fittedPageRange({}, QStringLiteral("m7"), 3, 281), std::make_pair(0, 0));
}

TEST(InboxLayout, AnIslandSizedForTheOpenChoiceKeepsItsCardsAndTheRoomAboveTheFooter) {
  // The island grows by what the open body adds (body + gap): the cards a closed island shows
  // stay on the page, and the last card or body ends 13 above the footer as a closed island's
  // last card does.
  const struct {
    int count;
    int open;
    int options;
    bool note;
    qreal extent;
    qreal height;
    int pageLength;
  } cases[] = {
      {1, 0, 2, true, 8 + 96, 421, 1},   {2, 0, 2, true, 8 + 96, 513, 2},  {2, 1, 2, true, 8 + 96, 513, 2},
      {3, 1, 4, false, 8 + 96, 605, 3},  {4, 3, 9, true, 8 + 121, 630, 3}, {1, 0, 9, true, 8 + 121, 446, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " messages, open " << c.open << " with " << c.options);
    std::vector<IslandMessage> list = messages(c.count);
    list[c.open] = message(QStringLiteral("m%1").arg(c.open), c.options, c.note);
    const QString open = list[c.open].event.id;
    EXPECT_EQ(openChoiceExtent(list, open), c.extent);
    const qreal height = expandedOverlayHeight(c.count, openChoiceExtent(list, open));
    EXPECT_EQ(height, c.height);

    const qreal available = messagePageAvailableHeight(height);
    const auto [first, length] = fittedPageRange(list, open, messagePageBaseLimit(available), available);
    EXPECT_EQ(length, c.pageLength);
    const InboxPageLayout layout(QSizeF(540, height), OverlayMode::expanded,
                                 std::vector<IslandMessage>(list.begin() + first, list.begin() + first + length), open);
    qreal bottom = 0;
    for (int i = 0; i < length; ++i) {
      bottom = std::max(bottom, layout.choiceBodyRect(i).value_or(layout.messageRect(i)).bottom());
    }
    EXPECT_LE(bottom, height - kFooterReserve - 13);
  }
  // Nothing open, an unknown id and a card without options add nothing.
  const std::vector<IslandMessage> plain = messages(2);
  EXPECT_EQ(openChoiceExtent(plain, std::nullopt), 0);
  EXPECT_EQ(openChoiceExtent(plain, QStringLiteral("gone")), 0);
  EXPECT_EQ(openChoiceExtent(plain, QStringLiteral("m1")), 0);
}

TEST(InboxLayout, CardsChoicePartsAndButtonsForZeroToSixMessages) {
  for (int count = 0; count <= 6; ++count) {
    const std::vector<IslandMessage> list = messages(count);
    const auto [first, length] = fittedPageRange(list, std::nullopt, messagePageBaseLimit(281), 281);
    EXPECT_EQ(length, std::min(count, 3));
    InboxPageLayout layout(QSizeF(540, 501), OverlayMode::expanded,
                           std::vector<IslandMessage>(list.begin() + first, list.begin() + first + length), std::nullopt);
    for (int i = 0; i < length; ++i) {
      EXPECT_EQ(layout.messageRect(i), QRectF(12, 190 + 92 * i, 516, 84));
      EXPECT_FALSE(layout.choiceBodyRect(i));
    }
  }

  // An open choice card with a note and three options pushes the next card down.
  std::vector<IslandMessage> page = {message("a"), message("b", 3, true), message("c")};
  page[1].buttons = {{QStringLiteral("Jump"), QStringLiteral("jump")},
                     {QStringLiteral("OK"), QStringLiteral("approve")},
                     {QStringLiteral("Deny for this whole session"), QStringLiteral("deny")}};
  InboxPageLayout layout(QSizeF(540, 501), OverlayMode::expanded, page, QStringLiteral("b"));
  const QRectF card(12, 282, 516, 84);
  EXPECT_EQ(layout.messageRect(1), card);
  const qreal bodyHeight = 40 + 5 + 22 * 2 + 5;  // 94 -> 96
  EXPECT_EQ(layout.choiceBodyRect(1), QRectF(12, 374, 516, 96));
  EXPECT_EQ(layout.choiceNoteRect(1), QRectF(20, 382, 500, 24));
  const auto options = layout.choiceOptionRects(1);
  ASSERT_EQ(options.size(), 3u);
  EXPECT_EQ(options[0].second, QRectF(20, 411, 247, 22));
  EXPECT_EQ(options[1].second, QRectF(273, 411, 247, 22));
  EXPECT_EQ(options[2].second, QRectF(20, 438, 247, 22));
  EXPECT_EQ(layout.messageRect(2), QRectF(12, 374 + std::max<qreal>(96, bodyHeight) + 8, 516, 84));
  EXPECT_FALSE(layout.choiceBodyRect(0));
  EXPECT_TRUE(layout.choiceOptionRects(0).empty());

  // Buttons: answers first, the jump last, the row ending 12 inside the card; widths 48 to 78.
  const auto buttons = layout.actionButtonRects(1);
  ASSERT_EQ(buttons.size(), 3u);
  EXPECT_EQ(buttons[0].first.role, QStringLiteral("approve"));
  EXPECT_EQ(buttons[1].first.role, QStringLiteral("deny"));
  EXPECT_EQ(buttons[2].first.role, QStringLiteral("jump"));
  EXPECT_EQ(buttons[0].second.width(), 48);
  EXPECT_EQ(buttons[1].second.width(), 78);
  EXPECT_EQ(buttons[2].second.right(), card.right() - 12);
  EXPECT_EQ(buttons[1].second.left(), buttons[0].second.right() + 5);
  EXPECT_EQ(buttons[0].second.top(), card.bottom() - 22);
  EXPECT_EQ(buttons[0].second.height(), 18);
  EXPECT_TRUE(layout.actionButtonRects(0).empty());
  EXPECT_TRUE(layout.actionButtonRects(7).empty());
}

TEST(InboxLayout, EmptyLineAndToolbarOnlyWhenExpanded) {
  const InboxPageLayout expanded(QSizeF(540, 260), OverlayMode::expanded, {}, std::nullopt);
  EXPECT_EQ(expanded.emptyInboxRect(), QRectF(12, 201, 516, 18));
  EXPECT_EQ(expanded.topSettingsRect(), QRectF(505, 5, 24, 24));
  EXPECT_EQ(expanded.clearPageRect(), QRectF(476, 162, 22, 22));
  EXPECT_EQ(expanded.clearAllRect(), QRectF(504, 162, 22, 22));
  EXPECT_EQ(expanded.quitRect(), QRectF(507, 235, 20, 20));
  for (const OverlayMode mode : {OverlayMode::collapsed, OverlayMode::settings}) {
    const InboxPageLayout other(QSizeF(540, 260), mode, {}, std::nullopt);
    EXPECT_TRUE(other.topSettingsRect().isNull());
    EXPECT_TRUE(other.clearPageRect().isNull());
    EXPECT_TRUE(other.clearAllRect().isNull());
    EXPECT_TRUE(other.quitRect().isNull());
  }
}

}  // namespace
}  // namespace tandrel
