#include "requests/audit_writer.h"

#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "requests/pending_action_store.h"
#include "support/descriptors_exhausted.h"
#include "support/temp_home.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tandrel {
namespace {

using namespace std::chrono_literals;

QList<QByteArray> linesOf(const QString& path) {
  QList<QByteArray> lines = test::readFile(path).split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) {
    lines.removeLast();
  }
  return lines;
}

class AuditWriterTest : public ::testing::Test {
 protected:
  PendingAction action(const QString& id) const {
    PendingAction a;
    a.requestID = id;
    a.agent = QStringLiteral("claude_code");
    a.sessionID = QStringLiteral("s-1");
    a.agentPID = 1;
    a.kind = PendingActionKind::permissionRequest;
    a.createdAt = clock.now();
    a.timeoutSeconds = 120;
    a.payload.tool = QStringLiteral("Bash");
    a.payload.command = QStringLiteral("rm -rf build/");
    a.payload.cwd = QStringLiteral("/home/u/project");
    return a;
  }

  test::TempHome home;
  // 2026-05-20T09:30:00Z
  FakeClock clock{QDateTime::fromSecsSinceEpoch(1779269400, Qt::UTC)};
  QString file = home.file(QStringLiteral("logs/deeper/audit.jsonl"));
  AuditWriter writer{clock, file};
};

TEST_F(AuditWriterTest, RequestAndReplyLinesCreateAPrivateLog) {
  PendingAction a = action(QStringLiteral("r-1"));
  a.payload.cwd.reset();  // absent fields are written as ""
  writer.recordRequest(a);
  clock.advance(1900ms);
  a.status = PendingActionStatus::timedOut;
  writer.recordReply(a);
  a.status = PendingActionStatus::answered;
  HookReply reply;
  reply.requestID = a.requestID;
  reply.decision = QStringLiteral("allow");
  reply.mode = QStringLiteral("always");
  writer.recordReply(a, reply);

  EXPECT_EQ(linesOf(file),
            (QList<QByteArray>{
                R"({"agent":"claude_code","command":"rm -rf build\/","cwd":"","kind":"permission_request","request_id":"r-1","role":"pending_request","session_id":"s-1","timestamp":"2026-05-20T09:30:00Z","tool":"Bash"})",
                R"({"latency_ms":1900,"request_id":"r-1","role":"pending_reply","status":"timedOut","timestamp":"2026-05-20T09:30:01Z"})",
                R"({"decision":"allow","latency_ms":1900,"mode":"always","request_id":"r-1","role":"pending_reply","status":"answered","timestamp":"2026-05-20T09:30:01Z"})",
            }));
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U);
}

TEST_F(AuditWriterTest, NoLineIsLostWithoutDescriptorsAndAReplacedLogIsFollowed) {
  writer.recordRequest(action(QStringLiteral("a")));
  {
    test::DescriptorsExhausted exhausted;
    writer.recordReply(action(QStringLiteral("a")));
    writer.recordRequest(action(QStringLiteral("b")));
  }
  ASSERT_EQ(linesOf(file).size(), 3);

  // Rotated away: the next line starts a new private file at the path.
  ASSERT_TRUE(QFile::rename(file, file + QStringLiteral(".1")));
  writer.recordReply(action(QStringLiteral("b")));
  EXPECT_EQ(linesOf(file + QStringLiteral(".1")).size(), 3);
  ASSERT_EQ(linesOf(file).size(), 1);
  EXPECT_TRUE(linesOf(file)[0].contains(R"("request_id":"b")"));
  EXPECT_EQ(QFileInfo(file).permissions() & 0x0077, 0);

  // Replaced by another file of the same name: followed too.
  ASSERT_TRUE(QFile::remove(file));
  ASSERT_TRUE(test::writeFile(file, "{}\n"));
  writer.recordRequest(action(QStringLiteral("c")));
  EXPECT_EQ(linesOf(file).size(), 2);
}

TEST_F(AuditWriterTest, TheStoreObserverRecordsEveryEndingInOrder) {
  FakeProcessExitWatchers watchers;
  PendingActionStore store(clock, watchers.factory());
  store.addObserver([this](const PendingAction& a) { writer.record(a); });

  PendingAction first = action(QStringLiteral("old"));
  std::function<void()> closed;
  store.insert(first, PendingReplySink{[](const HookReply&) {},
                                       [&](std::function<void()> callback) { closed = std::move(callback); }});
  clock.advance(250ms);
  PendingAction second = action(QStringLiteral("new"));
  second.createdAt = clock.now();
  store.insert(second, PendingReplySink{[](const HookReply&) {},
                                        [&](std::function<void()> callback) { closed = std::move(callback); }});
  clock.advance(500ms);
  closed();  // the newer request's agent hung up

  QStringList summary;
  for (const QByteArray& line : linesOf(file)) {
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    summary << o.value(QStringLiteral("role")).toString() + QLatin1Char(' ') +
                   o.value(QStringLiteral("request_id")).toString() + QLatin1Char(' ') +
                   o.value(QStringLiteral("status")).toString() +
                   QString::number(o.value(QStringLiteral("latency_ms")).toInteger(-1));
  }
  EXPECT_EQ(summary, (QStringList{"pending_request old -1", "pending_reply old superseded250",
                                  "pending_request new -1", "pending_reply new hookDropped500"}));
}

TEST_F(AuditWriterTest, ReconcileMarksEveryRequestOnceAndSkipsBrokenLines) {
  ASSERT_TRUE(test::writeFile(
      file,
      "{\"role\":\"pending_request\",\"request_id\":\"answered\",\"kind\":\"waiting_input\",\"agent\":\"codex\"}\n"
      "not json at all\n"
      "{\"role\":\"pending_request\",\"kind\":\"permission_request\"}\n"
      "\n"
      "[1,2]\n"
      "{\"role\":\"pending_request\",\"request_id\":\"lost\",\"kind\":7}\n"
      "{\"role\":\"pending_reply\",\"request_id\":\"answered\",\"status\":\"answered\"}\n"
      "{\"role\":\"pending_request\",\"request_id\":\"done-before\",\"kind\":\"k\",\"agent\":\"a\"}\n"
      "{\"role\":\"pending_reconcile\",\"request_id\":\"done-before\"}\n"
      "{\"role\":\"other\",\"request_id\":\"x\"}\n"));
  const qsizetype before = linesOf(file).size();

  clock.advance(60s);
  writer.reconcileOnLaunch();
  const QList<QByteArray> lines = linesOf(file);
  ASSERT_EQ(lines.size(), before + 2);
  EXPECT_EQ(lines[before],
            R"({"original_agent":"codex","original_kind":"waiting_input","request_id":"answered","role":"pending_reconcile","status":"applied_after_crash","timestamp":"2026-05-20T09:31:00Z"})");
  // "kind" copied as found (a number here); no "agent" gives "".
  EXPECT_EQ(lines[before + 1],
            R"({"original_agent":"","original_kind":7,"request_id":"lost","role":"pending_reconcile","status":"dropped_on_restart","timestamp":"2026-05-20T09:31:00Z"})");

  writer.reconcileOnLaunch();
  EXPECT_EQ(linesOf(file).size(), before + 2) << "a second reconciliation adds nothing";
}

// Past its rotation size the log is moved aside before the next line; the launch reconcile still
// finds a request whose reply never came when its request line is in the moved part, and a
// second reconcile adds nothing. The next rotation replaces the older moved part.
TEST_F(AuditWriterTest, TheLogRotatesAndReconcileReadsTheMovedPart) {
  const QString measure = home.file(QStringLiteral("measure.jsonl"));
  AuditWriter(clock, measure).recordRequest(action(QStringLiteral("kept")));
  const qint64 requestBytes = QFileInfo(measure).size();
  AuditWriter rotating(clock, file, 2 * requestBytes);
  const QString moved = rotating.rotatedAuditFile();

  rotating.recordRequest(action(QStringLiteral("lost")));
  rotating.recordRequest(action(QStringLiteral("kept")));
  EXPECT_FALSE(QFileInfo::exists(moved));
  clock.advance(2s);
  rotating.recordReply(action(QStringLiteral("kept")));
  ASSERT_EQ(linesOf(moved).size(), 2);
  EXPECT_TRUE(linesOf(moved)[0].contains("\"request_id\":\"lost\""));
  ASSERT_EQ(linesOf(file).size(), 1);
  EXPECT_TRUE(linesOf(file)[0].contains("\"role\":\"pending_reply\""));
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  rotating.reconcileOnLaunch();
  QList<QByteArray> lines = linesOf(file);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[1].contains("\"request_id\":\"lost\"") && lines[1].contains("dropped_on_restart")) << lines[1].data();
  EXPECT_TRUE(lines[2].contains("\"request_id\":\"kept\"") && lines[2].contains("applied_after_crash")) << lines[2].data();
  rotating.reconcileOnLaunch();
  EXPECT_EQ(linesOf(file).size(), 3) << "a second reconciliation adds nothing";

  // The log is past the size again: the next line moves it over the older part.
  const QList<QByteArray> before = linesOf(file);
  rotating.recordRequest(action(QStringLiteral("next")));
  EXPECT_EQ(linesOf(moved), before);
  ASSERT_EQ(linesOf(file).size(), 1);
  EXPECT_TRUE(linesOf(file)[0].contains("\"request_id\":\"next\""));
}

TEST_F(AuditWriterTest, FailuresAreSilentAndCreateNothing) {
  // A missing log: reconciliation writes nothing and creates nothing.
  writer.reconcileOnLaunch();
  EXPECT_FALSE(QFileInfo::exists(file));
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(file).absolutePath()));

  // A folder that cannot be made (its parent is a file, which even root cannot write into).
  ASSERT_TRUE(test::writeFile(home.file(QStringLiteral("blocker")), "x"));
  AuditWriter blocked(clock, home.file(QStringLiteral("blocker/audit.jsonl")));
  blocked.recordRequest(action(QStringLiteral("r")));
  blocked.recordReply(action(QStringLiteral("r")));
  blocked.reconcileOnLaunch();
  EXPECT_EQ(test::readFile(home.file(QStringLiteral("blocker"))), QByteArray("x"));
}

TEST_F(AuditWriterTest, TheDefaultLogLivesUnderHomeWhateverTandrelHomeSays) {
  home.setEnv("TANDREL_HOME", home.file(QStringLiteral("elsewhere")).toUtf8());
  EXPECT_EQ(AuditWriter::defaultAuditFile(), home.path() + QStringLiteral("/.tandrel/audit.jsonl"));
}

}  // namespace
}  // namespace tandrel
