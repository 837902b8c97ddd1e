#pragma once

// Measures of a rendered island image, for the visual self-checks and the renderer's tests.
// Rectangles are in the view's points; an image drawn at a device pixel ratio of 2 has two pixels
// per point, and every measure reads the pixels under the rectangle at the image's own ratio. Of a
// pixel with red r, green g, blue b and alpha a (0...1, not premultiplied):
//   luminance  = a × (0.2126 r + 0.7152 g + 0.0722 b)
//   saturation = a × (max(r, g, b) − min(r, g, b))
// so a transparent pixel has neither, whatever its colour. The part of a rectangle outside the
// image is left out; a rectangle wholly outside it finds nothing.

#include <QImage>
#include <QPointF>
#include <QRectF>

#include <optional>

namespace tandrel::pixel_measures {

double luminance(const QColor& color);
double saturation(const QColor& color);

// The largest luminance or saturation under `rect`; 0 when it covers no pixel.
double maxLuminance(const QImage& image, const QRectF& rect);
double maxSaturation(const QImage& image, const QRectF& rect);
// The largest alpha under `rect`; 0 when it covers no pixel.
double maxAlpha(const QImage& image, const QRectF& rect);
// The alpha of the pixel at `point` (points); 0 outside the image.
double alphaAt(const QImage& image, QPointF point);

// The bounds, in points, of the pixels under `rect` whose luminance is at least the minimum.
std::optional<QRectF> visibleBounds(const QImage& image, const QRectF& rect, double minimumLuminance);
// The bounds of the pixels whose saturation is at least the minimum and whose luminance is at
// least 0.1 (a saturated but dark pixel is not coloured).
std::optional<QRectF> coloredBounds(const QImage& image, const QRectF& rect, double minimumSaturation);

}  // namespace tandrel::pixel_measures
