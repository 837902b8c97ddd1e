// The island view's AI Tools tab: the tab's actions over the view's tool health, and the page's
// drawing and click routes.

#include "ai_tools/ai_tools_tab.h"
#include "island/collapsed_ticker.h"
#include "island/tandrel_view.h"
#include "settings/pages/ai_tools_page.h"
#include "settings/settings_paint.h"

namespace tandrel {

namespace {

void announce(TandrelView& view, const QString& text, const QColor& color) {
  view.statusBannerColor = color;
  view.setStatusBanner(text);
}

void draw(TandrelView& view, SettingsPageCanvas& canvas) {
  canvas.reach(drawAIToolsPage(canvas.painter, view.toolHealth, view.settings().values().disabledToolIDs,
                               canvas.viewWidth));
}

std::vector<SettingsClickRoute> routes(TandrelView& view) {
  std::vector<SettingsClickRoute> out;
  out.push_back({aiToolsRefreshButtonRect(view.width()), [&view] {
                   view.aiToolsTab().refreshAIToolsHealth(true, [&view](bool changed) {
                     view.normalizeActiveUsageTool();
                     if (changed) {
                       announce(view, QStringLiteral("AI Tools refreshed"), settings_paint::kSuccessGreen);
                     } else {
                       announce(view, QStringLiteral("AI Tools already up to date"),
                                  settings_paint::kInformationBlue);
                     }
                   });
                 }});
  for (const ToolHealth& tool : view.toolHealth) {
    const auto frame = toolRowFrame(view.toolHealth, tool.id);
    if (frame && settingsToolPrimaryAction(tool) != SettingsToolPrimaryAction::none) {
      out.push_back({toolActionButtonRect(*frame), [&view, tool] { view.aiToolsTab().performAIToolPrimaryAction(tool); }});
    }
  }
  for (const ToolHealth& tool : view.toolHealth) {
    const auto frame = toolRowFrame(view.toolHealth, tool.id);
    if (!frame || !settingsToolIsDetected(tool)) {
      continue;  // the switch of a tool that is not installed does nothing
    }
    out.push_back({toolEnableToggleRect(*frame), [&view, tool] {
                     const bool hidden = view.settings().values().disabledToolIDs.contains(tool.id);
                     view.settings().change([&tool, hidden](UserSettings& settings) {
                       if (hidden) {
                         settings.disabledToolIDs.remove(tool.id);
                       } else {
                         settings.disabledToolIDs.insert(tool.id);
                       }
                     });
                     if (hidden) {
                       announce(view, tool.name + QStringLiteral(" enabled in Tandrel"), settings_paint::kSuccessGreen);
                     } else {
                       announce(view, tool.name + QStringLiteral(" hidden from Tandrel until re-enabled"),
                                  settings_paint::kWarningAmber);
                     }
                     view.normalizeActiveUsageTool();
                   }});
  }
  return out;
}

}  // namespace

SettingsPage aiToolsSettingsPage() { return SettingsPage{draw, routes}; }

AIToolsTab& TandrelView::aiToolsTab() {
  if (!aiToolsTab_) {
    AIToolsTab::ViewHooks hooks;
    hooks.showBanner = [this](const QString& text, const QColor& color) { announce(*this, text, color); };
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
