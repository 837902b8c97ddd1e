// Installing into a scratch home, as a user would from the AI Tools tab, then running each
// installed script once the way its agent runs it: the command lines written into the agents'
// configuration files, through /bin/sh.
#include "hooks/hook_manager.h"

#include "catalog/paths.h"
#include "hooks/codex_config.h"
#include "platform/fake/fake_app_locator.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>

#include <sys/stat.h>

namespace tandrel {
namespace {

constexpr qint64 kNow = 1700000000;

// Runs a shell command line with `input` on standard input; returns its standard output.
QByteArray runShell(const QString& commandLine, const QByteArray& input = {}) {
  QProcess process;
  process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
  EXPECT_TRUE(process.waitForStarted(10000));
  process.write(input);
  process.closeWriteChannel();
  EXPECT_TRUE(process.waitForFinished(30000)) << commandLine.toStdString();
  EXPECT_EQ(process.exitCode(), 0) << commandLine.toStdString() << "\n"
                                   << process.readAllStandardError().toStdString();
  return process.readAllStandardOutput();
}

// The first command of an event in a hooks object whose command contains `needle`.
QString registered(const QJsonObject& hooks, const char* event, const QString& needle) {
  for (const QJsonValue& entry : hooks[QLatin1String(event)].toArray()) {
    for (const QJsonValue& handler : entry["hooks"].toArray()) {
      if (handler["command"].toString().contains(needle)) {
        return handler["command"].toString();
      }
    }
  }
  return {};
}

QJsonObject readObject(const QString& path) {
  return QJsonDocument::fromJson(test::readFile(path)).object();
}

int bridgeLines() { return static_cast<int>(test::readJsonLines(eventFileURL()).size()); }

// Serves one blocking request on the app's socket while `commandLine` runs; returns the request
// and the hook's output.
std::pair<QJsonObject, QByteArray> blockingExchange(const QString& socketPath,
                                                    const QString& commandLine,
                                                    const QByteArray& input) {
  QLocalServer server;
  server.setSocketOptions(QLocalServer::UserAccessOption);
  EXPECT_TRUE(server.listen(socketPath)) << server.errorString().toStdString();
  QProcess hook;
  hook.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
  EXPECT_TRUE(hook.waitForStarted(10000));
  hook.write(input);
  EXPECT_TRUE(hook.waitForBytesWritten(10000));  // nothing else runs the event loop here
  hook.closeWriteChannel();
  QJsonObject request;
  if (server.waitForNewConnection(20000)) {
    QLocalSocket* connection = server.nextPendingConnection();
    QByteArray line;
    while (!line.contains('\n') && connection->waitForReadyRead(20000)) {
      line += connection->readAll();
    }
    request = QJsonDocument::fromJson(line.left(line.indexOf('\n'))).object();
    const QJsonObject reply{{"v", 1},
                            {"type", "hook.reply"},
                            {"request_id", request["request_id"]},
                            {"decision", "allow"},
                            {"mode", "once"},
                            {"raw_agent_payload", QJsonObject{{"answered", true}}}};
    connection->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
    connection->waitForBytesWritten(5000);
  }
  EXPECT_TRUE(hook.waitForFinished(30000));
  return {request, hook.readAllStandardOutput()};
}

TEST(HookInstallEndToEnd, InstallsIntoAScratchHomeAndEveryScriptRuns) {
  test::TempHome home;
  FakeAppLocator locator;
  locator.path.emplace(QStringLiteral("/fakebin"));
  locator.executables = {QStringLiteral("/fakebin/opencode"), QStringLiteral("/fakebin/pi")};
  const HookPaths paths = HookPaths::forHome(home.path(), home.file(QStringLiteral(".config/opencode")));
  const HookManager manager(paths, locator, [] { return kNow; });

  // The user's own status line and notify command, which must keep running after ours.
  ASSERT_TRUE(test::writeFile(
      paths.claudeSettings,
      R"({"statusLine": {"type": "command", "command": "printf 'user line'"}, "model": "opus"})"));
  const QString chainOut = home.file(QStringLiteral("chain.out"));
  ASSERT_TRUE(test::writeFile(
      paths.codexConfig,
      QStringLiteral("model = \"o4\"\nnotify = [\"/bin/sh\", \"-c\", \"printf %s \\\"$1\\\" > %1\", \"sh\"]\n")
          .arg(chainOut)
          .toUtf8()));

  for (const char* tool : {"claude-code", "codex-cli", "opencode-cli", "pi"}) {
    auto installed = manager.install(QString::fromLatin1(tool));
    ASSERT_TRUE(installed.ok()) << tool << ": " << installed.error().toStdString();
  }
  for (const QString& name : bridgeScriptNames()) {
    const QString path = paths.bridgeDirectory + u'/' + name;
    EXPECT_EQ(test::readFile(path), embeddedHookText(name).value()) << name.toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u) << name.toStdString();
  }
  EXPECT_EQ(test::readFile(paths.opencodePlugin), embeddedHookText(QStringLiteral("tandrel.js")).value());

  // Health: Claude and the tools with plug-in or wrapper are healthy; Codex waits for the user
  // to trust its hooks in Codex, and is healthy once config.toml records that trust.
  const auto statusOf = [&manager](const char* id) {
    for (const ToolHealth& row : manager.health()) {
      if (row.id == QLatin1String(id)) {
        return std::make_pair(row.status, row.detail);
      }
    }
    return std::make_pair(HookStatus::missing, QString());
  };
  EXPECT_EQ(statusOf("claude-code").first, HookStatus::healthy);
  EXPECT_EQ(statusOf("opencode-cli").first, HookStatus::healthy);
  EXPECT_EQ(statusOf("pi").first, HookStatus::healthy);
  EXPECT_EQ(statusOf("codex-cli"),
            std::make_pair(HookStatus::alpha,
                           QStringLiteral("Hooks written, waiting for trust in Codex: open Codex "
                                          "and review its hooks (/hooks)")));
  const QJsonObject codexFile = readObject(paths.codexHooks);
  const QJsonObject codexHooks = codexFile["hooks"].toObject();
  QString trust;  // as Codex records "Trust all"
  for (const CodexHookHandler& handler :
       ourCodexHookHandlers(codexFile, {manager.eventCommandPath(), manager.codexHookPath()})) {
    trust += QStringLiteral("\n[hooks.state.\"%1\"]\ntrusted_hash = \"%2\"\n")
                 .arg(codexHookTrustKey(paths.codexHooks, handler), codexHookTrustHash(codexFile, handler).value());
  }
  ASSERT_TRUE(test::writeFile(paths.codexConfig, test::readFile(paths.codexConfig) + trust.toUtf8()));
  EXPECT_EQ(statusOf("codex-cli").first, HookStatus::healthy);

  // Installing again changes nothing and makes no further backup.
  const QStringList before = QDir(paths.home + QStringLiteral("/.claude")).entryList(QDir::Files) +
                             QDir(paths.home + QStringLiteral("/.codex")).entryList(QDir::Files);
  const QByteArray settingsBefore = test::readFile(paths.claudeSettings);
  ASSERT_TRUE(manager.install(QStringLiteral("claude-code")).ok());
  ASSERT_TRUE(manager.install(QStringLiteral("codex-cli")).ok());
  EXPECT_EQ(QDir(paths.home + QStringLiteral("/.claude")).entryList(QDir::Files) +
                QDir(paths.home + QStringLiteral("/.codex")).entryList(QDir::Files),
            before);
  EXPECT_EQ(test::readFile(paths.claudeSettings), settingsBefore);

  // The event writer as Claude's Stop hook runs it.
  const QJsonObject settings = readObject(paths.claudeSettings);
  const QJsonObject claudeHooks = settings["hooks"].toObject();
  int lines = bridgeLines();
  runShell(registered(claudeHooks, "Stop", manager.eventCommandPath()),
           R"({"hook_event_name":"Stop","session_id":"s1","cwd":"/w"})");
  EXPECT_EQ(bridgeLines(), lines + 1);

  // The status line prints the user's own line.
  EXPECT_EQ(runShell(settings["statusLine"]["command"].toString(),
                     R"({"model":{"display_name":"Opus"},"session_id":"s1","cwd":"/w"})"),
            "user line\n");

  // Codex's notify: our bridge records the turn, then runs the user's command with the payload.
  const QString payload = QStringLiteral(R"({"type":"agent-turn-complete","turn-id":"t1","last-assistant-message":"done"})");
  lines = bridgeLines();
  runShell(manager.codexNotifyPath() + QStringLiteral(" '") + payload + u'\'');
  EXPECT_EQ(bridgeLines(), lines + 1);
  EXPECT_EQ(test::readFile(chainOut), payload.toUtf8());

  // The wrapper runs a command and records its start and end.
  lines = bridgeLines();
  EXPECT_EQ(runShell(manager.wrapperPath() + QStringLiteral(" --source pi -- /bin/echo hi")), "hi\n");
  EXPECT_EQ(bridgeLines(), lines + 2);

  // The blocking clients, by the command lines registered for Claude's and Codex's gates.
  const QString socketPath = home.file(QStringLiteral(".tandrel/tandrel.sock"));
  auto [claudeRequest, claudeOut] = blockingExchange(
      socketPath, registered(claudeHooks, "PermissionRequest", manager.claudeHookPath()),
      R"({"hook_event_name":"PermissionRequest","session_id":"s1","tool_name":"Bash","tool_input":{"command":"ls"}})");
  EXPECT_EQ(claudeOut, "{\"answered\":true}\n");
  EXPECT_EQ(claudeRequest["agent"], QJsonValue("claude_code"));
  EXPECT_EQ(claudeRequest["kind"], QJsonValue("permission_request"));
  EXPECT_EQ(claudeRequest["timeout_seconds"], QJsonValue(120));
  EXPECT_EQ(claudeRequest["payload"].toObject()["extras"].toObject()["hook_event_name"], QJsonValue("PermissionRequest"));

  auto [codexRequest, codexOut] = blockingExchange(
      socketPath, registered(codexHooks, "Stop", manager.codexHookPath()),
      R"({"session_id":"c1","last_assistant_message":"done"})");
  EXPECT_EQ(codexOut, "{\"answered\":true}\n");
  EXPECT_EQ(codexRequest["agent"], QJsonValue("codex"));
  EXPECT_EQ(codexRequest["kind"], QJsonValue("waiting_input"));
  EXPECT_EQ(codexRequest["payload"].toObject()["extras"].toObject()["hook_event_name"], QJsonValue("Stop"));
}

// Agents run hook commands through `sh -c`: under a home folder with a space (or a quote) in its
// name every command, the status line included, still finds its script.
TEST(HookInstallEndToEnd, CommandsRunUnderAHomeWithASpace) {
  test::TempHome temp;
  const QString home = temp.file(QStringLiteral("Jo's home"));
  ASSERT_TRUE(QDir().mkpath(home));
  FakeAppLocator locator;
  const HookPaths paths = HookPaths::forHome(home, home + QStringLiteral("/.config/opencode"));
  const HookManager manager(paths, locator, [] { return kNow; });
  ASSERT_TRUE(manager.install(QStringLiteral("claude-code")).ok());
  ASSERT_TRUE(manager.install(QStringLiteral("codex-cli")).ok());

  QStringList commands;
  const QJsonObject settings = readObject(paths.claudeSettings);
  commands.append(settings["statusLine"]["command"].toString());
  for (const QJsonObject& hooks : {settings["hooks"].toObject(), readObject(paths.codexHooks)["hooks"].toObject()}) {
    for (const QJsonValue& entries : hooks) {
      for (const QJsonValue& entry : entries.toArray()) {
        for (const QJsonValue& handler : entry["hooks"].toArray()) {
          commands.append(handler["command"].toString());
        }
      }
    }
  }
  ASSERT_EQ(commands.size(), 1 + 14 + 5);
  for (const QString& command : commands) {
    SCOPED_TRACE(command.toStdString());
    const int lines = bridgeLines();
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    ASSERT_TRUE(shell.waitForStarted(10000));
    shell.write(R"({"hook_event_name":"Stop","session_id":"s1","cwd":"/w"})");
    shell.closeWriteChannel();
    ASSERT_TRUE(shell.waitForFinished(30000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    if (command.contains(QLatin1String("tandrel-event"))) {
      EXPECT_EQ(bridgeLines(), lines + 1) << "the writer ran";
    }
  }
  // The health of an install under such a home is as good as anywhere.
  locator.files.insert(paths.claudeSettings);
  EXPECT_EQ(manager.health()[1].status, HookStatus::healthy);
}

}  // namespace
}  // namespace tandrel
