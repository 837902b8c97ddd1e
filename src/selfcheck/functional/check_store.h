#pragma once

#include "events/event_store.h"

#include <QString>

namespace tandrel {

// The store a functional test reads its own bridge file with: no Codex sessions or Claude
// projects root (the other roots at their defaults, none in the test environment), its message
// action audit in `auditFile`, everything else as the application has it.
EventStoreOptions checkStoreOptions(const QString& eventFile, const QString& auditFile);

}  // namespace tandrel
