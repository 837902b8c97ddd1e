#include "selfcheck/functional/event_bridge_functional_tests.h"

#include "events/tandrel_event.h"
#include "hooks/hook_manager.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUuid>

#include <vector>

namespace tandrel {

namespace {

const QJsonObject kOptionA{{"id", "a"}, {"label", "方案 A"}};
const QJsonObject kOptionB{{"id", "b"}, {"label", "方案 B"}};

QString compactJSON(const QJsonObject& object) {
  return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool isResponseFile(const ResponseChannel& channel, const char* path) {
  return channel == ResponseChannel::responseFile(QString::fromLatin1(path));
}

// The records a bridge file holds, one JSON object a line; nothing when a line is not one.
std::optional<std::vector<QJsonObject>> readRecords(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  std::vector<QJsonObject> records;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) return std::nullopt;
    records.push_back(document.object());
  }
  return records;
}

}  // namespace

bool eventBridgeChoicePayloadFunctionalTest() {
  const QJsonObject response{{"response_file", "/tmp/tandrel-choice.json"},
                             {"note_enabled", true},
                             {"note_placeholder", "Add context"}};
  const QJsonObject payload{{"cwd", "/tmp/tandrel"},
                            {"hook_event_name", "Notification"},
                            {"message", "Pick one"},
                            {"options", QJsonArray{kOptionA, kOptionB}},
                            {"response", response}};
  const QJsonObject record{{"event_id", "bridge-choice"},
                           {"source", "claude_code"},
                           {"source_type", "cli_agent"},
                           {"project", "tandrel"},
                           {"cwd", "/tmp/tandrel"},
                           {"event_type", "waiting_input"},
                           {"severity", "warning"},
                           {"title", "Claude Code needs attention"},
                           {"message", "Pick one"},
                           {"status", "waiting_input"},
                           {"options", payload.value("options")},
                           {"response", payload.value("response")}};
  const std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(record);
  return event && event->choiceOptions.size() == 2 && isResponseFile(event->responseChannel, "/tmp/tandrel-choice.json") &&
         event->notePlaceholder == QStringLiteral("Add context");
}

bool runEventBridgeScriptForTests(const QString& script, const QString& home, const QStringList& arguments,
                                  const QMap<QString, QString>& extraEnvironment) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // The bridge file falls back to the one under the fake home; the terminal, multiplexer and
  // desktop the suite runs in cannot show in the records.
  for (const char* name :
       {"TANDREL_EVENT_FILE", "CMUX_WORKSPACE_ID", "CMUX_TAB_ID", "CMUX_SESSION_ID", "CMUX_SOCKET_PATH",
        "CMUX_WINDOW_ID", "TANDREL_TERMINAL", "TERM_PROGRAM", "TERMINAL_EMULATOR", "ITERM_SESSION_ID", "ITERM_PROFILE",
        "LC_TERMINAL", "TMUX", "TMUX_PANE", "KITTY_WINDOW_ID", "KITTY_LISTEN_ON", "WEZTERM_PANE", "WINDOWID",
        "TANDREL_TERMINAL_TTY", "TTY", "DISPLAY", "WAYLAND_DISPLAY", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
    environment.remove(QString::fromLatin1(name));
  }
  environment.insert(QStringLiteral("HOME"), home);
  for (auto it = extraEnvironment.constBegin(); it != extraEnvironment.constEnd(); ++it) {
    environment.insert(it.key(), it.value());
  }
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start(script, arguments);
  if (!process.waitForStarted(5000)) return false;
  process.closeWriteChannel();
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished(1000);
    return false;
  }
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool eventBridgeExecutableFunctionalTest(const QString& tempRoot) {
  const std::optional<QString> root =
      freshScratchFolder(tempRoot, QStringLiteral("bridge-smoke-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
  const Result<QByteArray> text = embeddedHookText(QStringLiteral("tandrel-event"));
  if (!root || !text) return false;
  const QString home = scratchPath(*root, QStringLiteral("home"));
  const QString script = scratchPath(*root, QStringLiteral("tandrel-event"));
  if (!writeFileAtomically(text.value(), script) ||
      !QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                         QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                         QFileDevice::ExeOther)) {
    return false;
  }
  // Where the script writes when no bridge file is named: the XDG data folder of the home.
  const QString bridgeFile = home + QStringLiteral("/.local/share/Tandrel/events.jsonl");

  const QJsonObject stringResponse{{"response_file", "/tmp/tandrel-choice.json"},
                                   {"note_enabled", "false"},
                                   {"note_placeholder", "Add context"}};
  const struct {
    QStringList arguments;
    QMap<QString, QString> environment;
  } runs[] = {
      {{compactJSON({{"cwd", "/tmp/tandrel"},
                     {"hook_event_name", "Notification"},
                     {"message", "Pick one"},
                     {"options", QJsonArray{kOptionA, kOptionB}},
                     {"response", stringResponse}})},
       {}},
      {{"--event-type", "waiting_input", "--severity", "warning", "--title", "Claude Code needs attention", "--message",
        "Pick one", "--cwd", "/tmp/tandrel", "--option", "a=方案 A", "--option", "b=方案 B", "--response-file",
        "/tmp/tandrel-cli-choice.json", "--note-enabled", "--note-placeholder", "Add context"},
       {}},
      {{"--source", "codex", compactJSON({{"cwd", "/tmp/tandrel"}, {"session_id", "codex-session"}})},
       {{"CMUX_WORKSPACE_ID", "workspace-1"}, {"CMUX_SOCKET_PATH", "/tmp/cmux.sock"}}},
      {{"--source", "codex", compactJSON({{"cwd", "/tmp/tandrel-terminal"}, {"session_id", "codex-terminal-session"}})},
       {{"TERM_PROGRAM", "WezTerm"}}},
  };
  for (const auto& run : runs) {
    if (!runEventBridgeScriptForTests(script, home, run.arguments, run.environment)) return false;
  }

  const std::optional<std::vector<QJsonObject>> records = readRecords(bridgeFile);
  if (!records || records->size() != 4) return false;
  std::vector<TandrelEvent> events;
  for (const QJsonObject& record : *records) {
    std::optional<TandrelEvent> event = TandrelEvent::fromDictionary(record);
    if (!event) return false;
    events.push_back(std::move(*event));
  }
  const QJsonValue firstNote = (*records)[0].value("response").toObject().value("note_enabled");
  const QJsonValue secondNote = (*records)[1].value("response").toObject().value("note_enabled");
  return (*records)[0].value("response").isObject() && (*records)[1].value("response").isObject() &&
         // the payload's "false" as a JSON false
         events[0].choiceOptions.size() == 2 && isResponseFile(events[0].responseChannel, "/tmp/tandrel-choice.json") &&
         !events[0].noteEnabled && events[0].notePlaceholder == QStringLiteral("Add context") && firstNote.isBool() &&
         !firstNote.toBool() &&
         // the flags
         events[1].choiceOptions.size() == 2 &&
         isResponseFile(events[1].responseChannel, "/tmp/tandrel-cli-choice.json") && events[1].noteEnabled &&
         events[1].notePlaceholder == QStringLiteral("Add context") && secondNote.isBool() && secondNote.toBool() &&
         // cmux
         events[2].typedJumpTarget ==
             JumpTarget::cmux(QStringLiteral("workspace-1"), std::nullopt, QStringLiteral("/tmp/tandrel")) &&
         events[2].terminal == QStringLiteral("cmux") &&
         // a terminal without a way to reach its window
         events[3].terminal == QStringLiteral("WezTerm") && !events[3].typedJumpTarget;
}

}  // namespace tandrel
