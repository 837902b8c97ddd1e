#include "hooks/hook_files.h"

#include "base/posix_error.h"
#include "platform/private_folder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <tuple>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
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

namespace {

// Removes all but the newest `kKeptBackups` of the file's backups, ordered by their seconds and
// counter ("-2", "-3"…). Names that are not ours stay.
void pruneBackups(const QString& path) {
  const QFileInfo info(path);
  const QString prefix = info.fileName() + QStringLiteral(".tandrel-backup-");
  static const QRegularExpression suffix(QStringLiteral("^(\\d+)(?:-(\\d+))?$"));
  struct Backup {
    qint64 seconds;
    qint64 counter;
    QString name;
  };
  std::vector<Backup> backups;
  const QDir folder = info.dir();
  for (const QString& name : folder.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden)) {
    const QRegularExpressionMatch match = suffix.match(QStringView(name).mid(prefix.size()));
    if (match.hasMatch()) {
      backups.push_back({match.captured(1).toLongLong(),
                         match.hasCaptured(2) ? match.captured(2).toLongLong() : 1, name});
    }
  }
  if (backups.size() <= static_cast<std::size_t>(kKeptBackups)) {
    return;
  }
  std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
    return std::tie(a.seconds, a.counter) < std::tie(b.seconds, b.counter);
  });
  for (std::size_t i = 0; i + kKeptBackups < backups.size(); ++i) {
    QFile::remove(folder.filePath(backups[i].name));
  }
}

}  // namespace

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
  pruneBackups(path);
  return name;
}

Result<FolderLock> FolderLock::acquire(const QString& folder, int waitMilliseconds) {
  const int descriptor =
      ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    return Result<FolderLock>::failure(
        QStringLiteral("Cannot lock the folder %1: %2").arg(folder, errnoText(errno)));
  }
  FolderLock lock(descriptor);
  QElapsedTimer waited;
  waited.start();
  while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      return Result<FolderLock>::failure(
          QStringLiteral("Cannot lock the folder %1: %2").arg(folder, errnoText(errno)));
    }
    if (waited.elapsed() >= waitMilliseconds) {
      return Result<FolderLock>::failure(
          QStringLiteral("%1 is being changed by another program; try again, nothing was changed")
              .arg(folder));
    }
    ::usleep(10000);
  }
  return lock;
}

Result<std::vector<FolderLock>> FolderLock::acquireAll(QStringList folders, int waitMilliseconds) {
  for (QString& folder : folders) {
    folder = QDir::cleanPath(folder);
  }
  folders.sort();
  folders.removeDuplicates();
  std::vector<FolderLock> locks;
  for (const QString& folder : folders) {
    auto lock = acquire(folder, waitMilliseconds);
    if (!lock) {
      return Result<std::vector<FolderLock>>::failure(lock.error());
    }
    locks.push_back(std::move(lock).value());
  }
  return locks;
}

FolderLock::FolderLock(FolderLock&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    if (descriptor_ >= 0) {
      ::close(descriptor_);
    }
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

FolderLock::~FolderLock() {
  if (descriptor_ >= 0) {
    ::close(descriptor_);  // releases the lock
  }
}

}  // namespace tandrel
