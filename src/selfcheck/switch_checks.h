#pragma once

// The bodies of the command-line test switches that drive the approval audit log, the pet-state
// resolver and the pending-action store from outside: a harness runs the app with one switch and
// reads the audit file, the standard output or the exit status.

#include "app/entry_point.h"

#include <QString>

namespace tandrel {

// "--test-audit-emit <file>": points the shared audit writer at `auditFile` and appends one
// request line and one reply line ("allow", "once") for the Claude Code permission request
// "r-emit" (command "ls" in "/tmp", created 0.05 s earlier). Writes nothing.
SwitchOutcome auditEmitCheck(const QString& auditFile);

// "--test-audit-reconcile <file>": the launch reconciliation of `auditFile`. Writes nothing.
SwitchOutcome auditReconcileCheck(const QString& auditFile);

// "--test-pet-state <scenario>": with "has_pending" a request waits first; writes the pet state
// the resolver gives for no events ("idle", "approval", ...), without a line break.
SwitchOutcome petStateCheck(const QString& scenario);

// "--test-pending <scenario>": runs "insert_complete", "coalesce", "timeout" or "agent_died"
// against the shared pending-action store and writes the statuses it saw as one JSON object with
// sorted keys, without a line break. An unknown scenario, or a child process that cannot be
// started, ends with status 2 and a message on standard error.
SwitchOutcome pendingScenarioCheck(const QString& scenario);

}  // namespace tandrel
