#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The collapsed island's ticker and the usage tabs, on real island views: a usage tab the user
// clicked stays while the carousel would rotate; inbox messages come before usage; approvals,
// completions and usage share one queue that rotates across kinds (over a bridge file of its own
// under `tempRoot`). Then the word beside a notch: it follows the ticker, a usage item keeps its
// window before the percent; a usage item's "Resets …" text; the usage tools rotating on their own.

namespace tandrel {

class EventStore;

void runUsageTabAndCollapsedTickerChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot);
void runNotchStatusAndUsageRotationChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot);

}  // namespace tandrel
