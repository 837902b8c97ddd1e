#include "settings/settings_pages.h"

namespace tandrel {

bool routeContains(const QRectF& rect, QPointF point) {
  return point.x() >= rect.left() && point.x() < rect.right() && point.y() >= rect.top() &&
         point.y() < rect.bottom();
}

}  // namespace tandrel
