// The entry point as a harness sees it: the built binary run with each mode and switch in a
// temporary home.
#include "app/binary_runner.h"

#include "requests/hook_request.h"
#include "requests/socket_frame_codec.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <optional>
#include <vector>

namespace tandrel {
namespace {

struct SwitchCase {
  const char* name;
  QStringList arguments;
  QByteArray input;
  std::vector<std::pair<QString, QString>> environment;
  int status;
  QByteArray output;            // exact standard output
  const char* errorPrefix;      // standard error starts with it (nullptr: empty)
};

TEST(EntryPointSwitchesSlow, EachSwitchEndsWithItsStatusAndOutput) {
  test::TempHome home;
  const QByteArray request =
      R"({"v":1,"type":"hook.request","request_id":"r","agent":"codex","session_id":"","agent_pid":7,)"
      R"("kind":"permission_request","timeout_seconds":5,"payload":{}})";
  const std::vector<SwitchCase> cases = {
      {"truncate", {"--test-truncate-input"}, "h\xc3\xa9llo\xff", {}, 0, R"({"length":9,"truncated":false})", nullptr},
      {"card layout", {"--test-card-layout"}, R"({"kind":"waiting_input","agentCanAlways":true})", {}, 0,
       R"(["open_input","jump"])", nullptr},
      {"card layout, bad input", {"--test-card-layout"}, "[1]", {}, 2, "", "card layout input"},
      {"countdown", {"--test-countdown", "-3"}, {}, {}, 0, "0s", nullptr},
      {"countdown, not a number", {"--test-countdown", "ten"}, {}, {}, 0, "0s", nullptr},
      {"countdown, no value", {"--test-countdown"}, {}, {}, 2, "", "--test-countdown needs"},
      {"frame roundtrip without line feed", {"--test-frame-roundtrip"}, request, {}, 0,
       R"({"agent":"codex","agent_pid":7,"kind":"permission_request","payload":{},"request_id":"r",)"
       R"("session_id":"","timeout_seconds":5,"type":"hook.request","v":1})"
       "\n",
       nullptr},
      {"frame roundtrip, malformed", {"--test-frame-roundtrip"}, "{}\n", {}, 2, "", "frame decode failed: "},
      {"marshal", {"--test-marshal"},
       R"({"agent":"claude_code","kind":"permission_request","decision":{"verb":"deny","mode":"once"}})", {}, 0,
       R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"deny"}})", nullptr},
      {"marshal, bad input", {"--test-marshal"}, "{", {}, 2, "", "bad input\n"},
      {"socket server, no path", {"--test-socket-server"}, {}, {}, 2, "", "--test-socket-server needs"},
      {"socket server, path too long", {"--test-socket-server", "/tmp/" + QString(120, 'x')}, {}, {}, 2, "",
       "server start failed: POSIX sun_path overflow failed"},
      {"countdown is tested before pending", {"--test-pending", "bogus", "--test-countdown", "4"},
       {}, {}, 0, "4s", nullptr},
      {"audit emit without a path", {"--test-audit-emit", "--test-pending"}, {}, {}, 2, "",
       "--test-audit-emit needs an audit file path"},
      {"self tests with a blank event file", {"--test-countdown", "4"}, {},
       {{"TANDREL_RUN_SELF_TESTS", "1"}, {"TANDREL_EVENT_FILE", " "}}, 2, "",
       "TANDREL_EVENT_FILE is required for self tests"},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(c.name);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : c.environment) {
      environment.insert(name, value);
    }
    const test::BinaryRun run = test::runTandrel(c.arguments, c.input, environment);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.status);
    EXPECT_EQ(run.standardOutput, c.output);
    if (c.errorPrefix == nullptr) {
      EXPECT_EQ(run.standardError, QByteArray());
    } else {
      EXPECT_TRUE(run.standardError.startsWith(c.errorPrefix)) << run.standardError.toStdString();
      EXPECT_EQ(run.standardError.count('\n'), 1) << "one line";
    }
  }
}

TEST(EntryPointSwitchesSlow, SelfTestsPassAndStartFromAFreshEventFile) {
  test::TempHome home;
  const QString eventFile = home.file("run/events.jsonl");
  const QString decisionFile = home.file("run/decision.json");
  ASSERT_TRUE(test::writeFile(eventFile, "{\"event_id\":\"left-over\"}\n"));
  ASSERT_TRUE(test::writeFile(decisionFile, "{\"left_over\":true}"));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("TANDREL_RUN_SELF_TESTS", "1");
  environment.insert("TANDREL_EVENT_FILE", eventFile);
  const test::BinaryRun run = test::runTandrel({}, {}, environment, 60000);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
  EXPECT_EQ(run.standardOutput, "Tandrel self tests passed\n");
  // Qt may warn about the test's runtime folder; no check failed.
  EXPECT_FALSE(run.standardError.contains("FAIL: ")) << run.standardError.toStdString();
  // The left-over record is gone: the event file holds what the run wrote last, the drawn island's
  // three fixture records (after the thirteen base events the earlier groups read).
  const std::vector<QJsonObject> events = test::readJsonLines(eventFile);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events.front().value("event_id"), QStringLiteral("fixture-approval"));
  EXPECT_EQ(events.back().value("event_id"), QStringLiteral("fixture-rate"));
  // The left-over decision went at the start; the run's own approval may have written a new one.
  QFile decision(decisionFile);
  if (decision.open(QIODevice::ReadOnly)) {
    EXPECT_FALSE(decision.readAll().contains("left_over"));
  }
}

// The run keeps everything it writes in the folder of its event file: the home it runs in (its
// data, settings, caches, pets, sounds and audits) is as empty afterwards as before.
TEST(EntryPointSwitchesSlow, SelfTestsLeaveNothingInTheUsersHome) {
  test::TempHome home;
  QTemporaryDir elsewhere;
  ASSERT_TRUE(elsewhere.isValid());
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"TANDREL_HOME", "CODEX_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                           "XDG_STATE_HOME"}) {
    environment.remove(QString::fromLatin1(name));
  }
  environment.insert("XDG_RUNTIME_DIR", elsewhere.filePath("runtime"));
  environment.insert("TANDREL_RUN_SELF_TESTS", "1");
  environment.insert("TANDREL_EVENT_FILE", elsewhere.filePath("run/events.jsonl"));
  const test::BinaryRun run = test::runTandrel({}, {}, environment, 60000);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
  QStringList left;
  QDirIterator entries(home.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
  while (entries.hasNext()) left << entries.next().mid(home.path().size());
  EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char('\n')).toStdString();
}

TEST(EntryPointSwitchesSlow, NormalStartWithoutADisplaySaysSoAndFails) {
  test::TempHome home;
  // No display at all, and a Wayland session without the X11 display the overlays need.
  const std::vector<std::pair<std::optional<QString>, const char*>> cases = {
      {std::nullopt, "no display"},
      {QStringLiteral("wayland-0"), "no X11 display"},
  };
  for (const auto& [wayland, message] : cases) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) {
      environment.remove(QString::fromLatin1(name));
    }
    if (wayland) {
      environment.insert("WAYLAND_DISPLAY", *wayland);
    }
    const test::BinaryRun run = test::runTandrel({}, {}, environment);
    ASSERT_TRUE(run.finished) << message;
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.toStdString();
    EXPECT_TRUE(run.standardError.contains(message)) << run.standardError.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.file(".tandrel/tandrel.sock")));
  }
}

// Sends one request on `path` and returns the reply line, or nothing when the server closed the
// connection without one.
std::optional<QByteArray> exchange(const QString& path, const QByteArray& frame) {
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(2000)) {
    return std::nullopt;
  }
  socket.write(frame);
  socket.waitForBytesWritten(2000);
  QByteArray received;
  QDeadlineTimer deadline(5000);
  while (!received.contains('\n') && !deadline.hasExpired()) {
    if (!socket.waitForReadyRead(100)) {
      if (socket.state() != QLocalSocket::ConnectedState) {
        break;
      }
      continue;
    }
    received += socket.readAll();
  }
  if (!received.contains('\n')) {
    return std::nullopt;
  }
  return received.left(received.indexOf('\n'));
}

TEST(EntryPointSwitchesSlow, SocketServerServesItsTestModeUntilStopped) {
  test::TempHome home;
  HookRequest request;
  request.requestID = QStringLiteral("q1");
  request.agent = QStringLiteral("codex");
  request.kind = QStringLiteral("permission_request");
  request.timeoutSeconds = 5;
  const QByteArray frame = SocketFrameCodec::encode(request);

  struct Case {
    std::optional<QString> mode;
    std::optional<QString> payload;  // none: no reply
  };
  const std::vector<Case> cases = {
      {std::nullopt, R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"allow"}})"},
      {QStringLiteral(" auto_approve\n"),
       R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"},
      {QStringLiteral("silent"), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode.value_or("(unset)").toStdString());
    const QString path = home.file("test.sock");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (c.mode) {
      environment.insert("TANDREL_SOCKET_TEST_MODE", *c.mode);
    }
    QProcess server;
    server.setProcessEnvironment(environment);
    server.start(test::tandrelBinary(), {"--test-socket-server", path});
    ASSERT_TRUE(server.waitForStarted());
    // Listening, not merely bound.
    QDeadlineTimer deadline(5000);
    bool listening = false;
    while (!listening && !deadline.hasExpired()) {
      QLocalSocket probe;
      probe.connectToServer(path);
      listening = probe.waitForConnected(100);
      if (!listening) {
        QThread::msleep(10);
      }
    }
    ASSERT_TRUE(listening);

    if (c.payload) {
      const std::optional<QByteArray> line = exchange(path, frame);
      ASSERT_TRUE(line.has_value());
      const Result<HookReply> reply = decodeHookReply(*line);
      ASSERT_TRUE(reply.ok()) << line->toStdString();
      EXPECT_EQ(reply.value().requestID, QStringLiteral("q1"));
      EXPECT_EQ(reply.value().decision, QStringLiteral("allow"));
      EXPECT_EQ(reply.value().mode, QStringLiteral("once"));
      EXPECT_EQ(reply.value().rawAgentPayload, *c.payload);
    }
    EXPECT_EQ(server.state(), QProcess::Running) << "serves until stopped";

    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    ASSERT_TRUE(server.waitForFinished(5000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(QFileInfo::exists(path)) << "the socket file goes with the server";
  }
}

}  // namespace
}  // namespace tandrel
