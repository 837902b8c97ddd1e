#pragma once

#include "events/tandrel_event.h"

#include <vector>

// The urgency order of events: the inbox, the companion and the pet all list the most urgent
// event first, and the newer of two equally urgent ones.

namespace tandrel {

// 0 (most urgent) to 5: 0 for "permission_request", "waiting_input" and "plan_ready"; 1 for a
// "critical" severity or a "task_failed" type; 2 for "rate_limited"; 4 for "task_completed"; 5
// for everything else, also for a request that has ended.
int eventPriority(const TandrelEvent& event);

// True when `a` goes before `b`: lower priority first, then the later timestamp. Events equal in
// both are equivalent, so a stable sort keeps their order.
bool eventGoesFirst(const TandrelEvent& a, const TandrelEvent& b);

// Stable sort by eventGoesFirst.
void sortEventsByPriority(std::vector<TandrelEvent>& events);

}  // namespace tandrel
