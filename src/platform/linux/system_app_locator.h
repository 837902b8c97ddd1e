#pragma once

#include "platform/app_locator.h"

#include <mutex>

namespace tandrel {

// Reads the file system and the environment of this process. Desktop entries are read again only
// when one of the applications folders (or a folder below them) changes its modification time or
// presence, or was changed just before the last reading.
class SystemAppLocator final : public AppLocator {
 public:
  bool fileExists(const QString& path) const override;
  bool isExecutableFile(const QString& path) const override;
  std::optional<QString> pathVariable() const override;
  std::vector<DesktopEntry> desktopEntries() const override;

  // The applications folders, in precedence order ($XDG_DATA_HOME or ~/.local/share, then
  // $XDG_DATA_DIRS or /usr/local/share:/usr/share, each with "/applications").
  static QStringList applicationsDirectories();

 private:
  mutable std::mutex mutex_;
  mutable QStringList scannedRoots_;
  mutable std::vector<std::pair<QString, qint64>> scannedFolders_;  // folder, modification time
  mutable qint64 scanStartedMs_ = 0;
  mutable std::vector<DesktopEntry> entries_;
};

// Reads one desktop entry file; nothing when it cannot be read, has no [Desktop Entry] group, is
// not of type Application, or is marked Hidden.
std::optional<DesktopEntry> readDesktopEntry(const QString& filePath, const QString& id);

}  // namespace tandrel
