#include "ui/island_geometry.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>

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
  // An open choice card's body adds its height to the island; nothing without messages.
  const struct {
    int messages;
    qreal extent;
    qreal height;
  } open[] = {{0, 104, 260}, {1, 104, 421}, {1, -5, 317}, {2, 104, 513}, {3, 104, 605}, {12, 129, 630}};
  for (const auto& c : open) {
    EXPECT_DOUBLE_EQ(expandedOverlayHeight(c.messages, c.extent), c.height) << c.messages << " " << c.extent;
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

namespace tandrel {
namespace {

TEST(IslandGeometry, ExternalCapsuleParts) {
  const QRectF body(5, 0, 322, 32);
  EXPECT_EQ(externalCollapsedToolLogoRect(body), QRectF(51, 7, 16, 16));
  EXPECT_EQ(externalCollapsedStatusTextRect(body, 8, false), QRectF(75, 8, 234, 16));
  EXPECT_EQ(externalCollapsedStatusTextRect(body, 8, true), QRectF(75, 8, 178, 16));
  const QRectF deadline = externalCollapsedDeadlineRect(body, 8);
  EXPECT_EQ(deadline, QRectF(227, 8, 92, 16));
  EXPECT_EQ(externalCollapsedStatusTextRect(body, 8, deadline), QRectF(75, 8, 146, 16));
  EXPECT_EQ(externalCollapsedUsageTextRect(body, 8, deadline), QRectF(75, 8, 146, 16));
  EXPECT_EQ(externalCollapsedUsageTextRect(body, 8, std::nullopt), QRectF(75, 8, 234, 16));
  // A very narrow body keeps 44 for the text.
  EXPECT_EQ(externalCollapsedStatusTextRect(QRectF(0, 0, 100, 32), 8, true).width(), 44);
}

TEST(IslandGeometry, TheExpandedHoverRegionIsTheFrameGrownByEighteen) {
  const QRectF frame(1440, 100, 540, 501);  // x 1440..1980, y 100..601
  const struct {
    QPointF point;
    bool inside;
  } cases[] = {
      {{1710, 350}, true},          // the centre
      {{1710, 100 - 17}, true},     // 17 above the top edge
      {{1710, 100 - 18}, true},     // on the region's edge
      {{1710, 100 - 19}, false},    // 19 above
      {{1980 + 17, 350}, true},     // 17 right of the panel
      {{1980 + 19, 350}, false},    // 19 right
      {{1440 - 19, 350}, false},    // 19 left
      {{1710, 601 + 17}, true},     // 17 below
      {{1980 + 80, 601 + 80}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(insideExpandedHoverRegion(frame, c.point), c.inside) << c.point.x() << "," << c.point.y();
  }
}

TEST(IslandGeometry, AspectFit) {
  EXPECT_EQ(aspectFitRect(QSizeF(100, 50), QRectF(0, 0, 40, 40)), QRectF(0, 10, 40, 20));
  EXPECT_EQ(aspectFitRect(QSizeF(10, 30), QRectF(10, 10, 60, 60)), QRectF(30, 10, 20, 60));
  EXPECT_EQ(aspectFitRect(QSizeF(0, 10), QRectF(1, 2, 3, 4)), QRectF(1, 2, 3, 4));
  EXPECT_EQ(aspectFitRect(QSizeF(10, 10), QRectF(1, 2, 0, 4)), QRectF(1, 2, 0, 4));
}

TEST(IslandGeometryGui, TheStatusFontIsTheIslandFamilyFittedInHalfPixelSteps) {
  const QFont font = externalCollapsedStatusFont();
  EXPECT_TRUE(QFontInfo(font).family() == "Inter" || QFontInfo(font).family() == "DejaVu Sans")
      << QFontInfo(font).family().toStdString();
  EXPECT_DOUBLE_EQ(font.pointSizeF() * 96 / 72, 11);
  EXPECT_EQ(font.weight(), QFont::DemiBold);

  const QString text = QStringLiteral("Need approve · Claude Code");
  const qreal full = QFontMetricsF(islandFont(11, QFont::DemiBold)).horizontalAdvance(text);
  EXPECT_EQ(externalCollapsedStatusFont(text, full).pointSizeF() * 96 / 72, 11);
  // A width 1 narrower: the largest half-pixel size that fits (the font engine may round sizes,
  // so the next larger size is measured rather than assumed).
  const QFont fitted = externalCollapsedStatusFont(text, full - 1);
  const qreal size = fitted.pointSizeF() * 96 / 72;
  EXPECT_LT(size, 11);
  EXPECT_GE(size, 9.5);
  EXPECT_LE(QFontMetricsF(fitted).horizontalAdvance(text), full - 1);
  if (size > 9.5) {
    EXPECT_GT(QFontMetricsF(islandFont(size + 0.5, QFont::DemiBold)).horizontalAdvance(text), full - 1);
  }
  EXPECT_EQ(externalCollapsedStatusFont(text, 5).pointSizeF() * 96 / 72, 9.5);  // too wide even then
}

}  // namespace
}  // namespace tandrel
