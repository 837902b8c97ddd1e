#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// What keeps local usage cheap while nothing changed, and the loads that must still happen: a
// store reruns its loaders only for changed candidate files and for the periodic full reload; the
// Claude reader reuses the results of unchanged transcripts and adds one active five-hour block;
// file discovery and merged readings are cached; the block's quota comes from the recent
// transcripts only. Reads the unchanged-rollout fixture that the asynchronous local usage group
// leaves under `tempRoot`.

namespace tandrel {

void runLocalUsageCacheChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
