#pragma once

#include "selfcheck/self_check.h"

// How the run's three base permission requests expose and carry out Authorize: without a way to
// answer (Jump and Ignore only), through a decision file (answered, receipt recorded, card gone)
// and through a decision command no trusted adapter runs (refused, receipt recorded, card kept).

namespace tandrel {

class EventStore;

// `store` holds the run's base events; the answer goes to the decision file the "decision-file"
// event names, the receipts to the store's receipts and the audit lines to its audit file.
void runDecisionActionChecks(SelfCheckFailures& failures, EventStore& store);

}  // namespace tandrel
