#include "ui/island_geometry.h"

#include <QFontMetricsF>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tandrel {

using namespace island;

qreal expandedOverlayHeight(int messageCount, qreal openChoiceExtent) {
  if (messageCount < 1) {
    return kExpandedEmptyHeight;
  }
  const int cards = std::min(messageCount, kCardsCountedForHeight);
  // What is left below three cards: 501 - 190 - (3 x 84 + 2 x 8).
  const qreal roomBelow = kExpandedMaximumHeight - kMessageListTop - (3 * kCardHeight + 2 * kCardGap);
  return std::min(kExpandedMaximumHeight, kMessageListTop + kCardHeight * cards + kCardGap * (cards - 1) + roomBelow) +
         std::max<qreal>(openChoiceExtent, 0);
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

bool insideExpandedHoverRegion(const QRectF& expandedFrame, QPointF point) {
  return expandedFrame.adjusted(-kHoverMargin, -kHoverMargin, kHoverMargin, kHoverMargin).contains(point);
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

QRectF draggedSettingsPanelFrame(const QRectF& startFrame, QPointF startPoint, QPointF point, const QRectF& desktop) {
  return clampedSettingsPanelFrame(startFrame.translated(point - startPoint), desktop);
}

namespace {

constexpr qreal kLogoSize = 16;
constexpr qreal kLogoLeftInset = 46;
constexpr qreal kLogoToText = 8;
constexpr qreal kTextRightInset = 18;
constexpr qreal kTextRightInsetWithAccessory = 74;
constexpr qreal kTextToDeadline = 6;
constexpr qreal kMinimumTextWidth = 44;
constexpr qreal kTextHeight = 16;
constexpr qreal kDeadlineWidth = 92;
constexpr qreal kDeadlineRightInset = 8;

// A text span from the logo's right edge to `right`, never narrower than 44.
QRectF textSpan(const QRectF& body, qreal textY, qreal right) {
  const qreal left = externalCollapsedToolLogoRect(body).right() + kLogoToText;
  return {left, textY, std::max(kMinimumTextWidth, right - left), kTextHeight};
}

}  // namespace

QRectF externalCollapsedToolLogoRect(const QRectF& body) {
  return {body.left() + kLogoLeftInset, body.top() + (body.height() - kLogoSize) / 2 - 1, kLogoSize, kLogoSize};
}

QRectF externalCollapsedStatusTextRect(const QRectF& body, qreal textY, bool hasTrailingAccessory) {
  return textSpan(body, textY, body.right() - (hasTrailingAccessory ? kTextRightInsetWithAccessory : kTextRightInset));
}

QRectF externalCollapsedDeadlineRect(const QRectF& body, qreal textY) {
  return {body.right() - kDeadlineRightInset - kDeadlineWidth, textY, kDeadlineWidth, kTextHeight};
}

QRectF externalCollapsedStatusTextRect(const QRectF& body, qreal textY, const QRectF& deadlineRect) {
  return textSpan(body, textY, deadlineRect.left() - kTextToDeadline);
}

QRectF externalCollapsedUsageTextRect(const QRectF& body, qreal textY, const std::optional<QRectF>& deadlineRect) {
  return textSpan(body, textY, deadlineRect ? deadlineRect->left() - kTextToDeadline : body.right() - kTextRightInset);
}

QFont islandFont(qreal pixelSize, QFont::Weight weight) {
  QFont font;
  font.setFamilies(QStringList{QStringLiteral("Inter"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  // QFont takes whole pixel sizes only; a point size at Qt's logical 96 dots per inch gives the
  // fractional pixel sizes (10.5, 9.5) exactly.
  font.setPointSizeF(pixelSize * 72.0 / 96.0);
  font.setWeight(weight);
  // Horizontal metrics stay fractional, so that half-pixel sizes measure as such.
  font.setHintingPreference(QFont::PreferVerticalHinting);
  return font;
}

QFont externalCollapsedStatusFont() { return islandFont(11, QFont::DemiBold); }

QFont externalCollapsedStatusFont(const QString& text, qreal width) {
  for (qreal size = 11; size > 9.5; size -= 0.5) {
    const QFont font = islandFont(size, QFont::DemiBold);
    if (QFontMetricsF(font).horizontalAdvance(text) <= width) {
      return font;
    }
  }
  return islandFont(9.5, QFont::DemiBold);
}

QRectF aspectFitRect(const QSizeF& contentSize, const QRectF& bounds) {
  if (!(contentSize.width() > 0 && contentSize.height() > 0 && bounds.width() > 0 && bounds.height() > 0)) {
    return bounds;
  }
  const qreal scale = std::min(bounds.width() / contentSize.width(), bounds.height() / contentSize.height());
  QRectF fitted(QPointF(), contentSize * scale);
  fitted.moveCenter(bounds.center());
  return fitted;
}

}  // namespace tandrel
