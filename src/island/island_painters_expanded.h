#pragma once

// The painters of the expanded island's frame: the footer line and the quit button. The fused
// background and the separators are primitives of island_paint.h; the header, the pet rail and
// the inbox have painters of their own.

#include <QPainter>
#include <QRectF>
#include <QSizeF>

namespace tandrel {

// "Tandrel · agent pulse", centred 23 above the view's bottom edge.
void paintExpandedFooter(QPainter& painter, QSizeF viewSize);
// A rounded coral button with the power sign.
void paintQuitButton(QPainter& painter, const QRectF& rect);

// The fade-in of everything below the expanded header's top line: 0 to 1 over 0.2 s after the
// island expanded; 1 in other modes and whenever fixtures are rendered.
qreal expandedContentAlpha(bool expanded, bool renderingFixtures, double secondsSinceModeChange);

}  // namespace tandrel
