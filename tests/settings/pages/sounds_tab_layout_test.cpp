#include "settings/pages/sounds_tab_layout.h"

#include "settings/settings_frame.h"

#include <gtest/gtest.h>

namespace tandrel::sounds_tab {
namespace {

using Kind = SoundsTabClick::Kind;

TEST(SoundsTabLayoutTest, PanelsRowsAndButtonsOfTheStandardCatalogue) {
  const qreal w = 860;
  EXPECT_EQ(soundCategoryPanelY(-1), 276);
  EXPECT_EQ(soundCategoryPanelY(0), 276);
  EXPECT_EQ(soundCategoryPanelY(1), 502);
  EXPECT_EQ(soundCategoryPanelY(2), 728);
  EXPECT_EQ(soundCategoryPanelY(3), 954);
  EXPECT_EQ(soundCategoryPanelY(9), 954);
  EXPECT_EQ(soundCustomTitleY(), 958);
  EXPECT_EQ(soundImportRect(w), QRectF(168, 982, 672, 42));

  // Every play button is 24 x 24 and they share one left edge with the selected sound's.
  EXPECT_EQ(soundPlayButtonRect(176, w), QRectF(792, 193, 24, 24));
  EXPECT_EQ(soundPresetPlayRect(1, 2, w), QRectF(792, 502 + 42 + 116 + 17, 24, 24));

  EXPECT_EQ(importedSoundRowRect(0, 5, w), QRectF(168, 1060, 672, 58));
  EXPECT_EQ(importedSoundRowRect(4, 5, w), QRectF(168, 1060 + 4 * 58, 672, 58)) << "capped at the count, not at three";
  EXPECT_EQ(importedSoundRowRect(7, 2, w), importedSoundRowRect(2, 2, w));
  EXPECT_EQ(importedSoundDeleteRect(0, 1, w), QRectF(758, 1075, 26, 26));
  EXPECT_EQ(importedSoundAssignRect(1, 3, 2), QRectF(376, 1060 + 58 + 48, 86, 24));
}

TEST(SoundsTabLayoutTest, ClicksReachTheFirstRegionInRouteOrder) {
  const qreal w = 860;
  const std::vector<bool> threeOfFive = {false, false, true, false, false};
  struct Case {
    QPointF point;
    std::optional<SoundsTabClick> expected;
  };
  const QRectF mute = soundMuteToggleRect(w);
  const std::vector<Case> cases = {
      {mute.topLeft() - QPointF(5, 5), SoundsTabClick{Kind::toggleMute, {}, -1, {}}},
      {mute.topLeft() - QPointF(7, 0), std::nullopt},
      {QPointF(804, 205), SoundsTabClick{Kind::playSelected, {}, -1, {}}},
      {soundPresetPlayRect(2, 1, w).center(), SoundsTabClick{Kind::playPreset, "seatbelt-chime", -1, {}}},
      {QPointF(300, soundPresetRowRect(0, 0, w).center().y()), SoundsTabClick{Kind::selectPreset, "voxel-confirm", -1, {}}},
      {soundImportRect(w).center(), SoundsTabClick{Kind::importSound, {}, -1, {}}},
      {soundPlayButtonRect(importedSoundRowRect(2, 5, w).top(), w).center(), SoundsTabClick{Kind::playImported, {}, 2, {}}},
      {importedSoundDeleteRect(1, 5, w).center(), SoundsTabClick{Kind::deleteImported, {}, 1, {}}},
      {importedSoundRowRect(0, 5, w).center(), SoundsTabClick{Kind::selectImported, {}, 0, {}}},
      // A pill's upper part lies in its row and its lower part in the next, which win when drawn:
      // only the last drawn row's pills can be reached, and only rows that show them.
      {importedSoundAssignRect(2, 5, 3).center() + QPointF(0, 8), SoundsTabClick{Kind::assignImported, {}, 2, "Pet sounds"}},
      {importedSoundAssignRect(2, 5, 3).center() - QPointF(0, 8), SoundsTabClick{Kind::selectImported, {}, 2, {}}},
      {importedSoundAssignRect(1, 5, 0).center() + QPointF(0, 8), SoundsTabClick{Kind::selectImported, {}, 2, {}}},
      {importedSoundRowRect(3, 5, w).center() + QPointF(0, 10), std::nullopt},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(soundsTabClick(cases[i].point, w, threeOfFive), cases[i].expected) << "case " << i;
  }
}

// The rows end 20 before the view's right edge, where the other tabs end their switches and
// buttons: 8 clear of the scroll track, whatever the panel's width.
TEST(SoundsTabLayoutTest, RowsAndTheirClickAreasKeepClearOfTheScrollTrack) {
  for (const qreal w : {860.0, 700.0}) {
    const QRectF viewport = settings_frame::viewportRect(QSizeF(w, 780));
    const QRectF track = settings_frame::scrollIndicator(viewport, w, 5000, 0)->track;
    const std::vector<QRectF> rows = {QRectF(kRowX, kSelectedCardY, soundRowWidth(w), kRowHeight),
                                      soundPresetRowRect(2, 2, w), soundImportRect(w), importedSoundRowRect(2, 3, w)};
    for (const QRectF& row : rows) {
      EXPECT_EQ(row.right(), w - 20) << "width " << w;
      EXPECT_EQ(track.left() - row.right(), 8) << "width " << w;
    }
    for (const SoundsTabRegion& region : soundsTabRegions(w, {true, true, true})) {
      EXPECT_LE(region.rect.right(), track.left() - 8)
          << "width " << w << " kind " << static_cast<int>(region.click.kind);
    }
    EXPECT_EQ(soundPlayButtonRect(kSelectedCardY, w).right(), w - 20 - 24) << "width " << w;
  }
}

}  // namespace
}  // namespace tandrel::sounds_tab
