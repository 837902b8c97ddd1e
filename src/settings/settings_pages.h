#pragma once

// The settings tabs' pages, one table: each page says how it draws its content and which regions
// of it a click acts on. The frame (the view's settings drawing and mouse handling) looks a page
// up here and knows nothing else of it, so a new tab adds one entry to the table in
// settings_pages.cpp and its own files, and leaves the frame alone.
//
// A page draws and hit-tests in content coordinates (y down, x as in the view): content columns
// start at x 168 and are 680 wide. The rectangles a page draws its controls in should come from
// the same functions its click routes use.

#include "ui/overlay_settings.h"

#include <QPainter>
#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <functional>
#include <vector>

namespace tandrel {

class TandrelView;

// Where a page draws: the painter (already translated and clipped to the viewport), the view's
// width, and the height of the content so far, which starts as the viewport's height.
struct SettingsPageCanvas {
  QPainter& painter;
  qreal viewWidth;
  qreal contentHeight;

  // A page whose content reaches further down than the viewport says how far.
  void reach(qreal bottom) { contentHeight = std::max(contentHeight, bottom); }
};

// One clickable region of a page (content coordinates) and what a click on it does. The frame
// redraws after any hit.
struct SettingsClickRoute {
  QRectF rect;
  std::function<void()> action;
};

// Whether `point` lies in `rect`: the left and top edges belong to it, the right and bottom ones
// to the next region.
bool routeContains(const QRectF& rect, QPointF point);

struct SettingsPage {
  std::function<void(TandrelView& view, SettingsPageCanvas& canvas)> draw;
  // The page's regions in the order they are tried; the first hit wins.
  std::function<std::vector<SettingsClickRoute>(TandrelView& view)> routes;
};

// The page of a tab; nullptr for a tab that has none yet (the frame draws it empty).
const SettingsPage* settingsPage(SettingsTab tab);

}  // namespace tandrel
