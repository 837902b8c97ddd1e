#pragma once

// The headless self-test run (TANDREL_RUN_SELF_TESTS=1): every check runs, each failed one adds
// its sentence, and the run ends with one report.

#include "selfcheck/harness.h"

namespace tandrel {

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
