#include "jump/terminal_launchers.h"

#include <QFileInfo>

namespace tandrel {

namespace {

QStringList equalsFlag(const char* flag, const QString& cwd) { return {QLatin1String(flag) + cwd}; }

}  // namespace

const std::vector<TerminalLauncher>& terminalLaunchers() {
  static const std::vector<TerminalLauncher> launchers{
      {QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal"),
       [](const QString& cwd) { return equalsFlag("--working-directory=", cwd); },
       {QStringLiteral("gnome-terminal-server"), QStringLiteral("gnome-terminal")}},
      {QStringLiteral("konsole"), QStringLiteral("konsole"),
       [](const QString& cwd) { return QStringList{QStringLiteral("--workdir"), cwd}; }, {QStringLiteral("konsole")}},
      {QStringLiteral("xfce4-terminal"), QStringLiteral("xfce4-terminal"),
       [](const QString& cwd) { return equalsFlag("--working-directory=", cwd); },
       {QStringLiteral("xfce4-terminal")}},
      {QStringLiteral("kitty"), QStringLiteral("kitty"),
       [](const QString& cwd) { return QStringList{QStringLiteral("--directory"), cwd}; }, {QStringLiteral("kitty")}},
      {QStringLiteral("alacritty"), QStringLiteral("alacritty"),
       [](const QString& cwd) { return QStringList{QStringLiteral("--working-directory"), cwd}; },
       {QStringLiteral("alacritty")}},
      {QStringLiteral("wezterm"), QStringLiteral("wezterm"),
       [](const QString& cwd) { return QStringList{QStringLiteral("start"), QStringLiteral("--cwd"), cwd}; },
       {QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("wezterm")}},
      {QStringLiteral("ghostty"), QStringLiteral("ghostty"),
       [](const QString& cwd) { return equalsFlag("--working-directory=", cwd); },
       {QStringLiteral("com.mitchellh.ghostty"), QStringLiteral("ghostty")}},
      {QStringLiteral("foot"), QStringLiteral("foot"),
       [](const QString& cwd) { return equalsFlag("--working-directory=", cwd); }, {QStringLiteral("foot")}},
  };
  return launchers;
}

const TerminalLauncher* terminalLauncherNamed(const QString& text) {
  const QString lower = text.toLower();
  for (const TerminalLauncher& launcher : terminalLaunchers()) {
    if (lower.contains(launcher.key)) {
      return &launcher;
    }
  }
  return nullptr;
}

QStringList allTerminalWindowClasses() {
  QStringList classes;
  for (const TerminalLauncher& launcher : terminalLaunchers()) {
    classes += launcher.windowClasses;
  }
  classes += {QStringLiteral("xterm"), QStringLiteral("urxvt"), QStringLiteral("tilix"),
              QStringLiteral("terminator"), QStringLiteral("x-terminal-emulator")};
  return classes;
}

LaunchCommand launchCommand(const TerminalLauncher& launcher, const QString& cwd) {
  return LaunchCommand{launcher.program, launcher.arguments(cwd), cwd};
}

std::optional<LaunchCommand> defaultTerminalCommand(const QString& cwd, const std::optional<QString>& terminalVariable,
                                                    const std::function<bool(const QString&)>& commandExists) {
  if (terminalVariable && !terminalVariable->trimmed().isEmpty()) {
    const QString program = terminalVariable->trimmed();
    if (const TerminalLauncher* launcher = terminalLauncherNamed(QFileInfo(program).fileName())) {
      return LaunchCommand{program, launcher->arguments(cwd), cwd};
    }
    return LaunchCommand{program, {}, cwd};
  }
  if (commandExists(QStringLiteral("x-terminal-emulator"))) {
    return LaunchCommand{QStringLiteral("x-terminal-emulator"), {}, cwd};
  }
  for (const TerminalLauncher& launcher : terminalLaunchers()) {
    if (commandExists(launcher.program)) {
      return launchCommand(launcher, cwd);
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
