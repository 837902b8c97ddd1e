#include "platform/app_locator.h"

#include <QDir>

namespace tandrel {

QStringList AppLocator::searchDirectories() const {
  if (const auto value = pathVariable()) {
    return value->split(QLatin1Char(':'), Qt::SkipEmptyParts);
  }
  return {QDir::homePath() + QStringLiteral("/.local/bin"),
          QStringLiteral("/usr/local/bin"),
          QStringLiteral("/usr/bin"),
          QStringLiteral("/bin"),
          QStringLiteral("/usr/sbin"),
          QStringLiteral("/sbin")};
}

std::optional<QString> AppLocator::executableInPath(const QString& name) const {
  for (const QString& dir : searchDirectories()) {
    QString candidate = dir;
    if (!candidate.endsWith(QLatin1Char('/'))) {
      candidate.append(QLatin1Char('/'));
    }
    candidate.append(name);
    if (isExecutableFile(candidate)) {
      return candidate;
    }
  }
  return std::nullopt;
}

std::optional<DesktopEntry> AppLocator::desktopEntryForApp(const QString& appPath) const {
  QString name = appPath;
  while (name.size() > 1 && name.endsWith(QLatin1Char('/'))) {
    name.chop(1);
  }
  name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
  if (name.endsWith(QStringLiteral(".app"), Qt::CaseInsensitive)) {
    name.chop(4);
  }
  if (name.trimmed().isEmpty()) {
    return std::nullopt;
  }
  QString slug = name.toLower();
  slug.replace(QLatin1Char(' '), QLatin1Char('-'));
  for (const DesktopEntry& entry : desktopEntries()) {
    if (entry.name.compare(name, Qt::CaseInsensitive) == 0 ||
        entry.id.compare(name, Qt::CaseInsensitive) == 0 ||
        entry.id.compare(slug, Qt::CaseInsensitive) == 0 ||
        entry.id.section(QLatin1Char('.'), -1).compare(name, Qt::CaseInsensitive) == 0) {
      return entry;
    }
  }
  return std::nullopt;
}

bool AppLocator::appExists(const QString& appPath) const {
  return fileExists(appPath) || desktopEntryForApp(appPath).has_value();
}

}  // namespace tandrel
