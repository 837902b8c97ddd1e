#include "update/update_installer.h"

#include "base/log.h"
#include "catalog/paths.h"
#include "platform/private_folder.h"
#include "update/update_artifact.h"
#include "update/update_client.h"
#include "update/update_signature.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

#include <cerrno>
#include <limits>

#include <signal.h>
#include <sys/stat.h>

namespace tandrel {

namespace UpdateInstaller {

QString Failure::errorDescription() const {
  switch (kind) {
    case Kind::missingArtifact:
      return QStringLiteral("Downloaded update artifact is missing at %1.").arg(path);
    case Kind::unsupportedTarget:
      return QStringLiteral(
                 "Current app bundle is not replaceable: %1. Updates for this copy come from where it was "
                 "installed.")
          .arg(path);
    case Kind::couldNotStart:
      return QStringLiteral("Could not start updater: %1").arg(description);
  }
  return description;
}

std::optional<QString> startDetached(const PreparedProcess& process) {
  QString program = process.program;
  QStringList arguments = process.arguments;
  const QString setsid = QStandardPaths::findExecutable(QStringLiteral("setsid"));
  if (!setsid.isEmpty()) {
    arguments.prepend(program);
    program = setsid;
  }
  QProcess starter;
  starter.setProgram(program);
  starter.setArguments(arguments);
  starter.setStandardInputFile(QProcess::nullDevice());
  starter.setStandardOutputFile(QProcess::nullDevice());
  starter.setStandardErrorFile(QProcess::nullDevice());
  if (!starter.startDetached()) {
    return starter.errorString();
  }
  return std::nullopt;
}

QByteArray installerScript() {
  QFile file(QStringLiteral(":/update/scripts/tandrel-update-install"));
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return file.readAll();
}

QString updatesDirectory() { return appSupportDirectory() + QStringLiteral("/Updates"); }

QString installResultPath() { return updatesDirectory() + QStringLiteral("/last-install-result"); }

bool isInstallFolder(const QString& path) {
  const QDir folder(path);
  return QFileInfo(folder.filePath(QStringLiteral("bin/tandrel"))).isFile() &&
         QFileInfo(folder.filePath(QLatin1String(kInstallMarker))).isFile();
}

std::optional<QString> currentInstallRoot() {
  const QString root = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
  if (root == QLatin1String("/usr") || !isInstallFolder(root)) {
    return std::nullopt;
  }
  return root;
}

namespace {

// A file that only root can change: owned by root, and neither it nor its folder writable by
// group or others.
bool isRootOwnedAndPrivate(const QString& path) {
  struct stat file {};
  struct stat folder {};
  const QByteArray name = QFile::encodeName(path);
  const QByteArray parent = QFile::encodeName(QFileInfo(path).absolutePath());
  if (::lstat(name.constData(), &file) != 0 || ::stat(parent.constData(), &folder) != 0) {
    return false;
  }
  return S_ISREG(file.st_mode) && file.st_uid == 0 && (file.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
         folder.st_uid == 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The installer's process id in the name of a leftover (".<name>.backup.<time>.<pid>" or
// ".<name>.update.<pid>.<random>"); nothing when the name is not one of ours.
std::optional<pid_t> leftoverInstallerPid(const QString& leftover, const QString& installName) {
  const QString backup = QStringLiteral(".%1.backup.").arg(installName);
  const QString update = QStringLiteral(".%1.update.").arg(installName);
  QString pidText;
  if (leftover.startsWith(backup)) {
    pidText = leftover.mid(backup.size()).section(QLatin1Char('.'), 1, 1);
  } else if (leftover.startsWith(update)) {
    pidText = leftover.mid(update.size()).section(QLatin1Char('.'), 0, 0);
  } else {
    return std::nullopt;
  }
  bool ok = false;
  const qint64 pid = pidText.toLongLong(&ok);
  if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max()) {
    return std::nullopt;
  }
  return static_cast<pid_t>(pid);
}

}  // namespace

QStringList finishInterruptedInstall(const QString& installRoot) {
  QStringList removed;
  const QFileInfo root(QDir::cleanPath(installRoot));
  if (!isInstallFolder(root.absoluteFilePath())) {
    return removed;
  }
  const QDir parent = root.absoluteDir();
  const QStringList candidates =
      parent.entryList({QStringLiteral(".%1.backup.*").arg(root.fileName()), QStringLiteral(".%1.update.*").arg(root.fileName())},
                       QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
  for (const QString& name : candidates) {
    const std::optional<pid_t> pid = leftoverInstallerPid(name, root.fileName());
    // An installer that still runs owns its folders (EPERM: it runs, as another user).
    if (!pid || ::kill(*pid, 0) == 0 || errno == EPERM) {
      continue;
    }
    const QString path = parent.filePath(name);
    if (QDir(path).removeRecursively()) {
      removed.append(path);
      logInfo(QStringLiteral("Finished an interrupted update: removed %1").arg(path));
    } else {
      logWarning(QStringLiteral("An interrupted update left %1, which could not be removed").arg(path));
    }
  }
  return removed;
}

QByteArray versionLine() { return QByteArrayLiteral("Tandrel ") + applicationVersion().toUtf8() + '\n'; }

int verifySignatureCommand(const QStringList& arguments) {
  const std::optional<QByteArray> key = UpdateSignature::builtInPublicKey();
  if (arguments.size() != 2 || !key) {
    return 1;
  }
  return UpdateSignature::verifyFile(arguments[0], arguments[1], *key) ? 0 : 1;
}

std::optional<Failure> installAndRelaunch(const PendingUpdateInstallRequest& request,
                                          qint64 waitForProcessIdentifier, const Launcher& launch,
                                          const InstallHost& host) {
  if (!QFileInfo(request.artifactURL).isFile()) {
    return Failure{Failure::Kind::missingArtifact, request.artifactURL, {}};
  }
  const QString target = QDir::cleanPath(request.targetBundleURL);
  if (!isInstallFolder(target) || target == QLatin1String("/usr")) {
    return Failure{Failure::Kind::unsupportedTarget, request.targetBundleURL, {}};
  }

  PreparedProcess process;
  process.program = QStringLiteral("/bin/sh");
  const QString parent = QFileInfo(target).absolutePath();
  process.elevatesSwap = !(host.folderIsWritable ? host.folderIsWritable(parent) : QFileInfo(parent).isWritable());
  QString elevator;
  QString elevatedScript;
  if (process.elevatesSwap) {
    elevator = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (elevator.isEmpty()) {
      return Failure{Failure::Kind::couldNotStart, {},
                     QStringLiteral("%1 is not writable and pkexec is not installed.").arg(parent)};
    }
    elevatedScript = QDir(target).filePath(QLatin1String(kInstalledScript));
    if (!(host.trustsElevatedScript ? host.trustsElevatedScript(elevatedScript) : isRootOwnedAndPrivate(elevatedScript))) {
      return Failure{Failure::Kind::couldNotStart, {},
                     QStringLiteral("replacing %1 needs administrator rights, and %2 is not the installer script "
                                    "of a root-owned install")
                         .arg(target, elevatedScript)};
    }
  }

  const QString folder = host.scriptsFolder.isEmpty() ? updatesDirectory() : host.scriptsFolder;
  if (makePrivateFolder(folder)) {
    return Failure{Failure::Kind::couldNotStart, {}, QStringLiteral("Could not create %1.").arg(folder)};
  }
  const QString scriptPath = folder + QStringLiteral("/install-") +
                             QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".sh");
  QSaveFile script(scriptPath);
  const QByteArray text = installerScript();
  if (text.isEmpty() || !script.open(QIODevice::WriteOnly) || script.write(text) != text.size() ||
      !script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                             QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                             QFileDevice::ExeOther) ||
      !script.commit()) {
    return Failure{Failure::Kind::couldNotStart, {}, script.errorString()};
  }

  // The version only names the log file: keep it to a safe file-name piece.
  const QString logPath = folder + QStringLiteral("/install-") +
                          UpdateArtifactDownloader::sanitizedNameComponent(request.version, QStringLiteral("update")) +
                          QStringLiteral(".log");
  process.arguments = {scriptPath,
                       QString::number(waitForProcessIdentifier),
                       QFileInfo(request.artifactURL).absoluteFilePath(),
                       target,
                       logPath,
                       request.relaunchAfterInstall ? QStringLiteral("1") : QStringLiteral("0"),
                       QDir(folder).filePath(QStringLiteral("last-install-result")),
                       request.expectedSHA256,
                       request.version,
                       elevator,
                       elevatedScript,
                       request.signature};
  if (std::optional<QString> error = launch(process)) {
    QFile::remove(scriptPath);
    return Failure{Failure::Kind::couldNotStart, {}, *error};
  }
  return std::nullopt;
}

std::optional<QString> takeInstallFailure(const QString& resultPath) {
  QFile file(resultPath);
  if (!file.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  QString status, version, message, log;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const qsizetype equals = line.indexOf('=');
    const QByteArray key = line.left(equals);
    const QString value = QString::fromUtf8(line.mid(equals + 1)).trimmed();
    if (equals <= 0) {
      continue;
    }
    if (key == "status") {
      status = value;
    } else if (key == "version") {
      version = value;
    } else if (key == "message") {
      message = value;
    } else if (key == "log") {
      log = value;
    }
  }
  file.close();
  QFile::remove(resultPath);
  if (status != QLatin1String("failed")) {
    return std::nullopt;
  }
  QString text = version.isEmpty() ? QStringLiteral("Update failed") : QStringLiteral("Update to v%1 failed").arg(version);
  text += QStringLiteral("; the previous version was kept");
  if (!message.isEmpty()) {
    text += QStringLiteral(": ") + message;
  }
  text += QLatin1Char('.');
  if (!log.isEmpty()) {
    text += QStringLiteral(" Details: ") + log;
  }
  return text;
}

}  // namespace UpdateInstaller

}  // namespace tandrel
