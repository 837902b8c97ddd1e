#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The desktop companion's inline status label, a click on its label bubble, the "No linked task"
// stand-in outliving a refresh briefly, the one-line jump label and the text colour in dark and
// light appearance.

namespace tandrel {

class EventStore;

// `tempRoot` holds the scratch user defaults of the companion view's settings.
void runCompanionLabelChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot);

}  // namespace tandrel
