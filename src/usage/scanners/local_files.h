#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// The local scanners' file toolbox: what a file's attributes say, discovery of the newest files
// under a data root (with a short-lived, process-wide discovery cache), and reading the tail or the
// whole of a large append-only file. Files are plain absolute paths. Nothing here ever writes to a
// file or reports an error: whatever cannot be read gives less.

namespace tandrel {

// What stat(2) says of a path, without following a final symbolic link.
struct LocalFileStat {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  qint64 size = 0;
  qint64 modifiedNs = 0;  // content modification time, nanoseconds since 1970
  bool regular = false;

  bool operator==(const LocalFileStat&) const = default;
  QDateTime modified() const;  // to the millisecond, UTC
};
std::optional<LocalFileStat> localFileStat(const QString& path);

// The file's content modification date; nothing when its attributes cannot be read.
std::optional<QDateTime> localUsageFileModifiedAt(const QString& path);

// ---- Discovery ----

using LocalFilePredicate = std::function<bool(const QString& path)>;

// The newest regular files under `root` whose lower-cased extension is in `extensions` and that
// `include` accepts, newest first, at most `limit`: the whole tree is walked, hidden files and
// folders are skipped, symbolic links are neither followed nor listed, and files with equal times
// keep the walk's order. An absent or missing root gives an empty list. Results are cached per
// (cache key, limit, root) for 120 s; `include` is not part of the key.
QStringList recentUsageFiles(const std::optional<QString>& root, int limit, const QString& cacheKey,
                             const QSet<QString>& extensions, const LocalFilePredicate& include);
QStringList recentJSONLFiles(const std::optional<QString>& root, int limit, const QString& cacheKey,
                             const LocalFilePredicate& include);
QStringList recentJSONFiles(const std::optional<QString>& root, int limit, const QString& cacheKey,
                            const LocalFilePredicate& include);

// The walk behind recentUsageFiles, uncached: every kept file with its time, newest first.
struct DiscoveredFile {
  QString path;
  qint64 modifiedNs = 0;  // the distant past when unknown
};
std::vector<DiscoveredFile> discoverRecentFiles(const QString& root, const LocalFilePredicate& keep);
// The first `limit` paths of a newest-first list.
QStringList firstPaths(const std::vector<DiscoveredFile>& files, int limit);
// Sorts newest first, stable.
void sortNewestFirst(std::vector<DiscoveredFile>& files);

// The process-wide discovery cache: key "<cache key>|<limit>|<root>" to the files found by a walk
// started less than 120 s before `now`. It is emptied when a store finds 32 entries.
namespace RecentJSONLFileDiscoveryCache {
QStringList files(const QString& root, int limit, const QString& cacheKey,
                  const std::function<QStringList()>& discover, const QDateTime& now);
QStringList files(const QString& root, int limit, const QString& cacheKey,
                  const std::function<QStringList()>& discover);
int countForTests();
}  // namespace RecentJSONLFileDiscoveryCache

// Empties the discovery cache.
void clearRecentJSONLDiscoveryCache();

// ---- Reading ----

// The bytes from `maxBytes` before the end of the file to its end. When the read starts after the
// beginning of the file and the bytes hold a line feed, everything up to and including the first
// line feed is dropped (the cut may have split that line, or a character of it). Nothing when the
// file cannot be opened or read.
std::optional<QByteArray> readTailBytes(const QString& path, std::uint64_t maxBytes);
// The same decoded as UTF-8; nothing when the kept bytes are not valid UTF-8.
std::optional<QString> readTailText(const QString& path, std::uint64_t maxBytes);
// A tail's non-empty lines, oldest first, as views into its bytes.
struct TailLines {
  QByteArray bytes;
  std::vector<std::string_view> lines;
};
std::optional<TailLines> readTailLines(const QString& path, std::uint64_t maxBytes);
// The whole file; nothing when it cannot be read.
std::optional<QByteArray> readWholeFile(const QString& path);

// The JSON objects of the lines of the file's tail, or of the whole file, in file order. A line
// that is not a JSON object is skipped.
std::vector<QJsonObject> jsonObjectsFromTail(const QString& path, std::uint64_t maxBytes);
std::vector<QJsonObject> jsonObjectsFromFile(const QString& path);

// Whether bytes are valid UTF-8.
bool isValidUtf8(std::string_view bytes);

}  // namespace tandrel
