#pragma once

#include "events/event_store.h"
#include "selfcheck/self_check.h"

// The collapsed capsule: its height and screen attachment, the installation preview's bounds, the
// full-screen display detection, and its drawing at 1× and 2× (touching the screen's top edge,
// nothing beside the body, shoulders on an external display, pure black with square top corners
// and an even bottom edge beside a camera housing); the external capsule's row (pet, logo, status
// text, reset slot) and whether typical labels fit it; the status text beside the housing.

namespace tandrel {

// Draws the capsule over `store` (the run's shared store).
void runCollapsedCapsuleChecks(SelfCheckFailures& failures, EventStore& store);
// The reset-slot tests read files of their own under `tempRoot`.
void runExternalCollapsedLayoutChecks(SelfCheckFailures& failures, const QString& tempRoot);
void runCollapsedStatusPlacementChecks(SelfCheckFailures& failures);

}  // namespace tandrel
