#pragma once

#include "selfcheck/self_check.h"

// Which of the run's base events become inbox cards: the Pi, Cline and Roo Code events under
// their tool names, no silent Claude Code tool update, and one card for the Codex task that
// started, ran a tool and completed, led by its completion.

namespace tandrel {

class EventStore;

// `store` holds the run's base events.
void runMessageModuleChecks(SelfCheckFailures& failures, EventStore& store);

}  // namespace tandrel
