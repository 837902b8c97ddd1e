#pragma once

#include "events/event_store.h"

#include <QString>

namespace tandrel {

// A store over its own bridge and audit files that reads no agent folder (Codex sessions, Claude
// projects, Trae trajectories and logs, Cursor projects) unless the caller sets one, so that a
// check never reads the user's own sessions; everything else as the application makes it.
EventStoreOptions storeOptionsWithoutAgentFolders(const QString& eventFile, const QString& auditFile);

// The same over an empty bridge file "<prefix>-events.jsonl" in `tempRoot` (emptied when an
// earlier run left lines in it), auditing into "<prefix>-audit.jsonl": a store with nothing to show.
EventStoreOptions emptyCheckStoreOptions(const QString& tempRoot, const QString& prefix);

}  // namespace tandrel
