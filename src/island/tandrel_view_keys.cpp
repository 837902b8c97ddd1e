// Qt's key presses (the island's, island_view.cpp) and the end of a press: the settings page's
// when it followed one, else the island's. Every point here is in Qt's y-down coordinates, the
// screen's as well as the view's.

#include "island/tandrel_view.h"

#include <QKeyEvent>

namespace tandrel {

void TandrelView::keyPressEvent(QKeyEvent* event) {
  if (!keyPressed(event->key(), event->modifiers(), event->text())) {
    QWidget::keyPressEvent(event);
  }
}

void TandrelView::mouseReleased(QPointF screenPoint) {
  if (settingsPanelPointerInteraction) {
    settingsPanelPointerInteraction.reset();
    return;
  }
  island_->mouseReleased(screenPoint);
}

}  // namespace tandrel
