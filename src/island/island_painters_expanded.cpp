#include "island/island_painters_expanded.h"

#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/island_symbols.h"

#include <algorithm>

namespace tandrel {

using namespace island_paint;

namespace {
const QColor kQuitColor = QColor::fromRgbF(1.0, 1 / 3.0, 1 / 3.0);
const QColor kQuitGlyph = QColor::fromRgbF(1.0, 2 / 3.0, 2 / 3.0, 0.72);
constexpr double kFadeInSeconds = 0.2;
}  // namespace

void paintExpandedFooter(QPainter& painter, QSizeF viewSize) {
  drawText(painter, QStringLiteral("Tandrel \u00B7 agent pulse"),
           QRectF(36, viewSize.height() - 23, viewSize.width() - 72, 14), islandFont(9.5, QFont::DemiBold),
           white(0.28), TextAlignment::center);
}

void paintQuitButton(QPainter& painter, const QRectF& rect) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  fillAndStrokeRoundedRect(painter, rect, 7, withAlpha(kQuitColor, 0.08), withAlpha(kQuitColor, 0.18));
  drawSymbol(painter, QStringLiteral("power"), rect.adjusted(5, 5, -5, -5), kQuitGlyph, 9);
  painter.restore();
}

qreal expandedContentAlpha(bool expanded, bool renderingFixtures, double secondsSinceModeChange) {
  if (!expanded || renderingFixtures) {
    return 1;
  }
  return std::clamp(secondsSinceModeChange / kFadeInSeconds, 0.0, 1.0);
}

}  // namespace tandrel
