#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The expanded island drawn over the three fixture records (a high-risk permission request, a
// finished Codex task with a usage reading, a rate limit) at 1× and 2×: compact badges, short
// action buttons in their role colours, a neutral mark-read check beside a red trash can, three
// differently coloured usage bars with their values by the suffix column, the top line's percent
// in the settings button's row.

namespace tandrel {

// Writes the fixture records into the run's event file (`eventFile`) and reads them with a store
// of its own.
void runRenderedExpandedIslandChecks(SelfCheckFailures& failures, const QString& eventFile);

}  // namespace tandrel
