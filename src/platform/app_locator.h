#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

// One installed application, as its freedesktop desktop entry describes it.
struct DesktopEntry {
  QString id;        // desktop-file id without ".desktop" ("code", "dev.warp.Warp")
  QString filePath;  // the .desktop file
  QString name;      // Name=
  QString exec;      // Exec=, as written (field codes included)
  QString icon;      // Icon=: a theme icon name or an absolute path

  bool operator==(const DesktopEntry&) const = default;
};

// Finds installed applications and executables.
//
// The agent tools name their applications the way they ship on other desktops
// ("/Applications/Visual Studio Code.app", "~/Applications/Trae.app"). Here such a path stands for
// the application of that name: it is installed when something exists at the path itself or when
// a desktop entry is found for the name (see desktopEntryForApp). Executables are looked up on
// PATH.
//
// The four probes are virtual so that tests decide what is installed (FakeAppLocator); the rules
// built on them are not.
class AppLocator {
 public:
  virtual ~AppLocator() = default;

  // Something (file or folder) exists at `path`.
  virtual bool fileExists(const QString& path) const = 0;
  // `path` is a regular file the user may execute.
  virtual bool isExecutableFile(const QString& path) const = 0;
  // The value of PATH, or nothing when it is not set.
  virtual std::optional<QString> pathVariable() const = 0;
  // The visible desktop entries of type Application, in XDG precedence order: $XDG_DATA_HOME
  // first, then each folder of $XDG_DATA_DIRS; an id found earlier hides later files of that id,
  // and an entry marked Hidden hides the id altogether.
  virtual std::vector<DesktopEntry> desktopEntries() const = 0;

  // The folders searched for executables: PATH split at ":" without empty pieces, or, when PATH
  // is not set, ~/.local/bin, /usr/local/bin, /usr/bin, /bin, /usr/sbin and /sbin.
  QStringList searchDirectories() const;
  // The first executable file called `name` in the search directories, or nothing.
  std::optional<QString> executableInPath(const QString& name) const;

  // The desktop entry for an application path: its application name is the path's last component
  // without a ".app" ending. The first entry (in precedence order) whose Name equals it ignoring
  // case, or whose id equals it, or its lowercase form with spaces as "-", or whose id's last
  // dot-separated part equals it ignoring case, answers ("Visual Studio Code" finds Name=Visual
  // Studio Code, "Warp" finds dev.warp.Warp).
  std::optional<DesktopEntry> desktopEntryForApp(const QString& appPath) const;
  // Something exists at `appPath`, or a desktop entry is found for it.
  bool appExists(const QString& appPath) const;

  // The locator of this machine.
  static const AppLocator& system();
};

}  // namespace tandrel
