// The island's drawing: the collapsed capsule with its ticker line and pet, and the expanded
// island (pet rail, usage header, inbox page, footer). It only sequences the painters of
// island_painters_*.h over the rectangles of island_geometry.h and inbox_layout.h.

#include "island/island_view.h"

#include "catalog/paths.h"
#include "events/event_store.h"
#include "island/island_painters_expanded.h"
#include "island/tandrel_view.h"
#include "island/usage_header.h"
#include "pets/pet_avatar.h"
#include "pets/pet_rail.h"
#include "ui/island_paint.h"

namespace tandrel {

using namespace island_paint;

namespace {
constexpr qreal kHeaderSeparatorY = 155;
constexpr qreal kSeparatorX = 13;
constexpr qreal kFooterSeparatorInset = 30;
}  // namespace

qreal IslandView::expandedContentAlpha() const {
  return tandrel::expandedContentAlpha(view_.mode() == OverlayMode::expanded, view_.renderingFixtures,
                                       mediaTime() - view_.modeAnimationStarted);
}

void IslandView::paintCollapsed(QPainter& painter) {
  const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(QSizeF(view_.size()), view_.displayKind(), view_.mode());
  paintCollapsedCapsule(painter, layout);
  paintCollapsedTicker(painter, layout, ticker_->display(), store_.petState(), toolLogoPainter);
  paintCollapsedPet(painter, layout.petRect);
}

void IslandView::paintExpanded(QPainter& painter, const std::optional<QRect>& dirty) {
  const QSizeF viewSize(view_.size());
  drawTopFusedBackground(painter, QRectF(QPointF(), viewSize), kExpandedCornerRadius, false);
  // The pet rail's animation frames dirty only its strip, where nothing else is drawn.
  if (dirty && expandedPetRailAnimationDirtyRect().adjusted(-1, -1, 1, 1).contains(QRectF(*dirty))) {
    painter.save();
    painter.setOpacity(expandedContentAlpha());
    paintExpandedPetRail(painter);
    painter.restore();
    return;
  }
  tandrel::paintUsageHeaderTopLine(painter, usageHeaderState());

  painter.save();
  painter.setOpacity(expandedContentAlpha());
  paintExpandedPetRail(painter);
  tandrel::paintUsageHeader(painter, usageHeaderState());
  drawSeparator(painter, kHeaderSeparatorY, kSeparatorX, viewSize.width());
  const inbox_layout::InboxPageLayout layout = inbox_->pageLayout(view_.mode());
  InboxPaintState state;
  state.unreadCount = static_cast<int>(inbox_->all().size());
  state.approvalCount = inbox_->approvalCount();
  state.statusBanner = view_.statusBanner();
  state.statusBannerColor = view_.statusBannerColor;
  state.noteFocusedMessageID = inbox_->choiceNoteFocusedMessageID;
  state.activeChoiceNote = inbox_->activeChoiceNote;
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

// The usage header (tool status line, tabs and meter rows) is drawn by its painters from the
// ticker's usage state.
UsageHeaderState IslandView::usageHeaderState() {
  ticker_->normalizeActiveUsageTool();
  UsageHeaderState state;
  state.viewWidth = view_.width();
  state.kind = view_.displayKind();
  state.tool = ticker_->activeUsageTool;
  state.snapshot = ticker_->usageSnapshotForTool(ticker_->activeUsageTool);
  state.tools = ticker_->enabledUsageTools();
  state.settingsRect = inbox_->pageLayout(view_.mode()).topSettingsRect();
  state.meterGrowth = view_.renderingFixtures ? 1.0 : usageMeterGrowth(mediaTime(), ticker_->usageAnimationStarted);
  state.toolLogo = toolLogoPainter;
  return state;
}

void IslandView::scheduleCardAgeRefresh(const inbox_layout::InboxPageLayout& layout, const QDateTime& now) {
  const std::optional<qint64> delay = inbox_layout::cardAgeRefreshDelayMs(layout.page(), now);
  if (!delay) {
    cardAgeRefreshWork_.cancel();
    return;
  }
  QPointer<TandrelView> view(&view_);
  cardAgeRefreshWork_ = clock_.schedule(std::chrono::milliseconds(*delay), [this, view] {
    if (!view || view->mode() != OverlayMode::expanded) {
      return;
    }
    // Only the ages change: repaint their rectangles, which paints and arms the next refresh.
    const inbox_layout::InboxPageLayout layout = inbox_->pageLayout(view->mode());
    for (int index = 0; index < static_cast<int>(layout.page().size()); ++index) {
      view->update(inbox_layout::cardAgeRect(layout.messageRect(index)).toAlignedRect());
    }
  });
}

PetState IslandView::currentPetState() {
  const IslandPetStateKeys keys{store_.revision(), settings_.values().disabledToolIDs, ticker_->usageToolsHealthSignature(),
                                ticker_->wrapperBridgeReadyCached(clock_.now()), store_.socketRequestsWaiting()};
  return petStateCache_.state(keys, [&] {
    return resolveIslandPetState(store_, keys.disabledToolIDs, ticker_->enabledUsageTools(), keys.hasPendingApprovals);
  });
}

void IslandView::paintExpandedPetRail(QPainter& painter) {
  const UserSettings& values = settings_.values();
  drawExpandedPetRail(painter, {view_.petChoices, values.selectedPetID, currentPetState(), values.reduceMotion,
                                isTestEnvironment(), mediaTime(), view_.modeAnimationStarted});
}

void IslandView::paintCollapsedPet(QPainter& painter, const QRectF& rect) {
  const UserSettings& values = settings_.values();
  drawPetAvatar(painter, {view_.petChoices, values.reduceMotion, mediaTime()}, values.selectedPetID, rect,
                currentPetState());
}

}  // namespace tandrel
