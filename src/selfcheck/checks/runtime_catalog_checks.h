#pragma once

#include "selfcheck/self_check.h"

// The idle-time tuning of the runtime loop (the refresh timer the controller arms, the throttles
// of its steps, the local usage and hot-plug rescans), and the agent tool catalogue: its ids, the
// applications whose icons serve as logos, the button of three Trae rows, the SOLO alias and the
// applications and commands that detect the Trae tools.

namespace tandrel {

void runRuntimeIntervalAndCatalogueChecks(SelfCheckFailures& failures);

}  // namespace tandrel
