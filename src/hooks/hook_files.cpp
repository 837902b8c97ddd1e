#include "hooks/hook_files.h"

#include "platform/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

namespace tandrel {

namespace {

constexpr QFileDevice::Permissions kExecutable =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser |
    QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
    QFileDevice::ExeOther;

}  // namespace

Result<ExistingFile> readExistingFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) {
    return ExistingFile{};
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Result<ExistingFile>::failure(
        QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    return Result<ExistingFile>::failure(
        QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
  }
  return ExistingFile{true, bytes};
}

Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes, bool executable) {
  // QSaveFile replaces a symbolic link itself; write through to the file it names instead.
  const QFileInfo info(path);
  QString target = path;
  if (info.isSymLink()) {
    // The file at the end of the chain; a dangling link names where that file will be.
    target = info.canonicalFilePath().isEmpty() ? info.symLinkTarget() : info.canonicalFilePath();
  }
  // QSaveFile refuses to replace a file its owner may not write; a script of ours that was made
  // read-only is still ours to replace (it ends up 0755 again).
  if (const QFileInfo existing(target); executable && existing.exists() && !existing.isWritable() &&
                                        existing.ownerId() == ::geteuid()) {
    QFile::setPermissions(target, existing.permissions() | QFileDevice::WriteOwner);
  }
  QSaveFile file(target);
  const auto failed = [&](const QString& what) {
    return Result<void>::failure(
        QStringLiteral("Cannot %1 %2: %3").arg(what, path, file.errorString()));
  };
  if (!file.open(QIODevice::WriteOnly)) {
    return failed(QStringLiteral("write"));
  }
  if (executable && !file.setPermissions(kExecutable)) {
    file.cancelWriting();
    return failed(QStringLiteral("make executable"));
  }
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return failed(QStringLiteral("write"));
  }
  if (!file.commit()) {
    return failed(QStringLiteral("write"));
  }
  return {};
}

Result<void> makeDirectories(const QString& path, bool ownerOnly) {
  if (ownerOnly) {
    if (const auto error = makePrivateFolder(path)) {
      return Result<void>::failure(
          QStringLiteral("Cannot create the folder %1: %2").arg(path, error->description()));
    }
    return {};
  }
  if (!QDir().mkpath(path)) {
    return Result<void>::failure(QStringLiteral("Cannot create the folder %1").arg(path));
  }
  return {};
}

Result<QString> backupFile(const QString& path, qint64 secondsSince1970) {
  if (!QFileInfo::exists(path)) {
    return QString();
  }
  const QString base = path + QStringLiteral(".tandrel-backup-") + QString::number(secondsSince1970);
  QString name = base;
  for (int counter = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++counter) {
    name = base + u'-' + QString::number(counter);
  }
  QFile source(path);
  if (!source.copy(name)) {
    return Result<QString>::failure(QStringLiteral("Cannot back up %1 to %2: %3; nothing was changed")
                                        .arg(path, name, source.errorString()));
  }
  return name;
}

}  // namespace tandrel
