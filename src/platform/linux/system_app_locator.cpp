#include "platform/linux/system_app_locator.h"

#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace tandrel {

namespace {

// Desktop files are small; anything larger is not one.
constexpr qint64 kMaxDesktopFileBytes = 1 << 20;

std::optional<QString> environmentValue(const char* name) {
  if (!qEnvironmentVariableIsSet(name)) {
    return std::nullopt;
  }
  return qEnvironmentVariable(name);
}

// An XDG base-directory variable: used only when set to an absolute path.
std::optional<QString> xdgDirectory(const char* name) {
  const QString value = qEnvironmentVariable(name).trimmed();
  if (value.isEmpty() || !value.startsWith(QLatin1Char('/'))) {
    return std::nullopt;
  }
  return value;
}

QString unescapeValue(const QString& raw) {
  QString out;
  out.reserve(raw.size());
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QChar c = raw.at(i);
    if (c != QLatin1Char('\\') || i + 1 == raw.size()) {
      out.append(c);
      continue;
    }
    const QChar next = raw.at(++i);
    switch (next.unicode()) {
      case 's':
        out.append(QLatin1Char(' '));
        break;
      case 'n':
        out.append(QLatin1Char('\n'));
        break;
      case 't':
        out.append(QLatin1Char('\t'));
        break;
      case 'r':
        out.append(QLatin1Char('\r'));
        break;
      case '\\':
        out.append(QLatin1Char('\\'));
        break;
      default:
        out.append(QLatin1Char('\\'));
        out.append(next);
    }
  }
  return out;
}

// A folder's modification time in milliseconds, or -1 when it is no folder.
qint64 directoryTime(const QString& dir) {
  const QFileInfo info(dir);
  if (!info.isDir()) {
    return -1;
  }
  return info.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch();
}

// File times advance in coarse steps: a folder changed this shortly before a scan may change again
// within the same step, unseen, so such a scan is not trusted for long.
constexpr qint64 kRacyMarginMs = 100;

}  // namespace

const AppLocator& AppLocator::system() {
  static const SystemAppLocator locator;
  return locator;
}

bool SystemAppLocator::fileExists(const QString& path) const {
  return !path.isEmpty() && QFileInfo::exists(path);
}

bool SystemAppLocator::isExecutableFile(const QString& path) const {
  if (path.isEmpty()) {
    return false;
  }
  const QFileInfo info(path);
  if (!info.isFile()) {
    return false;
  }
  const QByteArray native = QFile::encodeName(path);
  return ::access(native.constData(), X_OK) == 0;
}

std::optional<QString> SystemAppLocator::pathVariable() const { return environmentValue("PATH"); }

QStringList SystemAppLocator::applicationsDirectories() {
  QStringList roots;
  roots.append(
      xdgDirectory("XDG_DATA_HOME").value_or(QDir::homePath() + QStringLiteral("/.local/share")));
  QStringList dataDirs;
  const QString dirsValue = qEnvironmentVariable("XDG_DATA_DIRS").trimmed();
  for (const QString& dir : dirsValue.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    if (dir.startsWith(QLatin1Char('/'))) {
      dataDirs.append(dir);
    }
  }
  if (dataDirs.isEmpty()) {
    dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
  }
  roots.append(dataDirs);
  QStringList result;
  for (QString root : roots) {
    while (root.size() > 1 && root.endsWith(QLatin1Char('/'))) {
      root.chop(1);
    }
    const QString dir = root + QStringLiteral("/applications");
    if (!result.contains(dir)) {
      result.append(dir);
    }
  }
  return result;
}

std::vector<DesktopEntry> SystemAppLocator::desktopEntries() const {
  const QStringList roots = applicationsDirectories();
  std::lock_guard lock(mutex_);
  // The last scan holds while the roots are the same and no folder it saw has changed: adding,
  // removing or renaming an entry changes the time of its folder.
  bool fresh = roots == scannedRoots_ && !scannedFolders_.empty();
  for (const auto& [dir, time] : scannedFolders_) {
    if (!fresh) {
      break;
    }
    fresh = directoryTime(dir) == time && time < scanStartedMs_ - kRacyMarginMs;
  }
  if (fresh) {
    return entries_;
  }

  const qint64 started = QDateTime::currentMSecsSinceEpoch();
  std::vector<std::pair<QString, qint64>> folders;
  std::vector<DesktopEntry> entries;
  QSet<QString> seen;
  for (const QString& root : roots) {
    folders.emplace_back(root, directoryTime(root));
    if (folders.back().second < 0) {
      continue;
    }
    std::vector<std::pair<QString, QString>> files;  // (id, path)
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      const QFileInfo info = it.fileInfo();
      if (info.isDir()) {
        folders.emplace_back(path, directoryTime(path));
        continue;
      }
      if (!path.endsWith(QStringLiteral(".desktop"))) {
        continue;
      }
      QString id = path.mid(root.size() + 1);
      id.chop(8);  // ".desktop"
      id.replace(QLatin1Char('/'), QLatin1Char('-'));
      files.emplace_back(id, path);
    }
    std::sort(files.begin(), files.end());
    for (const auto& [id, path] : files) {
      if (seen.contains(id)) {
        continue;
      }
      seen.insert(id);
      if (auto entry = readDesktopEntry(path, id)) {
        entries.push_back(std::move(*entry));
      }
    }
  }
  scannedRoots_ = roots;
  scannedFolders_ = std::move(folders);
  scanStartedMs_ = started;
  entries_ = entries;
  return entries;
}

std::optional<DesktopEntry> readDesktopEntry(const QString& filePath, const QString& id) {
  QFile file(filePath);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxDesktopFileBytes) {
    return std::nullopt;
  }
  const QString text = QString::fromUtf8(file.read(kMaxDesktopFileBytes));
  bool inGroup = false;
  bool sawGroup = false;
  DesktopEntry entry;
  entry.id = id;
  entry.filePath = filePath;
  QString type;
  bool isHidden = false;
  for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
      continue;
    }
    if (line.startsWith(QLatin1Char('['))) {
      if (sawGroup) {
        break;  // only the first [Desktop Entry] group counts
      }
      inGroup = line == QLatin1String("[Desktop Entry]");
      sawGroup = inGroup;
      continue;
    }
    if (!inGroup) {
      continue;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) {
      continue;
    }
    const QStringView key = line.left(eq).trimmed();
    const QString value = unescapeValue(line.mid(eq + 1).trimmed().toString());
    if (key == QLatin1String("Name")) {
      entry.name = value;
    } else if (key == QLatin1String("Exec")) {
      entry.exec = value;
    } else if (key == QLatin1String("Icon")) {
      entry.icon = value;
    } else if (key == QLatin1String("Type")) {
      type = value;
    } else if (key == QLatin1String("Hidden")) {
      isHidden = value == QLatin1String("true");
    }
  }
  if (!sawGroup || type != QLatin1String("Application") || isHidden) {
    return std::nullopt;
  }
  return entry;
}

}  // namespace tandrel
