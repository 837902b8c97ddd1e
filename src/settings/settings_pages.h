#pragma once

// The settings tabs' pages: one class per tab, each saying how it draws its content and which
// regions of it a click acts on. The panel (settings_panel.h) holds one page per tab and knows
// nothing else of it, so a new tab adds its page class and its own files, and leaves the frame
// alone.
//
// A page draws and hit-tests in content coordinates (y down, x as in the view): content columns
// start at x 168 and are 680 wide. The rectangles a page draws its controls in should come from
// the same functions its click routes use. A page reaches the view only through its
// SettingsContext.

#include "settings/settings_context.h"
#include "ui/overlay_settings.h"

#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <vector>

namespace tandrel {

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

class SettingsPage {
 public:
  explicit SettingsPage(SettingsContext& context) : context_(context) {}
  virtual ~SettingsPage() = default;
  SettingsPage(const SettingsPage&) = delete;
  SettingsPage& operator=(const SettingsPage&) = delete;

  virtual void draw(SettingsPageCanvas& canvas) = 0;
  // The page's regions in the order they are tried; the first hit wins.
  virtual std::vector<SettingsClickRoute> routes() = 0;

 protected:
  qreal viewWidth() { return context_.widget().width(); }

  SettingsContext& context_;
};

}  // namespace tandrel
