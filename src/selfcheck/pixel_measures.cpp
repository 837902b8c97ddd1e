#include "selfcheck/pixel_measures.h"

#include <QColor>

#include <algorithm>
#include <cmath>
#include <functional>

namespace tandrel::pixel_measures {
namespace {

// The pixel columns and rows under a rectangle of points, clipped to the image.
struct PixelSpan {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  bool empty() const { return left >= right || top >= bottom; }
};

PixelSpan pixelSpan(const QImage& image, const QRectF& rect) {
  const qreal ratio = image.devicePixelRatio();
  const auto clampTo = [](double value, int limit) { return static_cast<int>(std::clamp(value, 0.0, double(limit))); };
  PixelSpan span;
  span.left = clampTo(std::floor(rect.left() * ratio), image.width());
  span.top = clampTo(std::floor(rect.top() * ratio), image.height());
  span.right = clampTo(std::ceil(rect.right() * ratio), image.width());
  span.bottom = clampTo(std::ceil(rect.bottom() * ratio), image.height());
  return span;
}

void forEachPixel(const QImage& image, const QRectF& rect, const std::function<void(int, int, const QColor&)>& visit) {
  const PixelSpan span = pixelSpan(image, rect);
  if (span.empty()) {
    return;
  }
  for (int y = span.top; y < span.bottom; ++y) {
    for (int x = span.left; x < span.right; ++x) {
      visit(x, y, image.pixelColor(x, y));
    }
  }
}

double maxOver(const QImage& image, const QRectF& rect, double (*measure)(const QColor&)) {
  double best = 0;
  forEachPixel(image, rect, [&](int, int, const QColor& color) { best = std::max(best, measure(color)); });
  return best;
}

std::optional<QRectF> boundsOf(const QImage& image, const QRectF& rect, const std::function<bool(const QColor&)>& qualifies) {
  std::optional<QRect> found;
  forEachPixel(image, rect, [&](int x, int y, const QColor& color) {
    if (qualifies(color)) {
      found = found ? found->united(QRect(x, y, 1, 1)) : QRect(x, y, 1, 1);
    }
  });
  if (!found) {
    return std::nullopt;
  }
  const qreal ratio = image.devicePixelRatio();
  return QRectF(found->x() / ratio, found->y() / ratio, found->width() / ratio, found->height() / ratio);
}

double alphaOf(const QColor& color) { return color.alphaF(); }

}  // namespace

double luminance(const QColor& color) {
  const QColor rgb = color.toRgb();
  return rgb.alphaF() * (0.2126 * rgb.redF() + 0.7152 * rgb.greenF() + 0.0722 * rgb.blueF());
}

double saturation(const QColor& color) {
  const QColor rgb = color.toRgb();
  const double high = std::max({rgb.redF(), rgb.greenF(), rgb.blueF()});
  const double low = std::min({rgb.redF(), rgb.greenF(), rgb.blueF()});
  return rgb.alphaF() * (high - low);
}

double maxLuminance(const QImage& image, const QRectF& rect) { return maxOver(image, rect, luminance); }
double maxSaturation(const QImage& image, const QRectF& rect) { return maxOver(image, rect, saturation); }
double maxAlpha(const QImage& image, const QRectF& rect) { return maxOver(image, rect, alphaOf); }

double alphaAt(const QImage& image, QPointF point) {
  const qreal ratio = image.devicePixelRatio();
  const QPoint pixel(static_cast<int>(std::floor(point.x() * ratio)), static_cast<int>(std::floor(point.y() * ratio)));
  return image.valid(pixel) ? image.pixelColor(pixel).alphaF() : 0;
}

std::optional<QRectF> visibleBounds(const QImage& image, const QRectF& rect, double minimumLuminance) {
  return boundsOf(image, rect, [minimumLuminance](const QColor& color) { return luminance(color) >= minimumLuminance; });
}

std::optional<QRectF> coloredBounds(const QImage& image, const QRectF& rect, double minimumSaturation) {
  return boundsOf(image, rect, [minimumSaturation](const QColor& color) {
    return saturation(color) >= minimumSaturation && luminance(color) >= 0.1;
  });
}

}  // namespace tandrel::pixel_measures
