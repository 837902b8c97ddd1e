#include "companion/companion_bubble_view.h"

#include "attention/pet_state.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/overlay_settings.h"

#include <QMouseEvent>
#include <QPainter>

namespace tandrel {

TandrelCompanionBubbleView::TandrelCompanionBubbleView()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(kSize);
}

void TandrelCompanionBubbleView::setStatusItem(std::optional<CompanionStatusItem> item) {
  statusItem_ = std::move(item);
  update();
}

void TandrelCompanionBubbleView::drawBubble(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing);
  if (!statusItem_) return;
  const QRectF background = QRectF(rect()).adjusted(1, 1, -1, -1);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromRgbF(0.02f, 0.02f, 0.02f, 0.9f));
  painter.drawRoundedRect(background, 12, 12);
  QColor border = petAccentColor(previewStateStyle(statusItem_->event.petPreviewStateID()).petState);
  border.setAlphaF(0.55f);
  painter.setPen(QPen(border, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(background.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
  island_paint::drawText(painter, statusItem_->label, background.adjusted(12, 10, -12, -10),
                         islandFont(11, QFont::DemiBold), QColor::fromRgbF(1, 1, 1, 0.82f),
                         island_paint::TextAlignment::center);
}

void TandrelCompanionBubbleView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawBubble(painter);
}

void TandrelCompanionBubbleView::mousePressEvent(QMouseEvent*) {
  if (statusItem_ && openStatus) openStatus(*statusItem_);
}

}  // namespace tandrel
