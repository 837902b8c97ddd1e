#pragma once

#include "selfcheck/self_check.h"

// How usage times are read: the parser reads an internet date-time without a fraction, and
// answers the same text again from its memo fast enough that it cannot be parsing it anew; and
// the message model holds a choice with a note and a response file.

namespace tandrel {

void runUsageDateAndChoiceMessageChecks(SelfCheckFailures& failures);

}  // namespace tandrel
