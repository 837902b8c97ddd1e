#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The local usage loaders end to end: a tree of agent files under `tempRoot`/local-usage (a Codex
// rollout, a Claude transcript, a Trae trajectory) read by a store pointed at it, the meters its
// readings show, a rollout whose newest record carries quotas only, a rollout with percents below
// one, reloads that notice a rewritten rollout and a new transcript, and the brands whose usage
// stays eligible while the integrations need repair.

namespace tandrel {

void runLocalUsageLoaderChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
