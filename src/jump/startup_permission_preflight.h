#pragma once

#include "inbox/island_message.h"
#include "jump/jump_target.h"

#include <QString>

#include <optional>
#include <vector>

// Bringing permission prompts for Jumps forward to start-up. Jumps on this desktop need no
// permission (no application asks before another one activates it or runs its command line), so
// the preflight has nothing to authorise: it says so and activates nothing.

namespace tandrel {

class StartupPermissionPreflight {
 public:
  // The application a Jump target would address: "app:cmux", "app:<bundle id or path>",
  // "terminal:<terminal application name>"; none for URLs, files and command lines.
  static std::optional<QString> preflightKey(const JumpTarget& target);
  // Whether some message's Jump (or its first fallback, when the Jump is unavailable) has a key.
  static bool hasAutomationTarget(const std::vector<IslandMessage>& messages);
  // Logs that nothing needs authorising on this platform and returns 0 (no activations).
  static int preflight(const std::vector<IslandMessage>& messages);
};

}  // namespace tandrel
