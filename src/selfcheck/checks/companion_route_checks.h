#pragma once

#include "selfcheck/self_check.h"

// Where a click on the companion goes for an event, how the ticker and the companion classify
// events, the click-or-drag rule of a pet dragged out of the island, the settings panel's frame
// and drag, the Sounds tab's play buttons, and how usage rows show Codex quota and Claude
// context.

namespace tandrel {

void runCompanionRouteChecks(SelfCheckFailures& failures);

}  // namespace tandrel
