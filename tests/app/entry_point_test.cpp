#include "app/entry_point.h"

#include "notifications/text_input_panel.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>
#include <utility>
#include <vector>

namespace tandrel {
namespace {

QProcessEnvironment environmentOf(const std::vector<std::pair<QString, QString>>& values) {
  QProcessEnvironment environment;
  for (const auto& [name, value] : values) {
    environment.insert(name, value);
  }
  return environment;
}

TEST(EntryPointTest, TestEnvironmentFlag) {
  struct Case {
    std::vector<std::pair<QString, QString>> environment;
    bool expected;
  };
  const std::vector<Case> cases = {
      {{}, false},
      {{{"TANDREL_TEST_MODE", "1"}}, true},
      {{{"TANDREL_TEST_MODE", "true"}}, false},
      {{{"TANDREL_RUN_SELF_TESTS", "1"}}, true},
      {{{"TANDREL_RENDER_FIXTURES", ""}}, true},  // present, even empty
      {{{"TANDREL_RENDER_FIXTURES", "/tmp/out"}}, true},
      {{{"TANDREL_RENDER_LIVE_DATA", "1"}, {"TANDREL_TEST_MODE", "1"}}, false},
      {{{"TANDREL_RENDER_LIVE_DATA", "1"}, {"TANDREL_RENDER_FIXTURES", "/tmp/out"}}, false},
      {{{"TANDREL_RENDER_LIVE_DATA", "0"}, {"TANDREL_TEST_MODE", "1"}}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(computeTestEnvironment(environmentOf(c.environment)), c.expected)
        << environmentOf(c.environment).toStringList().join(' ').toStdString();
  }
}

TEST(EntryPointTest, ModeSelectionPrecedenceAndArguments) {
  using Kind = StartMode::Kind;
  // Self-tests before fixtures before switches.
  EXPECT_EQ(selectStartMode({"--test-countdown", "3"},
                            environmentOf({{"TANDREL_RUN_SELF_TESTS", "1"}, {"TANDREL_RENDER_FIXTURES", "/x"}}))
                .kind,
            Kind::selfTests);
  const StartMode fixtures = selectStartMode({"--test-countdown", "3"}, environmentOf({{"TANDREL_RENDER_FIXTURES", ""}}));
  EXPECT_EQ(fixtures.kind, Kind::fixtures);
  EXPECT_EQ(fixtures.fixturesDirectory, QString());
  EXPECT_EQ(selectStartMode({}, environmentOf({{"TANDREL_RUN_SELF_TESTS", "yes"}})).kind, Kind::normal);
  EXPECT_EQ(selectStartMode({"--verbose", "--test-unknown"}, {}).kind, Kind::normal);

  struct Case {
    QStringList arguments;
    TestSwitch expected;
    QString last;
    std::optional<QString> next;
  };
  const std::vector<Case> cases = {
      // The first switch in the fixed order wins, wherever it stands.
      {{"--test-pending", "coalesce", "--test-audit-emit", "/tmp/a.jsonl"}, TestSwitch::auditEmit, "/tmp/a.jsonl",
       "/tmp/a.jsonl"},
      {{"--test-marshal", "--test-socket-server", "/tmp/s.sock"}, TestSwitch::socketServer, "/tmp/s.sock", "/tmp/s.sock"},
      {{"--test-countdown", "5", "--test-countdown", "9"}, TestSwitch::countdown, "9", "5"},
      {{"x", "--test-countdown"}, TestSwitch::countdown, "--test-countdown", std::nullopt},
      {{"--test-pet-state"}, TestSwitch::petState, "--test-pet-state", std::nullopt},
      {{"--test-pending", "timeout"}, TestSwitch::pending, "timeout", "timeout"},
  };
  for (const Case& c : cases) {
    const StartMode mode = selectStartMode(c.arguments, {});
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    EXPECT_EQ(mode.kind, Kind::testSwitch);
    EXPECT_EQ(mode.testSwitch, c.expected);
    EXPECT_EQ(mode.lastArgument, c.last);
    EXPECT_EQ(mode.nextArgument, c.next);
  }
}

TEST(EntryPointTest, CountdownSwitch) {
  const std::vector<std::pair<QString, QByteArray>> cases = {
      {"42", "42s"}, {"+7", "7s"}, {"-5", "0s"}, {"0", "0s"},  {"abc", "0s"},
      {" 5", "0s"},  {"5s", "0s"}, {"", "0s"},   {"99999999999999999999", "0s"},
  };
  for (const auto& [argument, label] : cases) {
    const SwitchOutcome outcome = countdownSwitch(argument);
    EXPECT_EQ(outcome.status, 0) << argument.toStdString();
    EXPECT_EQ(outcome.standardOutput, label) << argument.toStdString();
  }
  const SwitchOutcome missing = countdownSwitch(std::nullopt);
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(missing.standardOutput.isEmpty());
  EXPECT_FALSE(missing.standardError.isEmpty());
}

TEST(EntryPointTest, CardLayoutSwitch) {
  const std::vector<std::pair<QByteArray, QByteArray>> good = {
      {R"({"kind":"permission_request","agentCanAlways":false})", R"(["deny","approve","jump"])"},
      {R"({"kind":"permission_request","agentCanAlways":true})", R"(["deny","always","approve","jump"])"},
      {R"({"agentCanAlways":true,"kind":"waiting_choice"})", R"(["choice","jump"])"},
      {R"({"kind":"waiting_input","agentCanAlways":false})", R"(["open_input","jump"])"},
  };
  for (const auto& [input, output] : good) {
    const SwitchOutcome outcome = cardLayoutSwitch(input);
    EXPECT_EQ(outcome.status, 0) << input.toStdString();
    EXPECT_EQ(outcome.standardOutput, output);
  }
  for (const QByteArray& input : {QByteArray(""), QByteArray("[]"), QByteArray("{not json"),
                                 QByteArray(R"({"kind":"permission_request"})"),
                                 QByteArray(R"({"kind":"approve","agentCanAlways":true})"),
                                 QByteArray(R"({"kind":"waiting_input","agentCanAlways":"yes"})")}) {
    const SwitchOutcome outcome = cardLayoutSwitch(input);
    EXPECT_EQ(outcome.status, 2) << input.toStdString();
    EXPECT_TRUE(outcome.standardOutput.isEmpty());
    EXPECT_TRUE(outcome.standardError.endsWith('\n'));
  }
}

TEST(EntryPointTest, FrameRoundtripSwitch) {
  const QByteArray request =
      R"({"v":1,"type":"hook.request","request_id":"r/1","agent":"codex","session_id":"s","agent_pid":42,)"
      R"("kind":"waiting_input","timeout_seconds":30,"payload":{"prompt":"a\nb","options":null}})";
  const QByteArray encoded =
      R"({"agent":"codex","agent_pid":42,"kind":"waiting_input","payload":{"prompt":"a\nb"},"request_id":"r\/1",)"
      R"("session_id":"s","timeout_seconds":30,"type":"hook.request","v":1})"
      "\n";
  // With and without its final line feed.
  EXPECT_EQ(frameRoundtripSwitch(request).standardOutput, encoded);
  EXPECT_EQ(frameRoundtripSwitch(request + '\n').standardOutput, encoded);

  for (const QByteArray& input : {QByteArray("{}"), QByteArray("not json\n"), QByteArray(300000, 'x')}) {
    const SwitchOutcome outcome = frameRoundtripSwitch(input);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_TRUE(outcome.standardOutput.isEmpty());
    EXPECT_TRUE(outcome.standardError.startsWith("frame decode failed: ")) << outcome.standardError.toStdString();
  }
}

TEST(EntryPointTest, MarshalSwitch) {
  const std::vector<std::pair<QByteArray, QByteArray>> good = {
      {R"({"agent":"claude_code","kind":"permission_request","decision":{"verb":"allow","mode":"once"}})",
       R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"allow"}})"},
      {R"({"agent":"codex","kind":"permission_request","decision":{"verb":"deny","mode":"always","text":null}})",
       R"({"hookSpecificOutput":{"decision":{"behavior":"deny","message":"Denied in Tandrel"},)"
       R"("hookEventName":"PermissionRequest"}})"},
      {R"({"agent":"claude_code","kind":"waiting_input","decision":{"verb":"input","mode":"once","text":"a/\"b\""}})",
       R"({"hookSpecificOutput":{"additionalContext":"a\/\"b\"","hookEventName":"UserPromptSubmit"}})"},
      {R"({"agent":"claude_code","kind":"waiting_choice",)"
       R"("decision":{"verb":"choice","mode":"once","extras":{"option_id":"b"}}})",
       R"({"hookSpecificOutput":{"hookEventName":"UserPromptSubmit","optionId":"b"}})"},
      // The hook event name reaches the Stop and PermissionRequest shapes.
      {R"({"agent":"claude_code","kind":"waiting_input",)"
       R"("decision":{"verb":"input","mode":"once","text":"go on","extras":{"hook_event_name":"Stop"}}})",
       R"({"hookSpecificOutput":{"additionalContext":"go on","hookEventName":"Stop"}})"},
      {R"({"agent":"claude_code","kind":"permission_request",)"
       R"("decision":{"verb":"allow","mode":"once","extras":{"hook_event_name":"PermissionRequest"}}})",
       R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"},
      {R"({"agent":"cursor","kind":"permission_request","decision":{"verb":"allow","mode":"once"}})", "{}"},
  };
  for (const auto& [input, output] : good) {
    const SwitchOutcome outcome = marshalSwitch(input);
    EXPECT_EQ(outcome.status, 0) << input.toStdString();
    EXPECT_EQ(outcome.standardOutput, output) << input.toStdString();
  }
  for (const QByteArray& input : {
           QByteArray(""),
           QByteArray(R"({"agent":"codex","kind":"permission_request"})"),
           QByteArray(R"({"agent":"codex","kind":"maybe","decision":{"verb":"allow","mode":"once"}})"),
           QByteArray(R"({"agent":"codex","kind":"permission_request","decision":{"verb":"yes","mode":"once"}})"),
           QByteArray(R"({"agent":"codex","kind":"permission_request","decision":{"verb":"allow"}})"),
           QByteArray(R"({"agent":7,"kind":"permission_request","decision":{"verb":"allow","mode":"once"}})"),
           QByteArray(R"({"agent":"codex","kind":"waiting_input","decision":{"verb":"input","mode":"once","text":5}})"),
           QByteArray(R"({"agent":"codex","kind":"waiting_choice",)"
                      R"("decision":{"verb":"choice","mode":"once","extras":{"option_id":1}}})"),
       }) {
    const SwitchOutcome outcome = marshalSwitch(input);
    EXPECT_EQ(outcome.status, 2) << input.toStdString();
    EXPECT_TRUE(outcome.standardOutput.isEmpty());
    EXPECT_EQ(outcome.standardError, "bad input\n");
  }
}

TEST(EntryPointTest, TruncateInputSwitchCountsBytesAndReplacesInvalidUtf8) {
  const auto report = [](const QByteArray& input) {
    return QJsonDocument::fromJson(truncateInputSwitch(input).standardOutput).object();
  };
  EXPECT_EQ(truncateInputSwitch("h\xc3\xa9llo").standardOutput, R"({"length":6,"truncated":false})");
  // An invalid byte becomes U+FFFD, three bytes long.
  EXPECT_EQ(report("\xff").value("length").toInt(), 3);
  const QJsonObject cut = report(QByteArray(TextInputPanel::kMaxInputBytes + 10, 'a'));
  EXPECT_EQ(cut.value("length").toInt(), TextInputPanel::kMaxInputBytes);
  EXPECT_TRUE(cut.value("truncated").toBool());
}

}  // namespace
}  // namespace tandrel
