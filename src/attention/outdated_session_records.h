#pragma once

#include "events/tandrel_event.h"

#include <span>
#include <vector>

// A session's work ends with its newer completion, failure or end: a record that says a session
// is working, or that it failed, counts only while it is the newest record of that session (the
// same source and session id). The pet, the companion's status and its ticker all take their
// events through this rule.

namespace tandrel {

// For each event, whether it is a working record or a failure (by its reminder policy) that a
// newer record of its session has overtaken. Newer means a later timestamp, or at an equal one a
// later place in the list. Records that only carry usage (notify policy "usage_only") and
// response receipts say nothing about the session's work and overtake nothing; an event without
// a session id stands alone.
std::vector<bool> outdatedSessionRecords(std::span<const TandrelEvent> events);

}  // namespace tandrel
