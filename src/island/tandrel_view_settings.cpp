// The island view's side of its settings panel: the AI Tools tab's names on the view, and the
// mouse and wheel events of settings mode.

#include "ai_tools/ai_tools_tab.h"
#include "island/tandrel_view.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace tandrel {

bool TandrelView::refreshAIToolsHealth(bool force) { return aiToolsTab().refreshAIToolsHealth(force); }

bool TandrelView::performAIToolPrimaryActionForTests(const QString& toolID) {
  return aiToolsTab().performAIToolPrimaryActionForTests(toolID);
}

bool TandrelView::openExternalToolURL(const QUrl& url) { return aiToolsTab().openExternalToolURL(url); }

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
  settingsPanel_->scrollByWheel(event->pixelDelta(), event->angleDelta());
  event->accept();
}

}  // namespace tandrel
