#pragma once

#include "selfcheck/self_check.h"

// The desktop companion's geometry (panel sizes per mode and scale, the pet never clipped, the
// label and its bubble, the chrome in dark and light appearance, the island untouched by the pet
// scale) and what dragging a pet out of the island writes to the user defaults.

namespace tandrel {

// The drag-out settings are written to a defaults file of their own under `tempRoot`.
void runCompanionGeometryChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
