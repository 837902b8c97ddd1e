#include "requests/response_channel.h"

#include "events/tandrel_event.h"
#include "support/temp_home.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

QJsonObject object(const char* json) { return QJsonDocument::fromJson(QByteArray(json)).object(); }

TEST(ResponseChannelTest, FirstMatchingRuleWins) {
  struct Case {
    const char* json;
    ResponseChannel expected;
  };
  const Case cases[] = {
      {R"({"decision_file":"/d","response_command":"cmd","responseFile":"/r"})", ResponseChannel::responseFile("/r")},
      {R"({"decisionCommand":"decide","response_command":" "})", ResponseChannel::decisionCommand("decide")},
      {R"({"decision_command":"decide","decisionFile":"/d"})", ResponseChannel::decisionFile("/d")},
      {R"({"responseCommand":"answer"})", ResponseChannel::responseCommand("answer")},
      {R"({"socket_path":"/tmp/agent.sock"})", ResponseChannel::localSocket("/tmp/agent.sock", "line_json")},
      {R"({"socketPath":"/s","protocol":"jsonrpc","base_url":"http://x"})", ResponseChannel::localSocket("/s", "jsonrpc")},
      {R"({"baseURL":"http://127.0.0.1:9","endpoint":"/answer"})",
       ResponseChannel::appServer("http://127.0.0.1:9", "/answer")},
      {R"({"base_url":"http://127.0.0.1:9"})", ResponseChannel::none()},
      {R"({"decision_path":"/d"})", ResponseChannel::none()},
      {R"({"response_file":{},"decision_file":[]})", ResponseChannel::none()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResponseChannel::fromBridgeObject(object(c.json)), c.expected) << c.json;
  }
}

TEST(ResponseChannelTest, EventReadsTheResponseObjectOrElseTheRecord) {
  test::TempHome home;
  const auto nested = TandrelEvent::fromBridgeLine(
      R"({"event_id":"1","response":{"socket_path":"/s"},"response_file":"/ignored"})");
  ASSERT_TRUE(nested.has_value());
  EXPECT_EQ(nested->responseChannel, ResponseChannel::localSocket("/s", "line_json"));

  const auto topLevel = TandrelEvent::fromBridgeLine(R"({"event_id":"2","response":"x","decision_file":"/d"})");
  ASSERT_TRUE(topLevel.has_value());
  EXPECT_EQ(topLevel->responseChannel, ResponseChannel::decisionFile("/d"));
  EXPECT_EQ(topLevel->responseChannel.as<ResponseChannel::DecisionFile>()->path, "/d");
  EXPECT_EQ(topLevel->responseChannel.as<ResponseChannel::ResponseFile>(), nullptr);
}

TEST(ResponseChannelTest, ReceiptsReportedThroughTheBridge) {
  struct Case {
    const char* json;
    std::optional<ResponseReceipt> expected;
  };
  const Case cases[] = {
      {R"({"event_id":"r1","event_type":"response_receipt","target_event_id":"e9","action":"choose_option",)"
       R"("receipt_status":"applied","status":"failed","received_at":"2026-05-09T12:00:00Z","error":"late"})",
       ResponseReceipt{"e9", ResponseReceiptAction::chooseOption, ResponseReceiptStatus::applied,
                       "2026-05-09T12:00:00Z", "r1", "late"}},
      {R"({"event_id":"r2","type":"response_receipt","receipt":{"responseEventID":"e8","action":"approve",)"
       R"("status":"timed_out"},"timestamp":"2026-05-09T13:00:00Z"})",
       ResponseReceipt{"e8", ResponseReceiptAction::approve, ResponseReceiptStatus::timedOut, "2026-05-09T13:00:00Z",
                       "r2", std::nullopt}},
      // Without another target the receipt's own id is the target.
      {R"({"event_id":"r3","event_type":"response_receipt","action":"ignore","status":"accepted"})",
       ResponseReceipt{"r3", ResponseReceiptAction::ignore, ResponseReceiptStatus::accepted, std::nullopt, "r3",
                       std::nullopt}},
      {R"({"event_id":"r4","event_type":"response_receipt","target_event_id":"e","action":"approve_all",)"
       R"("status":"submitted"})",
       std::nullopt},
      {R"({"event_id":"r5","event_type":"response_receipt","target_event_id":"e","action":"reject"})", std::nullopt},
      {R"({"event_id":"r6","event_type":"task_updated","type":"response_receipt","target_event_id":"e",)"
       R"("action":"reject","status":"failed"})",
       std::nullopt},
  };
  test::TempHome home;
  for (const Case& c : cases) {
    const auto event = TandrelEvent::fromBridgeLine(c.json);
    ASSERT_TRUE(event.has_value()) << c.json;
    EXPECT_EQ(event->responseReceipt, c.expected) << c.json;
  }
}

TEST(ResponseChannelTest, ReceiptWordsAreExact) {
  EXPECT_EQ(rawValue(ResponseReceiptAction::chooseOption), "choose_option");
  EXPECT_EQ(rawValue(ResponseReceiptAction::sendInput), "send_input");
  EXPECT_EQ(rawValue(ResponseReceiptStatus::timedOut), "timed_out");
  EXPECT_EQ(parseResponseReceiptStatus(u"timedOut"), std::nullopt);
  EXPECT_EQ(parseResponseReceiptAction(u"Approve"), std::nullopt);
}

}  // namespace
}  // namespace tandrel
