#pragma once

#include <QString>

// The Jump of inbox cards through the event store: which target each kind of jump information
// becomes, what the opener is handed, which targets may fall back and what the action audit says.
// Each check writes its own bridge file, audit file and workspace under `tempRoot`, with its own
// name prefix, and hands the store a resolver with fixed predicates and an opener that opens
// nothing.

namespace tandrel {

// Thirteen cards ("jump-events.jsonl"): a missing file, a file, a file URL, a web link, a
// Conductor link, a folder, an iTerm hint, a file whose opening fails, typed app, CLI and cmux
// targets and targets inferred from the Codex app and cmux sources. Unavailable targets never
// reach the opener; a cmux target without the cmux CLI opens its folder, never the cmux app.
bool eventStoreJumpResolverFunctionalTest(const QString& tempRoot);

// A CLI target whose command is missing fails with "jump_unavailable" and opens nothing, although
// opening its folder would succeed.
bool eventStoreUnavailableCLIJumpDoesNotOpenWorkspaceFallbackFunctionalTest(const QString& tempRoot);

// Exact CLI sessions (typed and inferred) and an identified iTerm2 session whose opening fails are
// not retried in any other form ("jump_failed"); a cmux window whose opening fails falls back to
// the cmux app ("jump_fallback").
bool eventStoreExactSessionJumpFallbackPolicyFunctionalTest(const QString& tempRoot);

// An identified iTerm2 session without iTerm2 is unavailable, not a Jump to its folder.
bool eventStoreUnavailableIdentifiedTerminalWindowDoesNotDowngradeFunctionalTest(const QString& tempRoot);

// Cursor and Trae windows named by id cannot be focused: both Jumps fail with the store's own
// opener and start no command.
bool eventStoreUnsupportedIdentifiedTerminalWindowDoesNotOpenWorkspaceFunctionalTest(const QString& tempRoot);

// The reason the opener leaves in the last open error reaches the failed Jump's text and the audit
// line's "open_error".
bool eventStoreJumpFailureSurfacesOpenerDetailFunctionalTest(const QString& tempRoot);

// The quality and target of the Jump of 23 common tools' cards, each with a Jump button.
bool eventStoreCommonToolJumpQualityFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
