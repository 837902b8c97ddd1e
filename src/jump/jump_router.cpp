#include "jump/jump_router.h"

#include "jump/jump_openers.h"
#include "jump/jump_resolver.h"
#include "jump/terminal_launchers.h"
#include "platform/window_activator.h"

#include <QFileInfo>

namespace tandrel {

void TandrelJumpRouter::jumpToAgent(const std::optional<QString>& cwd, const std::optional<QString>& transcript,
                                    std::optional<qint64> agentPID) {
  const JumpResolver resolver;
  if (agentPID && *agentPID > 1 && JumpOpeners::windowActivator().activateWindowOfProcess(*agentPID)) {
    return;
  }
  if (cwd && !cwd->isEmpty() && JumpResolver::defaultDirectoryExists(*cwd)) {
    const auto name = preferredTerminalName();
    if (!name || resolver.terminalAppAvailable(*name)) {
      QString error;
      if ((name && openCwdInTerminal(*cwd, *name)) || JumpOpeners::openWithDesktop(*cwd, &error)) {
        return;
      }
    }
  }
  if (transcript && !transcript->isEmpty() && QFileInfo::exists(*transcript)) {
    QString error;
    (void)JumpOpeners::openWithDesktop(*transcript, &error);
  }
}

std::optional<QString> TandrelJumpRouter::preferredTerminalName() {
  const auto command = defaultTerminalCommand(QString(), qEnvironmentVariable("TERMINAL"), JumpResolver::defaultCommandExists);
  return command ? std::optional<QString>(command->program) : std::nullopt;
}

bool TandrelJumpRouter::openCwdInTerminal(const QString& cwd, const QString& terminal) {
  const TerminalLauncher* launcher = terminalLauncherNamed(QFileInfo(terminal).fileName());
  const LaunchCommand command = launcher ? LaunchCommand{terminal, launcher->arguments(cwd), cwd} : LaunchCommand{terminal, {}, cwd};
  return JumpOpeners::runDetachedCommand(command.program, command.arguments, command.workingDirectory, false);
}

}  // namespace tandrel
