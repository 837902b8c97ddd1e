#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The file operations of hook installation. Every failure names the file and the reason.

namespace tandrel {

// A file read before it is changed: absent, or its bytes.
struct ExistingFile {
  bool exists = false;
  QByteArray bytes;
};

// Reads `path`. A missing file is not an error; one that exists but cannot be read is.
Result<ExistingFile> readExistingFile(const QString& path);

// Replaces `path` whole: the bytes go to a temporary file beside it, which is renamed over the
// target, so that a reader never meets a half-written file. With `executable` the temporary file
// is made 0755 before the rename; otherwise an existing file keeps its mode. A symbolic link is
// followed and its target replaced.
Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                 bool executable = false);

// Creates `path` and its missing parents. With `ownerOnly` (our own folders) the folders created
// get mode 0700.
Result<void> makeDirectories(const QString& path, bool ownerOnly);

// Copies the file at `path` beside itself as "<name>.tandrel-backup-<seconds>" (with "-2", "-3"…
// appended when that name is taken) and returns the copy's path; an empty path when there is no
// file. A copy that fails is an error: the caller must not change the file then. Of the file's
// backups the newest `kKeptBackups` stay; older ones are removed.
inline constexpr int kKeptBackups = 5;
Result<QString> backupFile(const QString& path, qint64 secondsSince1970);

// An advisory lock (flock) on a folder, held while a configuration file in it is read, planned
// and written: two editors that take it never interleave. The folder, not the file, is locked,
// because the file is replaced by a rename. Waiting for another holder gives up after
// `waitMilliseconds` with an error. Released when the object goes.
class FolderLock {
 public:
  static Result<FolderLock> acquire(const QString& folder, int waitMilliseconds = 5000);
  // The locks of several folders, each folder once, taken in one order so that two editors
  // never wait for each other.
  static Result<std::vector<FolderLock>> acquireAll(QStringList folders, int waitMilliseconds = 5000);

  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

 private:
  explicit FolderLock(int descriptor) : descriptor_(descriptor) {}
  int descriptor_ = -1;
};

}  // namespace tandrel
