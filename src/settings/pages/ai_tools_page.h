#pragma once

#include "hooks/hook_manager.h"
#include "settings/settings_pages.h"

#include <QColor>
#include <QRectF>
#include <QSet>
#include <QString>

#include <vector>

class QPainter;

// The AI Tools tab's page: the intro line and the Refresh button, then one section per product
// with a row per tool (logo, name, status and surface badges, the integration and usage line, the
// path, the row's button and its switch). Content coordinates of the settings panel; the rows'
// rectangles come from aiToolsPageLayout, which the click routes use as well.

namespace tandrel {

// The width of a status badge: the text in 9 px, the symbol (when there is one) in 8 px bold and
// 3 between them, 12 of padding; at least 26.
qreal toolSettingsBadgeWidth(const QString& text, const QString& symbol);
// A badge 18 high at the rect's origin, as wide as the rect: faint when muted, else tinted with
// `color`; the symbol and the text centred (at least 6 from the left edge) in `color`.
void drawToolSettingsBadge(QPainter& painter, const QString& text, const QString& symbol, const QRectF& rect,
                           const QColor& color, bool muted);

class AIToolsTab;

// The page: drawing over the view's tool health and hidden tools, and the click routes (Refresh,
// each row's button, each installed tool's switch), which act through the panel's AIToolsTab.
class AIToolsPage : public SettingsPage {
 public:
  AIToolsPage(SettingsContext& context, std::function<AIToolsTab&()> tab)
      : SettingsPage(context), tab_(std::move(tab)) {}
  void draw(SettingsPageCanvas& canvas) override;
  std::vector<SettingsClickRoute> routes() override;

 private:
  std::function<AIToolsTab&()> tab_;
};

// Draws the page for a view `viewWidth` wide; returns the height its content reaches.
qreal drawAIToolsPage(QPainter& painter, const std::vector<ToolHealth>& toolHealth,
                      const QSet<QString>& disabledToolIDs, qreal viewWidth);

}  // namespace tandrel
