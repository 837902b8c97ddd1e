#include "ui/high_contrast.h"

#include <QColor>

#include <algorithm>

namespace tandrel {

void applyColorControls(QImage& image, double contrast, double saturation) {
  const QImage::Format format = image.format();
  const qreal ratio = image.devicePixelRatio();
  // Straight (not premultiplied) colour, so that the controls see each pixel's own colour.
  QImage straight = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < straight.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(straight.scanLine(y));
    for (int x = 0; x < straight.width(); ++x) {
      const QRgb pixel = line[x];
      const double r = qRed(pixel) / 255.0;
      const double g = qGreen(pixel) / 255.0;
      const double b = qBlue(pixel) / 255.0;
      const double luma = 0.2125 * r + 0.7154 * g + 0.0721 * b;
      const auto adjust = [&](double channel) {
        const double saturated = luma + (channel - luma) * saturation;
        return static_cast<int>(std::clamp((saturated - 0.5) * contrast + 0.5, 0.0, 1.0) * 255.0 + 0.5);
      };
      line[x] = qRgba(adjust(r), adjust(g), adjust(b), qAlpha(pixel));
    }
  }
  image = straight.convertToFormat(format);
  image.setDevicePixelRatio(ratio);
}

void applyHighContrast(QImage& image) { applyColorControls(image, kHighContrastContrast, kHighContrastSaturation); }

}  // namespace tandrel
