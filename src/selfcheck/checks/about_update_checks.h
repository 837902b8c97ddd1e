#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// The About tab's update panel and self-update: panel states and policy, the production download,
// the panel's clicks and layout, restart and installer, downloads and the zip install, the update
// client and manifests, verifier and staging, and the automatic-check policy. Each functional test
// counts as one check; every file they write lies under `tempRoot`.

namespace tandrel {

void runAboutUpdateChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
