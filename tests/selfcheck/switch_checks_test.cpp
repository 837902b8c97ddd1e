// The self-check switches as a harness drives them: the built binary in a temporary home.
#include "app/binary_runner.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

namespace tandrel {
namespace {

TEST(SwitchChecksSlow, PetStateAndPendingScenarios) {
  test::TempHome home;
  struct Case {
    QStringList arguments;
    int status;
    QByteArray output;
    QByteArray error;
  };
  const std::vector<Case> cases = {
      {{"--test-pet-state", "has_pending"}, 0, "approval", ""},
      {{"--test-pet-state", "anything"}, 0, "idle", ""},
      {{"--test-pet-state"}, 0, "idle", ""},
      {{"--test-pending", "insert_complete"},
       0,
       R"({"afterCompleteStatus":"answered","firstStatus":"awaitingUser","secondCompleteAccepted":false})",
       ""},
      {{"--test-pending", "coalesce"}, 0, R"({"currentStatus":"awaitingUser","priorStatus":"superseded"})", ""},
      {{"--test-pending", "timeout"}, 0, R"({"afterStatus":"timedOut","beforeStatus":"awaitingUser"})", ""},
      {{"--test-pending", "agent_died"}, 0, R"({"afterStatus":"agentDied","beforeStatus":"awaitingUser"})", ""},
      {{"--test-pending", "Coalesce"}, 2, "", "unknown scenario\n"},
      {{"--test-pending"}, 2, "", "unknown scenario\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const test::BinaryRun run = test::runTandrel(c.arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.status);
    EXPECT_EQ(run.standardOutput, c.output);
    EXPECT_EQ(run.standardError, c.error);
  }
}

TEST(SwitchChecksSlow, AuditEmitThenReconcile) {
  test::TempHome home;
  const QString file = home.file("logs/audit.jsonl");
  // The request is dated 50 ms back and its timestamp keeps whole seconds: up to 1.05 s early.
  const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);

  // Listed after another switch, the audit switch still wins, and its file is the last argument.
  const test::BinaryRun emit = test::runTandrel({"--test-pending", "coalesce", "--test-audit-emit", file});
  ASSERT_TRUE(emit.finished);
  EXPECT_EQ(emit.exitCode, 0);
  EXPECT_EQ(emit.standardOutput, QByteArray());
  std::vector<QJsonObject> lines = test::readJsonLines(file);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].value("role").toString(), "pending_request");
  EXPECT_EQ(lines[0].value("request_id").toString(), "r-emit");
  EXPECT_EQ(lines[0].value("agent").toString(), "claude_code");
  EXPECT_EQ(lines[0].value("session_id").toString(), "s");
  EXPECT_EQ(lines[0].value("kind").toString(), "permission_request");
  EXPECT_EQ(lines[0].value("tool").toString(), "Bash");
  EXPECT_EQ(lines[0].value("command").toString(), "ls");
  EXPECT_EQ(lines[0].value("cwd").toString(), "/tmp");
  EXPECT_GE(QDateTime::fromString(lines[0].value("timestamp").toString(), Qt::ISODate), before);
  EXPECT_EQ(lines[1].value("role").toString(), "pending_reply");
  EXPECT_EQ(lines[1].value("request_id").toString(), "r-emit");
  EXPECT_EQ(lines[1].value("status").toString(), "answered");
  EXPECT_EQ(lines[1].value("decision").toString(), "allow");
  EXPECT_EQ(lines[1].value("mode").toString(), "once");
  EXPECT_GE(lines[1].value("latency_ms").toInteger(), 50);

  // The request already has its reply: reconciled once as applied, then never again.
  for (int run = 0; run < 2; ++run) {
    const test::BinaryRun reconcile = test::runTandrel({"--test-audit-reconcile", file});
    ASSERT_TRUE(reconcile.finished);
    EXPECT_EQ(reconcile.exitCode, 0);
  }
  lines = test::readJsonLines(file);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].value("role").toString(), "pending_reconcile");
  EXPECT_EQ(lines[2].value("request_id").toString(), "r-emit");
  EXPECT_EQ(lines[2].value("status").toString(), "applied_after_crash");

  // Reconciling a file that does not exist creates nothing.
  const test::BinaryRun missing = test::runTandrel({"--test-audit-reconcile", home.file("none.jsonl")});
  EXPECT_EQ(missing.exitCode, 0);
  EXPECT_FALSE(QFileInfo::exists(home.file("none.jsonl")));
}

}  // namespace
}  // namespace tandrel
