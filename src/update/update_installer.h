#pragma once

// Handing a verified update to the detached installer script. A running install folder cannot
// safely replace itself: the script (embedded, written to the Updates folder at each install)
// waits for this process to end, swaps the install folder with a backup and rollback, and starts
// the app again. Only the swap runs with administrator rights (pkexec), and only where the
// install folder's parent is not writable.

#include "update/update_state.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tandrel {

namespace UpdateInstaller {

// The file that names a folder as a Tandrel install folder, relative to it.
inline constexpr char kInstallMarker[] = "share/tandrel/install-root";
// The install's own copy of the installer script, relative to the install folder: the one a swap
// with administrator rights runs.
inline constexpr char kInstalledScript[] = "share/tandrel/tandrel-update-install";

struct Failure {
  enum class Kind { missingArtifact, unsupportedTarget, couldNotStart };
  Kind kind = Kind::couldNotStart;
  QString path;         // missingArtifact, unsupportedTarget
  QString description;  // couldNotStart

  QString errorDescription() const;
};

// The process to start: a program and its argument vector (never a shell string).
struct PreparedProcess {
  QString program;
  QStringList arguments;
  // The swap step will ask for administrator rights (the target's parent is not writable).
  bool elevatesSwap = false;
};

// Starts the prepared process, detached; an error description when it could not.
using Launcher = std::function<std::optional<QString>(const PreparedProcess&)>;
// Starts it in a session of its own (setsid), so that it outlives this process and its terminal.
std::optional<QString> startDetached(const PreparedProcess& process);

// The script's text.
QByteArray installerScript();

// appSupportDirectory() + "/Updates": downloads, installer scripts, logs and the result file.
QString updatesDirectory();
// Where a failed install leaves its outcome for the next launch.
QString installResultPath();

// A folder holding bin/tandrel and the marker.
bool isInstallFolder(const QString& path);
// This process's install folder (the parent of the executable's folder) when it can be updated
// in place: an install folder of ours that is not the system's own /usr.
std::optional<QString> currentInstallRoot();

// What the installer asks of the machine; an empty member stands for the real one. The
// self-checks replace them: they run as root in CI, where every folder is writable and every file
// root's, and they keep their scripts in their scratch folder.
struct InstallHost {
  // Whether this user may add and rename entries in `folder` (QFileInfo::isWritable), that is,
  // whether the swap can run without administrator rights.
  std::function<bool(const QString& folder)> folderIsWritable;
  // Whether `script` may run with administrator rights: a regular file owned by root, in a folder
  // owned by root, neither writable by group or others.
  std::function<bool(const QString& script)> trustsElevatedScript;
  // Where the installer script, its log and its result file go; updatesDirectory() when empty.
  QString scriptsFolder;
};

// Checks the request, writes the script and starts it through `launch` with arguments
//   script, pid, artifact, target, log, relaunch ("1"/"0"), result file, SHA-256, version,
//   elevator, elevated script, signature
// and returns at once. `waitForProcessIdentifier` is the process the script waits for (0: none).
// Where the swap needs administrator rights, the elevator is pkexec from PATH and the elevated
// script is the install's own copy, which must be owned by root and writable by nobody else.
std::optional<Failure> installAndRelaunch(const PendingUpdateInstallRequest& request,
                                          qint64 waitForProcessIdentifier, const Launcher& launch = startDetached,
                                          const InstallHost& host = {});

// What an installer that was stopped half-way left beside `installRoot` (a backup or a staging
// folder whose installer process is gone), removed now that the install folder runs. Returns the
// paths it removed; what it may not remove stays, and the log says so.
QStringList finishInterruptedInstall(const QString& installRoot);

// `tandrel --version`: the line an installer reads to see that a new build starts.
QByteArray versionLine();
// `tandrel --verify-update-signature FILE SIGNATURE`: 0 when the file carries a valid signature
// by this build's key, 1 otherwise (also without a key).
int verifySignatureCommand(const QStringList& arguments);

// The outcome a failed install left behind, as the text the About tab shows; the file is removed,
// so it is shown once. Nothing when the last install did not fail.
std::optional<QString> takeInstallFailure(const QString& resultPath = installResultPath());

}  // namespace UpdateInstaller

}  // namespace tandrel
