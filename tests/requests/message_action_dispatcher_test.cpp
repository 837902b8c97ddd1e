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
                            const std::optional<QString>& note = std::nullopt) {
  std::optional<MessageActionResult> result;
  dispatcher.submit(QStringLiteral("evt/1"), action, channel, option, note, kNow,
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
  ASSERT_TRUE(test::writeFile(response, "an earlier, longer answer that must go entirely"));

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
