// The word and colour a notched capsule shows for each kind of ticker item.

#include "island/island_painters_ticker.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(TickerNotchStatus, EachKindShowsItsWordAndColour) {
  using K = CollapsedTickerKind;
  const QColor accent(10, 200, 30);
  const QColor amber = QColor::fromRgbF(245 / 255.0, 179 / 255.0, 1 / 255.0);
  const QColor orange = QColor::fromRgbF(1.0, 155 / 255.0, 61 / 255.0);
  const struct {
    K kind;
    const char* label;
    PetState pet;
    const char* word;
    QColor color;
  } cases[] = {
      {K::approval, "Need approve", PetState::idle, "Approve", amber},
      {K::message, "Deploying the branch", PetState::idle, "Deploy", accent},
      {K::message, "! ?", PetState::idle, "Msg", accent},
      {K::completion, "…", PetState::idle, "Done", accent},
      {K::usage, "5h 42% \u00B7 7d 10%", PetState::idle, "5h 42%", accent},
      {K::usage, "Usage limit \u00B7 Blocked", PetState::idle, "Limit", orange},
      {K::usage, "x", PetState::working, "Busy", accent},
      {K::idle, "All clear", PetState::idle, "Idle", QColor::fromRgbF(1, 1, 1, 0.58)},
      {K::idle, "All clear", PetState::working, "Busy", QColor::fromRgbF(139 / 255.0, 92 / 255.0, 246 / 255.0)},
  };
  for (const auto& c : cases) {
    CollapsedTickerDisplay display;
    display.kind = c.kind;
    display.label = QString::fromUtf8(c.label);
    display.accent = accent;
    EXPECT_EQ(macBookCollapsedStatusLabel(display, c.pet), QString::fromUtf8(c.word)) << c.label;
    EXPECT_EQ(macBookCollapsedStatusColor(display, c.pet), c.color) << c.label;
  }
}

}  // namespace
}  // namespace tandrel
