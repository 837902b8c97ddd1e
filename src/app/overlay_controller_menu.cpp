#include "app/application_menu.h"
#include "app/overlay_controller.h"
#include "island/tandrel_view.h"
#include "platform/tray_hosts.h"
#include "update/update_client.h"

#include <QDesktopServices>
#include <QGridLayout>
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
      {MenuCommand::quit, [this] { requestTermination(); }},
      {MenuCommand::showIsland, [this] { applicationShouldHandleReopen(); }},
      {MenuCommand::showPets, [this] { showPetsFromMenu(); }},
      {MenuCommand::closeWindow, [this] { closeSettingsFromMenu(); }},
      {MenuCommand::checkForUpdates, [this] { checkForUpdatesFromMenu(); }},
      {MenuCommand::showHelp, [this] { showHelpFromMenu(); }},
  };
  // The old menu's actions leave every window and menu that held them as they are deleted, once
  // control is back in the event loop (a menu of them may be handling a click).
  std::unique_ptr<ApplicationMenu> old = std::move(applicationMenu_);
  applicationMenu_ = std::make_unique<ApplicationMenu>(std::move(operations));
  for (const auto& surface : surfaces_) {
    if (surface->panel->style() == PanelStyle::settings) {
      if (old) {
        old->detach(*surface->panel);  // one action for each key in the window
      }
      applicationMenu_->attach(*surface->panel);
    }
  }
  if (trayIcon_) {
    if (trayMenu_) {
      trayMenu_->deleteLater();
    }
    trayMenu_ = applicationMenu_->createTrayMenu().release();
    trayIcon_->setContextMenu(trayMenu_);
  }
  if (old) {
    old.release()->deleteLater();
  }
}

bool OverlayController::trayHostRuns() const { return trayHosts_ != nullptr && trayHosts_->running().any(); }

void OverlayController::updateTrayIcon() {
  const bool wanted = showInDockSetting() && trayHostRuns() && !isPreparingForTermination_;
  if (!wanted) {
    releaseTrayIcon();
    return;
  }
  if (trayIcon_ || !applicationMenu_) {
    return;
  }
  trayIcon_ = new QSystemTrayIcon(trayIconPicture());
  trayIcon_->setToolTip(QStringLiteral("Tandrel"));
  trayMenu_ = applicationMenu_->createTrayMenu().release();
  trayIcon_->setContextMenu(trayMenu_);
  // A click on the icon is the Dock icon's click: the island comes forward.
  connect(trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
      applicationShouldHandleReopen();
    }
  });
  trayIcon_->show();
}

void OverlayController::releaseTrayIcon() {
  if (trayIcon_) {
    trayIcon_->hide();
    trayIcon_->deleteLater();
  }
  if (trayMenu_) {
    trayMenu_->deleteLater();
  }
  trayIcon_ = nullptr;
  trayMenu_ = nullptr;
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
    // Wide enough that the window manager's title bar shows "About Tandrel" whole beside its
    // buttons (the box alone is narrower, and the title was cut to "Abou… drel").
    if (auto* grid = qobject_cast<QGridLayout*>(aboutPanel_->layout())) {
      grid->addItem(new QSpacerItem(kAboutPanelMinimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                    grid->rowCount(), 0, 1, grid->columnCount());
    }
    aboutPanel_->setAttribute(Qt::WA_DeleteOnClose);
    aboutPanel_->setModal(false);
  }
  aboutPanel_->show();
  aboutPanel_->raise();
  aboutPanel_->activateWindow();
}

}  // namespace tandrel
