#pragma once

// The high-contrast setting's colour pass over a drawn image: saturation raised by 1.08 around
// each pixel's luminance, then contrast raised by 1.22 around mid-grey. The view runs it over every
// frame it paints while the setting is on, on screen and in renders alike.

#include <QImage>

namespace tandrel {

inline constexpr double kHighContrastContrast = 1.22;
inline constexpr double kHighContrastSaturation = 1.08;

// Applies the colour controls to `image` in place (any format; the result keeps the format and
// the device pixel ratio). Alpha is kept.
void applyColorControls(QImage& image, double contrast, double saturation);
void applyHighContrast(QImage& image);

}  // namespace tandrel
