#include "settings/settings_frame.h"

#include "ui/high_contrast.h"
#include "ui/island_geometry.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>

#include <optional>

namespace tandrel {
namespace {

using namespace settings_frame;

TEST(SettingsFrame, SidebarRowsHeaderAndViewport) {
  EXPECT_EQ(tabRowRect(0), QRectF(8, 68, 131, 36));
  EXPECT_EQ(tabRowRect(4), QRectF(8, 218, 131, 36));
  EXPECT_EQ(tabAt(QPointF(20, 110)), SettingsTab::pets);      // row 1: 105.5 … 141.5
  EXPECT_EQ(tabAt(QPointF(20, 142)), std::nullopt);           // the gap between rows
  EXPECT_EQ(tabAt(QPointF(138, 230)), SettingsTab::about);
  EXPECT_EQ(tabAt(QPointF(141, 230)), std::nullopt);          // right of the rows
  EXPECT_EQ(headerStripRect(860), QRectF(148, 0, 712, 74));
  EXPECT_EQ(headerStripRect(100), QRectF(148, 0, 0, 74));
  EXPECT_EQ(viewportRect(QSizeF(860, 780)), QRectF(148, 74, 712, 706));
  // Content y 0 sits 20 below the view's top, moved up by the scroll offset.
  EXPECT_EQ(contentPoint(QPointF(800, 105), 0), QPointF(800, 85));
  EXPECT_EQ(contentPoint(QPointF(800, 5), 100), QPointF(800, 85));
  EXPECT_EQ(viewY(85, 100), 5);
}

TEST(SettingsFrame, TheStatusBannerStaysInTheHeaderClearOfTheTitleAndThePage) {
  const QFontMetricsF titleMetrics(islandFont(15, QFont::DemiBold));
  for (const qreal width : {680.0, 860.0, 1200.0}) {
    SCOPED_TRACE(width);
    const QRectF banner = statusBannerRect(width);
    EXPECT_TRUE(headerStripRect(width).contains(banner));
    EXPECT_LE(banner.bottom(), viewportRect(QSizeF(width, 780)).top());
    EXPECT_EQ(banner.height(), 30);
    EXPECT_EQ(banner.right(), width - 20);
    EXPECT_GE(banner.width(), 300);
    for (const SettingsTab tab : kTabs) {
      EXPECT_GT(banner.left(), 192 + titleMetrics.horizontalAdvance(rawValue(tab))) << rawValue(tab).toStdString();
    }
  }
}

TEST(SettingsFrame, WheelScrollingStaysWithinTheContent) {
  const struct {
    qreal offset, delta, content, viewport;
    std::optional<qreal> next;
  } cases[] = {
      {0, -50, 706, 706, std::nullopt},    // the content fits: nothing moves
      {0, -50, 500, 706, std::nullopt},
      {0, -50, 1000, 706, 50},             // down by 50
      {250, -5000, 1000, 706, 294},        // far past the end stops at the end
      {40, 5000, 1000, 706, 0},            // far past the top stops at 0
      {0, 10, 1000, 706, std::nullopt},    // already at the top
      {100, 0.0005, 1000, 706, std::nullopt},  // too small a move
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scrolledOffset(c.offset, c.delta, c.content, c.viewport), c.next)
        << c.offset << " " << c.delta << " " << c.content;
  }
}

TEST(SettingsFrame, TheScrollIndicatorShowsTheVisibleShareAndTheOffset) {
  const QRectF viewport(148, 74, 712, 706);
  EXPECT_FALSE(scrollIndicator(viewport, 860, 706, 0));
  EXPECT_FALSE(scrollIndicator(viewport, 860, 706.4, 0));
  const auto top = scrollIndicator(viewport, 860, 1412, 0);
  ASSERT_TRUE(top);
  EXPECT_EQ(top->track, QRectF(848, 80, 4, 694));
  EXPECT_EQ(top->thumb, QRectF(848, 80, 4, 347));  // half the content is visible
  const auto end = scrollIndicator(viewport, 860, 1412, 706);
  EXPECT_EQ(end->thumb, QRectF(848, 427, 4, 347));
  const auto past = scrollIndicator(viewport, 860, 1412, 5000);
  EXPECT_EQ(past->thumb, end->thumb);
  // A very long page keeps a thumb of at least 8 % of the track.
  const auto longPage = scrollIndicator(viewport, 860, 100000, 0);
  EXPECT_DOUBLE_EQ(longPage->thumb.height(), 694 * 0.08);
  // A range under one point places the thumb by the offset itself.
  const auto tiny = scrollIndicator(viewport, 860, 706.75, 0.5);
  EXPECT_DOUBLE_EQ(tiny->thumb.top(), 80 + (694 - tiny->thumb.height()) * 0.5);
}

TEST(HighContrast, RaisesSaturationAndContrastAndKeepsAlphaAndGrey) {
  QImage image(3, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(128, 128, 128, 255));  // mid-grey stays
  image.setPixel(1, 0, qRgba(204, 51, 51, 255));
  image.setPixel(2, 0, qRgba(30, 30, 30, 128));
  image.setDevicePixelRatio(2);
  applyHighContrast(image);
  EXPECT_EQ(image.format(), QImage::Format_ARGB32);
  EXPECT_EQ(image.devicePixelRatio(), 2);
  const QRgb grey = image.pixel(0, 0);
  EXPECT_NEAR(qRed(grey), 128, 1);
  EXPECT_EQ(qRed(grey), qBlue(grey));
  const QRgb red = image.pixel(1, 0);
  EXPECT_GT(qRed(red), 204);
  EXPECT_LT(qGreen(red), 51);
  EXPECT_EQ(qGreen(red), qBlue(red));
  const QRgb dark = image.pixel(2, 0);
  EXPECT_LT(qRed(dark), 30);  // darker than mid-grey gets darker
  EXPECT_EQ(qAlpha(dark), 128);
}

}  // namespace
}  // namespace tandrel
