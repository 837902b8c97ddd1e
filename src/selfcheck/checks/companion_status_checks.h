#pragma once

#include "selfcheck/self_check.h"

// The one status item the companion's bubble shows for single events and small mixed lists: an
// approval before anything else, work in progress, finished work, or nothing; and between work
// and finished work, the newer. Every event is a bridge record parsed in memory.

namespace tandrel {

void runCompanionStatusChecks(SelfCheckFailures& failures);

}  // namespace tandrel
