// The Pets tab's live preview as the panel runs it: its 60 Hz driver (a QTimer; there is no
// display link to follow here), the canvas scroll the fixture renderer asks for, and the size
// slider.

#include "settings/settings_panel.h"

#include "pets/view_pets.h"
#include "platform/dispatch.h"
#include "settings/pages/live_preview_layout.h"
#include "settings/pages/pets_page_layout.h"
#include "settings/settings_frame.h"

#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace tandrel {

namespace {
constexpr std::chrono::microseconds kLivePreviewFrame{16'667};
constexpr double kLongestStep = 0.05;
}  // namespace

void SettingsPanel::settingsLoaded() {
  const UserSettings& values = host_.settings().values();
  livePreview.mode = *parsePetPreviewMode(rawValue(values.companionDisplayMode));
  livePreview.petScale = values.floatingPetScale;
}

bool SettingsPanel::effectiveLivePreviewReduceMotion() const {
  if (livePreview.fixtureMode) return false;
  return livePreview.reduceMotion || host_.settings().values().reduceMotion;
}

void SettingsPanel::livePreviewChanged() {
  evaluateLivePreviewDriver();
  host_.redraw();
}

void SettingsPanel::setFloatingPetScale(double scale) {
  SettingsModel& settings = host_.settings();
  settings.setFloatingPetScale(scale);
  livePreview.petScale = settings.values().floatingPetScale;
  host_.settingsDidChange();
}

void SettingsPanel::evaluateLivePreviewDriver() {
  const bool wanted = host_.showsSettings() && activeTab_ == SettingsTab::pets &&
                      (livePreview.mode == PetPreviewMode::floating || livePreview.mode == PetPreviewMode::roaming) &&
                      !effectiveLivePreviewReduceMotion() && !livePreview.fixtureMode && !host_.terminated();
  if (!wanted) {
    stopLivePreviewDriver();
    return;
  }
  if (livePreviewTimer_ != nullptr) return;
  livePreview.phase = 0;
  livePreviewLastTickTime_ = host_.mediaSeconds();
  livePreviewTimer_ = new QTimer(&host_.widget());
  livePreviewTimer_->setTimerType(Qt::PreciseTimer);
  livePreviewTimer_->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(kLivePreviewFrame));
  QObject::connect(livePreviewTimer_, &QTimer::timeout, &host_.widget(),
                   [this] { livePreviewDriverTick(host_.mediaSeconds()); });
  livePreviewTimer_->start();
}

void SettingsPanel::stopLivePreviewDriver() {
  if (livePreviewTimer_ != nullptr) {
    livePreviewTimer_->stop();
    livePreviewTimer_->deleteLater();
    livePreviewTimer_ = nullptr;
  }
  livePreview.phase = 0;
}

void SettingsPanel::livePreviewDriverTick(double now) {
  const double step = now - livePreviewLastTickTime_;
  livePreviewLastTickTime_ = now;
  livePreview.phase += std::clamp(step, 0.0, kLongestStep);
  // The panel lives as long as its view: the view being gone, nothing runs.
  postToMain(&host_.widget(), [this](QWidget& view) {
    if (host_.showsSettings() && activeTab_ == SettingsTab::pets) {
      // Only the canvas moves.
      const auto offset = scrollOffsets.find(SettingsTab::pets);
      const qreal top = settings_frame::viewY(unscrolledLivePreviewCanvasY(),
                                              offset == scrollOffsets.end() ? 0 : offset->second);
      view.update(QRectF(live_preview::kContentLeft, top, live_preview::kContentWidth, 190).toAlignedRect());
    } else {
      view.update();
    }
  });
}

qreal SettingsPanel::unscrolledLivePreviewCanvasY() {
  return live_preview::canvasRect(pets_page::livePreviewTop(static_cast<int>(host_.pets().choices.size()))).top();
}

void SettingsPanel::scrollPetsTabToLivePreviewCanvas() {
  if (!host_.showsSettings() || activeTab_ != SettingsTab::pets) return;
  scrollOffsets[SettingsTab::pets] = std::max(0.0, unscrolledLivePreviewCanvasY() - 80);
  host_.redraw();
}

void SettingsPanel::updateLivePreviewPetScaleSlider(QPointF point, const QRectF& track) {
  setFloatingPetScale(live_preview::sliderScale(point.x(), track));
}

void SettingsPanel::beginLivePreviewSliderInteraction(const QRectF& track) {
  updateLivePreviewPetScaleSlider(lastClickContentPoint, track);
  PointerInteraction interaction;
  interaction.kind = PointerInteraction::Kind::petScaleSlider;
  interaction.track = track;
  interaction.scrollOffset = scrollOffset();
  pointerInteraction = interaction;
}

}  // namespace tandrel
