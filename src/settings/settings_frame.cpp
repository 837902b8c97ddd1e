#include "settings/settings_frame.h"

#include "settings/settings_paint.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/island_symbols.h"

#include <QFontMetricsF>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tandrel::settings_frame {

using island_paint::white;

namespace {

constexpr qreal kTabRowTop = 68;
constexpr qreal kTabRowStep = 37.5;
constexpr qreal kPanelRadius = 14;
constexpr qreal kHeaderTitleX = 192;
constexpr qreal kScrollTrackInset = 6;
constexpr qreal kMinimumThumb = 20;
constexpr qreal kMinimumThumbRatio = 0.08;

void fillRounded(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  painter.fillPath(path, color);
}

void drawTab(QPainter& painter, qreal viewWidth, int index, bool active) {
  const QRectF row = tabRowRect(index);
  if (active) {
    fillRounded(painter, row, 8, white(0.10));
  }
  const SettingsTab tab = kTabs[static_cast<size_t>(index)];
  island_paint::drawSymbol(painter, tabSymbol(tab), QRectF(row.left() + 12, row.center().y() - 7, 14, 14),
                           white(active ? 0.72 : 0.32), 13);
  const QFont font = islandFont(13, active ? kActiveTabLabelWeight : kInactiveTabLabelWeight);
  const QFontMetricsF metrics(font);
  const qreal lineHeight = std::ceil(metrics.ascent() + metrics.descent() + metrics.leading());
  const qreal x = row.left() + 34;
  island_paint::drawText(painter, rawValue(tab), QRectF(x, row.center().y() - lineHeight / 2, viewWidth - 8 - x, lineHeight),
                         font, white(active ? 0.90 : 0.44));
}

}  // namespace

QString tabSymbol(SettingsTab tab) {
  switch (tab) {
    case SettingsTab::general:
      return QStringLiteral("gearshape");
    case SettingsTab::pets:
      return QStringLiteral("face.smiling");
    case SettingsTab::sound:
      return QStringLiteral("music.note");
    case SettingsTab::aiTools:
      return QStringLiteral("cpu");
    case SettingsTab::about:
      return QStringLiteral("tandrel.logo");
  }
  return {};
}

QRectF tabRowRect(int index) { return QRectF(8, kTabRowTop + kTabRowStep * index, 131, 36); }

std::optional<SettingsTab> tabAt(QPointF point) {
  for (size_t i = 0; i < kTabs.size(); ++i) {
    if (tabRowRect(static_cast<int>(i)).contains(point)) {
      return kTabs[i];
    }
  }
  return std::nullopt;
}

QRectF headerStripRect(qreal viewWidth) {
  return QRectF(kSidebarWidth, 0, std::max(viewWidth - kSidebarWidth, 0.0), kHeaderHeight);
}

QRectF viewportRect(const QSizeF& viewSize) {
  return QRectF(kSidebarWidth, kHeaderHeight, viewSize.width() - kSidebarWidth, viewSize.height() - kHeaderHeight);
}

QPointF contentPoint(QPointF viewPoint, qreal scrollOffset) {
  return QPointF(viewPoint.x(), viewPoint.y() + scrollOffset - kContentOriginY);
}

qreal viewY(qreal contentY, qreal scrollOffset) { return contentY + kContentOriginY - scrollOffset; }

std::optional<qreal> scrolledOffset(qreal offset, qreal deltaY, qreal contentHeight, qreal viewportHeight) {
  const qreal range = std::max(0.0, contentHeight - viewportHeight);
  if (range <= 0) {
    return std::nullopt;
  }
  const qreal next = std::clamp(offset - deltaY, 0.0, range);
  if (std::abs(next - offset) <= 0.001) {
    return std::nullopt;
  }
  return next;
}

std::optional<ScrollIndicator> scrollIndicator(const QRectF& viewport, qreal viewWidth, qreal contentHeight,
                                               qreal offset) {
  if (viewport.height() + 0.5 >= contentHeight) {
    return std::nullopt;
  }
  const qreal trackY = viewport.top() + kScrollTrackInset;
  const QRectF track(viewWidth - 12, trackY, 4, std::max(viewport.bottom() - kScrollTrackInset - trackY, kMinimumThumb));
  const qreal ratio = viewport.height() / contentHeight;
  const qreal thumbHeight =
      ratio >= 1 ? track.height() : std::max(track.height() * std::max(ratio, kMinimumThumbRatio), kMinimumThumb);
  const qreal range = contentHeight - viewport.height();
  const qreal progress = range >= 1 ? std::clamp(offset / range, 0.0, 1.0) : std::clamp(offset, 0.0, 1.0);
  const QRectF thumb(track.x(), track.y() + (track.height() - thumbHeight) * progress, track.width(), thumbHeight);
  return ScrollIndicator{track, thumb};
}

void drawChrome(QPainter& painter, const QSizeF& viewSize, SettingsTab activeTab, bool aboutMarker) {
  const qreal w = viewSize.width();
  const qreal h = viewSize.height();
  const QRectF bounds(QPointF(), viewSize);
  island_paint::drawTopFusedBackground(painter, bounds, kPanelRadius, true);
  // The sidebar keeps to the panel's rounded corners.
  painter.save();
  painter.setClipPath(island_paint::topFusedBackgroundPath(bounds, kPanelRadius, true));
  painter.fillRect(QRectF(0, 0, kSidebarWidth, h), white(0.025));
  painter.fillRect(QRectF(kSidebarWidth - 1, 0, 1, h), white(0.07));
  painter.restore();
  island_paint::drawText(painter, QStringLiteral("Tandrel Settings"), 16, 42, w, islandFont(11, QFont::DemiBold),
                         white(0.55));
  for (size_t i = 0; i < kTabs.size(); ++i) {
    drawTab(painter, w, static_cast<int>(i), kTabs[i] == activeTab);
  }
  if (aboutMarker) {
    const QRectF about = tabRowRect(static_cast<int>(kTabs.size()) - 1);
    QPainterPath dot;
    dot.addEllipse(QRectF(about.right() - 18, about.center().y() - 3, 6, 6));
    painter.fillPath(dot, settings_paint::kWarningAmber);
  }
  island_paint::drawSeparator(painter, kHeaderHeight, kSidebarWidth, w);
  island_paint::drawSymbol(painter, tabSymbol(activeTab), QRectF(168, 39, 14, 14), white(0.42), 13);
  island_paint::drawText(painter, rawValue(activeTab), kHeaderTitleX, 37, w, islandFont(15, QFont::DemiBold), white(0.82));
}

QRectF statusBannerRect(qreal viewWidth) {
  static const qreal left = [] {
    const QFontMetricsF metrics(islandFont(15, QFont::DemiBold));
    qreal widest = 0;
    for (const SettingsTab tab : kTabs) {
      widest = std::max(widest, metrics.horizontalAdvance(rawValue(tab)));
    }
    return kHeaderTitleX + std::ceil(widest) + 24;
  }();
  return {left, 32, std::max<qreal>(0, viewWidth - 20 - left), 30};
}

void drawStatusBanner(QPainter& painter, qreal viewWidth, const QString& text, const QColor& color) {
  const QRectF rect = statusBannerRect(viewWidth);
  QPainterPath path;
  path.addRoundedRect(rect, 9, 9);
  painter.fillPath(path, QColor::fromRgbF(0, 0, 0, 0.86));
  painter.fillPath(path, island_paint::withAlpha(color, 0.10));
  painter.strokePath(path, QPen(island_paint::withAlpha(color, 0.25), 1));
  island_paint::drawText(painter, text, rect.adjusted(12, 8, -12, -8), islandFont(11, QFont::DemiBold), color,
                         island_paint::TextAlignment::center);
}

void drawScrollIndicator(QPainter& painter, const ScrollIndicator& indicator) {
  fillRounded(painter, indicator.track, 2, white(0.06));
  fillRounded(painter, indicator.thumb, 2, white(0.30));
}

}  // namespace tandrel::settings_frame
