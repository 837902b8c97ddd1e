#pragma once

#include "selfcheck/self_check.h"

// How single events are judged: which ask for the user's action, which are passive, completed or
// in progress (the event classifier), which become inbox cards (the inbox builder) and which
// sound (the sound gate). Every event is a bridge record parsed in memory; nothing is written.

namespace tandrel {

void runEventPolicyChecks(SelfCheckFailures& failures);

}  // namespace tandrel
