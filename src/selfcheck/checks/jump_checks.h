#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The Jump groups of the self-test run: the resolver and the terminal openers, the event bridge,
// the event store's card Jumps, the cmux opener's strategy chain, and the store checks that follow it.

namespace tandrel {

// The message normalizer and action dispatcher, the jump resolver, the terminal openers, the event
// bridge, the event store's choice card and answering it, and the event store's Jumps of typed,
// inferred, strict and cmux targets, each check with its own files under `tempRoot`.
void runJumpChecks(SelfCheckFailures& failures, const QString& tempRoot);

// The cmux opener's strategy chain and the shell quoting of its commands.
void runCmuxFallbackChainChecks(SelfCheckFailures& failures, const QString& tempRoot);

// The event store's functional checks after the cmux chain: the opener's failure detail in the
// Jump's text and audit, Mark Read and Ignore, which events become cards, the Jump quality of
// common tools' cards, the companion's preview text and typed Jumps, and receipts reported through
// the bridge file.
void runStoreJumpChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
