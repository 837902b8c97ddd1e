#include "platform/private_folder.h"

#include <QFile>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace tandrel {
namespace {

std::optional<POSIXError> makeFolders(const QByteArray& folder) {
  if (folder.isEmpty()) {
    return std::nullopt;
  }
  struct stat info {};
  if (::stat(folder.constData(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      return std::nullopt;
    }
    return POSIXError{ENOTDIR, QStringLiteral("mkdir ") + QFile::decodeName(folder)};
  }
  const qsizetype slash = folder.lastIndexOf('/');
  if (slash > 0) {
    if (auto error = makeFolders(folder.left(slash))) {
      return error;
    }
  }
  if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
    return POSIXError{errno, QStringLiteral("mkdir ") + QFile::decodeName(folder)};
  }
  return std::nullopt;
}

}  // namespace

std::optional<POSIXError> makePrivateFolder(const QString& folder) {
  QByteArray path = QFile::encodeName(folder);
  while (path.size() > 1 && path.endsWith('/')) {
    path.chop(1);
  }
  return makeFolders(path);
}

bool restrictFolderToOwner(const QString& folder) {
  const QByteArray path = QFile::encodeName(folder);
  struct stat info {};
  if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
    return false;
  }
  if ((info.st_mode & 077) == 0) {
    return true;
  }
  return ::chmod(path.constData(), info.st_mode & 07700) == 0;
}

}  // namespace tandrel
