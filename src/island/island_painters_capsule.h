#pragma once

// The collapsed capsule's painter: the body on either kind of display (with shoulders on an
// external one, sealed to the screen's edge and cut around the camera housing on a notched one)
// and the rectangles its content uses. The ticker line and the pet are drawn into the rectangles
// of `CollapsedCapsuleLayout` by their own painters.

#include "island/island_painters_inbox.h"
#include "ui/island_geometry.h"
#include "ui/overlay_mode.h"

#include <QPainter>
#include <QRectF>
#include <QSizeF>

namespace tandrel {

struct CollapsedCapsuleLayout {
  QSizeF viewSize;
  DisplayKind kind = DisplayKind::externalVirtual;
  QRectF body;     // x 5, y 0, 322 wide, as high as the capsule
  QRectF cutout;   // the camera housing: 230 wide, centred in the body (notched displays)
  QRectF petRect;  // 16 x 16 left of the housing, or 20 x 20 10 in from the body's left edge
  qreal textY = 0;  // the top of an external capsule's 16-high text line
};

// The capsule's height: the view's height, at least 32, in collapsed mode; 32 otherwise.
qreal collapsedCapsuleHeight(QSizeF viewSize, OverlayMode mode);
CollapsedCapsuleLayout collapsedCapsuleLayout(QSizeF viewSize, DisplayKind kind, OverlayMode mode);

// The status word's box beside the housing: from 22 inside its right edge to 6 before the body's
// right edge, at least 48 wide, 13 high and centred in the body.
QRectF macBookCollapsedStatusRect(const QRectF& body, const QRectF& cutout);

// Where a press on the collapsed capsule opens the pet settings: 48 wide from the body's left
// edge, as high as the capsule.
QRectF collapsedPetPressRect(const CollapsedCapsuleLayout& layout);

// What the external capsule's ticker line shows.
struct CollapsedLineContent {
  QString tool;   // its logo is drawn left of the text
  QString label;
  bool isUsage = false;  // a usage line: fitted in size and cut at the box's edge, not ellipsized
  std::optional<QString> deadlineLabel;
  bool showsApprovalBadge = false;
  int approvalCount = 0;
};

inline const QColor kExternalTickerText = QColor::fromRgbF(1.0, 187 / 255.0, 0.0);

// The external capsule's line: the tool's logo, the label in its box, then the approval badge
// (a bolt and the count) or the reset text at the right.
void paintExternalCollapsedLine(QPainter& painter, const CollapsedCapsuleLayout& layout,
                                const CollapsedLineContent& content, const ToolLogoPainter& toolLogo);
// The notched capsule's status word beside the housing, centred, 9.5 semibold.
void paintMacBookCollapsedStatus(QPainter& painter, const CollapsedCapsuleLayout& layout, const QString& word,
                                 const QColor& color);

// The capsule's body: on an external display in its near-black fill with a dark outline and
// shoulders, on a notched display black with the camera ring in the housing.
void paintCollapsedCapsule(QPainter& painter, const CollapsedCapsuleLayout& layout);

}  // namespace tandrel
