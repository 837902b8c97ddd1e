#pragma once

// The policy behind the automatic update check: at most one check every twelve hours, the delay
// before the first, one reminder per version, and the same through the user defaults.

namespace tandrel {

bool automaticUpdateThrottleFunctionalTests();
bool automaticUpdateSchedulerPolicyFunctionalTests();

}  // namespace tandrel
