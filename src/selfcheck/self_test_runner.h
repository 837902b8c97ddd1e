#pragma once

// The headless self-test run (TANDREL_RUN_SELF_TESTS=1): every check runs, each failed one adds
// its sentence, and the run ends with one report.

#include "selfcheck/harness.h"

#include <QJsonObject>
#include <QString>

#include <vector>

namespace tandrel {

// The run's shared bridge events, in the order they are written: permission requests without a
// way to answer, with `decisionFile` and with a command that always fails; usage from three tools
// and three data sources; finished Pi, Roo Code and Codex work with fixed times; a Cline approval;
// a silent Claude tool update. The ids are those the groups look for ("jump-only", "decision-file",
// "decision-fail", "usage", "claude-usage", "kilo-usage", "pi-message", "cline-approval",
// "roo-done", "task-start", "task-tool", "silent-claude-tool-update", "task-done").
std::vector<QJsonObject> baseEvents(const QString& decisionFile);

// Needs TANDREL_EVENT_FILE: the folder holding that file takes the run's fixtures, and the event
// file and "decision.json" beside it are removed first; the event file then holds the run's base
// bridge events, which a store shared by the groups reads. Returns 0 after printing "Tandrel self
// tests passed"; 1 after one "FAIL: <sentence>" line per failed check on standard error, in run
// order; 2 when the run cannot start or its base events cannot be written. Needs a QApplication.
int runSelfTests();

// The scope around the pet and sound fixture row: it records CODEX_HOME,
// TANDREL_TEST_CODEX_PETS_AUTHORIZED and the standard defaults' "codexPetsDirectoryAuthorized" and
// "didRequestCodexPetsDirectoryAuthorization", and puts them back in that order when it ends,
// whatever the row's checks did or how they left.
ScopedRestore codexPetsSettingsRestore();

}  // namespace tandrel
