// The panel's About tab update flow and AI Tools tab: their banners, redraws and the ways they
// reach the controller are the view's, through the panel's host.

#include "settings/settings_panel.h"

#include "ai_tools/ai_tools_tab.h"
#include "settings/pages/about_layout.h"

#include <QCoreApplication>
#include <QPointer>

namespace tandrel {

void SettingsPanel::resetAboutUpdateFlow(std::optional<QString> installFailure) {
  AboutUpdateFlow::Hooks hooks;
  // The flow belongs to the panel, so its hooks never outlive it.
  hooks.showBanner = [this](const QString& text, UpdateBannerRole role) {
    host_.showBanner(text, updateBannerColor(role));
  };
  hooks.redraw = [this] { host_.redraw(); };
  // The detached installer waits for this process to end. The controller's teardown deletes the
  // views, this flow among them, so it runs on the next turn of the loop.
  hooks.terminateApplication = [this] {
    if (OverlayHost* controller = host_.host()) {
      QMetaObject::invokeMethod(controller, &OverlayHost::handleTerminationRequest, Qt::QueuedConnection);
    } else {
      QCoreApplication::quit();
    }
  };
  aboutUpdate_ = std::make_unique<AboutUpdateFlow>(std::move(hooks), host_.clock(), std::move(installFailure));
}

bool SettingsPanel::clickAboutUpdateCheck() {
  return handleClick(about_layout::kStatusControlRect.center());
}

bool SettingsPanel::clickAboutPrimaryUpdateAction() {
  const QRectF action = about_layout::updatePanelActionRect(aboutUpdate_->aboutUpdateState());
  return action.isEmpty() ? clickAboutUpdateCheck() : handleClick(action.center());
}

AIToolsTab& SettingsPanel::aiToolsTab() {
  if (!aiToolsTab_) {
    AIToolsTab::ViewHooks hooks;
    hooks.showBanner = [this](const QString& text, const QColor& color) { host_.showBanner(text, color); };
    hooks.redraw = [this] { host_.redraw(); };
    hooks.showsSettings = [this] { return host_.showsSettings(); };
    hooks.leaveSettings = [this] { host_.leaveSettings(); };
    hooks.usageToolsChanged = [this] { host_.usageToolsChanged(); };
    hooks.normalizeActiveUsageTool = [this] { host_.normalizeActiveUsageTool(); };
    hooks.healthSignature = [this](const std::vector<ToolHealth>& rows) { return host_.usageToolsHealthSignature(rows); };
    AIToolsTab::Services services;
    services.clock = &host_.clock();
    aiToolsTab_ = std::make_unique<AIToolsTab>(std::move(hooks), std::move(services), host_.toolHealth());
  }
  return *aiToolsTab_;
}

}  // namespace tandrel
