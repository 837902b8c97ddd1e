#pragma once

// The Pets tab's live preview section as pure functions, in the settings page's content
// coordinates (y down): the section starts at `below`, the bottom of the pet list; the drawing,
// the click routes, the preview driver and the fixture renderer read these. Also the preview's two
// motion curves and the size slider's mapping.

#include "events/pet_preview_state.h"
#include "ui/overlay_settings.h"

#include <QPointF>
#include <QRectF>

#include <utility>
#include <vector>

namespace tandrel::live_preview {

inline constexpr qreal kContentLeft = 180;
inline constexpr qreal kContentWidth = 656;
inline constexpr qreal kSizeControlWidth = 268;
// The three pet sizes: label and scale.
struct SizeChoice {
  const char* label;
  double scale;
};
inline constexpr SizeChoice kSizeChoices[] = {{"S", 0.8}, {"M", 1.0}, {"L", 1.28}};

QRectF panelRect(qreal below);
QRectF headerRect(qreal below);
QRectF modeRowRect(qreal below);
QRectF sizeControlRect(qreal below);
QRectF canvasRect(qreal below);
QRectF statePillArea(qreal below);
// The reduce-motion switch at (791, header top + 6).
QRectF reduceMotionToggleRect(qreal below);
// The slider's track inside the size control.
QRectF sliderTrackRect(const QRectF& sizeControl);

// The pills of each row, in case order.
std::vector<std::pair<PetPreviewMode, QRectF>> modeRowPillRects(const QRectF& modeRow);
std::vector<QRectF> sizePillRects(const QRectF& sizeControl);
std::vector<std::pair<PetPreviewStateID, QRectF>> statePillRects(const QRectF& area);
// A size pill is chosen within 0.02 of its scale.
bool sizeChosen(double previewScale, double choiceScale);

// The pet's side in the three non-tucked modes.
qreal previewPetSide(double previewScale);
// A 3 s triangle wave from 0 down to -2 and back.
qreal floatingY(double phase);
// The roaming pet's left edge in percent of the canvas: 24 to 58 and back to 42 over 3.2 s.
qreal roamingLeftPct(double phase);
// The scale under a slider press at x.
double sliderScale(qreal x, const QRectF& track);

}  // namespace tandrel::live_preview
