#include "selfcheck/functional/update_installer_functional_tests.h"

#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/about_update_fixture.h"
#include "selfcheck/harness.h"
#include "update/update_installer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace tandrel {

namespace {

using UpdateInstaller::Failure;
using UpdateInstaller::InstallHost;
using UpdateInstaller::PreparedProcess;

// A fresh scratch folder `name` holding the install folder "apps/Tandrel", an artifact beside it,
// and "bin/pkexec" for PATH, which is never run (the launcher only records).
struct ElevationFixture {
  QDir root;
  QString parent, target, artifact, pkexec;
};
std::optional<ElevationFixture> elevationFixture(const QString& tempRoot, const QString& name,
                                                 const QString& artifactName, const QByteArray& artifactBytes) {
  const std::optional<QString> folder = freshScratchFolder(tempRoot, name);
  if (!folder) {
    return std::nullopt;
  }
  const QDir root(*folder);
  ElevationFixture fixture{root, root.filePath(QStringLiteral("apps")), root.filePath(QStringLiteral("apps/Tandrel")),
                           root.filePath(artifactName), root.filePath(QStringLiteral("bin/pkexec"))};
  if (!writeInstallFolder(fixture.target, "old") || !writeFileAtomically(artifactBytes, fixture.artifact) ||
      !writeFileAtomically("#!/bin/sh\nexit 1\n", fixture.pkexec) ||
      !QFile::setPermissions(fixture.pkexec, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
    return std::nullopt;
  }
  return fixture;
}

// Asks the installer to prepare `request`, keeping what it would have started.
struct Prepared {
  std::optional<Failure> failure;
  std::optional<PreparedProcess> process;
};
Prepared prepare(const PendingUpdateInstallRequest& request, qint64 pid, const InstallHost& host) {
  Prepared prepared;
  prepared.failure = UpdateInstaller::installAndRelaunch(
      request, pid,
      [&prepared](const PreparedProcess& process) -> std::optional<QString> {
        prepared.process = process;
        return std::nullopt;
      },
      host);
  return prepared;
}

// The restart button of a view ready to install `artifact`, with the view's installer `installer`.
bool pressRestart(AboutViewFixture& fixture, const QString& artifact, const QString& note,
                  const AboutUpdateFlow::Installer& installer) {
  if (!writeFileAtomically("downloaded-update", artifact)) {
    return false;
  }
  fixture.flow().updateInstaller = installer;
  fixture.flow().setAboutUpdateStateForTests(
      UpdateState::readyToRestart(testUpgradeResponse(true, QStringLiteral("0.1.1"), {note}), artifact));
  return fixture.flow().aboutPrimaryUpdateActionForTests() == AboutUpdateAction::restartToUpdate &&
         fixture.view().clickAboutPrimaryUpdateActionForTests();
}

}  // namespace

bool aboutRestartActionInvokesInstallerFunctionalTest(const QString& tempRoot) {
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate());
  const QString artifact = scratchPath(tempRoot, QStringLiteral("Tandrel-0.1.1.zip"));
  std::optional<PendingUpdateInstallRequest> recorded;
  const auto recording = [&recorded](const PendingUpdateInstallRequest& request) -> std::optional<QString> {
    recorded = request;
    return std::nullopt;
  };
  if (!pressRestart(fixture, artifact, QStringLiteral("Restart installer test."), recording) || !recorded) {
    return false;
  }
  // The install folder of this process: the folder that holds its bin/.
  const QString installFolder = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
  return recorded->artifactURL == artifact && QDir::cleanPath(recorded->targetBundleURL) == installFolder &&
         recorded->version == QLatin1String("0.1.1") &&
         fixture.view().statusBanner() == QStringLiteral("Restarting to install v0.1.1...");
}

bool aboutRestartActionResetsStateOnInstallFailureFunctionalTest(const QString& tempRoot) {
  AboutViewFixture fixture(tempRoot, UpdateSignature::SigningKeyPair::generate());
  const auto failing = [](const PendingUpdateInstallRequest&) -> std::optional<QString> {
    return QStringLiteral("Current app location is not writable.");
  };
  if (!pressRestart(fixture, scratchPath(tempRoot, QStringLiteral("Tandrel-fail.zip")),
                    QStringLiteral("Restart installer failure test."), failing)) {
    return false;
  }
  const QString banner = fixture.view().statusBanner().value_or(QString());
  return fixture.flow().aboutPrimaryUpdateActionForTests() == AboutUpdateAction::checkForUpdates &&
         banner.contains(QStringLiteral("Update install failed")) &&
         banner.contains(QStringLiteral("Current app location is not writable"));
}

bool updateInstallerAdminAppleScriptFunctionalTest(const QString& tempRoot) {
  const std::optional<ElevationFixture> fixture =
      elevationFixture(tempRoot, QStringLiteral("admin-elevation"), QStringLiteral("artifact path.zip"), "zip");
  if (!fixture || !QDir().mkpath(fixture->root.filePath(QStringLiteral("no-pkexec")))) {
    return false;
  }
  const QString& target = fixture->target;
  const QString& artifact = fixture->artifact;
  const QString scripts = fixture->root.filePath(QStringLiteral("install scripts"));
  const QString sha = QString(64, QLatin1Char('b'));
  const QString signature = QStringLiteral("c2lnbmF0dXJl");
  const PendingUpdateInstallRequest request{artifact, target, QStringLiteral("0.1.5"), true, sha, signature};
  InstallHost host;
  host.folderIsWritable = [](const QString&) { return false; };
  host.trustsElevatedScript = [](const QString&) { return true; };
  host.scriptsFolder = scripts;

  const auto prepareWithPath = [&](const QString& path) {
    ScopedRestore restore;
    restore.setEnvironment("PATH", path.toUtf8());
    return prepare(request, 12345, host);
  };
  const Prepared elevated = prepareWithPath(QFileInfo(fixture->pkexec).absolutePath());
  if (elevated.failure || !elevated.process) {
    return false;
  }
  const PreparedProcess& process = *elevated.process;
  const QString script = process.arguments.value(0);
  const QStringList expected{script,
                             QStringLiteral("12345"),
                             artifact,
                             target,
                             QDir(scripts).filePath(QStringLiteral("install-0.1.5.log")),
                             QStringLiteral("1"),
                             QDir(scripts).filePath(QStringLiteral("last-install-result")),
                             sha,
                             QStringLiteral("0.1.5"),
                             fixture->pkexec,
                             QDir(target).filePath(QStringLiteral("share/tandrel/tandrel-update-install")),
                             signature};
  // The script that would run is the installer's, and the shell accepts it.
  QProcess syntax;
  syntax.start(QStringLiteral("/bin/sh"), {QStringLiteral("-n"), script});
  const bool parses = syntax.waitForFinished(3000) && syntax.exitStatus() == QProcess::NormalExit &&
                      syntax.exitCode() == 0;
  const bool argumentsWhole = process.program == QLatin1String("/bin/sh") && process.elevatesSwap &&
                              process.arguments == expected && QFileInfo(script).absolutePath() == scripts &&
                              readFileBytes(script) == UpdateInstaller::installerScript() && parses;
  QFile::remove(script);

  // Without pkexec on PATH the install is refused before anything is written.
  const Prepared refused = prepareWithPath(fixture->root.filePath(QStringLiteral("no-pkexec")));
  return argumentsWhole && refused.failure && !refused.process &&
         refused.failure->errorDescription() ==
             QStringLiteral("Could not start updater: %1 is not writable and pkexec is not installed.")
                 .arg(fixture->parent) &&
         QDir(scripts).entryList({QStringLiteral("*.sh")}, QDir::Files).isEmpty();
}

bool updateInstallerRoutesToOsascriptOnReadOnlyParentFunctionalTest(const QString& tempRoot) {
  const std::optional<ElevationFixture> fixture = elevationFixture(
      tempRoot, QStringLiteral("readonly-parent"), QStringLiteral("artifact.zip"), "zip-payload");
  if (!fixture) {
    return false;
  }
  const QString& parent = fixture->parent;
  const QString& target = fixture->target;
  const QString& artifact = fixture->artifact;
  ScopedRestore restore;
  restore.setEnvironment("PATH", QFileInfo(fixture->pkexec).absolutePath().toUtf8());
  restore.atExit([parent] {
    QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
  });

  // The parent as its mode bits say, since root, which CI runs as, may write to any folder.
  QStringList asked;
  InstallHost host;
  host.folderIsWritable = [&asked](const QString& folder) {
    asked << folder;
    return QFileInfo(folder).permissions().testFlag(QFile::WriteOwner);
  };
  host.trustsElevatedScript = [](const QString&) { return true; };
  host.scriptsFolder = fixture->root.filePath(QStringLiteral("scripts"));
  const PendingUpdateInstallRequest request{artifact, target, QStringLiteral("0.1.5"), true,
                                            QString(64, QLatin1Char('c')), QString()};
  const QString elevatedScript = QDir(target).filePath(QStringLiteral("share/tandrel/tandrel-update-install"));

  const auto route = [&](QFile::Permissions permissions) -> std::optional<QStringList> {
    if (!QFile::setPermissions(parent, permissions)) {
      return std::nullopt;
    }
    const Prepared prepared = prepare(request, 1, host);
    if (prepared.failure || !prepared.process || prepared.process->program != QLatin1String("/bin/sh") ||
        prepared.process->arguments.size() != 12 || prepared.process->arguments[2] != artifact ||
        prepared.process->arguments[3] != target) {
      return std::nullopt;
    }
    QFile::remove(prepared.process->arguments[0]);
    // The elevator and the script it would run.
    return prepared.process->arguments.mid(9, 2);
  };
  const QFile::Permissions readOnly =
      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
  const std::optional<QStringList> readOnlyRoute = route(readOnly);
  const std::optional<QStringList> writableRoute = route(readOnly | QFile::WriteOwner);
  return readOnlyRoute == QStringList{fixture->pkexec, elevatedScript} &&
         writableRoute == QStringList{QString(), QString()} && asked == QStringList{parent, parent};
}

}  // namespace tandrel
