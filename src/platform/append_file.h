#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>

namespace tandrel {

// Appends `bytes` (normally one complete line) to the file at `path` with a single write on an
// O_APPEND descriptor, so that lines appended by several writers at once never interleave. A new
// file is created with mode 0600 (the logs hold commands and folders); an existing file keeps its
// mode. When the file cannot be opened nothing is written anywhere: the file is never replaced.
// Failures read "POSIX open failed: errno=…" or "POSIX write failed: …". The parent folder must
// exist.
Result<void> appendFile(const QString& path, const QByteArray& bytes);

// Where a log is moved aside once it is past its size: "<path>.1" beside it.
QString rotatedLogPath(const QString& path);

// Moves the log at `path` aside to rotatedLogPath(path), replacing an older one, when it holds
// `limitBytes` or more, so that the next append begins a new file (a writer holding the old one
// open goes on writing into the moved file). A log that cannot be moved keeps growing: no line is
// lost for a full disk or a read-only folder.
void rotateLogIfLarge(const QString& path, qint64 limitBytes);

// A log that lines are appended to again and again, through one O_APPEND descriptor kept open, so
// that running out of descriptors later costs no line. Before each append the path is looked at:
// when it no longer names the file the descriptor writes to (renamed away, deleted, replaced), the
// path is opened anew (a new file 0600); if that fails the line still goes to the old descriptor.
// Each line is one write, as with appendFile. For one thread at a time.
class AppendOnlyFile {
 public:
  explicit AppendOnlyFile(QString path = QString());
  ~AppendOnlyFile();
  AppendOnlyFile(const AppendOnlyFile&) = delete;
  AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

  const QString& path() const { return path_; }
  // Closes the descriptor; the next append opens the new path.
  void setPath(QString path);

  Result<void> append(const QByteArray& bytes);

 private:
  void close();

  QString path_;
  int fd_ = -1;
  quint64 device_ = 0;
  quint64 inode_ = 0;
};

}  // namespace tandrel
