#include "island/island_geometry.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(IslandGeometry, ExpandedHeightFollowsTheMessageCountUpToFiveCards) {
  const struct {
    int messages;
    qreal height;
  } cases[] = {{-1, 260}, {0, 260}, {1, 317}, {2, 409}, {3, 501}, {5, 501}, {12, 501}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(expandedOverlayHeight(c.messages), c.height) << c.messages;
  }
  EXPECT_EQ(expandedOverlaySize(false), QSizeF(540, 260));
  EXPECT_EQ(expandedOverlaySize(true), QSizeF(540, 501));
  EXPECT_EQ(overlayModeSize(OverlayMode::collapsed), QSizeF(332, 32));
  EXPECT_EQ(overlayModeSize(OverlayMode::expanded), QSizeF(540, 501));
  EXPECT_EQ(overlayModeSize(OverlayMode::settings), QSizeF(860, 780));
}

TEST(IslandGeometry, CollapsedHeightFollowsTheTopBandAndTheCameraHousing) {
  const struct {
    DisplayKind kind;
    qreal reserved, safeInset, height;
  } cases[] = {
      {DisplayKind::macBookPhysical, 37, 32, 36.3},
      {DisplayKind::macBookPhysical, 24.2, 32, 32},
      {DisplayKind::macBookPhysical, 0, 38, 37.3},
      {DisplayKind::macBookPhysical, 0, 0, 32},
      {DisplayKind::externalVirtual, 24.2, 0, 25},
      {DisplayKind::externalVirtual, 37, 0, 37},
      {DisplayKind::externalVirtual, 0, 0, 32},
      {DisplayKind::externalVirtual, -5, 40, 32},  // the safe inset plays no part off a notch
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(collapsedOverlayHeight(c.kind, c.reserved, c.safeInset), c.height, 1e-9)
        << int(c.kind) << " " << c.reserved << " " << c.safeInset;
  }
  EXPECT_EQ(collapsedOverlaySize(DisplayKind::externalVirtual, 0, 0), QSizeF(332, 32));
}

TEST(IslandGeometry, SettingsPanelDefaultAndClampedFrames) {
  // Centred in the inset area, at most 860 x 780, no minimum.
  EXPECT_EQ(settingsPanelDefaultFrame(QRectF(0, 0, 1920, 1080)), QRectF(530, 150, 860, 780));
  EXPECT_EQ(settingsPanelDefaultFrame(QRectF(100, 30, 700, 500)), QRectF(112, 42, 676, 476));

  const struct {
    QRectF frame, area, expected;
  } cases[] = {
      // Too tall: shrunk to the inset area, pinned inside.
      {QRectF(0, 0, 900, 900), QRectF(0, 0, 1440, 875), QRectF(12, 12, 900, 851)},
      // Far off to the right: its right edge comes back 12 inside.
      {QRectF(5000, 100, 860, 700), QRectF(0, 0, 1440, 900), QRectF(568, 100, 860, 700)},
      // Fits: kept exactly.
      {QRectF(300, 40, 700, 600), QRectF(0, 0, 1920, 1080), QRectF(300, 40, 700, 600)},
      // Never below 680 x 520, pinned to the top-left edge of a small area.
      {QRectF(50, 50, 300, 200), QRectF(0, 0, 600, 400), QRectF(12, 12, 680, 520)},
      // Below and left of a second screen's area.
      {QRectF(1000, 900, 860, 780), QRectF(1920, 0, 1280, 1024), QRectF(1932, 232, 860, 780)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(clampedSettingsPanelFrame(c.frame, c.area), c.expected) << c.frame.x() << "," << c.frame.y();
  }

  EXPECT_EQ(settingsPanelDesktopFrame({}), QRectF(0, 0, 884, 804));
  EXPECT_EQ(settingsPanelDesktopFrame({QRectF(0, 27, 1920, 1053), QRectF(1920, 0, 1280, 1024)}),
            QRectF(0, 0, 3200, 1080));
}

}  // namespace
}  // namespace tandrel
