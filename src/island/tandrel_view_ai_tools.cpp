// The island view's AI Tools tab: the tab's actions over the view's tool health.

#include "ai_tools/ai_tools_tab.h"
#include "island/collapsed_ticker.h"
#include "island/tandrel_view.h"

namespace tandrel {

AIToolsTab& TandrelView::aiToolsTab() {
  if (!aiToolsTab_) {
    AIToolsTab::ViewHooks hooks;
    hooks.showBanner = [this](const QString& text, const QColor& color) {
      statusBannerColor = color;
      setStatusBanner(text);
    };
    hooks.redraw = [this] { update(); };
    hooks.showsSettings = [this] { return mode() == OverlayMode::settings; };
    hooks.leaveSettings = [this] { requestMode(OverlayMode::collapsed); };
    hooks.usageToolsChanged = [this] { markUsageToolsUnset(); };
    hooks.normalizeActiveUsageTool = [this] { normalizeActiveUsageTool(); };
    hooks.healthSignature = [](const std::vector<ToolHealth>& rows) { return tandrel::usageToolsHealthSignature(rows); };
    AIToolsTab::Services services;
    services.clock = &clock_;
    aiToolsTab_ = std::make_unique<AIToolsTab>(std::move(hooks), std::move(services), toolHealth);
  }
  return *aiToolsTab_;
}

bool TandrelView::refreshAIToolsHealth(bool force) { return aiToolsTab().refreshAIToolsHealth(force); }

bool TandrelView::performAIToolPrimaryActionForTests(const QString& toolID) {
  return aiToolsTab().performAIToolPrimaryActionForTests(toolID);
}

bool TandrelView::openExternalToolURL(const QUrl& url) { return aiToolsTab().openExternalToolURL(url); }

}  // namespace tandrel
