#include "settings/pages/pets_page_layout.h"

#include <gtest/gtest.h>

namespace tandrel::pets_page {
namespace {

TEST(PetsPageLayoutTest, TheListIsAtLeastOneRowHighAndThePreviewFollowsIt) {
  EXPECT_EQ(petListCardRect(0), QRectF(168, 333, 680, 58));
  EXPECT_EQ(livePreviewTop(0), 391);
  EXPECT_EQ(livePreviewTop(1), 391);
  EXPECT_EQ(livePreviewTop(4), 565);
  EXPECT_EQ(petRowRect(2), QRectF(168, 449, 680, 58));
  EXPECT_EQ(petAvatarBoxRect(petRowRect(0)), QRectF(180, 344, 36, 36));
  EXPECT_EQ(petDetailRect(petRowRect(0)), QRectF(228, 366, 580, 18));
  EXPECT_EQ(petRowSeparatorRect(petRowRect(0)), QRectF(168, 390, 680, 1));
  EXPECT_EQ(desktopPetToggleRect(860), QRectF(804, 108, 36, 20));
  EXPECT_EQ(refreshButtonRect(860), QRectF(728, 162, 112, 36));
  EXPECT_EQ(refreshSeparatorRect(860), QRectF(168, 209, 680, 1));
}

TEST(PetsPageLayoutTest, BadgesFollowTheCappedNameAndBuiltInsKeepTheirMarkFurtherRight) {
  const QRectF row = petRowRect(0);
  EXPECT_EQ(petBadgeX(row, 50.2), 228 + 51 + 6);
  EXPECT_EQ(petBadgeX(row, 400), 444);
  EXPECT_EQ(petBadgeY(row), 347);
  EXPECT_EQ(petSelectionMarkRect(row, true, true), QRectF(790, 352, 20, 20));
  EXPECT_EQ(petSelectionMarkRect(row, true, false), QRectF(816, 352, 20, 20));
  EXPECT_EQ(petSelectionMarkRect(row, false, true), QRectF(792, 354, 16, 16));
  EXPECT_EQ(petSelectionMarkRect(row, false, false).x() - petSelectionMarkRect(row, false, true).x(), 26);
  EXPECT_EQ(petDeleteButtonRect(row), QRectF(816, 348, 26, 26));
}

TEST(PetsPageLayoutTest, ClicksReachTheFirstRegionInOrder) {
  using Kind = PetsPageClick::Kind;
  const std::vector<bool> deletable = {false, false, true, false};
  const struct {
    QPointF point;
    std::optional<PetsPageClick> click;
  } cases[] = {
      {{810, 115}, PetsPageClick{Kind::toggleDesktopPet}},
      {{740, 170}, PetsPageClick{Kind::refresh}},
      {{500, 270}, PetsPageClick{Kind::importPet}},
      {{820, 333 + 116 + 20}, PetsPageClick{Kind::deletePet, 2}},
      {{820, 333 + 20}, PetsPageClick{Kind::selectPet, 0}},  // a built-in has no delete button
      {{300, 333 + 116 + 20}, PetsPageClick{Kind::selectPet, 2}},
      {{300, 333 + 3 * 58 + 57}, PetsPageClick{Kind::selectPet, 3}},
      {{300, 333 + 4 * 58}, std::nullopt},  // the live preview
      {{728 + 112, 170}, std::nullopt},      // right edges belong to the next region
      {{728, 162}, PetsPageClick{Kind::refresh}},
      {{160, 340}, std::nullopt},
      {{500, 230}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(petsPageClick(c.point, 860, deletable), c.click) << c.point.x() << "," << c.point.y();
  }
  EXPECT_EQ(petsPageClick({300, 340}, 860, {}), std::nullopt);
}

}  // namespace
}  // namespace tandrel::pets_page
