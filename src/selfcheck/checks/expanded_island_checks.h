#pragma once

#include "events/event_store.h"
#include "selfcheck/self_check.h"

// The expanded island: the click path and the open choice card (functional tests over files of
// their own); the pet rail and its peek, the cards' buttons, the clear toolbar, the empty inbox,
// the cards' surface labels and the island's height per message count; the hover region of the
// capsule and of the open island, and the status line of an external display; the notched
// display's top line (quota summary, logo, room beside the camera housing) and the settings and
// pet clicks.

namespace tandrel {

void runExpandedClickAndChoiceChecks(SelfCheckFailures& failures, const QString& tempRoot);
// Views over `store` (the run's shared store).
void runExpandedIslandLayoutChecks(SelfCheckFailures& failures, EventStore& store);
void runHoverRegionAndStatusRowChecks(SelfCheckFailures& failures);
void runExpandedTopRowChecks(SelfCheckFailures& failures, EventStore& store);

}  // namespace tandrel
