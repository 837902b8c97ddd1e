// The settings panel's frame around the active tab's page, the pointer (title strip, sidebar,
// header, page clicks, moving the window) and wheel scrolling.

#include "settings/settings_panel.h"

#include "ai_tools/ai_tools_tab.h"
#include "settings/pages/about_page.h"
#include "settings/pages/ai_tools_page.h"
#include "settings/pages/general_page.h"
#include "settings/pages/pets_page.h"
#include "settings/pages/sounds_page.h"
#include "settings/settings_frame.h"
#include "ui/island_geometry.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace tandrel {

SettingsPanel::SettingsPanel(SettingsPanelHost& host) : host_(host) {
  pages_[SettingsTab::general] = std::make_unique<GeneralPage>(host_);
  pages_[SettingsTab::pets] = std::make_unique<PetsPage>(host_, livePreview, *this);
  pages_[SettingsTab::sound] = std::make_unique<SoundsPage>(host_);
  pages_[SettingsTab::aiTools] = std::make_unique<AIToolsPage>(host_, [this]() -> AIToolsTab& { return aiToolsTab(); });
  pages_[SettingsTab::about] = std::make_unique<AboutPage>(host_, [this]() -> AboutUpdateFlow& { return aboutUpdate(); });
  resetAboutUpdateFlow(std::nullopt);
}

SettingsPanel::~SettingsPanel() = default;

SettingsPage& SettingsPanel::page(SettingsTab tab) { return *pages_.at(tab); }

void SettingsPanel::activateTab(SettingsTab tab) {
  activeTab_ = tab;
  host_.redraw();
  host_.evaluateAnimationTimer();
  evaluateLivePreviewDriver();
}

void SettingsPanel::selectTab(SettingsTab tab) {
  if (tab == SettingsTab::aiTools) {
    aiToolsTab().refreshAIToolsHealth(true);
    host_.normalizeActiveUsageTool();
  }
  activateTab(tab);
}

qreal SettingsPanel::scrollOffset() const {
  const auto it = scrollOffsets.find(activeTab_);
  return it == scrollOffsets.end() ? 0 : it->second;
}

void SettingsPanel::paint(QPainter& painter) {
  const QSizeF viewSize(host_.widget().size());
  settings_frame::drawChrome(painter, viewSize, activeTab_, aboutUpdate().aboutTabShowsUpdateMarker());

  const QRectF viewport = settings_frame::viewportRect(viewSize);
  const qreal offset = scrollOffset();
  SettingsPageCanvas canvas{painter, viewSize.width(), viewport.height()};
  painter.save();
  painter.setClipRect(viewport);
  painter.translate(0, settings_frame::viewY(0, offset));
  page(activeTab_).draw(canvas);
  painter.restore();
  lastDrawnContentHeight = canvas.contentHeight;

  if (const std::optional<QString>& banner = host_.statusBanner()) {
    settings_frame::drawStatusBanner(painter, viewSize.width(), *banner, host_.statusBannerColor());
  }
  if (const auto indicator =
          settings_frame::scrollIndicator(viewport, viewSize.width(), lastDrawnContentHeight, offset)) {
    settings_frame::drawScrollIndicator(painter, *indicator);
  }
}

void SettingsPanel::mouseDown(QPointF point, bool doubleClick) {
  QWidget& view = host_.widget();
  if (doubleClick && point.y() < settings_frame::kTitleBarHeight) {
    QWidget* panel = view.window();
    if (panel->isMaximized()) {
      panel->showNormal();
    } else {
      panel->showMaximized();
    }
    return;
  }
  if (const std::optional<SettingsTab> tab = settings_frame::tabAt(point)) {
    host_.showBanner(std::nullopt, host_.statusBannerColor());
    selectTab(*tab);
    return;
  }
  if (settings_frame::headerStripRect(view.width()).contains(point)) {
    // The window system moves the window when it can; otherwise the panel follows the pointer.
    QWindow* handle = view.window()->windowHandle();
    if (handle == nullptr || !handle->startSystemMove()) {
      pointerInteraction = PointerInteraction{PointerInteraction::Kind::drag, view.mapToGlobal(point),
                                              QRectF(view.window()->frameGeometry()), {}, 0};
    }
    return;
  }
  handleClick(settings_frame::contentPoint(point, scrollOffset()));
}

void SettingsPanel::continuePointerInteraction(QPointF point, QPointF globalPoint) {
  const PointerInteraction& interaction = *pointerInteraction;
  if (interaction.kind == PointerInteraction::Kind::drag) {
    host_.widget().window()->move(
        draggedSettingsPanelFrame(interaction.frame, interaction.startPoint, globalPoint, desktop()).topLeft().toPoint());
  } else {
    updateLivePreviewPetScaleSlider(settings_frame::contentPoint(point, interaction.scrollOffset), interaction.track);
  }
}

QRectF SettingsPanel::desktop() const {
  const QWidget* window = host_.widget().window();
  const QRectF fallback = window->screen() != nullptr ? QRectF(window->screen()->availableGeometry()) : QRectF();
  const OverlayHost* controller = host_.host();
  return settingsPanelDesktopFrame(controller != nullptr ? controller->settingsPanelVisibleFrames(fallback)
                                                         : std::vector<QRectF>{fallback});
}

bool SettingsPanel::handleClick(QPointF contentPoint) {
  for (const SettingsClickRoute& route : page(activeTab_).routes()) {
    if (routeContains(route.rect, contentPoint)) {
      lastClickContentPoint = contentPoint;
      route.action();
      host_.redraw();
      return true;
    }
  }
  return false;
}

bool SettingsPanel::scroll(qreal deltaY) {
  const qreal viewportHeight = host_.widget().height() - settings_frame::kHeaderHeight;
  const std::optional<qreal> next =
      settings_frame::scrolledOffset(scrollOffset(), deltaY, lastDrawnContentHeight, viewportHeight);
  if (!next) {
    return false;
  }
  scrollOffsets[activeTab_] = *next;
  host_.redraw();
  return true;
}

bool SettingsPanel::scrollByWheel(QPoint pixelDelta, QPoint angleDelta) {
  return scroll(!pixelDelta.isNull() ? pixelDelta.y() : angleDelta.y() / 120.0 * settings_frame::kWheelNotchPixels);
}

}  // namespace tandrel
