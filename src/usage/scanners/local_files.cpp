#include "usage/scanners/local_files.h"

#include "usage/scanners/json_lines.h"

#include <QFile>

#include <simdjson.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace tandrel {

namespace {

constexpr qint64 kDistantPastNs = std::numeric_limits<qint64>::min();
constexpr qint64 kDiscoveryLifetimeMs = 120'000;
constexpr std::size_t kDiscoveryCacheLimit = 32;

LocalFileStat fromStat(const struct stat& info) {
  LocalFileStat result;
  result.device = static_cast<std::uint64_t>(info.st_dev);
  result.inode = static_cast<std::uint64_t>(info.st_ino);
  result.size = static_cast<qint64>(info.st_size);
  result.modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  result.regular = S_ISREG(info.st_mode);
  return result;
}

// Closes a descriptor when it goes out of scope.
struct FileDescriptor {
  int fd = -1;
  explicit FileDescriptor(int value) : fd(value) {}
  ~FileDescriptor() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
};

// Reads from `offset` to the end of the file; false on a read error.
bool readFrom(int fd, qint64 offset, QByteArray& out) {
  struct stat info {};
  qsizetype chunk = 65536;
  if (::fstat(fd, &info) == 0 && info.st_size > offset) {
    // One read for the whole rest, and one more byte so that the end shows without growing.
    chunk = std::max<qsizetype>(chunk, static_cast<qsizetype>(info.st_size - offset) + 1);
  }
  qsizetype used = 0;
  for (;;) {
    if (out.size() - used < 4096) {
      out.resize(used + chunk);
    }
    const ssize_t got = ::pread(fd, out.data() + used, static_cast<size_t>(out.size() - used), offset);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (got == 0) {
      break;
    }
    used += got;
    offset += got;
  }
  out.resize(used);
  return true;
}

void walk(const QByteArray& folder, const LocalFilePredicate& keep, std::vector<DiscoveredFile>& out) {
  DIR* dir = ::opendir(folder.constData());
  if (!dir) {
    return;
  }
  const int dirFd = ::dirfd(dir);
  std::vector<QByteArray> subfolders;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.') {
      continue;  // hidden, and "." and ".."
    }
    struct stat info {};
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    QByteArray path = folder;
    if (!path.endsWith('/')) {
      path.append('/');
    }
    path.append(name);
    if (S_ISDIR(info.st_mode)) {
      subfolders.push_back(std::move(path));
    } else if (S_ISREG(info.st_mode)) {
      const QString decoded = QFile::decodeName(path);
      if (keep(decoded)) {
        const LocalFileStat stat = fromStat(info);
        out.push_back({decoded, stat.modifiedNs});
      }
    }
  }
  ::closedir(dir);
  for (const QByteArray& subfolder : subfolders) {
    walk(subfolder, keep, out);
  }
}

QString lowerExtension(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  // A name that only starts with "." has no extension.
  if (dot <= slash + 1) {
    return QString();
  }
  return path.mid(dot + 1).toLower();
}

struct DiscoveryEntry {
  QDateTime createdAt;
  QStringList files;
};

struct DiscoveryCache {
  std::mutex lock;
  std::unordered_map<QString, DiscoveryEntry> entries;
};

DiscoveryCache& discoveryCache() {
  static DiscoveryCache cache;
  return cache;
}

}  // namespace

QDateTime LocalFileStat::modified() const {
  return QDateTime::fromMSecsSinceEpoch(modifiedNs >= 0 ? modifiedNs / 1'000'000 : -((-modifiedNs + 999'999) / 1'000'000),
                                        Qt::UTC);
}

std::optional<LocalFileStat> localFileStat(const QString& path) {
  struct stat info {};
  if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
    return std::nullopt;
  }
  return fromStat(info);
}

std::optional<QDateTime> localUsageFileModifiedAt(const QString& path) {
  const auto stat = localFileStat(path);
  if (!stat) {
    return std::nullopt;
  }
  return stat->modified();
}

std::vector<DiscoveredFile> discoverRecentFiles(const QString& root, const LocalFilePredicate& keep) {
  std::vector<DiscoveredFile> files;
  const QByteArray encoded = QFile::encodeName(root);
  struct stat info {};
  if (::stat(encoded.constData(), &info) != 0) {
    return files;
  }
  walk(encoded, keep, files);
  sortNewestFirst(files);
  return files;
}

void sortNewestFirst(std::vector<DiscoveredFile>& files) {
  std::stable_sort(files.begin(), files.end(),
                   [](const DiscoveredFile& a, const DiscoveredFile& b) { return a.modifiedNs > b.modifiedNs; });
}

QStringList firstPaths(const std::vector<DiscoveredFile>& files, int limit) {
  QStringList paths;
  const std::size_t count = std::min(files.size(), static_cast<std::size_t>(std::max(limit, 0)));
  paths.reserve(static_cast<qsizetype>(count));
  for (std::size_t i = 0; i < count; ++i) {
    paths.push_back(files[i].path);
  }
  return paths;
}

QStringList recentUsageFiles(const std::optional<QString>& root, int limit, const QString& cacheKey,
                             const QSet<QString>& extensions, const LocalFilePredicate& include) {
  if (!root) {
    return {};
  }
  return RecentJSONLFileDiscoveryCache::files(*root, limit, cacheKey, [&] {
    const auto files = discoverRecentFiles(*root, [&](const QString& path) {
      return extensions.contains(lowerExtension(path)) && include(path);
    });
    return firstPaths(files, limit);
  });
}

QStringList recentJSONLFiles(const std::optional<QString>& root, int limit, const QString& cacheKey,
                             const LocalFilePredicate& include) {
  static const QSet<QString> kExtensions{QStringLiteral("jsonl")};
  return recentUsageFiles(root, limit, cacheKey, kExtensions, include);
}

QStringList recentJSONFiles(const std::optional<QString>& root, int limit, const QString& cacheKey,
                            const LocalFilePredicate& include) {
  static const QSet<QString> kExtensions{QStringLiteral("json")};
  return recentUsageFiles(root, limit, cacheKey, kExtensions, include);
}

namespace RecentJSONLFileDiscoveryCache {

QStringList files(const QString& root, int limit, const QString& cacheKey, const std::function<QStringList()>& discover,
                  const QDateTime& now) {
  const QString key = cacheKey + QLatin1Char('|') + QString::number(limit) + QLatin1Char('|') + root;
  DiscoveryCache& cache = discoveryCache();
  {
    const std::lock_guard guard(cache.lock);
    const auto found = cache.entries.find(key);
    if (found != cache.entries.end() && found->second.createdAt.msecsTo(now) < kDiscoveryLifetimeMs) {
      return found->second.files;
    }
  }
  QStringList discovered = discover();
  const std::lock_guard guard(cache.lock);
  if (cache.entries.size() >= kDiscoveryCacheLimit) {
    cache.entries.clear();
  }
  cache.entries[key] = {now, discovered};
  return discovered;
}

QStringList files(const QString& root, int limit, const QString& cacheKey, const std::function<QStringList()>& discover) {
  return files(root, limit, cacheKey, discover, QDateTime::currentDateTimeUtc());
}

int countForTests() {
  DiscoveryCache& cache = discoveryCache();
  const std::lock_guard guard(cache.lock);
  return static_cast<int>(cache.entries.size());
}

}  // namespace RecentJSONLFileDiscoveryCache

void clearRecentJSONLDiscoveryCache() {
  DiscoveryCache& cache = discoveryCache();
  const std::lock_guard guard(cache.lock);
  cache.entries.clear();
}

std::optional<QByteArray> readTailBytes(const QString& path, std::uint64_t maxBytes) {
  const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) {
    return std::nullopt;
  }
  qint64 start = 0;
  const off_t length = ::lseek(file.fd, 0, SEEK_END);
  if (length >= 0 && static_cast<std::uint64_t>(length) >= maxBytes) {
    start = static_cast<qint64>(static_cast<std::uint64_t>(length) - maxBytes);
  }
  QByteArray bytes;
  if (!readFrom(file.fd, start, bytes)) {
    return std::nullopt;
  }
  if (start > 0) {
    // Cut at the first line feed before decoding anything: only the line the cut split is lost,
    // also when the cut fell inside a multi-byte character.
    const qsizetype firstBreak = bytes.indexOf('\n');
    if (firstBreak >= 0) {
      bytes.remove(0, firstBreak + 1);
    }
  }
  return bytes;
}

std::optional<QString> readTailText(const QString& path, std::uint64_t maxBytes) {
  const auto bytes = readTailBytes(path, maxBytes);
  if (!bytes || !isValidUtf8(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())))) {
    return std::nullopt;
  }
  return QString::fromUtf8(*bytes);
}

std::optional<TailLines> readTailLines(const QString& path, std::uint64_t maxBytes) {
  auto bytes = readTailBytes(path, maxBytes);
  if (!bytes) {
    return std::nullopt;
  }
  std::optional<TailLines> tail(TailLines{std::move(*bytes), {}});
  forEachLine(std::string_view(tail->bytes.constData(), static_cast<std::size_t>(tail->bytes.size())),
              [&tail](std::string_view line) { tail->lines.push_back(line); });
  return tail;
}

std::optional<QByteArray> readWholeFile(const QString& path) {
  const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) {
    return std::nullopt;
  }
  QByteArray bytes;
  if (!readFrom(file.fd, 0, bytes)) {
    return std::nullopt;
  }
  return bytes;
}

std::vector<QJsonObject> jsonObjectsFromTail(const QString& path, std::uint64_t maxBytes) {
  const auto bytes = readTailBytes(path, maxBytes);
  if (!bytes) {
    return {};
  }
  return jsonObjectsFromLines(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())));
}

std::vector<QJsonObject> jsonObjectsFromFile(const QString& path) {
  const auto bytes = readWholeFile(path);
  if (!bytes) {
    return {};
  }
  return jsonObjectsFromLines(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())));
}

bool isValidUtf8(std::string_view bytes) { return simdjson::validate_utf8(bytes.data(), bytes.size()); }

}  // namespace tandrel
