#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The message and pet functional tests, and what the island costs while nothing happens: the
// runtime refresh gated on visibility, the panels' layout branches, old views torn down on a
// rebuild, one Pets settings open for a double click, and a thousand idle animation ticks and
// occluded refreshes that do no work. Controllers and views lie over files of their own under
// `tempRoot`.

namespace tandrel {

void runPetOverlayRuntimeAndIdleCostChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
