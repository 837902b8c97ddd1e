#include "app/startup_permission_prompt.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace tandrel {

QStringList startupHooksToOffer(const std::vector<ToolHealth>& health) {
  QStringList offered;
  for (const ToolHealth& tool : health) {
    if ((tool.id == QLatin1String("claude-code") || tool.id == QLatin1String("codex-cli")) && tool.detected &&
        tool.status == HookStatus::repair) {
      offered.append(tool.id);
    }
  }
  return offered;
}

QString startupPermissionMessageText() { return QStringLiteral("Allow Tandrel startup permissions?"); }

QString startupPermissionInformativeText(const StartupPermissionOffer& offer) {
  QStringList paragraphs;
  if (offer.codexPets) {
    paragraphs.append(QStringLiteral("Tandrel uses folder access to scan installed Codex pets."));
  }
  if (!offer.hooks.isEmpty()) {
    paragraphs.append(QStringLiteral("Tandrel will %1install or repair local Claude/Codex hook files so approval and "
                                     "completion events can reach the island.")
                          .arg(offer.codexPets ? QStringLiteral("also ") : QString()));
  }
  return paragraphs.join(QStringLiteral("\n\n"));
}

StartupPermissionPrompt::StartupPermissionPrompt(const StartupPermissionOffer& offer, QScreen* screen,
                                                 WindowServer& windowServer, std::function<void(bool)> done)
    : done_(std::move(done)) {
  box_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Tandrel"), startupPermissionMessageText());
  box_->setAttribute(Qt::WA_DeleteOnClose);
  box_->setInformativeText(startupPermissionInformativeText(offer));
  QPushButton* proceed = box_->addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
  QPushButton* later = box_->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
  box_->setDefaultButton(proceed);
  box_->setEscapeButton(later);
  box_->setWindowFlag(Qt::WindowStaysOnTopHint);
  box_->setWindowModality(Qt::NonModal);

  connect(box_, &QMessageBox::finished, this, [this, proceed] {
    const bool accepted = box_ && box_->clickedButton() == proceed;
    box_ = nullptr;
    if (auto done = std::move(done_)) {
      done(accepted);
    }
    deleteLater();
  });

  if (screen == nullptr) {
    screen = QGuiApplication::primaryScreen();
  }
  box_->adjustSize();
  if (screen != nullptr) {
    const QRect visible = screen->availableGeometry();
    const QPoint anchor(visible.center().x(), visible.center().y() - static_cast<int>(0.12 * visible.height()));
    box_->move(anchor - QPoint(box_->width() / 2, box_->height() / 2));
  }
  // Staying on top is not enough on its own: the island panels are marked to stay above others,
  // and a window manager keeps windows without that mark below them whatever is raised. Without
  // a window server (offscreen) there is nothing to mark.
  (void)windowServer.prepareWindowAboveOthers(box_->winId());
  box_->show();
  box_->raise();
  box_->activateWindow();
}

StartupPermissionPrompt::~StartupPermissionPrompt() {
  if (box_) {
    box_->close();
  }
}

void StartupPermissionPrompt::raiseAboveOverlays() {
  if (box_ && box_->isVisible()) {
    box_->raise();
  }
}

void StartupPermissionPrompt::dismiss() {
  done_ = nullptr;
  if (box_) {
    box_->close();
  }
}

}  // namespace tandrel
