#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// How a bridge event's context usage reads (a bare percent suffix, compact "k" units), the
// default Codex CLI model, the AI Tools tab's rows (the 25 tools grouped by product, Cursor IDE an
// installed adapter without the wrapper) and what the installation previews show, for a hook
// manager over a scratch home in `tempRoot`/"tool-health-home" on a machine where only Cursor is
// installed.

namespace tandrel {

void runContextUsageToolHealthAndPreviewChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
