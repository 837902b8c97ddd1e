#pragma once

// The one-time start-up prompt: it offers, in one dialog, to use the Codex pets folder and to
// install or repair the Claude Code and Codex hooks. (Linux has no Automation permission to ask
// for, so the terminal request and the Jump preflight have nothing to offer here.)

#include "hooks/hook_manager.h"
#include "platform/window_server.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QScreen;

namespace tandrel {

struct StartupPermissionOffer {
  // Tool ids to install or repair, in the order of the health list.
  QStringList hooks;
  // The Codex pets folder was never authorised nor asked about.
  bool codexPets = false;

  bool isEmpty() const { return hooks.isEmpty() && !codexPets; }
};

// The identifiers among "claude-code" and "codex-cli" whose tool is detected and whose
// integration needs repair, in the order of `health`.
QStringList startupHooksToOffer(const std::vector<ToolHealth>& health);

// "Allow Tandrel startup permissions?"
QString startupPermissionMessageText();
// What the dialog explains: only the parts the offer holds.
QString startupPermissionInformativeText(const StartupPermissionOffer& offer);

// The dialog: an information box with "Continue" and "Later" (Escape), on top of other windows
// and in the island panels' layer (through `windowServer`), placed a little above the middle of
// `screen`. `done(true)` on Continue; `done(false)` on Later
// or when it is closed any other way. It deletes itself once answered.
class StartupPermissionPrompt : public QObject {
  Q_OBJECT

 public:
  StartupPermissionPrompt(const StartupPermissionOffer& offer, QScreen* screen, WindowServer& windowServer,
                          std::function<void(bool)> done);
  ~StartupPermissionPrompt() override;

  QMessageBox* dialog() const { return box_; }
  // Brings the shown dialog back in front of the island panels, which stay on top too and come
  // forward whenever they are laid out again.
  void raiseAboveOverlays();
  // Ends a shown prompt without an answer (the app is quitting).
  void dismiss();

 private:
  QPointer<QMessageBox> box_;
  std::function<void(bool)> done_;
};

}  // namespace tandrel
