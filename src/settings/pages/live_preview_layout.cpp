#include "settings/pages/live_preview_layout.h"

#include "ui/island_geometry.h"
#include "ui/island_paint.h"

#include <algorithm>
#include <cmath>

namespace tandrel::live_preview {

namespace {

constexpr PetPreviewMode kModes[] = {PetPreviewMode::bubble, PetPreviewMode::floating, PetPreviewMode::roaming,
                                     PetPreviewMode::tucked};
constexpr PetPreviewStateID kStates[] = {PetPreviewStateID::idle,     PetPreviewStateID::running,
                                         PetPreviewStateID::waitingInput, PetPreviewStateID::review,
                                         PetPreviewStateID::approval, PetPreviewStateID::error,
                                         PetPreviewStateID::rateLimit, PetPreviewStateID::sleeping};

qreal labelWidth(const QString& text) { return std::ceil(island_paint::textWidth(text, islandFont(10))); }

QString modeLabel(PetPreviewMode mode) {
  const QString raw = rawValue(mode);
  return raw.left(1).toUpper() + raw.mid(1);
}

// Where `value` falls in one period, in 0...1.
double cycle(double value, double period) {
  double r = std::fmod(value, period);
  if (r < 0) r += period;
  return r / period;
}

double smoothstep(double t) { return t * t * (3 - 2 * t); }

}  // namespace

QRectF panelRect(qreal below) { return {168, below + 36, 680, 372}; }
QRectF headerRect(qreal below) { return {kContentLeft, below + 48, kContentWidth, 56}; }
QRectF modeRowRect(qreal below) { return {kContentLeft, below + 104, kContentWidth, 32}; }
QRectF sizeControlRect(qreal below) {
  const QRectF header = headerRect(below);
  return {header.right() - kSizeControlWidth, header.bottom(), kSizeControlWidth, 28};
}
QRectF canvasRect(qreal below) { return {kContentLeft, below + 142, kContentWidth, 190}; }
QRectF statePillArea(qreal below) { return {kContentLeft, below + 340, kContentWidth, 56}; }
QRectF reduceMotionToggleRect(qreal below) { return {791, headerRect(below).top() + 6, 36, 20}; }
QRectF sliderTrackRect(const QRectF& control) { return {control.left() + 136, control.top() + 12, 96, 5}; }

std::vector<std::pair<PetPreviewMode, QRectF>> modeRowPillRects(const QRectF& row) {
  const qreal limit = row.right() - kSizeControlWidth - 4;
  const qreal available = std::max(0.0, limit - row.left());
  std::vector<std::pair<PetPreviewMode, QRectF>> pills;
  qreal x = row.left();
  qreal y = row.top() + 4;
  for (const PetPreviewMode mode : kModes) {
    const qreal w = labelWidth(modeLabel(mode)) + 16;
    if (row.left() + available < x + w) {
      x = row.left();
      y += 28;
    }
    pills.emplace_back(mode, QRectF(x, y, w, 22));
    x += w + 6;
  }
  return pills;
}

std::vector<QRectF> sizePillRects(const QRectF& control) {
  return {QRectF(control.left() + 50, control.top() + 4, 24, 20), QRectF(control.left() + 78, control.top() + 4, 24, 20),
          QRectF(control.left() + 106, control.top() + 4, 24, 20)};
}

std::vector<std::pair<PetPreviewStateID, QRectF>> statePillRects(const QRectF& area) {
  std::vector<std::vector<std::pair<PetPreviewStateID, qreal>>> rows(1);
  qreal running = 0;
  for (const PetPreviewStateID state : kStates) {
    const qreal w = labelWidth(QString::fromUtf8(previewStateStyle(state).label)) + 18;
    const qreal grown = rows.back().empty() ? w : running + 6 + w;
    if (grown > area.width() && !rows.back().empty()) {
      rows.emplace_back();
      running = w;
    } else {
      running = grown;
    }
    rows.back().emplace_back(state, w);
  }
  std::vector<std::pair<PetPreviewStateID, QRectF>> pills;
  for (size_t r = 0; r < rows.size(); ++r) {
    qreal total = 6.0 * static_cast<qreal>(rows[r].size() - 1);
    for (const auto& pill : rows[r]) total += pill.second;
    qreal x = area.left() + std::max(0.0, (area.width() - total) / 2);
    const qreal y = area.top() + 4 + 28 * static_cast<qreal>(r);
    for (const auto& [state, w] : rows[r]) {
      pills.emplace_back(state, QRectF(x, y, w, 22));
      x += w + 6;
    }
  }
  return pills;
}

bool sizeChosen(double previewScale, double choiceScale) { return std::abs(previewScale - choiceScale) < 0.02; }

qreal previewPetSide(double previewScale) {
  return previewScale > 1.45 ? 92.8 : std::max(previewScale, 0.75) * 64;
}

qreal floatingY(double phase) {
  const double u = cycle(phase, 3);
  return -2 * (1 - std::abs(2 * u - 1));
}

qreal roamingLeftPct(double phase) {
  const double u = cycle(phase, 3.2);
  if (u < 0.5) return 24 + 34 * smoothstep(2 * u);
  return 58 - 16 * smoothstep(2 * (u - 0.5));
}

double sliderScale(qreal x, const QRectF& track) {
  const double t = std::clamp((x - track.left()) / track.width(), 0.0, 1.0);
  return 0.75 + (1.6 - 0.75) * t;
}

}  // namespace tandrel::live_preview
