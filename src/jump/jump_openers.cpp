#include "jump/jump_openers.h"

#include "jump/jump_diagnostics.h"
#include "jump/jump_resolver.h"
#include "platform/app_locator.h"
#include "platform/process_runner.h"
#include "platform/window_activator.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

namespace tandrel {

namespace {

// Each thread keeps its own: a jump runs on one thread from start to end, and two jumps on two
// threads (a banner's and a card's) must not report each other's failure.
std::optional<QString>& storedError() {
  thread_local std::optional<QString> error;
  return error;
}

bool hasText(const std::optional<QString>& value) { return value && !value->trimmed().isEmpty(); }

QJsonValue optionalValue(const std::optional<QString>& value) {
  return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

void diagnose(const QString& stage, const QString& outcome, QJsonObject details = {}) {
  details.insert(QStringLiteral("stage"), stage);
  details.insert(QStringLiteral("outcome"), outcome);
  recordJumpDiagnostic(std::move(details));
}

// Fails the open with `reason` (also recorded under the stage).
bool fail(const QString& stage, const QString& outcome, const QString& reason, QJsonObject details = {}) {
  JumpOpeners::setLastJumpOpenError(reason);
  details.insert(QStringLiteral("error"), truncatedDiagnostic(reason, 200));
  diagnose(stage, outcome, std::move(details));
  return false;
}

QString decoded(const QByteArray& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder(bytes);
  return decoder.hasError() ? QString() : text;
}

// What a failed child said, in one line: "launch error: …" or "exit=N: stderr".
QString describeFailure(const CapturedProcessResult& result) {
  if (result.launchError) {
    return QStringLiteral("launch error: ") + *result.launchError;
  }
  QString text = QStringLiteral("exit=") + QString::number(result.exitCode);
  if (!result.standardError.trimmed().isEmpty()) {
    text += QStringLiteral(": ") + truncatedDiagnostic(result.standardError, 200);
  }
  return text;
}

QJsonObject processDetails(const QString& command, const QStringList& arguments, const CapturedProcessResult& result) {
  return QJsonObject{
      {QStringLiteral("command"), command},
      {QStringLiteral("arguments"), QJsonArray::fromStringList(arguments)},
      {QStringLiteral("exit_code"), result.exitCode},
      {QStringLiteral("stdout"), truncatedDiagnostic(result.standardOutput, 400)},
      {QStringLiteral("stderr"), truncatedDiagnostic(result.standardError, 400)},
      {QStringLiteral("launch_error"),
       result.launchError ? QJsonValue(truncatedDiagnostic(*result.launchError, 200)) : QJsonValue(QJsonValue::Null)},
  };
}

std::optional<DesktopEntry> desktopEntryWithID(const QString& id) {
  for (const DesktopEntry& entry : AppLocator::system().desktopEntries()) {
    if (entry.id.compare(id, Qt::CaseInsensitive) == 0) {
      return entry;
    }
  }
  return std::nullopt;
}

bool launchDesktopEntry(const std::optional<DesktopEntry>& entry, QString* error) {
  const auto command = entry ? JumpOpeners::desktopEntryCommand(*entry, std::nullopt) : std::nullopt;
  if (!command) {
    *error = QStringLiteral("no desktop entry");
    return false;
  }
  return JumpOpeners::runDetachedCommand(command->program, command->arguments, std::nullopt, false, error);
}

// A number that names an X11 window ("12345" or "0x3a00007").
std::optional<quint64> x11WindowID(const std::optional<QString>& text) {
  if (!hasText(text)) {
    return std::nullopt;
  }
  bool ok = false;
  const QString trimmed = text->trimmed();
  const quint64 id = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? trimmed.mid(2).toULongLong(&ok, 16)
                                                                                   : trimmed.toULongLong(&ok, 10);
  return ok && id != 0 ? std::optional<quint64>(id) : std::nullopt;
}

// What a path opens as: a folder, or a text or picture file, as it is; any other file (a
// program, a desktop entry, a script or an archive whose handler runs it) as the folder that
// holds it, so that opening never runs anything.
QString desktopOpenablePath(const QFileInfo& info) {
  if (info.isDir()) {
    return info.absoluteFilePath();
  }
  const QString suffix = info.suffix().toLower();
  const bool runnable = info.isExecutable() || suffix == QLatin1String("desktop") || suffix == QLatin1String("appimage");
  if (!runnable) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    const QString name = type.name();
    // Scripts are text too ("application/x-shellscript", "application/x-perl"), and their
    // handler may be the interpreter.
    // JSON and JSON lines (an agent's transcript) are data a text editor opens, whatever the
    // desktop's type database makes of them.
    static const QStringList dataSuffixes{QStringLiteral("json"), QStringLiteral("jsonl"), QStringLiteral("log"),
                                          QStringLiteral("md"), QStringLiteral("txt")};
    const bool text = name.startsWith(QLatin1String("text/")) || dataSuffixes.contains(suffix) ||
                      type.inherits(QStringLiteral("application/json")) ||
                      (type.inherits(QStringLiteral("text/plain")) && !name.startsWith(QLatin1String("application/x-")));
    if (text || name.startsWith(QLatin1String("image/"))) {
      return info.absoluteFilePath();
    }
  }
  return info.absolutePath();
}

const std::optional<QString>& firstText(const std::optional<QString>& a, const std::optional<QString>& b,
                                        const std::optional<QString>& c) {
  return hasText(a) ? a : hasText(b) ? b : c;
}

}  // namespace

std::optional<LaunchCommand> JumpOpeners::desktopEntryCommand(const DesktopEntry& entry, const std::optional<QString>& target) {
  QStringList words = QProcess::splitCommand(entry.exec);
  QStringList arguments;
  bool placed = false;
  for (const QString& word : words) {
    if (word == QLatin1String("%f") || word == QLatin1String("%F") || word == QLatin1String("%u") ||
        word == QLatin1String("%U")) {
      if (target && !placed) {
        arguments << *target;
        placed = true;
      }
      continue;
    }
    if (word.size() == 2 && word.startsWith(QLatin1Char('%'))) {
      continue;  // %i, %c, %k and the deprecated codes
    }
    QString argument = word;
    argument.replace(QLatin1String("%%"), QLatin1String("%"));
    arguments << argument;
  }
  if (arguments.isEmpty()) {
    return std::nullopt;
  }
  if (target && !placed) {
    arguments << *target;
  }
  LaunchCommand command{arguments.takeFirst(), arguments, target.value_or(QString())};
  return command;
}

std::optional<QString> JumpOpeners::lastJumpOpenError() { return storedError(); }

void JumpOpeners::setLastJumpOpenError(std::optional<QString> error) { storedError() = std::move(error); }

const WindowActivator& JumpOpeners::windowActivator() {
  return windowActivatorOverrideForTests ? *windowActivatorOverrideForTests : WindowActivator::system();
}

bool JumpOpeners::defaultJumpOpener(const ResolvedJumpTarget& resolved) {
  if (!resolved.available) {
    return fail(QStringLiteral("default_opener"), QStringLiteral("unavailable"),
                QStringLiteral("resolver marked target unavailable: ") + resolved.reason.value_or(QStringLiteral("no reason")));
  }
  const JumpTarget& target = resolved.target;
  QString error;

  if (const auto* app = target.as<JumpTarget::App>()) {
    if (app->deepLink && isURLJumpTarget(*app->deepLink)) {
      const QJsonObject details{{QStringLiteral("deep_link"), *app->deepLink}};
      if (openWithDesktop(*app->deepLink, &error)) {
        diagnose(QStringLiteral("open_app_deeplink"), QStringLiteral("ok"), details);
        return true;
      }
      return fail(QStringLiteral("open_app_deeplink"), QStringLiteral("nsworkspace_failed"),
                  QStringLiteral("xdg-open refused deep link: ") + *app->deepLink, details);
    }
    if (app->appPath) {
      const QJsonObject details{{QStringLiteral("app_path"), *app->appPath}};
      if (launchDesktopEntry(AppLocator::system().desktopEntryForApp(*app->appPath), &error)) {
        diagnose(QStringLiteral("open_app"), QStringLiteral("ok"), details);
        return true;
      }
      return fail(QStringLiteral("open_app"), QStringLiteral("nsworkspace_failed"),
                  QStringLiteral("could not open app at ") + *app->appPath, details);
    }
    if (app->bundleID) {
      const auto entry = desktopEntryWithID(*app->bundleID);
      const QJsonObject details{{QStringLiteral("bundle_id"), *app->bundleID},
                                {QStringLiteral("app_url"), entry ? QJsonValue(entry->filePath) : QJsonValue()}};
      if (launchDesktopEntry(entry, &error)) {
        diagnose(QStringLiteral("open_app"), QStringLiteral("ok"), details);
        return true;
      }
      return fail(QStringLiteral("open_app"), QStringLiteral("nsworkspace_failed"),
                  QStringLiteral("could not open bundle ") + *app->bundleID, details);
    }
    return fail(QStringLiteral("open_app"), QStringLiteral("no_handler"),
                QStringLiteral("app target has no deep link / appPath / bundleID"));
  }

  if (const auto* url = target.as<JumpTarget::Url>()) {
    const QJsonObject details{{QStringLiteral("url"), url->url}};
    if (!isURLJumpTarget(url->url)) {
      return fail(QStringLiteral("open_url"), QStringLiteral("parse_failed"),
                  QStringLiteral("URL target failed to parse: ") + url->url, details);
    }
    if (openWithDesktop(url->url, &error)) {
      diagnose(QStringLiteral("open_url"), QStringLiteral("ok"), details);
      return true;
    }
    return fail(QStringLiteral("open_url"), QStringLiteral("nsworkspace_failed"),
                QStringLiteral("xdg-open refused URL: ") + url->url, details);
  }

  if (const auto* file = target.as<JumpTarget::File>()) {
    return openExistingSource(file->path);
  }
  if (const auto* folder = target.as<JumpTarget::TerminalCwd>()) {
    return openTerminalCwd(folder->cwd, folder->terminal);
  }
  if (const auto* window = target.as<JumpTarget::TerminalWindow>()) {
    return focusTerminalWindow(window->terminal, window->windowID, window->tabID, window->sessionID, window->cwd,
                               window->socket, window->processID);
  }
  if (const auto* cmux = target.as<JumpTarget::Cmux>()) {
    return openCmux(cmux->sessionID, cmux->windowID, cmux->cwd);
  }

  // A command-line tool: the command is not run; the terminal it most likely runs in comes forward.
  const auto& cli = *target.as<JumpTarget::Cli>();
  const QJsonObject details{{QStringLiteral("command"), cli.command}, {QStringLiteral("cwd"), optionalValue(cli.cwd)}};
  if (const Result<void> raised = windowActivator().activateWindowOfClass(allTerminalWindowClasses()); raised) {
    diagnose(QStringLiteral("open_cli"), QStringLiteral("ok"), details);
    return true;
  } else {
    return fail(QStringLiteral("open_cli"), QStringLiteral("open_failed"),
                QStringLiteral("no terminal could be brought to the front: ") + raised.error(), details);
  }
}

bool JumpOpeners::openExistingSource(const QString& path) {
  QString error;
  const QJsonObject details{{QStringLiteral("path"), path}};
  if (QFileInfo::exists(path) && openWithDesktop(path, &error)) {
    diagnose(QStringLiteral("open_file"), QStringLiteral("ok"), details);
    return true;
  }
  return fail(QStringLiteral("open_file"), QStringLiteral("nsworkspace_or_missing"),
              QStringLiteral("file path could not be opened: ") + path, details);
}

bool JumpOpeners::openWithDesktop(const QString& urlOrPath, QString* error) {
  QString target = urlOrPath;
  const QUrl url(urlOrPath);
  const bool isPath = url.scheme().isEmpty() || url.isLocalFile();
  if (isPath) {
    const QFileInfo info(url.isLocalFile() ? url.toLocalFile() : urlOrPath);
    if (!info.exists()) {
      *error = QStringLiteral("no such file or folder");
      return false;
    }
    target = desktopOpenablePath(info);
  }
  if (runDetachedCommandCapturingOverrideForTests) {
    return runDetachedCommand(QStringLiteral("xdg-open"), {target}, std::nullopt, true, error);
  }
  // Outside GNOME and KDE, xdg-open runs the program it opens in its own foreground: it must be
  // left to run (a browser or file manager opened by a Jump stays open), while a missing handler
  // still fails, at once.
  const Result<void> opened =
      startChildProcessWatchingEarlyExit(QStringLiteral("xdg-open"), {target}, QString(), kDesktopOpenerWindow);
  if (!opened) {
    *error = opened.error();
  }
  return opened.ok();
}

std::optional<LaunchCommand> JumpOpeners::terminalOpenArguments(const QString& cwd, const std::optional<QString>& terminal) {
  // The name comes from an event, which anything may write: only a terminal of our own table is
  // started by name. Any other name (an editor, an interpreter, an arbitrary desktop entry, which
  // would run the folder) counts as no terminal.
  if (hasText(terminal)) {
    for (const QString& candidate : {terminal->trimmed(), terminalApplicationName(terminal)}) {
      if (const TerminalLauncher* launcher = terminalLauncherNamed(candidate)) {
        return launchCommand(*launcher, cwd);
      }
    }
  }
  return defaultTerminalCommand(cwd, qEnvironmentVariable("TERMINAL"), JumpResolver::defaultCommandExists);
}

bool JumpOpeners::terminalAllowsFinderFallback(const std::optional<QString>& terminal) {
  if (!hasText(terminal)) {
    return true;
  }
  const QString lower = terminal->toLower();
  for (const char* editor : {"com.todesktop.230313mzl4w4u92", "cn.trae.app", "cn.trae.solo.app", "com.microsoft.vscode"}) {
    if (lower.contains(QLatin1String(editor))) {
      return false;
    }
  }
  static const QStringList editors{QStringLiteral("cursor"), QStringLiteral("visual studio code"),
                                   QStringLiteral("trae"), QStringLiteral("trae cn"), QStringLiteral("trae solo")};
  return !editors.contains(terminalApplicationName(terminal).toLower());
}

bool JumpOpeners::openTerminalCwd(const QString& cwd, const std::optional<QString>& terminal) {
  const QString stage = QStringLiteral("open_terminal_cwd");
  QJsonObject details{{QStringLiteral("cwd"), cwd}, {QStringLiteral("terminal"), optionalValue(terminal)}};
  if (!QFileInfo(cwd).isDir()) {
    return fail(stage, QStringLiteral("cwd_missing"), QStringLiteral("terminal cwd does not exist: ") + cwd, details);
  }
  QString reason;
  if (const auto command = terminalOpenArguments(cwd, terminal)) {
    details.insert(QStringLiteral("command"), command->program);
    details.insert(QStringLiteral("arguments"), QJsonArray::fromStringList(command->arguments));
    QString error;
    if (runDetachedCommand(command->program, command->arguments, command->workingDirectory, false, &error)) {
      diagnose(stage, QStringLiteral("ok"), details);
      return true;
    }
    reason = QStringLiteral("open terminal launch error: ") + error;
  } else {
    reason = QStringLiteral("no terminal found to open ") + terminalApplicationName(terminal);
  }
  QString error;
  if (terminalAllowsFinderFallback(terminal) && openWithDesktop(cwd, &error)) {
    diagnose(stage, QStringLiteral("ok_finder_fallback"), details);
    return true;
  }
  return fail(stage, QStringLiteral("open_failed"), reason, details);
}

bool JumpOpeners::focusTerminalWindow(const QString& terminal, const std::optional<QString>& windowID,
                                      const std::optional<QString>& tabID, const std::optional<QString>& sessionID,
                                      const std::optional<QString>& cwd, const std::optional<QString>& socket,
                                      const std::optional<QString>& processID) {
  const QString name = terminalApplicationName(terminal);
  const QString lower = name.toLower();
  QJsonObject details{{QStringLiteral("app"), name},
                      {QStringLiteral("window_id"), optionalValue(windowID)},
                      {QStringLiteral("tab_id"), optionalValue(tabID)},
                      {QStringLiteral("session_id"), optionalValue(sessionID)},
                      {QStringLiteral("cwd"), optionalValue(cwd)},
                      {QStringLiteral("socket"), optionalValue(socket)},
                      {QStringLiteral("pid"), optionalValue(processID)}};

  // Runs one focus command; every command must succeed.
  const auto runFocus = [&details](const QString& stage, const QString& program, const std::vector<QStringList>& calls) {
    for (const QStringList& arguments : calls) {
      const CapturedProcessResult result = runDetachedCommandCapturing(program, arguments, std::nullopt);
      QJsonObject record = details;
      for (auto it = processDetails(program, arguments, result); const QString& key : it.keys()) {
        record.insert(key, it.value(key));
      }
      if (!result.success) {
        return fail(stage, QStringLiteral("script_failed"), program + QLatin1Char(' ') + describeFailure(result), record);
      }
      diagnose(stage, QStringLiteral("ok"), record);
    }
    return true;
  };
  // The window of the terminal the agent runs in: its process's nearest ancestor that owns one.
  const auto raiseAgentWindow = [&](const QString& stage) -> std::optional<QString> {
    const qint64 pid = hasText(processID) ? processID->trimmed().toLongLong() : 0;
    if (pid <= 1) {
      return QStringLiteral("the agent's process is not known");
    }
    if (const Result<void> raised = windowActivator().activateWindowOfProcess(pid); !raised) {
      return raised.error();
    }
    diagnose(stage, QStringLiteral("ok"), details);
    return std::nullopt;
  };

  if (lower.contains(QLatin1String("iterm")) || lower == QLatin1String("terminal")) {
    return fail(QStringLiteral("focus_terminal_window"), QStringLiteral("unsupported_exact_focus"),
                name + QStringLiteral(" exact window focus is not available on this platform"), details);
  }
  if (lower.contains(QLatin1String("tmux"))) {
    const auto& target = firstText(tabID, windowID, sessionID);
    if (hasText(target)) {
      return focusTmux(target->trimmed(), socket, details);
    }
  } else if (lower.contains(QLatin1String("wezterm"))) {
    const auto& pane = firstText(tabID, sessionID, windowID);
    if (hasText(pane)) {
      return runFocus(QStringLiteral("focus_wezterm"), QStringLiteral("wezterm"),
                      {{QStringLiteral("cli"), QStringLiteral("activate-pane"), QStringLiteral("--pane-id"), pane->trimmed()}});
    }
  } else if (lower.contains(QLatin1String("kitty"))) {
    const auto& window = firstText(windowID, tabID, sessionID);
    if (hasText(window)) {
      // Outside kitty, "kitty @" reaches it only through the address it listens on.
      QStringList arguments{QStringLiteral("@")};
      if (hasText(socket)) {
        arguments << QStringLiteral("--to") << socket->trimmed();
      }
      arguments << QStringLiteral("focus-window") << QStringLiteral("--match") << QStringLiteral("id:") + window->trimmed();
      if (runFocus(QStringLiteral("focus_kitty"), QStringLiteral("kitty"), {arguments})) {
        (void)raiseAgentWindow(QStringLiteral("focus_kitty_window"));
        return true;
      }
      // Without remote control the kitty window at least comes forward, on the tab it shows.
      const QString remoteError = lastJumpOpenError().value_or(QString());
      if (!raiseAgentWindow(QStringLiteral("focus_kitty_window"))) {
        setLastJumpOpenError(std::nullopt);
        return true;
      }
      setLastJumpOpenError(remoteError);
      return false;
    }
  }
  if (const auto x11Window = x11WindowID(windowID)) {
    if (const Result<void> raised = windowActivator().activateWindow(*x11Window); raised) {
      diagnose(QStringLiteral("focus_x11_window"), QStringLiteral("ok"), details);
      return true;
    } else {
      return fail(QStringLiteral("focus_x11_window"), QStringLiteral("script_failed"),
                  name + QStringLiteral(" window could not be activated: ") + raised.error(), details);
    }
  }
  if (hasText(processID)) {
    const std::optional<QString> error = raiseAgentWindow(QStringLiteral("focus_agent_window"));
    if (!error) {
      return true;
    }
    return fail(QStringLiteral("focus_agent_window"), QStringLiteral("no_window"),
                name + QStringLiteral(" window of the agent could not be activated: ") + *error, details);
  }
  return fail(QStringLiteral("focus_terminal_window"), QStringLiteral("unsupported_exact_focus"),
              name + QStringLiteral(" exact window focus is not supported"), details);
}

bool JumpOpeners::focusTmux(const QString& target, const std::optional<QString>& socket, const QJsonObject& context) {
  const QString stage = QStringLiteral("focus_tmux");
  // The agent's tmux server: the socket it was started on, else the user's default one.
  const QStringList server = hasText(socket) ? QStringList{QStringLiteral("-S"), socket->trimmed()} : QStringList();
  const auto tmux = [&](const QStringList& arguments, CapturedProcessResult* output = nullptr) {
    const CapturedProcessResult result =
        runDetachedCommandCapturing(QStringLiteral("tmux"), server + arguments, std::nullopt);
    QJsonObject record = context;
    for (auto it = processDetails(QStringLiteral("tmux"), server + arguments, result); const QString& key : it.keys()) {
      record.insert(key, it.value(key));
    }
    if (output != nullptr) {
      *output = result;
    }
    if (!result.success) {
      return fail(stage, QStringLiteral("script_failed"), QStringLiteral("tmux ") + describeFailure(result), record);
    }
    diagnose(stage, QStringLiteral("ok"), record);
    return true;
  };

  CapturedProcessResult session;
  CapturedProcessResult clients;
  if (!tmux({QStringLiteral("display-message"), QStringLiteral("-p"), QStringLiteral("-t"), target,
             QStringLiteral("#{session_name}")},
            &session) ||
      !tmux({QStringLiteral("list-clients"), QStringLiteral("-F"), QStringLiteral("#{client_tty}\t#{client_pid}\t#{client_session}")},
            &clients)) {
    return false;
  }
  // The client that shows the target's session, else any client of the server, switched to it.
  const QString sessionName = session.standardOutput.trimmed();
  struct Client {
    QString tty;
    qint64 pid = 0;
    QString session;
  };
  std::optional<Client> chosen;
  for (const QString& line : clients.standardOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QStringList fields = line.split(QLatin1Char('\t'));
    if (fields.size() < 3) {
      continue;
    }
    const Client client{fields.at(0), fields.at(1).toLongLong(), fields.at(2)};
    if (!chosen || (client.session == sessionName && chosen->session != sessionName)) {
      chosen = client;
    }
  }
  if (!chosen) {
    return fail(stage, QStringLiteral("no_client"),
                QStringLiteral("no tmux client is attached to show ") + target, context);
  }
  std::vector<QStringList> calls;
  if (chosen->session != sessionName) {
    calls.push_back({QStringLiteral("switch-client"), QStringLiteral("-c"), chosen->tty, QStringLiteral("-t"), target});
  }
  calls.push_back({QStringLiteral("select-window"), QStringLiteral("-t"), target});
  if (target.startsWith(QLatin1Char('%'))) {
    calls.push_back({QStringLiteral("select-pane"), QStringLiteral("-t"), target});
  }
  for (const QStringList& arguments : calls) {
    if (!tmux(arguments)) {
      return false;
    }
  }
  // The terminal that shows the client: the client's nearest ancestor that owns a window.
  QJsonObject record = context;
  record.insert(QStringLiteral("client_tty"), chosen->tty);
  record.insert(QStringLiteral("client_pid"), chosen->pid);
  if (const Result<void> raised = windowActivator().activateWindowOfProcess(chosen->pid); raised) {
    diagnose(QStringLiteral("focus_tmux_client_window"), QStringLiteral("ok"), record);
  } else {
    // The pane is selected; its terminal has no window we can reach (another display, a console).
    record.insert(QStringLiteral("error"), truncatedDiagnostic(raised.error(), 200));
    diagnose(QStringLiteral("focus_tmux_client_window"), QStringLiteral("no_window"), record);
  }
  return true;
}

std::optional<QString> JumpOpeners::cmuxExecutablePath() {
  if (cmuxExecutablePathOverrideForTests) {
    return cmuxExecutablePathOverrideForTests;
  }
  if (cmuxExecutablePathLookupOverrideForTests) {
    return cmuxExecutablePathLookupOverrideForTests();
  }
  const QString found = QStandardPaths::findExecutable(QStringLiteral("cmux"));
  return found.isEmpty() ? std::nullopt : std::optional<QString>(found);
}

bool JumpOpeners::activateCmuxApp() {
  if (openCmuxActivateFallbackOverrideForTests) {
    return openCmuxActivateFallbackOverrideForTests();
  }
  return false;  // no cmux application exists on this platform, only its command-line tool
}

std::vector<QStringList> JumpOpeners::cmuxPreciseCommandArguments(const std::optional<QString>& sessionID,
                                                                  const std::optional<QString>& windowID) {
  std::vector<QStringList> lists;
  if (hasText(windowID)) {
    lists.push_back({QStringLiteral("focus-window"), QStringLiteral("--window"), *windowID});
  }
  if (hasText(sessionID)) {
    lists.push_back({QStringLiteral("select-workspace"), QStringLiteral("--workspace"), *sessionID});
  }
  return lists;
}

bool JumpOpeners::openCmux(const std::optional<QString>& sessionID, const std::optional<QString>& windowID,
                           const std::optional<QString>& cwd) {
  const QString stage = QStringLiteral("open_cmux");
  const QJsonObject context{{QStringLiteral("session_id"), optionalValue(sessionID)},
                            {QStringLiteral("window_id"), optionalValue(windowID)},
                            {QStringLiteral("cwd"), optionalValue(cwd)}};
  const auto activationFallback = [&] {
    const bool activated = activateCmuxApp();
    diagnose(stage, activated ? QStringLiteral("ok_activate_fallback") : QStringLiteral("activation_fallback_failed"),
             context);
    if (activated) {
      setLastJumpOpenError(std::nullopt);
      return true;
    }
    if (!lastJumpOpenError()) {
      setLastJumpOpenError(QStringLiteral("cmux app could not be activated"));
    }
    return false;
  };

  const std::optional<QString> cli = cmuxExecutablePath();
  if (!cli) {
    diagnose(stage, QStringLiteral("no_cli"), context);
    setLastJumpOpenError(QStringLiteral("cmux CLI not found at any of the bundled or PATH locations"));
    if (!hasText(sessionID) && !hasText(windowID) && !hasText(cwd)) {
      return activationFallback();
    }
    return false;
  }

  // A targeted open either selects exactly what was asked for or fails; activating the app does not
  // count as success (the store then tries its own fallback).
  const std::vector<QStringList> lists = cmuxPreciseCommandArguments(sessionID, windowID);
  if (!lists.empty()) {
    for (const QStringList& arguments : lists) {
      const auto [ok, detail] = runCmuxStrategyChain(*cli, arguments, context);
      if (!ok) {
        setLastJumpOpenError(detail);
        return false;
      }
    }
    setLastJumpOpenError(std::nullopt);
    return true;
  }
  if (hasText(cwd)) {
    const auto [ok, detail] = runCmuxStrategyChain(*cli, {*cwd}, QJsonObject{{QStringLiteral("cwd"), *cwd}});
    if (!ok) {
      setLastJumpOpenError(detail);
      return false;
    }
    setLastJumpOpenError(std::nullopt);
    return true;
  }
  return activationFallback();
}

std::pair<bool, std::optional<QString>> JumpOpeners::runCmuxStrategyChain(const QString& command,
                                                                           const QStringList& arguments,
                                                                           const QJsonObject& stageContext) {
  QStringList details;
  for (const QString& strategy : {kDirectStrategy, kShellDetachedStrategy, kLoginShellStrategy}) {
    CapturedProcessResult result;
    if (openCmuxStrategyOverrideForTests) {
      result = openCmuxStrategyOverrideForTests(strategy, arguments);
    } else if (strategy == kDirectStrategy) {
      result = runDetachedCommandCapturing(command, arguments, std::nullopt);
    } else if (strategy == kShellDetachedStrategy) {
      result = runDetachedCommandCapturing(QStringLiteral("/bin/sh"),
                                           {QStringLiteral("-c"), buildShellDetachedScript(command, arguments)},
                                           std::nullopt);
    } else {
      result = runDetachedCommandCapturing(
          loginShell(), {QStringLiteral("-l"), QStringLiteral("-c"), buildShellDetachedScript(command, arguments)},
          std::nullopt);
    }
    QJsonObject record = processDetails(command, arguments, result);
    record.insert(QStringLiteral("strategy"), strategy);
    for (auto it = stageContext.constBegin(); it != stageContext.constEnd(); ++it) {
      record.insert(it.key(), it.value());
    }
    diagnose(QStringLiteral("open_cmux_strategy"), result.success ? QStringLiteral("ok") : QStringLiteral("command_failed"),
             record);
    if (result.success) {
      return {true, std::nullopt};
    }
    details << strategy + QLatin1Char(' ') + describeFailure(result);
  }
  return {false, details.join(QStringLiteral("; "))};
}

QString JumpOpeners::buildShellDetachedScript(const QString& command, const QStringList& arguments) {
  QStringList words{shellQuote(command)};
  for (const QString& argument : arguments) {
    words << shellQuote(argument);
  }
  return QStringLiteral("nohup ") + words.join(QLatin1Char(' ')) +
         QStringLiteral(" >/dev/null 2>&1 </dev/null & wait $!; exit $?");
}

QString JumpOpeners::shellQuote(const QString& text) {
  QString quoted = text;
  quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString JumpOpeners::loginShell() {
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_shell && *entry->pw_shell) {
    const QString shell = QString::fromLocal8Bit(entry->pw_shell);
    if (QFileInfo(shell).isExecutable()) {
      return shell;
    }
  }
  return QStringLiteral("/bin/sh");
}

CapturedProcessResult JumpOpeners::runDetachedCommandCapturing(const QString& command, const QStringList& arguments,
                                                               const std::optional<QString>& cwd) {
  if (runDetachedCommandCapturingOverrideForTests) {
    return runDetachedCommandCapturingOverrideForTests(command, arguments, cwd);
  }
  const bool isPath = command.contains(QLatin1Char('/'));
  const ChildProcessOutcome outcome =
      runChildProcess(isPath ? command : QStringLiteral("/usr/bin/env"), isPath ? arguments : QStringList{command} + arguments,
                      QString(), kChildProcessTimeout);
  CapturedProcessResult result;
  result.success = outcome.succeeded();
  result.exitCode = outcome.exitCode;
  result.standardOutput = decoded(outcome.standardOutput);
  result.standardError = decoded(outcome.standardError);
  if (!outcome.error.isEmpty()) {
    result.launchError = outcome.error;
  }
  return result;
}

bool JumpOpeners::runDetachedCommand(const QString& command, const QStringList& arguments,
                                     const std::optional<QString>& cwd, bool waitForExit, QString* error) {
  QString ignored;
  QString& reason = error ? *error : ignored;
  if (runDetachedCommandCapturingOverrideForTests) {
    const CapturedProcessResult result = runDetachedCommandCapturingOverrideForTests(command, arguments, cwd);
    if (!result.success) {
      reason = describeFailure(result);
    }
    return result.success;
  }
  if (waitForExit) {
    const bool isPath = command.contains(QLatin1Char('/'));
    const ChildProcessOutcome outcome =
        runChildProcess(isPath ? command : QStringLiteral("/usr/bin/env"), isPath ? arguments : QStringList{command} + arguments,
                        cwd.value_or(QString()), kChildProcessTimeout);
    if (!outcome.succeeded()) {
      reason = outcome.error.isEmpty()
                   ? QStringLiteral("exit=%1: %2").arg(outcome.exitCode).arg(truncatedDiagnostic(decoded(outcome.standardError), 200))
                   : outcome.error;
    }
    return outcome.succeeded();
  }
  // Detached: find the program first, so that a missing one is a failure and not a lost child.
  const QString program = command.contains(QLatin1Char('/')) ? command : QStandardPaths::findExecutable(command);
  if (program.isEmpty()) {
    reason = command + QStringLiteral(" is not installed");
    return false;
  }
  const Result<void> started = startDetachedChildProcess(program, arguments, cwd.value_or(QString()));
  if (!started) {
    reason = started.error();
  }
  return started.ok();
}

}  // namespace tandrel
