#pragma once

// The last step of an update: what the About tab's restart button hands to the installer, what a
// failing installer leaves the user with, and how the installer prepares the swap of an install
// folder whose parent this user cannot write (through pkexec) without running anything.

#include <QString>

namespace tandrel {

// The restart button hands the staged artifact, this process's install folder and the version to
// the installer.
bool aboutRestartActionInvokesInstallerFunctionalTest(const QString& tempRoot);
// An installer that fails leaves the panel offering the check again, with the cause in the banner.
bool aboutRestartActionResetsStateOnInstallFailureFunctionalTest(const QString& tempRoot);
// The installer's argument vector carries every argument whole (spaces and all) with pkexec and
// the install's own script for the swap, the script it writes is the installer script and passes
// `sh -n`; without pkexec the install is refused with its error and nothing is left behind.
bool updateInstallerAdminAppleScriptFunctionalTest(const QString& tempRoot);
// A parent folder this user cannot write routes the swap through pkexec; a writable one does not.
bool updateInstallerRoutesToOsascriptOnReadOnlyParentFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
