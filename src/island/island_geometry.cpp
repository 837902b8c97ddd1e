#include "island/island_geometry.h"

#include <algorithm>
#include <cmath>

namespace tandrel {

using namespace island;

qreal expandedOverlayHeight(int messageCount) {
  if (messageCount < 1) {
    return kExpandedEmptyHeight;
  }
  const int cards = std::min(messageCount, kCardsCountedForHeight);
  // What is left below three cards: 501 - 190 - (3 x 84 + 2 x 8).
  const qreal roomBelow = kExpandedMaximumHeight - kMessageListTop - (3 * kCardHeight + 2 * kCardGap);
  return std::min(kExpandedMaximumHeight, kMessageListTop + kCardHeight * cards + kCardGap * (cards - 1) + roomBelow);
}

QSizeF expandedOverlaySize(bool hasMessages) {
  return {kExpandedWidth, expandedOverlayHeight(hasMessages ? kCardsCountedForHeight : 0)};
}

qreal collapsedOverlayHeight(DisplayKind kind, qreal topReservedHeight, qreal safeTopInset) {
  const qreal reserved = std::ceil(std::max<qreal>(topReservedHeight, 0));
  if (kind == DisplayKind::externalVirtual) {
    return reserved > 0 ? reserved : kCollapsedMinimumHeight;
  }
  const qreal top = std::ceil(std::max(reserved, safeTopInset));
  return top > 0 ? std::max(kCollapsedMinimumHeight, top + kNotchHeightAdjustment) : kCollapsedMinimumHeight;
}

QSizeF collapsedOverlaySize(DisplayKind kind, qreal topReservedHeight, qreal safeTopInset) {
  return {kCollapsedWidth, collapsedOverlayHeight(kind, topReservedHeight, safeTopInset)};
}

QSizeF overlayModeSize(OverlayMode mode) {
  switch (mode) {
    case OverlayMode::collapsed:
      return {kCollapsedWidth, kCollapsedMinimumHeight};
    case OverlayMode::expanded:
      return expandedOverlaySize(true);
    case OverlayMode::settings:
      return kSettingsPanelSize;
  }
  return {};
}

QRectF settingsPanelDefaultFrame(const QRectF& availableArea) {
  const QRectF inset = availableArea.adjusted(kSettingsPanelMargin, kSettingsPanelMargin, -kSettingsPanelMargin,
                                              -kSettingsPanelMargin);
  const QSizeF size(std::min(kSettingsPanelSize.width(), inset.width()),
                    std::min(kSettingsPanelSize.height(), inset.height()));
  QRectF frame(QPointF(), size);
  frame.moveCenter(inset.center());
  return frame;
}

QRectF clampedSettingsPanelFrame(const QRectF& frame, const QRectF& area) {
  const QRectF inset = area.adjusted(kSettingsPanelMargin, kSettingsPanelMargin, -kSettingsPanelMargin,
                                     -kSettingsPanelMargin);
  const qreal width = std::max(kSettingsPanelMinimumSize.width(), std::min(frame.width(), inset.width()));
  const qreal height = std::max(kSettingsPanelMinimumSize.height(), std::min(frame.height(), inset.height()));
  const qreal x = std::max(inset.left(), std::min(frame.left(), std::max(inset.left(), inset.right() - width)));
  const qreal y = std::max(inset.top(), std::min(frame.top(), std::max(inset.top(), inset.bottom() - height)));
  return {x, y, width, height};
}

QRectF settingsPanelDesktopFrame(const std::vector<QRectF>& availableAreas) {
  if (availableAreas.empty()) {
    return {0, 0, kSettingsPanelSize.width() + 2 * kSettingsPanelMargin,
            kSettingsPanelSize.height() + 2 * kSettingsPanelMargin};
  }
  QRectF united = availableAreas.front();
  for (const QRectF& area : availableAreas) {
    united = united.united(area);
  }
  return united;
}

}  // namespace tandrel
