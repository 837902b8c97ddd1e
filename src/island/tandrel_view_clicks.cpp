// Qt's presses and releases: settings mode hands them to the settings page, the collapsed and
// expanded modes to the island (island_view_clicks.cpp).

#include "island/tandrel_view.h"

#include <QMouseEvent>

namespace tandrel {

void TandrelView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    mousePressed(event->position(), event->globalPosition());
  }
}

void TandrelView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    mouseReleased(event->globalPosition());
  }
}

void TandrelView::mousePressed(QPointF point, QPointF screenPoint) {
  if (mode_ == OverlayMode::settings) {
    settingsMouseDown(point, false);
    return;
  }
  island_->mousePressed(point, screenPoint);
}

}  // namespace tandrel
