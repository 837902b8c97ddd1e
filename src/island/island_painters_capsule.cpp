#include "island/island_painters_capsule.h"

#include "ui/island_paint.h"

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

void paintExternalCollapsedLine(QPainter& painter, const CollapsedCapsuleLayout& layout,
                                const CollapsedLineContent& content, const ToolLogoPainter& toolLogo) {
  const QRectF& body = layout.body;
  const qreal textY = layout.textY;
  if (toolLogo) {
    toolLogo(painter, content.tool, externalCollapsedToolLogoRect(body));
  }
  const std::optional<QRectF> deadline =
      content.deadlineLabel ? std::optional(externalCollapsedDeadlineRect(body, textY)) : std::nullopt;
  QRectF box;
  if (content.isUsage) {
    box = externalCollapsedUsageTextRect(body, textY, deadline);
  } else if (content.showsApprovalBadge) {
    box = externalCollapsedStatusTextRect(body, textY, true);
  } else if (deadline) {
    box = externalCollapsedStatusTextRect(body, textY, *deadline);
  } else {
    box = externalCollapsedStatusTextRect(body, textY, false);
  }

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  if (content.isUsage) {
    painter.save();
    painter.setClipRect(box);
    painter.setFont(externalCollapsedStatusFont(content.label, box.width()));
    painter.setPen(kExternalTickerText);
    painter.drawText(box, static_cast<int>(Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine), content.label);
    painter.restore();
  } else {
    drawText(painter, content.label, box, externalCollapsedStatusFont(), kExternalTickerText);
  }

  if (content.showsApprovalBadge) {
    const qreal width = content.approvalCount > 9 ? 38 : 34;
    const QRectF badge(body.right() - 48, (body.height() - 18) * 0.5, width, 18);
    QPainterPath pill;
    pill.addRoundedRect(badge, 9, 9);
    painter.fillPath(pill, withAlpha(kExternalTickerText, 0.2));
    drawText(painter, QStringLiteral("\u26A1"), QRectF(badge.left() + 7, badge.top() + 3, 10, 13),
             islandFont(10.5, QFont::DemiBold), kExternalTickerText, TextAlignment::center);
    drawText(painter, QString::number(content.approvalCount),
             QRectF(badge.left() + 19, badge.top() + 3, badge.width() - 24, 13), islandFont(10.5, QFont::Bold),
             kExternalTickerText, TextAlignment::center);
  } else if (deadline) {
    drawText(painter, *content.deadlineLabel, *deadline, islandFont(11), white(0.56), TextAlignment::center);
  }
  painter.restore();
}

void paintMacBookCollapsedStatus(QPainter& painter, const CollapsedCapsuleLayout& layout, const QString& word,
                                 const QColor& color) {
  drawText(painter, word, macBookCollapsedStatusRect(layout.body, layout.cutout), islandFont(9.5, QFont::DemiBold),
           color, TextAlignment::center);
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
