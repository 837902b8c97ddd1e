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

namespace {
constexpr qreal kHeaderSeparatorY = 155;
constexpr qreal kSeparatorX = 13;
constexpr qreal kFooterSeparatorInset = 30;
}  // namespace

bool isRenderingFixtures() {
  static const bool rendering = qEnvironmentVariableIsSet("TANDREL_RENDER_FIXTURES");
  return rendering;
}

qreal TandrelView::expandedContentAlpha() const {
  return tandrel::expandedContentAlpha(mode_ == OverlayMode::expanded, renderingFixtures,
                                       mediaTime() - modeAnimationStarted);
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
      paintExpanded(painter, dirty);
      return;
    case OverlayMode::collapsed:
      paintCollapsed(painter);
      return;
  }
}

void TandrelView::paintCollapsed(QPainter& painter) {
  const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(QSizeF(size()), displayKind_, mode_);
  paintCollapsedCapsule(painter, layout);
  paintCollapsedContent(painter, layout);
  paintCollapsedPet(painter, layout.petRect);
}

void TandrelView::paintExpanded(QPainter& painter, const std::optional<QRect>& dirty) {
  const QSizeF viewSize(size());
  drawTopFusedBackground(painter, QRectF(QPointF(), viewSize), kExpandedCornerRadius, false);
  // The pet rail's animation frames dirty only its strip, where nothing else is drawn.
  if (dirty && expandedPetRailAnimationDirtyRect().adjusted(-1, -1, 1, 1).contains(QRectF(*dirty))) {
    painter.save();
    painter.setOpacity(expandedContentAlpha());
    paintExpandedPetRail(painter);
    painter.restore();
    return;
  }
  paintUsageHeaderTopLine(painter);

  painter.save();
  painter.setOpacity(expandedContentAlpha());
  paintExpandedPetRail(painter);
  paintUsageHeader(painter);
  drawSeparator(painter, kHeaderSeparatorY, kSeparatorX, viewSize.width());
  const inbox_layout::InboxPageLayout layout = pageLayout();
  InboxPaintState state;
  state.unreadCount = filteredUnreadCount();
  state.approvalCount = filteredApprovalCount();
  state.statusBanner = statusBanner_;
  state.statusBannerColor = statusBannerColor;
  state.noteFocusedMessageID = choiceNoteFocusedMessageID;
  state.activeChoiceNote = activeChoiceNote;
  state.hoverPoint = hoverPoint;
  state.toolLogo = toolLogoPainter;
  state.now = clock_.now();
  paintInboxPage(painter, layout, viewSize.width(), state);
  scheduleCardAgeRefresh(layout, *state.now);
  drawSeparator(painter, viewSize.height() - kFooterSeparatorInset, kSeparatorX, viewSize.width());
  paintExpandedFooter(painter, viewSize);
  paintQuitButton(painter, layout.quitRect());
  painter.restore();
}

// The usage header (tool status line, tabs and meter rows) and the collapsed capsule's ticker
// line are drawn by their painters from the view's ticker and usage state.
UsageHeaderState TandrelView::usageHeaderState() {
  normalizeActiveUsageTool();
  UsageHeaderState state;
  state.viewWidth = width();
  state.kind = displayKind_;
  state.tool = activeUsageTool;
  state.snapshot = usageSnapshotForTool(activeUsageTool);
  state.tools = enabledUsageTools();
  state.settingsRect = pageLayout().topSettingsRect();
  state.meterGrowth = renderingFixtures ? 1.0 : usageMeterGrowth(mediaTime(), usageAnimationStarted);
  state.toolLogo = toolLogoPainter;
  return state;
}

void TandrelView::paintUsageHeaderTopLine(QPainter& painter) { tandrel::paintUsageHeaderTopLine(painter, usageHeaderState()); }
void TandrelView::paintUsageHeader(QPainter& painter) { tandrel::paintUsageHeader(painter, usageHeaderState()); }
void TandrelView::paintCollapsedContent(QPainter& painter, const CollapsedCapsuleLayout& layout) {
  paintCollapsedTicker(painter, layout, collapsedTickerDisplay(), store_.petState(), toolLogoPainter);
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

void TandrelView::scheduleCardAgeRefresh(const inbox_layout::InboxPageLayout& layout, const QDateTime& now) {
  const std::optional<qint64> delay = inbox_layout::cardAgeRefreshDelayMs(layout.page(), now);
  if (!delay) {
    cardAgeRefreshWork_.cancel();
    return;
  }
  QPointer<TandrelView> self(this);
  cardAgeRefreshWork_ = clock_.schedule(std::chrono::milliseconds(*delay), [self] {
    if (!self || self->mode_ != OverlayMode::expanded) {
      return;
    }
    // Only the ages change: repaint their rectangles, which paints and arms the next refresh.
    const inbox_layout::InboxPageLayout layout = self->pageLayout();
    for (int index = 0; index < static_cast<int>(layout.page().size()); ++index) {
      self->update(inbox_layout::cardAgeRect(layout.messageRect(index)).toAlignedRect());
    }
  });
}

}  // namespace tandrel
