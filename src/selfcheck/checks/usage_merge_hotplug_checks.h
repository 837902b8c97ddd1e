#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// Claude's usage as one brand, and the loaders that read agents' own files, over stores of their
// own under `tempRoot`:
// - runClaudeBrandUsageMergeChecks: a newer hook rate-limit signal keeps the older transcript's
//   context and tokens and stays eligible while the hooks need repair; a newer status-line reading
//   replaces a stale blocked signal.
// - runLocalTranscriptAndHotplugChecks: a recently written Claude transcript counts as seen now; the
//   Claude transcript never yields approval cards; the Cursor transcript, Trae log and Codex rollout
//   hot-plug loaders bring completions and an escalated command into the inbox with their fields
//   (the Codex approval without Authorize or Reject, and with the cmux session a bridge event of
//   the same session named).

namespace tandrel {

void runClaudeBrandUsageMergeChecks(SelfCheckFailures& failures, const QString& tempRoot);
void runLocalTranscriptAndHotplugChecks(SelfCheckFailures& failures, const QString& tempRoot);

}  // namespace tandrel
