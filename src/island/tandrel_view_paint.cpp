// The island's drawing pass: the view only sequences the painters of island_painters_*.h over
// the rectangles of island_geometry.h and inbox_layout.h. The same pass paints the window and an
// image (renderImage), so renders show exactly what the screen does.

#include "island/tandrel_view.h"

#include "events/event_store.h"
#include "island/island_painters_capsule.h"
#include "island/island_painters_expanded.h"
#include "island/island_painters_inbox.h"
#include "island/island_painters_ticker.h"
#include "island/usage_header.h"
#include "pets/pet_rail.h"
#include "ui/high_contrast.h"
#include "ui/island_paint.h"

#include <QTransform>
#include <QPaintEvent>
#include <QPainter>
#include <QProcessEnvironment>

namespace tandrel {

using namespace island_paint;

bool isRenderingFixtures() {
  static const bool rendering = qEnvironmentVariableIsSet("TANDREL_RENDER_FIXTURES");
  return rendering;
}

void TandrelView::paintEvent(QPaintEvent* event) {
  ++paintCountForTests;
  lastPaintRegionForTests = event->region();
  QPainter painter(this);
  if (settings_.values().highContrast) {
    // The colour pass needs the finished frame: draw it into an image first.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(), renderImage(painter.device()->devicePixelRatioF()));
    return;
  }
  paintIsland(painter, event->rect());
}

QImage TandrelView::renderImage(qreal devicePixelRatio) {
  QImage image((QSizeF(size()) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    paintIsland(painter);
  }
  if (settings_.values().highContrast) {
    applyHighContrast(image);
  }
  return image;
}

void TandrelView::paintIsland(QPainter& painter, const std::optional<QRect>& dirty) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  switch (mode_) {
    case OverlayMode::settings:
      paintSettings(painter);
      return;
    case OverlayMode::expanded:
      island_->paintExpanded(painter, dirty);
      return;
    case OverlayMode::collapsed:
      island_->paintCollapsed(painter);
      return;
  }
}

QPainterPath TandrelView::islandOutline(const QSizeF& size) const {
  QPainterPath path;
  switch (mode_) {
    case OverlayMode::settings:
      path.addRect(QRectF(QPointF(), size));
      return path;
    case OverlayMode::expanded:
      path = topFusedBackgroundPath(QRectF(QPointF(), size), kExpandedCornerRadius, false);
      break;
    case OverlayMode::collapsed: {
      const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(size, displayKind_, mode_);
      path = topAttachedCapsulePath(layout.body, kCapsuleBottomRadius);
      if (displayKind_ == DisplayKind::externalVirtual) {
        path = path.united(capsuleShoulderPath(layout.body, size.width()));
      }
      break;
    }
  }
  // The capsule path reaches above the view's top edge; the panel's shape is the part inside it.
  QPainterPath bounds;
  bounds.addRect(QRectF(QPointF(), size));
  return path.intersected(bounds);
}

QRegion TandrelView::islandShape(const QSize& size, qreal devicePixelRatio) const {
  const QPainterPath outline = QTransform::fromScale(devicePixelRatio, devicePixelRatio).map(islandOutline(QSizeF(size)));
  return QRegion(outline.toFillPolygon().toPolygon());
}

}  // namespace tandrel
