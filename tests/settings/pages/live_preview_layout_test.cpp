#include "settings/pages/live_preview_layout.h"

#include <gtest/gtest.h>

namespace tandrel::live_preview {
namespace {

TEST(LivePreviewLayoutTest, MotionCurvesOfThePhase) {
  const std::pair<double, qreal> floating[] = {{0, 0}, {0.75, -1}, {1.5, -2}, {3, 0}, {-0.75, -1}};
  for (const auto& [phase, y] : floating) EXPECT_NEAR(floatingY(phase), y, 1e-9) << phase;
  const std::pair<double, qreal> roaming[] = {{0, 24}, {0.8, 41}, {1.6, 58}, {2.4, 50}, {3.2, 24}, {-1.6, 58}};
  for (const auto& [phase, pct] : roaming) EXPECT_NEAR(roamingLeftPct(phase), pct, 1e-9) << phase;
  EXPECT_NEAR(roamingLeftPct(3.2 - 1e-9), 42, 1e-6);  // and then the jump back to 24
}

TEST(LivePreviewLayoutTest, SizesSliderAndPills) {
  const QRectF track(704, 500, 96, 5);
  EXPECT_DOUBLE_EQ(sliderScale(600, track), 0.75);
  EXPECT_DOUBLE_EQ(sliderScale(900, track), 1.6);
  EXPECT_DOUBLE_EQ(sliderScale(752, track), 1.175);
  EXPECT_DOUBLE_EQ(previewPetSide(1.5), 92.8);
  EXPECT_DOUBLE_EQ(previewPetSide(0.7), 48);
  EXPECT_DOUBLE_EQ(previewPetSide(1.0), 64);
  EXPECT_TRUE(sizeChosen(1.28, 1.28));
  EXPECT_FALSE(sizeChosen(1.3, 1.28));
  const QRectF control = sizeControlRect(391);
  EXPECT_EQ(control, QRectF(568, 495, 268, 28));
  EXPECT_EQ(sizePillRects(control)[2], QRectF(674, 499, 24, 20));
  EXPECT_EQ(sliderTrackRect(control), QRectF(704, 507, 96, 5));
  EXPECT_EQ(canvasRect(391), QRectF(180, 533, 656, 190));
  EXPECT_EQ(headerRect(391), QRectF(180, 439, 656, 56));
  EXPECT_EQ(panelRect(391).bottom(), 391 + 36 + 372);
  // The mode pills run left to right on the row, clear of the size control.
  const auto modes = modeRowPillRects(modeRowRect(391));
  ASSERT_EQ(modes.size(), 4u);
  EXPECT_EQ(modes[0].second.topLeft(), QPointF(180, 499));
  EXPECT_EQ(modes[1].second.left(), modes[0].second.right() + 6);
  EXPECT_LT(modes[3].second.right(), control.left());
}

TEST(LivePreviewLayoutTest, StatePillsFillCentredRowsAndAWidePillStandsAlone) {
  const auto wide = statePillRects(QRectF(180, 731, 656, 56));
  ASSERT_EQ(wide.size(), 8u);
  EXPECT_EQ(wide.front().first, PetPreviewStateID::idle);
  EXPECT_EQ(wide.back().first, PetPreviewStateID::sleeping);
  EXPECT_EQ(wide.front().second.top(), 735);
  EXPECT_EQ(wide.back().second.top(), 735);
  // Centred: as much room on the left as on the right.
  EXPECT_NEAR(wide.front().second.left() - 180, 836 - wide.back().second.right(), 1e-9);

  const auto narrow = statePillRects(QRectF(0, 0, 200, 56));
  for (size_t i = 1; i < narrow.size(); ++i) {
    const QRectF& a = narrow[i - 1].second;
    const QRectF& b = narrow[i].second;
    if (b.top() == a.top()) {
      EXPECT_EQ(b.left(), a.right() + 6);
    } else {
      EXPECT_EQ(b.top(), a.top() + 28);
    }
  }
  EXPECT_GT(narrow.back().second.top(), 4);

  const auto tiny = statePillRects(QRectF(0, 0, 10, 56));
  for (size_t i = 0; i < tiny.size(); ++i) {
    EXPECT_EQ(tiny[i].second.top(), 4 + 28 * static_cast<qreal>(i));
    EXPECT_EQ(tiny[i].second.left(), 0);  // wider than the area: not centred into negative room
  }
}

}  // namespace
}  // namespace tandrel::live_preview
