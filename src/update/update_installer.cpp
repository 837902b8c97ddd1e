#include "update/update_installer.h"

#include "catalog/paths.h"
#include "platform/private_folder.h"
#include "update/update_artifact.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

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

std::optional<Failure> installAndRelaunch(const PendingUpdateInstallRequest& request,
                                          qint64 waitForProcessIdentifier, const Launcher& launch) {
  if (!QFileInfo(request.artifactURL).isFile()) {
    return Failure{Failure::Kind::missingArtifact, request.artifactURL, {}};
  }
  const QString target = QDir::cleanPath(request.targetBundleURL);
  if (!isInstallFolder(target) || target == QLatin1String("/usr")) {
    return Failure{Failure::Kind::unsupportedTarget, request.targetBundleURL, {}};
  }

  PreparedProcess process;
  process.program = QStringLiteral("/bin/sh");
  process.elevatesSwap = !QFileInfo(QFileInfo(target).absolutePath()).isWritable();
  QString elevator;
  if (process.elevatesSwap) {
    elevator = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (elevator.isEmpty()) {
      return Failure{Failure::Kind::couldNotStart, {},
                     QStringLiteral("%1 is not writable and pkexec is not installed.")
                         .arg(QFileInfo(target).absolutePath())};
    }
  }

  const QString folder = updatesDirectory();
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
                       installResultPath(),
                       request.expectedSHA256,
                       request.version,
                       elevator};
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
