#include "requests/message_action_dispatcher.h"

#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimeZone>

namespace tandrel {
namespace {

using test::readFile;
using test::TempHome;

const QDateTime kNow(QDate(2026, 5, 11), QTime(13, 0, 0, 400), Qt::UTC);

// Delivers and waits for the completion (commands complete from the event loop).
MessageActionResult deliver(MessageActionDispatcher& dispatcher, const ResponseChannel& channel,
                            ResponseReceiptAction action = ResponseReceiptAction::approve,
                            const std::optional<MessageOption>& option = std::nullopt,
                            const std::optional<QString>& note = std::nullopt,
                            const QString& workingFolder = QString()) {
  std::optional<MessageActionResult> result;
  dispatcher.submit(QStringLiteral("evt/1"), action, channel, option, note, kNow, workingFolder,
                    [&result](MessageActionResult delivered) { result = std::move(delivered); });
  EXPECT_TRUE(test::waitUntil([&] { return result.has_value(); }, 10000));
  return result.value_or(MessageActionResult{});
}

TEST(MessageActionDispatcherTest, PayloadIsCompactSortedJsonWithEscapedSlashes) {
  const MessageOption option{QStringLiteral("opt-1"), QStringLiteral("Run it"), {}, {}, {}};
  struct Case {
    ResponseReceiptAction action;
    std::optional<MessageOption> option;
    std::optional<QString> note;
    const char* expected;
  };
  const Case cases[] = {
      {ResponseReceiptAction::approve, {}, {},
       R"({"action":"approve","decision":"allow","event_id":"evt\/1","timestamp":"2026-05-11T13:00:00Z"})"},
      {ResponseReceiptAction::reject, {}, {},
       R"({"action":"reject","decision":"deny","event_id":"evt\/1","timestamp":"2026-05-11T13:00:00Z"})"},
      {ResponseReceiptAction::chooseOption, option, QStringLiteral(" it's\n ok "),
       R"({"action":"choose_option","event_id":"evt\/1","note":" it's\n ok ","option_id":"opt-1","option_label":"Run it","timestamp":"2026-05-11T13:00:00Z"})"},
      // A note of white space and line breaks only is left out.
      {ResponseReceiptAction::chooseOption, option, QStringLiteral("  \n\t"),
       R"({"action":"choose_option","event_id":"evt\/1","option_id":"opt-1","option_label":"Run it","timestamp":"2026-05-11T13:00:00Z"})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessageActionDispatcher::payloadData(QStringLiteral("evt/1"), c.action, c.option, c.note, kNow),
              QByteArray(c.expected));
  }
}

TEST(MessageActionDispatcherTest, FileChannelsReplaceTheFileAtomicallyAndRecordASubmittedReceipt) {
  TempHome home;
  ResponseReceiptStore receipts;
  MessageActionDispatcher dispatcher(receipts, false);
  const QString decision = home.file(QStringLiteral("deep/er/decision.json"));
  const QString response = home.file(QStringLiteral("response.json"));
  ASSERT_TRUE(test::writeFile(response, R"({"waiting": "an earlier, longer answer that must go entirely"})"));

  EXPECT_EQ(deliver(dispatcher, ResponseChannel::decisionFile(decision)), (MessageActionResult{true, {}, {}}));
  EXPECT_EQ(readFile(decision),
            R"({"action":"approve","decision":"allow","event_id":"evt\/1","timestamp":"2026-05-11T13:00:00Z"})");

  const MessageOption option{QStringLiteral("a"), QStringLiteral("A"), {}, {}, {}};
  EXPECT_EQ(deliver(dispatcher, ResponseChannel::responseFile(response), ResponseReceiptAction::chooseOption, option),
            (MessageActionResult{true, QStringLiteral("Response sent"), {}}));
  EXPECT_EQ(readFile(response),
            R"({"action":"choose_option","event_id":"evt\/1","option_id":"a","option_label":"A","timestamp":"2026-05-11T13:00:00Z"})");
  EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1")),
            (ResponseReceipt{QStringLiteral("evt/1"), ResponseReceiptAction::chooseOption,
                             ResponseReceiptStatus::submitted, QStringLiteral("2026-05-11T13:00:00Z"), {}, {}}));
  // No temporary file is left beside the answers.
  EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), QStringList{QStringLiteral("response.json")});
}

TEST(MessageActionDispatcherTest, ALinkOrSomethingOtherThanARegularFileIsNeverWritten) {
  TempHome home;
  ResponseReceiptStore receipts;
  MessageActionDispatcher dispatcher(receipts, false);
  const QString victim = home.file(QStringLiteral("victim"));
  ASSERT_TRUE(test::writeFile(victim, "keep me"));
  const QString link = home.file(QStringLiteral("link.json"));
  ASSERT_TRUE(QFile::link(victim, link));
  const QString folder = home.file(QStringLiteral("folder.json"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString blocked = home.file(QStringLiteral("victim/decision.json"));  // a file is in the way

  for (const QString& path : {link, folder, blocked}) {
    SCOPED_TRACE(path.toStdString());
    const MessageActionResult result = deliver(dispatcher, ResponseChannel::decisionFile(path));
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(result.error.value_or(QString()).isEmpty());
    EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1"))->status, ResponseReceiptStatus::failed);
    EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1"))->error, result.error);
  }
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(readFile(victim), "keep me");
  EXPECT_TRUE(QFileInfo(folder).isDir());
}

// An event names its answer file, so an event must not be able to make the app write over the
// user's own files: only the temporary folder, ~/.tandrel and the event's working folder take an
// answer, never through a symbolic link, and never over a file that holds anything but one JSON
// object (what a waiting agent leaves).
TEST(MessageActionDispatcherTest, AnswersAreWrittenOnlyWhereAnAgentWaitsForThem) {
  TempHome home;
  const QString temporary = home.file(QStringLiteral("tmp"));
  const QString project = home.file(QStringLiteral("project"));
  const QString elsewhere = home.file(QStringLiteral("elsewhere"));
  for (const QString& folder : {temporary, project, elsewhere, home.file(QStringLiteral(".tandrel"))}) {
    ASSERT_TRUE(QDir().mkpath(folder));
  }
  home.setEnv("TMPDIR", temporary.toUtf8());
  ASSERT_TRUE(test::writeFile(elsewhere + QStringLiteral("/.bashrc"), "export PATH=/usr/bin\n"));
  ASSERT_TRUE(test::writeFile(project + QStringLiteral("/notes.txt"), "my notes\n"));
  ASSERT_TRUE(test::writeFile(project + QStringLiteral("/list.json"), "[1, 2]"));
  ASSERT_TRUE(test::writeFile(project + QStringLiteral("/waiting.json"), R"( {"status": "waiting"} )"));
  ASSERT_TRUE(test::writeFile(project + QStringLiteral("/empty.json"), ""));
  ASSERT_TRUE(QFile::link(elsewhere, project + QStringLiteral("/out")));
  ASSERT_TRUE(QFile::link(elsewhere, temporary + QStringLiteral("/out")));

  struct Case {
    const char* name;
    QString path;
    const char* refusal;  // nullptr: written
  };
  const Case cases[] = {
      {"outside the answer folders", elsewhere + QStringLiteral("/.bashrc"), "it is outside the temporary folder"},
      {"out of the working folder by ..", project + QStringLiteral("/../elsewhere/new.json"),
       "it is outside the temporary folder"},
      {"a relative path", QStringLiteral("decision.json"), "it is not an absolute path"},
      {"through a linked folder in the working folder", project + QStringLiteral("/out/new.json"),
       "out on its way is a symbolic link or not a folder"},
      {"through a linked folder in the temporary folder", temporary + QStringLiteral("/out/deep/new.json"),
       "out on its way is a symbolic link or not a folder"},
      {"a text file", project + QStringLiteral("/notes.txt"), "it holds something other than an answer"},
      {"a JSON list", project + QStringLiteral("/list.json"), "it holds something other than an answer"},
      {"a new file in the working folder", project + QStringLiteral("/.agent/decision.json"), nullptr},
      {"a waiting agent's file", project + QStringLiteral("/waiting.json"), nullptr},
      {"an empty file", project + QStringLiteral("/empty.json"), nullptr},
      {"the temporary folder", temporary + QStringLiteral("/agent-1/answer.json"), nullptr},
      {"~/.tandrel", home.file(QStringLiteral(".tandrel/answers/a.json")), nullptr},
  };
  ResponseReceiptStore receipts;
  MessageActionDispatcher dispatcher(receipts, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray before = readFile(c.path);
    const MessageActionResult result =
        deliver(dispatcher, ResponseChannel::responseFile(c.path), ResponseReceiptAction::approve, std::nullopt,
                std::nullopt, project);
    EXPECT_EQ(result.succeeded, c.refusal == nullptr);
    EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1"))->status,
              c.refusal ? ResponseReceiptStatus::failed : ResponseReceiptStatus::submitted);
    if (c.refusal) {
      EXPECT_TRUE(result.error.value_or(QString()).contains(QString::fromUtf8(c.refusal))) << result.error->toStdString();
      EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1"))->error, result.error);
      EXPECT_EQ(readFile(c.path), before);
    } else {
      EXPECT_TRUE(readFile(c.path).startsWith(R"({"action":"approve")"));
    }
  }
  EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral(".bashrc")});
  // Without the event's working folder, an answer there is refused too.
  EXPECT_FALSE(deliver(dispatcher, ResponseChannel::responseFile(project + QStringLiteral("/waiting.json"))).succeeded);
}

TEST(MessageActionDispatcherTest, RefusedChannelsFailWithTheirTextAndAFailedReceipt) {
  TempHome home;
  const QString witness = home.file(QStringLiteral("ran"));
  const QString command = QStringLiteral("touch ") + witness;
  struct Case {
    ResponseChannel channel;
    const char* error;
  };
  const Case cases[] = {
      {ResponseChannel::decisionCommand(command), "Command response channels require a trusted adapter."},
      {ResponseChannel::responseCommand(command), "Command response channels require a trusted adapter."},
      {ResponseChannel::localSocket(QStringLiteral("/tmp/s"), QStringLiteral("line_json")),
       "This response channel is declared but not implemented in this build."},
      {ResponseChannel::appServer(QStringLiteral("http://127.0.0.1:1"), QStringLiteral("/r")),
       "This response channel is declared but not implemented in this build."},
      {ResponseChannel::none(), "No response channel is available."},
  };
  ResponseReceiptStore receipts;
  MessageActionDispatcher dispatcher(receipts, false);  // as the application makes it
  for (const Case& c : cases) {
    const MessageActionResult result = deliver(dispatcher, c.channel, ResponseReceiptAction::reject);
    EXPECT_EQ(result, (MessageActionResult{false, {}, QString::fromUtf8(c.error)}));
    EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1")),
              (ResponseReceipt{QStringLiteral("evt/1"), ResponseReceiptAction::reject, ResponseReceiptStatus::failed,
                               QStringLiteral("2026-05-11T13:00:00Z"), {}, QString::fromUtf8(c.error)}));
  }
  EXPECT_FALSE(QFile::exists(witness));
}

TEST(MessageActionDispatcherTest, TrustedCommandsGetThePayloadAsOneWordAndReportStatusAndTimeOut) {
  TempHome home;
  const QString out = home.file(QStringLiteral("out"));
  ResponseReceiptStore receipts;
  MessageActionDispatcher dispatcher(receipts, true, 10.0);
  const MessageOption option{QStringLiteral("o"), QStringLiteral("it's \"$HOME\" `x`"), {}, {}, {}};

  // The payload arrives unchanged as the one argument after the command.
  const QString record = QStringLiteral("sh -c 'printf \"%s|%s\" \"$#\" \"$1\" > ") + out + QStringLiteral("' sh");
  EXPECT_TRUE(deliver(dispatcher, ResponseChannel::responseCommand(record), ResponseReceiptAction::chooseOption, option)
                  .succeeded);
  EXPECT_EQ(readFile(out), "1|" + MessageActionDispatcher::payloadData(QStringLiteral("evt/1"),
                                                                        ResponseReceiptAction::chooseOption, option,
                                                                        std::nullopt, kNow));
  EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1"))->status, ResponseReceiptStatus::submitted);

  EXPECT_EQ(deliver(dispatcher, ResponseChannel::decisionCommand(QStringLiteral("exit 3 ;"))).error,
            QStringLiteral("Response command exited with status 3"));
  EXPECT_EQ(receipts.latestReceipt(QStringLiteral("evt/1"))->status, ResponseReceiptStatus::failed);

  MessageActionDispatcher impatient(receipts, true, 0.3);
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_EQ(deliver(impatient, ResponseChannel::decisionCommand(QStringLiteral("sleep 20 ;"))).error,
            QStringLiteral("Response command timed out after 0.3 seconds"));
  EXPECT_LT(elapsed.elapsed(), 5000);

  ResponseReceiptStore others;
  MessageActionDispatcher immediate(others, true, 0);
  EXPECT_EQ(deliver(immediate, ResponseChannel::decisionCommand(QStringLiteral("touch ") + out + QStringLiteral("-0")))
                .error,
            QStringLiteral("Response command timed out before execution"));
  EXPECT_FALSE(QFile::exists(out + QStringLiteral("-0")));
}

}  // namespace
}  // namespace tandrel
