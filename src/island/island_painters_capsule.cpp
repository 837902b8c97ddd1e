#include "island/island_painters_capsule.h"

#include "island/island_paint.h"

#include <algorithm>

namespace tandrel {

using namespace island_paint;

namespace {
constexpr qreal kStatusHeight = 13;
constexpr qreal kCameraRingSize = 7;
constexpr qreal kPetPressWidth = 48;
}  // namespace

qreal collapsedCapsuleHeight(QSizeF viewSize, OverlayMode mode) {
  return mode == OverlayMode::collapsed ? std::max(viewSize.height(), island::kCollapsedMinimumHeight)
                                        : island::kCollapsedMinimumHeight;
}

CollapsedCapsuleLayout collapsedCapsuleLayout(QSizeF viewSize, DisplayKind kind, OverlayMode mode) {
  const qreal h = collapsedCapsuleHeight(viewSize, mode);
  CollapsedCapsuleLayout layout;
  layout.viewSize = viewSize;
  layout.kind = kind;
  layout.body = QRectF(kCapsuleBodyX, 0, kCapsuleBodyWidth, h);
  layout.cutout = QRectF(kCapsuleBodyX + (kCapsuleBodyWidth - kNotchCutoutWidth) / 2, 0, kNotchCutoutWidth, h);
  if (kind == DisplayKind::macBookPhysical) {
    layout.petRect = QRectF(kCapsuleBodyX + (kCapsuleBodyWidth - kNotchCutoutWidth) / 4 - 8, (h - 16) / 2, 16, 16);
  } else {
    layout.petRect = QRectF(kCapsuleBodyX + 10, (h - 20) / 2, 20, 20);
  }
  layout.textY = std::max<qreal>((h - 16) * 0.5, 6);
  return layout;
}

QRectF macBookCollapsedStatusRect(const QRectF& body, const QRectF& cutout) {
  const qreal width = std::max<qreal>(22 + std::max<qreal>(body.right() - cutout.right(), 0) - 6, 48);
  return {cutout.right() - 22, body.top() + (body.height() - kStatusHeight) / 2, width, kStatusHeight};
}

QRectF collapsedPetPressRect(const CollapsedCapsuleLayout& layout) {
  return {layout.body.left(), 0, kPetPressWidth, layout.body.height()};
}

void paintCollapsedCapsule(QPainter& painter, const CollapsedCapsuleLayout& layout) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  if (layout.kind == DisplayKind::externalVirtual) {
    drawCapsuleSurface(painter, layout.body, layout.viewSize.width(), layout.kind, kExternalCapsuleFill,
                       kExternalCapsuleStroke);
  } else {
    drawCapsuleSurface(painter, layout.body, layout.viewSize.width(), layout.kind, kNotchCapsuleFill, std::nullopt);
    QRectF ring(0, 0, kCameraRingSize, kCameraRingSize);
    ring.moveCenter(layout.cutout.center());
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kCameraRing, 1));
    painter.drawEllipse(ring);
  }
  painter.restore();
}

}  // namespace tandrel
