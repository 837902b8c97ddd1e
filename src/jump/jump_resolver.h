#pragma once

#include "jump/jump_target.h"

#include <QString>

#include <functional>
#include <optional>

// Checks Jump targets against the machine and turns them into resolved targets: available or not
// (with the reason), the button label, the quality, a fallback and the opener's action.
//
// Every look at the machine goes through the six predicates, so that a resolver built with other
// predicates touches no file system, application list or process. The defaults ask this machine:
// applications named by macOS-style paths ("/Applications/Cursor.app") or bundle identifiers are
// found through their desktop entries (see AppLocator), commands on PATH.

namespace tandrel {

using ExistencePredicate = std::function<bool(const QString&)>;

struct JumpResolver {
  // URL schemes of local apps that a Jump may open (lower case).
  static const QStringList& allowedLocalAppSchemes();
  // Where the cmux CLI may be, before "cmux" on the search path.
  static const QStringList& cmuxCommandCandidates();

  ExistencePredicate fileExists = defaultFileExists;
  ExistencePredicate directoryExists = defaultDirectoryExists;
  ExistencePredicate commandExists = defaultCommandExists;
  ExistencePredicate appExists = defaultAppExists;
  ExistencePredicate appBundleExists = defaultAppBundleExists;
  ExistencePredicate cmuxSessionExists = defaultCmuxSessionExists;

  // Never fails: whatever cannot be opened comes back unavailable, with label "Configure", quality
  // unavailable, action configure, the target unchanged and a reason.
  ResolvedJumpTarget resolve(const JumpTarget& target) const;

  // http(s) with a host; file URLs of existing absolute paths on this host; the local app schemes
  // with a host or path. Anything that does not parse is not allowed.
  bool isAllowedURL(const QString& text) const;
  // cmux, conductor and iterm2 links are session level, file links workspace level, the rest app level.
  static JumpQuality urlJumpQuality(const QString& text);
  // Whether the terminal or editor application is installed.
  bool terminalAppAvailable(const QString& name) const;
  // "Open folder" in the default terminal when `cwd` is an existing folder.
  std::optional<ResolvedJumpTarget> fallbackTerminalCwd(const std::optional<QString>& cwd) const;

  // An existing file or folder.
  static bool defaultFileExists(const QString& path);
  static bool defaultDirectoryExists(const QString& path);
  // A path (with "/") that is an executable file, or a name found as one on the search path. Answers
  // are kept for the life of the process, per command and search path.
  static bool defaultCommandExists(const QString& command);
  static bool defaultAppExists(const QString& appPath);
  // A desktop entry with this id (ignoring case).
  static bool defaultAppBundleExists(const QString& bundleID);
  // False for a blank identifier; otherwise whether the cmux CLI is there.
  static bool defaultCmuxSessionExists(const QString& sessionID);
  static bool defaultCmuxCommandExists();
};

// The application name used to open or address a terminal: "Terminal" for none, the known names
// of terminals and editors, else the last path component without ".app".
QString terminalApplicationName(const std::optional<QString>& terminal);

// The text parses as a URL with a scheme.
bool isURLJumpTarget(const QString& text);

// The unavailable result for `target`.
ResolvedJumpTarget unavailableJump(const JumpTarget& target, const QString& reason);

}  // namespace tandrel
