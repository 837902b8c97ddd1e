#pragma once

#include "selfcheck/self_check.h"

#include <QString>

// Pets and sounds other tools installed: Codex pets under CODEX_HOME, pets and sound packages the
// command-line installer put under TANDREL_HOME with their assignment file, a sound reassigned and
// saved there, and sound packages installed from a folder and from one audio file. The group
// points CODEX_HOME and TANDREL_TEST_CODEX_PETS_AUTHORIZED at its fixtures (the caller's scope,
// codexPetsSettingsRestore(), puts them back) and TANDREL_HOME at `tempRoot`/.tandrel for the rest
// of the run; the view it reads through keeps its settings in a defaults file under `tempRoot`.

namespace tandrel {

class EventStore;

void runPetAndSoundImportChecks(SelfCheckFailures& failures, EventStore& store, const QString& tempRoot);

}  // namespace tandrel
