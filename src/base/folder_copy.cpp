#include "base/folder_copy.h"

#include "base/posix_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel {

namespace {

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

QString systemFailure(const QString& what, const QString& path, int errorNumber) {
  return QStringLiteral("%1 %2: %3").arg(what, path, errnoText(errorNumber));
}

// A name beside `target` that nothing uses yet.
QString siblingName(const QString& target, const char* role) {
  const QFileInfo info(target);
  return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') +
         QLatin1String(role) + QLatin1Char('-') + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

}  // namespace

QString realPathOf(const QString& path) {
  QString clean = QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
  QString rest;
  while (true) {
    const QString canonical = QFileInfo(clean).canonicalFilePath();
    if (!canonical.isEmpty()) {
      return rest.isEmpty() ? canonical : QDir::cleanPath(canonical + QLatin1Char('/') + rest);
    }
    // The root always resolves, so the walk ends there at the latest.
    const int slash = clean.lastIndexOf(QLatin1Char('/'));
    const QString last = clean.mid(slash + 1);
    rest = rest.isEmpty() ? last : last + QLatin1Char('/') + rest;
    clean = slash <= 0 ? QStringLiteral("/") : clean.left(slash);
  }
}

bool isSameOrInsideFolder(const QString& path, const QString& folder) {
  const QString real = realPathOf(path);
  const QString root = realPathOf(folder);
  return real == root || real.startsWith(root == QLatin1String("/") ? root : root + QLatin1Char('/'));
}

Result<QString> makeStagingFolder(const QString& target) {
  const QString staging = siblingName(target, "staging");
  if (::mkdir(encoded(staging).constData(), 0700) != 0) {
    return Result<QString>::failure(systemFailure(QStringLiteral("Could not create"), staging, errno));
  }
  return staging;
}

Result<void> copyFolderContents(const QString& source, const QString& destination) {
  const QDir folder(source);
  if (!folder.exists()) {
    return Result<void>::failure(systemFailure(QStringLiteral("Could not read"), source, ENOENT));
  }
  const QStringList names = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                             QDir::Name);
  for (const QString& name : names) {
    const QString from = source + QLatin1Char('/') + name;
    const QString to = destination + QLatin1Char('/') + name;
    struct stat linkInfo {};
    struct stat info {};
    if (::lstat(encoded(from).constData(), &linkInfo) != 0) {
      return Result<void>::failure(systemFailure(QStringLiteral("Could not read"), from, errno));
    }
    if (S_ISDIR(linkInfo.st_mode)) {
      if (::mkdir(encoded(to).constData(), 0700) != 0) {
        return Result<void>::failure(systemFailure(QStringLiteral("Could not create"), to, errno));
      }
      if (auto copied = copyFolderContents(from, to); !copied) {
        return copied;
      }
      continue;
    }
    if (::stat(encoded(from).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
      continue;  // a dangling link, a link to a folder or a special file
    }
    QFile input(from);
    if (!input.copy(to)) {
      return Result<void>::failure(QStringLiteral("Could not copy %1: %2").arg(from, input.errorString()));
    }
  }
  return Result<void>::success();
}

Result<void> moveFolderIntoPlace(const QString& staged, const QString& target) {
  struct stat info {};
  const bool targetExists = ::lstat(encoded(target).constData(), &info) == 0;
  QString aside;
  if (targetExists) {
    aside = siblingName(target, "old");
    if (::rename(encoded(target).constData(), encoded(aside).constData()) != 0) {
      return Result<void>::failure(systemFailure(QStringLiteral("Could not replace"), target, errno));
    }
  }
  if (::rename(encoded(staged).constData(), encoded(target).constData()) != 0) {
    const int error = errno;
    if (targetExists) {
      ::rename(encoded(aside).constData(), encoded(target).constData());
    }
    return Result<void>::failure(systemFailure(QStringLiteral("Could not replace"), target, error));
  }
  if (targetExists) {
    removeTree(aside);
  }
  return Result<void>::success();
}

Result<void> replaceFolderWithCopy(const QString& source, const QString& target) {
  if (isSameOrInsideFolder(source, target)) {
    return Result<void>::failure(QStringLiteral("%1 is inside %2, which it would replace").arg(source, target));
  }
  if (isSameOrInsideFolder(target, source)) {
    return Result<void>::failure(QStringLiteral("%1 is inside %2, which is being copied").arg(target, source));
  }
  auto staging = makeStagingFolder(target);
  if (!staging) {
    return Result<void>::failure(staging.error());
  }
  auto result = copyFolderContents(source, *staging);
  if (result) {
    result = moveFolderIntoPlace(*staging, target);
  }
  if (!result) {
    removeTree(*staging);
  }
  return result;
}

bool removeTree(const QString& path) {
  struct stat info {};
  if (::lstat(encoded(path).constData(), &info) != 0) {
    return errno == ENOENT;
  }
  if (S_ISDIR(info.st_mode)) {
    const QStringList names = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
      removeTree(path + QLatin1Char('/') + name);
    }
    return ::rmdir(encoded(path).constData()) == 0;
  }
  return ::unlink(encoded(path).constData()) == 0;
}

}  // namespace tandrel
