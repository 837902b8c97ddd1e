// The scripts and the plug-in that append to the bridge file, run from the text embedded in the
// app as an agent would run them: they write where the app reads, and the store reads what they
// write.

#include "catalog/paths.h"
#include "events/event_store.h"
#include "events/event_store_test_support.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <optional>
#include <vector>

namespace tandrel::test {
namespace {

QString python() {
  return QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
             ? QStringLiteral("/usr/bin/python3")
             : QStandardPaths::findExecutable(QStringLiteral("python3"));
}

QString node() { return QStandardPaths::findExecutable(QStringLiteral("node")); }

// Loads the OpenCode plug-in (argument 1) as OpenCode does and hands its handler one session
// update whose session id is argument 2.
const QString kPluginHarness = QStringLiteral(R"(
import { pathToFileURL } from "url";
const plugin = await import(pathToFileURL(process.argv[1]).href);
const hooks = await plugin.TandrelPlugin({ directory: "/w" });
await hooks.event({ event: { type: "session.updated",
                             properties: { sessionID: process.argv[2], info: { cost: 1 } } } });
)");

// Copies an embedded script into the temporary home.
QString installedScript(const TempHome& home, const QString& name) {
  const QString path = home.file(QStringLiteral("bin/") + name);
  EXPECT_TRUE(writeFile(path, readFile(QStringLiteral(":/hooks/scripts/") + name))) << name.toStdString();
  return path;
}

// Runs `program` with `arguments`, feeding `input` on standard input; returns its exit status.
int run(const QString& program, const QStringList& arguments, const QByteArray& input = {},
        const QString& workingDirectory = {}) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  if (!workingDirectory.isEmpty()) {
    process.setWorkingDirectory(workingDirectory);
  }
  process.start();
  if (!process.waitForStarted(30000)) {
    ADD_FAILURE() << "could not start " << program.toStdString();
    return -1;
  }
  process.write(input);
  process.closeWriteChannel();
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    ADD_FAILURE() << program.toStdString() << " did not finish";
    return -1;
  }
  EXPECT_EQ(process.readAllStandardError(), QByteArray());
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::optional<QJsonObject> lastRecord(const QString& path) {
  const auto records = readJsonLines(path);
  if (records.empty()) {
    return std::nullopt;
  }
  return records.back();
}

TEST(BridgeWriterScriptsTest, WriteWhereTheAppReads) {
  TempHome home;
  const QString event = installedScript(home, QStringLiteral("tandrel-event"));
  ASSERT_FALSE(node().isEmpty()) << "node is needed (Debian package nodejs)";
  const QString plugin = installedScript(home, QStringLiteral("tandrel.js"));
  // node reads a .js file as an ES module only inside a package that says so.
  ASSERT_TRUE(writeFile(home.file(QStringLiteral("bin/package.json")), R"({"type":"module"})"));
  const QString work = home.file(QStringLiteral("work"));
  ASSERT_TRUE(QDir().mkpath(work));
  const QString previousDirectory = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(work));  // relative paths resolve here, as in the scripts

  struct Case {
    std::optional<QByteArray> dataHome;
    std::optional<QByteArray> eventFile;
  };
  const QByteArray root = home.path().toUtf8();
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt},
      {root + "/xdg", std::nullopt},
      {root + "/xdg-slash/", std::nullopt},
      {QByteArray("relative/xdg"), std::nullopt},
      {QByteArray("  "), std::nullopt},
      {root + "/xdg", root + "/custom/events.jsonl"},
      {std::nullopt, QByteArray(" ~/tilde/events.jsonl \n")},
      {std::nullopt, QByteArray("relative/events.jsonl")},
      {std::nullopt, QByteArray("\t")},
  };
  int number = 0;
  for (const Case& c : cases) {
    home.setEnv("XDG_DATA_HOME", c.dataHome);
    home.setEnv("TANDREL_EVENT_FILE", c.eventFile);
    const QString expected = eventFileURL();
    const QString title = QStringLiteral("case %1").arg(++number);
    SCOPED_TRACE(title.toStdString() + " expects " + expected.toStdString());
    EXPECT_EQ(run(python(), {event, QStringLiteral("--title"), title}, {}, work), 0);
    auto record = lastRecord(expected);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value(QStringLiteral("title")).toString(), title);
    EXPECT_EQ(run(node(), {QStringLiteral("--input-type=module"), QStringLiteral("-e"),
                           kPluginHarness, plugin, title},
                  {}, work),
              0);
    record = lastRecord(expected);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value(QStringLiteral("session_id")).toString(), title);
    ASSERT_TRUE(QFile::remove(expected));
  }
  ASSERT_TRUE(QDir::setCurrent(previousDirectory));
}

TEST(BridgeWriterScriptsTest, TheStoreReadsWhatTheEventWriterWrites) {
  StoreFixture fixture;
  fixture.home.setEnv("TANDREL_EVENT_FILE", fixture.eventFile.toUtf8());
  // The script reads the agent's terminal from its environment: the terminal the tests run in is
  // none of its business (below, tmux is the one it finds).
  for (const char* name : {"ITERM_SESSION_ID", "ITERM_PROFILE", "TERM_PROGRAM", "LC_TERMINAL", "TANDREL_TERMINAL",
                           "TANDREL_TERMINAL_TTY", "TTY", "TERMINAL_EMULATOR", "CMUX_WORKSPACE_ID", "CMUX_TAB_ID",
                           "CMUX_SESSION_ID", "CMUX_WINDOW_ID", "CMUX_SOCKET_PATH", "TMUX", "TMUX_PANE",
                           "KITTY_WINDOW_ID", "WEZTERM_PANE"}) {
    fixture.home.setEnv(name, std::nullopt);
  }
  const QString event = installedScript(fixture.home, QStringLiteral("tandrel-event"));

  const QByteArray claudePermission = R"({"session_id":"s-claude","cwd":"/home/u/proj",
      "transcript_path":"/home/u/.claude/projects/p/s.jsonl","permission_mode":"default",
      "hook_event_name":"PermissionRequest","tool_name":"Bash",
      "tool_input":{"command":"rm -rf build","description":"Clean"}})";
  EXPECT_EQ(run(python(), {event, QStringLiteral("--source"), QStringLiteral("claude_code")},
                claudePermission),
            0);
  const QString codexNotify = QStringLiteral(
      R"({"type":"agent-turn-complete","thread-id":"t-codex","turn-id":"3","cwd":"/w/app",)"
      R"("input-messages":["Übersetze das"],"last-assistant-message":"Erledigt ✓"})");
  EXPECT_EQ(run(python(), {event, QStringLiteral("--source"), QStringLiteral("codex"), codexNotify}),
            0);
  EXPECT_EQ(run(python(), {event, QStringLiteral("--source"), QStringLiteral("claude_code"),
                           QStringLiteral("--notify-policy"), QStringLiteral("usage_only"),
                           QStringLiteral("--status"), QStringLiteral("usage"),
                           QStringLiteral("--data-source"), QStringLiteral("statusline"),
                           QStringLiteral("--input-tokens"), QStringLiteral("1200"),
                           QStringLiteral("--output-tokens"), QStringLiteral("300"),
                           QStringLiteral("--limit-5h-percent"), QStringLiteral("12"),
                           QStringLiteral("--limit-5h-label"), QStringLiteral("12% used")}),
            0);
  fixture.home.setEnv("TMUX", QByteArray("/tmp/tmux-1000/default,77,0"));
  fixture.home.setEnv("TMUX_PANE", QByteArray("%3"));
  EXPECT_EQ(run(python(), {event, QStringLiteral("--source"), QStringLiteral("gemini"),
                           QStringLiteral(R"({"type":"choice_request","message":"Pick one",)"
                                          R"("options":[{"id":"a","label":"Alpha"},)"
                                          R"({"id":"b","label":"Beta"}],"cwd":"/w/g"})")}),
            0);
  fixture.home.setEnv("TMUX", std::nullopt);
  fixture.home.setEnv("TMUX_PANE", std::nullopt);

  auto store = fixture.make();
  store->reload();
  const auto& events = store->bridgeEvents();
  ASSERT_EQ(events.size(), 4u);
  // The store keeps usage-only readings apart from the others; find each by its source.
  auto from = [&events](const char* source, const char* eventType) -> const TandrelEvent& {
    for (const TandrelEvent& candidate : events) {
      if (candidate.source == QLatin1String(source) &&
          candidate.eventType == QLatin1String(eventType)) {
        return candidate;
      }
    }
    ADD_FAILURE() << "no " << source << " " << eventType << " event";
    return events.front();
  };

  const TandrelEvent& permission = from("claude_code", "permission_request");
  EXPECT_EQ(permission.source, QStringLiteral("claude_code"));
  EXPECT_EQ(permission.eventType, QStringLiteral("permission_request"));
  EXPECT_EQ(permission.title, QStringLiteral("Run: rm -rf build"));
  EXPECT_EQ(permission.message, QStringLiteral("Bash"));
  EXPECT_EQ(permission.actionKind, QStringLiteral("shell"));
  EXPECT_EQ(permission.risk, QStringLiteral("high"));
  EXPECT_EQ(permission.sessionId, QStringLiteral("s-claude"));
  EXPECT_EQ(permission.project, QStringLiteral("proj"));
  EXPECT_TRUE(permission.timestamp.isValid());
  EXPECT_NE(permission.timestamp, distantPast());

  const TandrelEvent& turn = from("codex", "task_updated");
  EXPECT_EQ(turn.source, QStringLiteral("codex"));
  EXPECT_EQ(turn.title, QStringLiteral("Codex CLI turn finished"));
  EXPECT_EQ(turn.message, QStringLiteral("Erledigt ✓"));
  EXPECT_EQ(turn.preview.user, QStringLiteral("Übersetze das"));
  EXPECT_EQ(turn.turnId, QStringLiteral("3"));

  const TandrelEvent& usage = from("claude_code", "task_updated");
  EXPECT_EQ(usage.notifyPolicy, QStringLiteral("usage_only"));
  ASSERT_TRUE(usage.usage);
  EXPECT_EQ(usage.usage->dataSource, QStringLiteral("statusline"));
  EXPECT_TRUE(usage.usage->tokens);
  EXPECT_TRUE(usage.usage->fiveHour);

  const TandrelEvent& choice = from("gemini", "waiting_input");
  ASSERT_EQ(choice.choiceOptions.size(), 2);
  EXPECT_EQ(choice.choiceOptions[1].label, QStringLiteral("Beta"));
  ASSERT_TRUE(choice.typedJumpTarget);
  const auto* pane = choice.typedJumpTarget->as<JumpTarget::TerminalWindow>();
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->terminal, QStringLiteral("tmux"));
  EXPECT_EQ(pane->sessionID, QStringLiteral("%3"));
  EXPECT_EQ(pane->cwd, QStringLiteral("/w/g"));
}

}  // namespace
}  // namespace tandrel::test
