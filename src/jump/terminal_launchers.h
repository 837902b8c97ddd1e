#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// The terminal emulators this platform knows how to start in a folder, and how to recognise their
// windows.

namespace tandrel {

struct TerminalLauncher {
  QString key;      // lower-case text that names the terminal ("gnome-terminal", "kitty")
  QString program;  // the executable
  // The arguments that open a new window in `cwd`.
  QStringList (*arguments)(const QString& cwd);
  QStringList windowClasses;  // WM_CLASS names of its windows
};

// A program with its arguments and working folder.
struct LaunchCommand {
  QString program;
  QStringList arguments;
  QString workingDirectory;

  bool operator==(const LaunchCommand&) const = default;
};

// gnome-terminal, konsole, xfce4-terminal, kitty, alacritty, wezterm, ghostty and foot, in this order.
const std::vector<TerminalLauncher>& terminalLaunchers();

// The launcher whose key the lower-cased text contains, or nullptr.
const TerminalLauncher* terminalLauncherNamed(const QString& text);

// The window classes of every known terminal, for bringing any terminal to the front.
QStringList allTerminalWindowClasses();

// The command that opens `cwd` in the user's terminal: $TERMINAL when set (with the folder flag of
// a known launcher, else started in the folder), else "x-terminal-emulator" when `commandExists`
// finds it, else the first known launcher that it finds; nothing when there is none.
std::optional<LaunchCommand> defaultTerminalCommand(const QString& cwd, const std::optional<QString>& terminalVariable,
                                                    const std::function<bool(const QString&)>& commandExists);

// The command that opens `cwd` in this launcher.
LaunchCommand launchCommand(const TerminalLauncher& launcher, const QString& cwd);

}  // namespace tandrel
