#include "app/application_menu.h"
#include "app/overlay_controller.h"
#include "island/tandrel_view.h"
#include "update/update_client.h"

#include <QDesktopServices>
#include <QPainter>
#include <QPixmap>
#include <QUrl>

#ifndef TANDREL_HELP_URL
#error "TANDREL_HELP_URL must be defined by the build"
#endif

namespace tandrel {
namespace {

// The tray's picture: the island, a black capsule, on a transparent square.
QIcon trayIconPicture() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(255, 255, 255, 200), 3));
  painter.setBrush(Qt::black);
  painter.drawRoundedRect(QRectF(4, 20, 56, 24), 12, 12);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x34, 0xc7, 0x59));
  painter.drawEllipse(QRectF(40, 27, 10, 10));
  return QIcon(pixmap);
}

}  // namespace

QString OverlayControllerOptions::defaultHelpAddress() { return QStringLiteral(TANDREL_HELP_URL); }

void OverlayController::installApplicationMenu() {
  ApplicationMenu::Operations operations = {
      {MenuCommand::about, [this] { showAboutPanel(); }},
      {MenuCommand::showSettings, [this] { showSettingsFromMenu(); }},
      {MenuCommand::quit, [this] { handleTerminationRequest(); }},
      {MenuCommand::showPets, [this] { showPetsFromMenu(); }},
      {MenuCommand::closeWindow, [this] { closeSettingsFromMenu(); }},
      {MenuCommand::checkForUpdates, [this] { checkForUpdatesFromMenu(); }},
      {MenuCommand::showHelp, [this] { showHelpFromMenu(); }},
  };
  // The old menu's actions leave every window and menu that held them as they are deleted.
  trayMenu_.reset();
  applicationMenu_ = std::make_unique<ApplicationMenu>(std::move(operations));
  for (const auto& surface : surfaces_) {
    if (surface->panel->style() == PanelStyle::settings) {
      applicationMenu_->attach(*surface->panel);
    }
  }
  if (trayIcon_) {
    trayMenu_ = applicationMenu_->createMenu();
    trayIcon_->setContextMenu(trayMenu_.get());
  }
}

void OverlayController::updateTrayIcon() {
  const bool hostRuns = options_.trayAvailable ? options_.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
  const bool wanted = showInDockSetting() && hostRuns && !isPreparingForTermination_;
  if (!wanted) {
    trayIcon_.reset();
    trayMenu_.reset();
    return;
  }
  if (trayIcon_ || !applicationMenu_) {
    return;
  }
  trayIcon_ = std::make_unique<QSystemTrayIcon>(trayIconPicture());
  trayIcon_->setToolTip(QStringLiteral("Tandrel"));
  trayMenu_ = applicationMenu_->createMenu();
  trayIcon_->setContextMenu(trayMenu_.get());
  // A click on the icon is the Dock icon's click: the island comes forward.
  connect(trayIcon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
      applicationShouldHandleReopen();
    }
  });
  trayIcon_->show();
}

void OverlayController::openSettings(SettingsTab tab) {
  if (!activeSurfaceID_ && !surfaces_.empty()) {
    activeSurfaceID_ = surfaces_.front()->id;
  }
  const bool wasSettings = currentMode_ == OverlayMode::settings;
  currentMode_ = OverlayMode::settings;
  applyActivationPolicy();
  applyModeAfterSettingsBoundaryChange(wasSettings, true);
  selectSettingsTabOnSurfaces(tab);
  bringSettingsPanelToFront();
}

void OverlayController::showSettingsFromMenu() { openSettings(SettingsTab::general); }

void OverlayController::showPetsFromMenu() { openSettings(SettingsTab::pets); }

void OverlayController::closeSettingsFromMenu() {
  OverlaySurface* surface = activeSurface();
  if (currentMode_ != OverlayMode::settings || surface == nullptr) {
    return;
  }
  closeSettings(surface->view);
}

void OverlayController::checkForUpdatesFromMenu() {
  openSettings(SettingsTab::about);
  if (OverlaySurface* surface = activeSurface()) {
    surface->view->selectSettingsTab(SettingsTab::about);
    surface->view->aboutUpdate().checkForUpdatesFromAbout();
    surface->view->update();
  }
}

void OverlayController::showHelpFromMenu() {
  const QUrl address(options_.helpAddress, QUrl::StrictMode);
  if (!address.isValid() || (address.scheme() != QLatin1String("https") && address.scheme() != QLatin1String("http")) ||
      address.host().isEmpty()) {
    return;
  }
  QDesktopServices::openUrl(address);
}

void OverlayController::showAboutPanel() {
  if (!aboutPanel_) {
    aboutPanel_ = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Tandrel"),
                                  QStringLiteral("Tandrel %1").arg(applicationVersion()), QMessageBox::Ok);
    aboutPanel_->setIconPixmap(trayIconPicture().pixmap(64, 64));
    aboutPanel_->setAttribute(Qt::WA_DeleteOnClose);
    aboutPanel_->setModal(false);
  }
  aboutPanel_->show();
  aboutPanel_->raise();
  aboutPanel_->activateWindow();
}

}  // namespace tandrel
