#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// When installed bridge scripts count as current: only when each reads back exactly the text it
// should hold. Its fixtures lie in `tempRoot`/"bridge-currentness".

namespace tandrel {

void runBridgeScriptCurrentnessChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
