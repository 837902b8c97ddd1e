#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// What every runtime tick costs while nothing changed: the store's inbox cache (rebuilt only for a
// new revision), the throttled look at the bridge file (which an event-driven reload bypasses) and
// the island view's refresh from disk over an unchanged sounds folder and events already heard.

namespace tandrel {

void runMessageCacheAndReloadThrottleChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
