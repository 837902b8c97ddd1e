#include "selfcheck/pixel_measures.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QPainter>

namespace tandrel {
namespace {

using namespace pixel_measures;

// A transparent 20 x 10 point image at `ratio` with: a white square at (2, 2, 3, 3), a pure red
// square at (10, 4, 2, 2), a dark saturated blue pixel at (15, 1), and a bright red pixel at
// (17, 8) drawn fully transparent.
QImage sampleImage(qreal ratio) {
  QImage image(QSize(20, 10) * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.fillRect(QRectF(2, 2, 3, 3), Qt::white);
  painter.fillRect(QRectF(10, 4, 2, 2), QColor(255, 0, 0));
  painter.fillRect(QRectF(15, 1, 1, 1), QColor(0, 0, 60));
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(QRectF(17, 8, 1, 1), QColor(255, 0, 0, 0));
  return image;
}

TEST(PixelMeasures, LuminanceAndSaturationWeighColourByAlpha) {
  const struct {
    QColor color;
    double luminance, saturation;
  } cases[] = {
      {QColor(255, 255, 255), 1.0, 0.0},
      {QColor(255, 0, 0), 0.2126, 1.0},
      {QColor(0, 255, 0, 0), 0.0, 0.0},  // transparent: nothing, whatever the colour
      {QColor::fromRgbF(1, 0, 0, 0.5), 0.1063, 0.5},
      {QColor::fromRgbF(0.5, 0.5, 0.5), 0.5, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(luminance(c.color), c.luminance, 1e-4) << c.color.name(QColor::HexArgb).toStdString();
    EXPECT_NEAR(saturation(c.color), c.saturation, 1e-4) << c.color.name(QColor::HexArgb).toStdString();
  }
}

TEST(PixelMeasures, MeasuresAndBoundsInPointsAtEitherPixelRatio) {
  for (const qreal ratio : {1.0, 2.0}) {
    SCOPED_TRACE(ratio);
    const QImage image = sampleImage(ratio);
    const QRectF whole(0, 0, 20, 10);
    EXPECT_NEAR(maxLuminance(image, whole), 1.0, 1e-9);
    EXPECT_NEAR(maxSaturation(image, whole), 1.0, 1e-9);
    EXPECT_EQ(visibleBounds(image, whole, 0.9), QRectF(2, 2, 3, 3));
    // The red square only: the dark blue pixel is saturated but below 0.1 luminance, the
    // transparent red one counts as nothing.
    EXPECT_EQ(coloredBounds(image, whole, 0.5), QRectF(10, 4, 2, 2));
    EXPECT_NEAR(maxSaturation(image, QRectF(17, 8, 1, 1)), 0.0, 1e-9);
    EXPECT_NEAR(maxAlpha(image, QRectF(15, 0, 5, 10)), 1.0, 1e-9);
    EXPECT_NEAR(alphaAt(image, QPointF(3.5, 3.5)), 1.0, 1e-9);
    EXPECT_NEAR(alphaAt(image, QPointF(0.5, 0.5)), 0.0, 1e-9);

    // Partly outside: clipped to the image; wholly outside or empty: nothing.
    EXPECT_EQ(visibleBounds(image, QRectF(-5, -5, 9, 9), 0.9), QRectF(2, 2, 2, 2));
    EXPECT_EQ(visibleBounds(image, QRectF(25, 0, 5, 5), 0.0), std::nullopt);
    EXPECT_EQ(coloredBounds(image, QRectF(10, 4, 0, 2), 0.0), std::nullopt);
    EXPECT_EQ(maxLuminance(image, QRectF(0, -20, 20, 5)), 0.0);
    EXPECT_EQ(alphaAt(image, QPointF(20.5, 3)), 0.0);
  }
}

}  // namespace
}  // namespace tandrel
