#include "platform/append_file.h"

#include "base/posix_error.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tandrel {

Result<void> appendFile(const QString& path, const QByteArray& bytes) {
  const QByteArray name = QFile::encodeName(path);
  int fd = -1;
  do {
    fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return Result<void>::failure(POSIXError{errno, QStringLiteral("open")}.description());
  }

  ssize_t written = 0;
  do {
    written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
  } while (written < 0 && errno == EINTR);
  const int writeError = errno;
  ::close(fd);

  if (written < 0) {
    return Result<void>::failure(POSIXError{writeError, QStringLiteral("write")}.description());
  }
  if (written != bytes.size()) {
    // Writing the rest with a second call could interleave with another writer's line.
    return Result<void>::failure(
        QStringLiteral("POSIX write failed: wrote %1 of %2 bytes").arg(written).arg(bytes.size()));
  }
  return Result<void>::success();
}

}  // namespace tandrel
