#include "platform/append_file.h"

#include "base/posix_error.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel {

namespace {

int openForAppend(const QByteArray& name) {
  int fd = -1;
  do {
    fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// One write of the whole line; a second call for the rest could interleave with another writer.
Result<void> writeLine(int fd, const QByteArray& bytes) {
  ssize_t written = 0;
  do {
    written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    return Result<void>::failure(POSIXError{errno, QStringLiteral("write")}.description());
  }
  if (written != bytes.size()) {
    return Result<void>::failure(
        QStringLiteral("POSIX write failed: wrote %1 of %2 bytes").arg(written).arg(bytes.size()));
  }
  return Result<void>::success();
}

}  // namespace

Result<void> appendFile(const QString& path, const QByteArray& bytes) {
  const int fd = openForAppend(QFile::encodeName(path));
  if (fd < 0) {
    return Result<void>::failure(POSIXError{errno, QStringLiteral("open")}.description());
  }
  Result<void> outcome = writeLine(fd, bytes);
  ::close(fd);
  return outcome;
}

QString rotatedLogPath(const QString& path) { return path + QStringLiteral(".1"); }

void rotateLogIfLarge(const QString& path, qint64 limitBytes) {
  const QByteArray name = QFile::encodeName(path);
  struct stat info {};
  if (::stat(name.constData(), &info) != 0 || info.st_size < limitBytes) {
    return;
  }
  (void)::rename(name.constData(), QFile::encodeName(rotatedLogPath(path)).constData());
}

AppendOnlyFile::AppendOnlyFile(QString path) : path_(std::move(path)) {}

AppendOnlyFile::~AppendOnlyFile() { close(); }

void AppendOnlyFile::setPath(QString path) {
  close();
  path_ = std::move(path);
}

void AppendOnlyFile::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

Result<void> AppendOnlyFile::append(const QByteArray& bytes) {
  const QByteArray name = QFile::encodeName(path_);
  struct stat named {};
  const bool same = fd_ >= 0 && ::stat(name.constData(), &named) == 0 &&
                    static_cast<quint64>(named.st_dev) == device_ &&
                    static_cast<quint64>(named.st_ino) == inode_;
  if (!same) {
    const int fd = openForAppend(name);
    struct stat opened {};
    if (fd >= 0 && ::fstat(fd, &opened) == 0) {
      close();
      fd_ = fd;
      device_ = static_cast<quint64>(opened.st_dev);
      inode_ = static_cast<quint64>(opened.st_ino);
    } else if (fd >= 0) {
      ::close(fd);
    } else if (fd_ < 0) {
      return Result<void>::failure(POSIXError{errno, QStringLiteral("open")}.description());
    }
  }
  return writeLine(fd_, bytes);
}

}  // namespace tandrel
