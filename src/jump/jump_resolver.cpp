#include "jump/jump_resolver.h"

#include "jump/terminal_launchers.h"
#include "platform/app_locator.h"

#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <mutex>

namespace tandrel {

namespace {

const QString kDefaultSearchPath = QStringLiteral("/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");
const QString kCmuxBundleID = QStringLiteral("com.cmuxterm.app");
const QString kCmuxAppPath = QStringLiteral("/Applications/cmux.app");

bool hasText(const std::optional<QString>& value) { return value && !value->trimmed().isEmpty(); }

ResolvedJumpTarget availableJump(JumpTarget target, const QString& label, JumpQuality quality,
                                 ResolvedJumpAction action) {
  return ResolvedJumpTarget{true, std::move(target), label, std::nullopt, quality, nullptr, action};
}

bool isExecutableFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}

std::optional<QUrl> strictURL(const QString& text) {
  QUrl url(text, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty()) {
    return std::nullopt;
  }
  return url;
}

}  // namespace

ResolvedJumpTarget unavailableJump(const JumpTarget& target, const QString& reason) {
  return ResolvedJumpTarget{false,   target, QStringLiteral("Configure"), reason, JumpQuality::unavailable,
                            nullptr, ResolvedJumpAction::configure};
}

const QStringList& JumpResolver::allowedLocalAppSchemes() {
  static const QStringList schemes{QStringLiteral("conductor"), QStringLiteral("cmux"), QStringLiteral("iterm2")};
  return schemes;
}

const QStringList& JumpResolver::cmuxCommandCandidates() {
  static const QStringList candidates{QStringLiteral("/Applications/cmux.app/Contents/Resources/bin/cmux"),
                                      QStringLiteral("/opt/homebrew/bin/cmux"), QStringLiteral("/usr/local/bin/cmux")};
  return candidates;
}

ResolvedJumpTarget JumpResolver::resolve(const JumpTarget& target) const {
  if (const auto* app = target.as<JumpTarget::App>()) {
    const std::optional<QString> keptPath = app->appPath && appExists(*app->appPath) ? app->appPath : std::nullopt;
    const bool installed = keptPath || (app->bundleID && appBundleExists(*app->bundleID));
    JumpTarget resolved = JumpTarget::app(app->bundleID, keptPath, app->deepLink);
    if (app->deepLink) {
      if (!isAllowedURL(*app->deepLink)) {
        return unavailableJump(target, QStringLiteral("App link is not allowed."));
      }
      if (installed) {
        return availableJump(std::move(resolved), QStringLiteral("Open app link"), JumpQuality::sessionLevel,
                             ResolvedJumpAction::openApp);
      }
      return unavailableJump(target, QStringLiteral("App is not installed."));
    }
    if (installed) {
      return availableJump(std::move(resolved), QStringLiteral("Open app"), JumpQuality::appLevel,
                           ResolvedJumpAction::openApp);
    }
    return unavailableJump(target, QStringLiteral("App is not installed."));
  }

  if (const auto* cli = target.as<JumpTarget::Cli>()) {
    if (!commandExists(cli->command)) {
      return unavailableJump(target, QStringLiteral("CLI command is not available."));
    }
    return availableJump(target, QStringLiteral("Open CLI"), cli->cwd ? JumpQuality::sessionLevel : JumpQuality::appLevel,
                         ResolvedJumpAction::openCLI);
  }

  if (const auto* cmux = target.as<JumpTarget::Cmux>()) {
    const bool hasWindow = hasText(cmux->windowID);
    const bool hasSession = hasText(cmux->sessionID);
    const bool hasCwd = hasText(cmux->cwd);
    bool cliFound = false;
    for (const QString& candidate : cmuxCommandCandidates() + QStringList{QStringLiteral("cmux")}) {
      if (commandExists(candidate)) {
        cliFound = true;
        break;
      }
    }
    if (cliFound) {
      // A session that is gone stays gone: no window of it, no other workspace, no app instead.
      if (hasSession && !cmuxSessionExists(*cmux->sessionID)) {
        return unavailableJump(target, QStringLiteral("cmux session is no longer available."));
      }
      if (hasWindow) {
        return availableJump(target, QStringLiteral("Open cmux"), JumpQuality::exactWindow, ResolvedJumpAction::openCmux);
      }
      if (hasSession) {
        return availableJump(target, QStringLiteral("Open cmux"), JumpQuality::sessionLevel,
                             ResolvedJumpAction::openCmux);
      }
      if (cmux->cwd && directoryExists(*cmux->cwd)) {
        return availableJump(target, QStringLiteral("Open cmux"), JumpQuality::workspaceLevel,
                             ResolvedJumpAction::openCmux);
      }
    }
    if (hasWindow || hasSession || hasCwd) {
      // Without the CLI nothing of cmux can be reached: the agent's folder opens instead, as for
      // any other target that cannot be reached.
      ResolvedJumpTarget result = unavailableJump(target, QStringLiteral("cmux CLI is not available."));
      if (auto fallback = fallbackTerminalCwd(cmux->cwd)) {
        result.fallback = boxed(std::move(*fallback));
      }
      return result;
    }
    if (appBundleExists(kCmuxBundleID) || appExists(kCmuxAppPath)) {
      return availableJump(JumpTarget::app(kCmuxBundleID, kCmuxAppPath, std::nullopt), QStringLiteral("Open cmux"),
                           JumpQuality::appLevel, ResolvedJumpAction::openApp);
    }
    return unavailableJump(target, QStringLiteral("cmux session is no longer available."));
  }

  if (const auto* window = target.as<JumpTarget::TerminalWindow>()) {
    const bool hasID = hasText(window->windowID) || hasText(window->tabID) || hasText(window->sessionID) ||
                       hasText(window->processID);
    // A tmux pane is reached through tmux, and the window of the agent's process through the
    // window manager, whatever terminal shows them.
    const bool available = terminalAppAvailable(window->terminal) ||
                           (window->terminal.toLower().contains(QLatin1String("tmux")) && commandExists(QStringLiteral("tmux"))) ||
                           hasText(window->processID);
    if (hasID) {
      if (available) {
        return availableJump(target, QStringLiteral("Focus window"), JumpQuality::exactWindow,
                             ResolvedJumpAction::focusTerminalWindow);
      }
      return unavailableJump(target, QStringLiteral("Terminal app is not available."));
    }
    if (available && window->terminal.toLower().contains(QLatin1String("iterm"))) {
      return availableJump(target, QStringLiteral("Open terminal"), JumpQuality::appLevel,
                           ResolvedJumpAction::focusTerminalWindow);
    }
    if (window->cwd && directoryExists(*window->cwd)) {
      return availableJump(
          JumpTarget::terminalCwd(*window->cwd, available ? std::optional<QString>(window->terminal) : std::nullopt),
          QStringLiteral("Open terminal"), JumpQuality::workspaceLevel, ResolvedJumpAction::openTerminal);
    }
    if (available) {
      return availableJump(target, QStringLiteral("Open terminal"), JumpQuality::appLevel,
                           ResolvedJumpAction::focusTerminalWindow);
    }
    return unavailableJump(target, QStringLiteral("Terminal app is not available."));
  }

  if (const auto* folder = target.as<JumpTarget::TerminalCwd>()) {
    if (!directoryExists(folder->cwd)) {
      return unavailableJump(target, QStringLiteral("Workspace folder does not exist."));
    }
    if (folder->terminal && !terminalAppAvailable(*folder->terminal)) {
      return unavailableJump(target, QStringLiteral("Target app is not available."));
    }
    return availableJump(target, QStringLiteral("Open folder"), JumpQuality::workspaceLevel,
                         ResolvedJumpAction::openTerminal);
  }

  if (const auto* url = target.as<JumpTarget::Url>()) {
    if (!isAllowedURL(url->url)) {
      return unavailableJump(target, QStringLiteral("URL scheme is not allowed."));
    }
    return availableJump(target, QStringLiteral("Open link"), urlJumpQuality(url->url), ResolvedJumpAction::openURL);
  }

  const auto& file = *target.as<JumpTarget::File>();
  if (!fileExists(file.path)) {
    return unavailableJump(target, QStringLiteral("File does not exist."));
  }
  return availableJump(target, QStringLiteral("Open file"), JumpQuality::workspaceLevel, ResolvedJumpAction::openFile);
}

std::optional<ResolvedJumpTarget> JumpResolver::fallbackTerminalCwd(const std::optional<QString>& cwd) const {
  if (!cwd || !directoryExists(*cwd)) {
    return std::nullopt;
  }
  return availableJump(JumpTarget::terminalCwd(*cwd, std::nullopt), QStringLiteral("Open folder"),
                       JumpQuality::workspaceLevel, ResolvedJumpAction::openTerminal);
}

bool JumpResolver::isAllowedURL(const QString& text) const {
  const auto url = strictURL(text);
  if (!url) {
    return false;
  }
  const QString scheme = url->scheme().toLower();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
    return !url->host().isEmpty();
  }
  if (scheme == QLatin1String("file")) {
    const QString host = url->host();
    const QString path = url->path(QUrl::FullyDecoded);
    return (host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) &&
           path.startsWith(QLatin1Char('/')) && fileExists(path);
  }
  return allowedLocalAppSchemes().contains(scheme) && (!url->host().isEmpty() || !url->path().isEmpty());
}

JumpQuality JumpResolver::urlJumpQuality(const QString& text) {
  const auto url = strictURL(text);
  const QString scheme = url ? url->scheme().toLower() : QString();
  if (allowedLocalAppSchemes().contains(scheme)) {
    return JumpQuality::sessionLevel;
  }
  return scheme == QLatin1String("file") ? JumpQuality::workspaceLevel : JumpQuality::appLevel;
}

bool JumpResolver::terminalAppAvailable(const QString& name) const {
  const QString lower = name.toLower();
  const auto bundleOrPath = [this](const QString& bundle, const QString& path) {
    return appBundleExists(bundle) || appExists(path);
  };
  if (lower.contains(QLatin1String("iterm"))) {
    return bundleOrPath(QStringLiteral("com.googlecode.iterm2"), QStringLiteral("/Applications/iTerm.app"));
  }
  // A terminal this platform can start counts as well: the one named, or for the plain name
  // ("Terminal") the user's default terminal.
  const TerminalLauncher* launcher = terminalLauncherNamed(lower);
  const bool launchable = launcher ? commandExists(launcher->program) : false;
  if (lower.contains(QLatin1String("terminal"))) {
    if (bundleOrPath(QStringLiteral("com.apple.Terminal"), QStringLiteral("/System/Applications/Utilities/Terminal.app"))) {
      return true;
    }
    if (launcher) {
      return launchable;
    }
    return defaultTerminalCommand(QString(), qEnvironmentVariable("TERMINAL"), commandExists).has_value();
  }
  if (lower.contains(QLatin1String("cursor"))) {
    return bundleOrPath(QStringLiteral("com.todesktop.230313mzl4w4u92"), QStringLiteral("/Applications/Cursor.app"));
  }
  if (lower.contains(QLatin1String("visual studio code")) || lower.contains(QLatin1String("vscode"))) {
    return bundleOrPath(QStringLiteral("com.microsoft.VSCode"), QStringLiteral("/Applications/Visual Studio Code.app"));
  }
  if (lower.contains(QLatin1String("trae"))) {
    return appBundleExists(QStringLiteral("cn.trae.app")) || appBundleExists(QStringLiteral("cn.trae.solo.app")) ||
           appExists(QStringLiteral("/Applications/Trae.app")) || appExists(QStringLiteral("/Applications/Trae CN.app")) ||
           appExists(QStringLiteral("/Applications/Trae SOLO.app")) ||
           appExists(QStringLiteral("/Applications/TRAE SOLO CN.app"));
  }
  if (lower.contains(QLatin1String("kimi"))) {
    return appExists(QStringLiteral("/Applications/Kimi.app"));
  }
  return appBundleExists(name) || appExists(name) || launchable;
}

bool JumpResolver::defaultFileExists(const QString& path) { return !path.isEmpty() && QFileInfo::exists(path); }

bool JumpResolver::defaultDirectoryExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

bool JumpResolver::defaultCommandExists(const QString& command) {
  static std::mutex commandExistsCacheLock;
  static QHash<QString, bool> commandExistsCache;

  const QString searchPath = qEnvironmentVariableIsSet("PATH") ? qEnvironmentVariable("PATH") : kDefaultSearchPath;
  const QString key = command + QLatin1Char('\n') + searchPath;
  {
    std::lock_guard lock(commandExistsCacheLock);
    if (const auto it = commandExistsCache.constFind(key); it != commandExistsCache.cend()) {
      return *it;
    }
  }
  bool found = false;
  if (command.contains(QLatin1Char('/'))) {
    found = isExecutableFile(command);
  } else if (!command.isEmpty()) {
    for (const QString& folder : searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
      if (isExecutableFile(folder + QLatin1Char('/') + command)) {
        found = true;
        break;
      }
    }
  }
  std::lock_guard lock(commandExistsCacheLock);
  commandExistsCache.insert(key, found);
  return found;
}

bool JumpResolver::defaultAppExists(const QString& appPath) { return AppLocator::system().appExists(appPath); }

bool JumpResolver::defaultAppBundleExists(const QString& bundleID) {
  const QString id = bundleID.trimmed();
  if (id.isEmpty()) {
    return false;
  }
  for (const DesktopEntry& entry : AppLocator::system().desktopEntries()) {
    if (entry.id.compare(id, Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

bool JumpResolver::defaultCmuxSessionExists(const QString& sessionID) {
  return !sessionID.trimmed().isEmpty() && defaultCmuxCommandExists();
}

bool JumpResolver::defaultCmuxCommandExists() {
  for (const QString& candidate : cmuxCommandCandidates()) {
    if (defaultCommandExists(candidate)) {
      return true;
    }
  }
  return defaultCommandExists(QStringLiteral("cmux"));
}

QString terminalApplicationName(const std::optional<QString>& terminal) {
  const QString trimmed = terminal ? terminal->trimmed() : QString();
  if (trimmed.isEmpty()) {
    return QStringLiteral("Terminal");
  }
  const QString lower = trimmed.toLower();
  const auto has = [&lower](const char* part) { return lower.contains(QLatin1String(part)); };
  const AppLocator& apps = AppLocator::system();
  if (has("iterm") || has("googlecode.iterm2")) return QStringLiteral("iTerm");
  if (has("wezterm")) return QStringLiteral("WezTerm");
  if (has("warp")) return QStringLiteral("Warp");
  if (has("ghostty")) return QStringLiteral("Ghostty");
  if (has("alacritty")) return QStringLiteral("Alacritty");
  if (has("kitty")) return QStringLiteral("kitty");
  if (has("tabby")) return QStringLiteral("Tabby");
  if (has("hyper")) return QStringLiteral("Hyper");
  if (has("cursor") || has("com.todesktop.230313mzl4w4u92")) return QStringLiteral("Cursor");
  if (has("cn.trae.solo") || has("trae solo") || has("trae-solo")) {
    if (apps.appExists(QStringLiteral("/Applications/TRAE SOLO CN.app"))) return QStringLiteral("TRAE SOLO CN");
    if (apps.appExists(QStringLiteral("/Applications/Trae SOLO.app"))) return QStringLiteral("Trae SOLO");
    return QStringLiteral("TRAE SOLO CN");
  }
  if (has("cn.trae.app") || has("trae")) {
    if (apps.appExists(QStringLiteral("/Applications/Trae.app"))) return QStringLiteral("Trae");
    if (apps.appExists(QStringLiteral("/Applications/Trae CN.app"))) return QStringLiteral("Trae CN");
    return QStringLiteral("Trae");
  }
  if (has("vscode") || has("visual studio code")) return QStringLiteral("Visual Studio Code");
  if (has("apple_terminal") || has("com.apple.terminal") || lower == QLatin1String("terminal") ||
      lower.endsWith(QLatin1String("terminal.app"))) {
    return QStringLiteral("Terminal");
  }
  QString name = trimmed.section(QLatin1Char('/'), -1);
  if (name.endsWith(QLatin1String(".app"), Qt::CaseInsensitive)) {
    name.chop(4);
  }
  return name;
}

bool isURLJumpTarget(const QString& text) { return strictURL(text).has_value(); }

}  // namespace tandrel
