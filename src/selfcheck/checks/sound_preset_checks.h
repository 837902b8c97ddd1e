#pragma once

#include "selfcheck/self_check.h"

// The built-in sounds: the three piano presets, each a three-second excerpt clipped in its own
// file (played from its start, never sought into), and every preset's audio among the
// application's resources (resourcesDirectory()), decoded as the app plays it.

namespace tandrel {

void runBuiltInSoundPresetChecks(SelfCheckFailures& failures);

}  // namespace tandrel
