#include "selfcheck/island_renders.h"

#include "selfcheck/fixture_renderer.h"
#include "selfcheck/pixel_measures.h"
#include "island/island_painters_capsule.h"

#include <cmath>

namespace tandrel {
namespace {

// A notched display whose camera housing reaches 32 down under a top band 33 high.
constexpr qreal kCheckTopBand = 33;
constexpr qreal kCheckCameraInset = 32;

}  // namespace

QSizeF collapsedCheckSize(DisplayKind kind) {
  return kind == DisplayKind::macBookPhysical ? collapsedOverlaySize(kind, kCheckTopBand, kCheckCameraInset)
                                              : collapsedOverlaySize(kind, 0, 0);
}

Result<QImage> renderCollapsedIsland(EventStore& store, DisplayKind kind, qreal devicePixelRatio,
                                     std::optional<std::vector<ToolHealth>> toolHealth) {
  FixtureRow row{"collapsed-check", collapsedCheckSize(kind), OverlayMode::collapsed, kind};
  row.toolHealth = std::move(toolHealth);
  return renderFixtureImage(row, store, devicePixelRatio);
}

Result<QImage> renderExpandedIsland(EventStore& store, qreal devicePixelRatio,
                                    std::optional<std::vector<ToolHealth>> toolHealth) {
  FixtureRow row{"expanded-check", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded};
  row.toolHealth = std::move(toolHealth);
  return renderFixtureImage(row, store, devicePixelRatio);
}

double collapsedTopEdgeCenterAlpha(DisplayKind kind, EventStore& store, qreal devicePixelRatio) {
  const Result<QImage> image = renderCollapsedIsland(store, kind, devicePixelRatio);
  if (!image) {
    return 0;
  }
  const qreal width = image->width() / devicePixelRatio;
  return pixel_measures::alphaAt(*image, QPointF(std::floor(width / 2), 0));
}

double collapsedSideOutsideMaxAlpha(DisplayKind kind, EventStore& store, qreal devicePixelRatio) {
  const Result<QImage> image = renderCollapsedIsland(store, kind, devicePixelRatio);
  if (!image) {
    return 0;
  }
  const QSizeF size = QSizeF(image->size()) / devicePixelRatio;
  const QRectF body = collapsedCapsuleLayout(size, kind, OverlayMode::collapsed).body;
  const qreal top = size.height() - std::ceil(body.left()) - 1;
  const QRectF left(0, top, body.left(), size.height() - top);
  const QRectF right(body.right(), top, size.width() - body.right(), size.height() - top);
  return std::max(pixel_measures::maxAlpha(*image, left), pixel_measures::maxAlpha(*image, right));
}

}  // namespace tandrel
