// The TandrelView members of the Pets tab's live preview: its 60 Hz driver (a QTimer; there is no
// display link to follow here), the canvas scroll the fixture renderer asks for, and the size
// slider.

#include "island/tandrel_view.h"
#include "platform/dispatch.h"
#include "settings/pages/live_preview_layout.h"
#include "settings/pages/pets_page_layout.h"
#include "settings/settings_frame.h"

#include <algorithm>
#include <cmath>

namespace tandrel {

namespace {
constexpr std::chrono::microseconds kLivePreviewFrame{16'667};
constexpr double kLongestStep = 0.05;
}  // namespace

bool TandrelView::effectiveLivePreviewReduceMotion() const {
  if (isLivePreviewFixtureMode) return false;
  return previewReduceMotion || settings_.values().reduceMotion;
}

void TandrelView::evaluateLivePreviewDriver() {
  const bool wanted = mode_ == OverlayMode::settings && activeSettingsTab_ == SettingsTab::pets &&
                      (previewMode == PetPreviewMode::floating || previewMode == PetPreviewMode::roaming) &&
                      !effectiveLivePreviewReduceMotion() && !isLivePreviewFixtureMode && !terminated_;
  if (!wanted) {
    stopLivePreviewDriver();
    return;
  }
  if (livePreviewTimer_ != nullptr) return;
  livePreviewPhase = 0;
  livePreviewLastTickTime_ = mediaTime();
  livePreviewTimer_ = new QTimer(this);
  livePreviewTimer_->setTimerType(Qt::PreciseTimer);
  livePreviewTimer_->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(kLivePreviewFrame));
  connect(livePreviewTimer_, &QTimer::timeout, this, [this] { livePreviewDriverTick(mediaTime()); });
  livePreviewTimer_->start();
}

void TandrelView::stopLivePreviewDriver() {
  if (livePreviewTimer_ != nullptr) {
    livePreviewTimer_->stop();
    livePreviewTimer_->deleteLater();
    livePreviewTimer_ = nullptr;
  }
  livePreviewPhase = 0;
}

void TandrelView::livePreviewDriverTick(double now) {
  const double step = now - livePreviewLastTickTime_;
  livePreviewLastTickTime_ = now;
  livePreviewPhase += std::clamp(step, 0.0, kLongestStep);
  postToMain(this, [](TandrelView& view) {
    if (view.mode() == OverlayMode::settings && view.activeSettingsTab() == SettingsTab::pets) {
      // Only the canvas moves.
      const auto offset = view.settingsScrollOffsets.find(SettingsTab::pets);
      const qreal top =
          settings_frame::viewY(view.unscrolledLivePreviewCanvasY(), offset == view.settingsScrollOffsets.end() ? 0 : offset->second);
      view.update(QRectF(live_preview::kContentLeft, top, live_preview::kContentWidth, 190).toAlignedRect());
    } else {
      view.update();
    }
  });
}

qreal TandrelView::unscrolledLivePreviewCanvasY() const {
  return live_preview::canvasRect(pets_page::livePreviewTop(static_cast<int>(petChoices.size()))).top();
}

void TandrelView::scrollPetsTabToLivePreviewCanvas() {
  if (mode_ != OverlayMode::settings || activeSettingsTab_ != SettingsTab::pets) return;
  settingsScrollOffsets[SettingsTab::pets] = std::max(0.0, unscrolledLivePreviewCanvasY() - 80);
  update();
}

void TandrelView::updateLivePreviewPetScaleSlider(QPointF point, const QRectF& track) {
  setFloatingPetScale(live_preview::sliderScale(point.x(), track));
}

void TandrelView::beginLivePreviewSliderInteraction(const QRectF& track) {
  updateLivePreviewPetScaleSlider(lastSettingsClickContentPoint, track);
  SettingsPanelPointerInteraction interaction;
  interaction.kind = SettingsPanelPointerInteraction::Kind::petScaleSlider;
  interaction.track = track;
  interaction.scrollOffset = settingsScrollOffset();
  settingsPanelPointerInteraction = interaction;
}

}  // namespace tandrel
