// The application from launch to termination, driven from outside: the built binary runs
// offscreen in a temporary home and the real Claude Code hook client talks to it.
#include "app/binary_runner.h"

#include "requests/hook_request.h"
#include "requests/socket_frame_codec.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QThread>

#include <csignal>
#include <vector>

namespace tandrel {
namespace {

const QByteArray kPreToolUseInput =
    R"({"hook_event_name":"PreToolUse","session_id":"s1","tool_name":"Bash","tool_input":{"command":"ls"}})";

template <typename Predicate>
bool eventually(Predicate done, int timeoutMs = 10000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QThread::msleep(10);
  }
  return true;
}

bool accepts(const QString& socketPath) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  return socket.waitForConnected(200);
}

class StartupSlow : public ::testing::Test {
 protected:
  StartupSlow() {
    home.setEnv("QT_QPA_PLATFORM", "offscreen");
    home.setEnv("TANDREL_TEST_MODE", std::nullopt);
    home.setEnv("CLAUDE_PID", std::nullopt);
    socketPath = home.file(".tandrel/tandrel.sock");
    auditPath = home.file(".tandrel/audit.jsonl");
  }

  ~StartupSlow() override {
    if (app.state() != QProcess::NotRunning) {
      app.kill();
      app.waitForFinished();
    }
  }

  void launch() {
    app.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    app.start(test::tandrelBinary(), {});
    ASSERT_TRUE(app.waitForStarted());
    ASSERT_TRUE(eventually([&] { return accepts(socketPath); })) << app.readAllStandardError().toStdString();
  }

  // The installed hook client; with `requestTimeoutSeconds` the copy asks the app for that
  // time-out instead of its own two minutes (and waits three seconds longer for the reply).
  QString hookClient(std::optional<int> requestTimeoutSeconds = std::nullopt) {
    QByteArray script = test::readFile(":/hooks/scripts/tandrel-hook-claude");
    if (requestTimeoutSeconds) {
      const QByteArray original = R"("timeout_seconds": REQUEST_TIMEOUT,)";
      EXPECT_EQ(script.count(original), 1);
      script.replace(original, R"("timeout_seconds": )" + QByteArray::number(*requestTimeoutSeconds) + ',');
    }
    const QString path = home.file("hook-" + QString::number(requestTimeoutSeconds.value_or(0)));
    EXPECT_TRUE(test::writeFile(path, script));
    return path;
  }

  void startHook(QProcess& hook, const QString& client) {
    hook.start("/usr/bin/python3", {client});
    ASSERT_TRUE(hook.waitForStarted());
    hook.write(kPreToolUseInput);
    ASSERT_TRUE(hook.waitForBytesWritten(5000));
    hook.closeWriteChannel();
  }

  test::TempHome home;
  QString socketPath;
  QString auditPath;
  QProcess app;
};

TEST_F(StartupSlow, RequestTimesOutAndIsAuditedThenTerminationAnswersTheWaitingHook) {
  launch();

  // A request that runs out of time: the app answers "timed_out" and the hook prints "{}".
  QProcess shortHook;
  QElapsedTimer elapsed;
  elapsed.start();
  startHook(shortHook, hookClient(1));
  ASSERT_TRUE(shortHook.waitForFinished(15000));
  EXPECT_GE(elapsed.elapsed(), 900) << "the hook waited for the app's time-out";
  // The client would give up only after 1 + 3 s: ending earlier means the app's answer reached it.
  EXPECT_LT(elapsed.elapsed(), 3500) << "the app's time-out reply was delivered";
  EXPECT_EQ(shortHook.exitCode(), 0);
  EXPECT_EQ(shortHook.readAllStandardOutput(), "{}\n");

  ASSERT_TRUE(eventually([&] { return test::readJsonLines(auditPath).size() == 2; }));
  std::vector<QJsonObject> lines = test::readJsonLines(auditPath);
  const QString requestID = lines[0].value("request_id").toString();
  EXPECT_FALSE(requestID.isEmpty());
  EXPECT_EQ(lines[0].value("role").toString(), "pending_request");
  EXPECT_EQ(lines[0].value("agent").toString(), "claude_code");
  EXPECT_EQ(lines[0].value("session_id").toString(), "s1");
  EXPECT_EQ(lines[0].value("tool").toString(), "Bash");
  EXPECT_EQ(lines[0].value("command").toString(), "ls");
  EXPECT_EQ(lines[1].value("role").toString(), "pending_reply");
  EXPECT_EQ(lines[1].value("request_id").toString(), requestID);
  EXPECT_EQ(lines[1].value("status").toString(), "timedOut");

  // A second launch hands over to the running one and ends.
  const test::BinaryRun second = test::runTandrel({});
  ASSERT_TRUE(second.finished);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_TRUE(accepts(socketPath)) << "the running instance keeps its socket";

  // A request of unknown kind: the connection closes without a reply, nothing is audited.
  {
    HookRequest request;
    request.requestID = "odd";
    request.agent = "claude_code";
    request.kind = "approval";
    request.timeoutSeconds = 30;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(SocketFrameCodec::encode(request));
    ASSERT_TRUE(socket.waitForBytesWritten(2000));
    EXPECT_TRUE(eventually(
        [&] {
          socket.waitForReadyRead(20);
          return socket.state() == QLocalSocket::UnconnectedState;
        },
        5000));
    EXPECT_EQ(socket.readAll(), QByteArray());
  }

  // A hook waiting for the user when the app is told to terminate: it sees its connection close,
  // prints "{}" and lets its agent carry on; the socket file goes with the app.
  QProcess waitingHook;
  startHook(waitingHook, hookClient());
  ASSERT_TRUE(eventually([&] { return test::readJsonLines(auditPath).size() == 3; }));
  EXPECT_EQ(test::readJsonLines(auditPath)[2].value("role").toString(), "pending_request");
  EXPECT_EQ(waitingHook.state(), QProcess::Running);

  ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
  ASSERT_TRUE(app.waitForFinished(10000));
  EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.exitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(socketPath));
  EXPECT_FALSE(QFileInfo::exists(home.file(".tandrel/instance.sock")));

  ASSERT_TRUE(waitingHook.waitForFinished(5000));
  EXPECT_EQ(waitingHook.exitCode(), 0);
  EXPECT_EQ(waitingHook.readAllStandardOutput(), "{}\n");

  const QByteArray log = app.readAllStandardError();
  EXPECT_TRUE(log.contains("[Tandrel] socket server listening at " + socketPath.toUtf8())) << log.toStdString();
  EXPECT_FALSE(log.contains("not delivered")) << log.toStdString();
}

TEST_F(StartupSlow, SocketApprovalSwitchedOffStartsNoServer) {
  ASSERT_TRUE(test::writeFile(home.file(".config/Tandrel/defaults.json"),
                              R"({"useSocketApprovalEnabled":{"type":"bool","value":false}})"));
  app.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
  app.start(test::tandrelBinary(), {});
  ASSERT_TRUE(app.waitForStarted());
  app.setReadChannel(QProcess::StandardError);
  QByteArray log;
  const QByteArray expected = "[Tandrel] socket-based approval disabled by user; skipping server start";
  EXPECT_TRUE(eventually([&] {
    app.waitForReadyRead(50);
    log += app.readAllStandardError();
    return log.contains(expected);
  })) << log.toStdString();
  EXPECT_FALSE(QFileInfo::exists(socketPath));
  ::kill(static_cast<pid_t>(app.processId()), SIGINT);
  ASSERT_TRUE(app.waitForFinished(10000));
  EXPECT_EQ(app.exitCode(), 0);
}

// A config.toml nested 130,000 arrays deep crashed the app at every start (the tool health check
// of the island read it recursively): the app starts and stays up with the file in place.
TEST_F(StartupSlow, ADeeplyNestedCodexConfigLeavesTheAppRunning) {
  const QByteArray deep = "x = " + QByteArray(130'000, '[') + QByteArray(130'000, ']') + "\n";
  ASSERT_TRUE(test::writeFile(home.file(".codex/config.toml"), deep));
  launch();
  QThread::msleep(1000);  // the start-up offer of hook repairs reads the health again
  EXPECT_EQ(app.state(), QProcess::Running) << app.readAllStandardError().toStdString();
  EXPECT_EQ(test::readFile(home.file(".codex/config.toml")), deep);
  ::kill(static_cast<pid_t>(app.processId()), SIGINT);
  ASSERT_TRUE(app.waitForFinished(10000));
  EXPECT_EQ(app.exitCode(), 0);
}

}  // namespace
}  // namespace tandrel
