#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// A pet chosen on one island view reaches the views of the other displays with the same pet
// library; the desktop companion gets the live preview's pet state and the pet size, and its pet
// grows with the size.

namespace tandrel {

class EventStore;

// `tempRoot` holds the scratch user defaults the views share.
void runPetSyncAndCompanionChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot);

}  // namespace tandrel
