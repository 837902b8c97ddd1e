#pragma once

#include <QString>

#include <optional>

// Jumping to the agent behind a waiting socket request, which carries only its working folder,
// its transcript and the agent's process id (used by the notification's Jump action, the text
// panel's Jump button and the hot key that cycles through waiting requests).
//
// Blocks while children run (each at most JumpOpeners::kChildProcessTimeout): call it from a
// worker thread.

namespace tandrel {

class TandrelJumpRouter {
 public:
  // The window of the agent's terminal when the agent's process (or a parent) owns one; else the
  // folder in the user's terminal, else in the file manager; else the transcript. Reports nothing:
  // what cannot be opened leads to the next step.
  static void jumpToAgent(const std::optional<QString>& cwd, const std::optional<QString>& transcript,
                          std::optional<qint64> agentPID = std::nullopt);
  // The user's terminal program ($TERMINAL, x-terminal-emulator or the first known terminal
  // installed), or nothing.
  static std::optional<QString> preferredTerminalName();
  // Starts `terminal` in `cwd`; true when it could be started.
  static bool openCwdInTerminal(const QString& cwd, const QString& terminal);
};

}  // namespace tandrel
