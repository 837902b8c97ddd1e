// The island view's About tab: its update flow, whose banners, redraws and quit are the view's.

#include "island/tandrel_view.h"

#include "settings/pages/about_layout.h"

#include <QCoreApplication>
#include <QPointer>

namespace tandrel {

void TandrelView::resetAboutUpdateFlow(std::optional<QString> installFailure) {
  QPointer<TandrelView> self(this);
  AboutUpdateFlow::Hooks hooks;
  hooks.showBanner = [self](const QString& text, UpdateBannerRole role) {
    if (self) {
      self->setStatusBanner(text);
      self->statusBannerColor = updateBannerColor(role);
    }
  };
  hooks.redraw = [self] {
    if (self) {
      self->update();
    }
  };
  // The detached installer waits for this process to end. The controller's teardown deletes the
  // views, this flow among them, so it runs on the next turn of the loop.
  hooks.terminateApplication = [self] {
    if (self && self->controller) {
      QMetaObject::invokeMethod(self->controller.data(), &OverlayHost::handleTerminationRequest,
                                Qt::QueuedConnection);
    } else {
      QCoreApplication::quit();
    }
  };
  aboutUpdate_ = std::make_unique<AboutUpdateFlow>(std::move(hooks), clock_, std::move(installFailure));
}

bool TandrelView::clickAboutUpdateCheckForTests() {
  return handleSettingsClick(about_layout::kStatusControlRect.center());
}

bool TandrelView::clickAboutPrimaryUpdateActionForTests() {
  const QRectF action = about_layout::updatePanelActionRect(aboutUpdate_->aboutUpdateState());
  return action.isEmpty() ? clickAboutUpdateCheckForTests() : handleSettingsClick(action.center());
}

}  // namespace tandrel
