#pragma once

// The About tab: the application's identity (icon, name, description, version and release
// date with the update badge), the "Check for updates" row with its status control and the
// update panel of the current state, and the "App Log" of this release. Geometry comes from
// about_layout.h; a click on the panel's button or anywhere on the update row runs the update
// flow's primary action.

#include "settings/settings_pages.h"
#include "update/about_update_flow.h"

#include <QPainter>
#include <QRectF>

namespace tandrel {

class AboutPage : public SettingsPage {
 public:
  // `flow` gives the panel's update flow, which is made afresh after a failed install.
  AboutPage(SettingsContext& context, std::function<AboutUpdateFlow&()> flow)
      : SettingsPage(context), flow_(std::move(flow)) {}
  void draw(SettingsPageCanvas& canvas) override;
  std::vector<SettingsClickRoute> routes() override;

 private:
  std::function<AboutUpdateFlow&()> flow_;
};

namespace about_page {
// The application's icon clipped to a rounded square in `rect`: resources/AppIcon.png, else the
// application's window icon, else a placeholder with the name's first letter.
void drawApplicationIcon(QPainter& painter, const QRectF& rect);
}  // namespace about_page

}  // namespace tandrel
