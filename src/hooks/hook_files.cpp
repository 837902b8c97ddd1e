#include "hooks/hook_files.h"
#include "base/posix_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <cerrno>

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
  const QString target = info.isSymLink() ? info.symLinkTarget() : path;
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
  const QString clean = QDir::cleanPath(QDir(path).absolutePath());
  // The folders to create, outermost first.
  QStringList missing;
  for (QString folder = clean; !QFileInfo::exists(folder) && folder != QLatin1String("/");
       folder = QFileInfo(folder).path()) {
    missing.prepend(folder);
  }
  for (const QString& folder : missing) {
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), ownerOnly ? 0700 : 0777) != 0 && errno != EEXIST) {
      return Result<void>::failure(QStringLiteral("Cannot create the folder %1: %2")
                                       .arg(folder, errnoText(errno)));
    }
  }
  if (!QFileInfo(clean).isDir()) {
    return Result<void>::failure(QStringLiteral("Cannot create the folder %1: a file is in the way")
                                     .arg(clean));
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
