// The island view in settings mode: the panel's frame around the active tab's page, the mouse
// (title strip, sidebar, header, page clicks, moving the window) and wheel scrolling. The pages
// themselves are looked up in the table of settings_pages.h.

#include "island/tandrel_view.h"

#include "settings/settings_frame.h"
#include "settings/settings_pages.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

namespace tandrel {

qreal TandrelView::settingsScrollOffset() const {
  const auto it = settingsScrollOffsets.find(activeSettingsTab_);
  return it == settingsScrollOffsets.end() ? 0 : it->second;
}

void TandrelView::setFloatingPetScale(double scale) {
  settings_.setFloatingPetScale(scale);
  previewPetScale = settings_.values().floatingPetScale;
  if (controller != nullptr) {
    controller->settingsDidChange();
  }
}

void TandrelView::paintSettings(QPainter& painter) {
  const QSizeF viewSize(size());
  settings_frame::drawChrome(painter, viewSize, activeSettingsTab_, aboutUpdate().aboutTabShowsUpdateMarker());

  const QRectF viewport = settings_frame::viewportRect(viewSize);
  const qreal offset = settingsScrollOffset();
  SettingsPageCanvas canvas{painter, viewSize.width(), viewport.height()};
  painter.save();
  painter.setClipRect(viewport);
  painter.translate(0, settings_frame::viewY(0, offset));
  if (const SettingsPage* page = settingsPage(activeSettingsTab_)) {
    page->draw(*this, canvas);
  }
  painter.restore();
  lastDrawnContentHeight = canvas.contentHeight;

  if (statusBanner_) {
    settings_frame::drawStatusBanner(painter, viewSize.width(), *statusBanner_, statusBannerColor);
  }
  if (const auto indicator =
          settings_frame::scrollIndicator(viewport, viewSize.width(), lastDrawnContentHeight, offset)) {
    settings_frame::drawScrollIndicator(painter, *indicator);
  }
}

void TandrelView::settingsMouseDown(QPointF point, bool doubleClick) {
  if (doubleClick && point.y() < settings_frame::kTitleBarHeight) {
    QWidget* panel = window();
    if (panel->isMaximized()) {
      panel->showNormal();
    } else {
      panel->showMaximized();
    }
    return;
  }
  if (const std::optional<SettingsTab> tab = settings_frame::tabAt(point)) {
    setStatusBanner(std::nullopt);
    selectSettingsTab(*tab);
    return;
  }
  if (settings_frame::headerStripRect(width()).contains(point)) {
    // The window system moves the window when it can; otherwise the view follows the pointer.
    QWindow* handle = window()->windowHandle();
    if (handle == nullptr || !handle->startSystemMove()) {
      settingsPanelPointerInteraction = SettingsPanelPointerInteraction{
          SettingsPanelPointerInteraction::Kind::drag, mapToGlobal(point), QRectF(window()->frameGeometry()), {}, 0};
    }
    return;
  }
  handleSettingsClick(settings_frame::contentPoint(point, settingsScrollOffset()));
}

void TandrelView::continueSettingsPointerInteraction(QPointF point, QPointF globalPoint) {
  const SettingsPanelPointerInteraction& interaction = *settingsPanelPointerInteraction;
  if (interaction.kind == SettingsPanelPointerInteraction::Kind::drag) {
    window()->move(draggedSettingsPanelFrame(interaction.frame, interaction.startPoint, globalPoint,
                                             settingsPanelDesktop())
                       .topLeft()
                       .toPoint());
  } else {
    updateLivePreviewPetScaleSlider(settings_frame::contentPoint(point, interaction.scrollOffset), interaction.track);
  }
}

bool TandrelView::handleSettingsClick(QPointF contentPoint) {
  const SettingsPage* page = settingsPage(activeSettingsTab_);
  if (page == nullptr) {
    return false;
  }
  for (const SettingsClickRoute& route : page->routes(*this)) {
    if (routeContains(route.rect, contentPoint)) {
      lastSettingsClickContentPoint = contentPoint;
      route.action();
      update();
      return true;
    }
  }
  return false;
}

bool TandrelView::scrollSettings(qreal deltaY) {
  const qreal viewportHeight = height() - settings_frame::kHeaderHeight;
  const std::optional<qreal> next =
      settings_frame::scrolledOffset(settingsScrollOffset(), deltaY, lastDrawnContentHeight, viewportHeight);
  if (!next) {
    return false;
  }
  settingsScrollOffsets[activeSettingsTab_] = *next;
  update();
  return true;
}

void TandrelView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (mode_ == OverlayMode::settings && event->button() == Qt::LeftButton) {
    settingsMouseDown(event->position(), true);
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

void TandrelView::wheelEvent(QWheelEvent* event) {
  if (mode_ != OverlayMode::settings) {
    QWidget::wheelEvent(event);
    return;
  }
  // Touchpads report pixels; wheels report angles, 120 to a notch.
  const qreal deltaY = !event->pixelDelta().isNull()
                           ? event->pixelDelta().y()
                           : event->angleDelta().y() / 120.0 * settings_frame::kWheelNotchPixels;
  scrollSettings(deltaY);
  event->accept();
}

}  // namespace tandrel
