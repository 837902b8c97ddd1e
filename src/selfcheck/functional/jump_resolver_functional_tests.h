#pragma once

#include <QString>

// The Jump resolver on its own, and what the Jump openers hand to other programs, checked
// without opening or running anything.

namespace tandrel {

// Resolves twenty targets (cmux sessions and folders, a missing CLI, files, allowed and refused
// links, a file given as a folder, apps by bundle id, path and deep link, an iTerm2 window) with
// fixed predicates over a fixture in `tempRoot`/"workspace", and asks the default command check
// about an executable script, a plain file, a folder and a missing path.
bool jumpResolverFunctionalTest(const QString& tempRoot);

// The commands that open `tempRoot`/"terminal-open-workspace" in a terminal (with a PATH of fake
// terminal programs in `tempRoot`/"terminal-open-bin"), the commands and window activations that
// focus a tmux pane, a kitty window, a WezTerm pane and an X11 window, the refusal of iTerm2 and
// Terminal focus, the folder fallback through xdg-open (never for editors) and the cmux argument
// lists. Every command is recorded, none is started.
bool terminalJumpOpenerFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
