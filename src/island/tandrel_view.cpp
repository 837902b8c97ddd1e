#include "island/tandrel_view.h"

#include "app/overlay_controller.h"

#include <QPainter>

#include <algorithm>

namespace tandrel {
namespace {

constexpr qreal kBottomCornerRadius = 14;

}  // namespace

TandrelView::TandrelView(const QSize& size, EventStore& store, QWidget* parent) : QWidget(parent), store_(store) {
  resize(size);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
}

TandrelView::~TandrelView() { prepareForTermination(); }

void TandrelView::setMode(OverlayMode mode) {
  if (mode == mode_) {
    return;
  }
  mode_ = mode;
  update();
}

void TandrelView::setDisplayKind(DisplayKind kind) {
  displayKind_ = kind;
  update();
}

void TandrelView::activateSettingsTab(SettingsTab tab) {
  activeSettingsTab_ = tab;
  update();
}

void TandrelView::selectSettingsTab(SettingsTab tab) { activateSettingsTab(tab); }

void TandrelView::closeSettingsFromTitleBar() {
  if (controller != nullptr) {
    controller->closeSettings(this);
  }
}

void TandrelView::refreshFromDisk() {}

void TandrelView::prepareForTermination() { ++terminationCountForTests; }

QPainterPath TandrelView::islandOutline(const QSizeF& size) const {
  QPainterPath path;
  if (mode_ == OverlayMode::settings) {
    path.addRect(QRectF(QPointF(), size));
    return path;
  }
  // Square at the top, where it meets the screen's edge; rounded below.
  const qreal radius = std::min({kBottomCornerRadius, size.height() / 2, size.width() / 2});
  path.addRoundedRect(QRectF(0, -radius, size.width(), size.height() + radius), radius, radius);
  return path.intersected([&] {
    QPainterPath bounds;
    bounds.addRect(QRectF(QPointF(), size));
    return bounds;
  }());
}

QRegion TandrelView::islandShape(const QSize& size) const {
  return QRegion(islandOutline(QSizeF(size)).toFillPolygon().toPolygon());
}

void TandrelView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.fillPath(islandOutline(QSizeF(size())), mode_ == OverlayMode::settings ? QColor(24, 24, 27) : Qt::black);
}

}  // namespace tandrel
