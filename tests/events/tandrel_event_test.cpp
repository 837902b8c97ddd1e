#include "events/tandrel_event.h"

#include "support/temp_home.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

QJsonObject record(const char* json) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
  return document.object();
}

TandrelEvent parsed(const char* json) {
  auto event = TandrelEvent::fromDictionary(record(json));
  EXPECT_TRUE(event.has_value()) << json;
  return event.value_or(TandrelEvent{});
}

class TandrelEventTest : public ::testing::Test {
 protected:
  test::TempHome home_;
};

TEST_F(TandrelEventTest, OnlyATextEventIdIsRequired) {
  for (const char* json : {R"({})", R"({"source":"codex"})", R"({"event_id":42})", R"({"event_id":null})",
                           R"({"event_id":["a"]})"}) {
    EXPECT_FALSE(TandrelEvent::fromDictionary(record(json)).has_value()) << json;
  }
  // The identifier is kept as given; every other field of the wrong type takes its default.
  const TandrelEvent e = parsed(
      R"({"event_id":" a ","source":"  ","cwd":7,"title":{},"message":[],"status":false,"usage":"x",
          "options":"x","response":3,"jump_target":true,"action":"x","note_enabled":"maybe"})");
  EXPECT_EQ(e.id, " a ");
  EXPECT_EQ(e.source, "unknown");
  EXPECT_EQ(e.cwd, "7");  // a number converts to its text
  EXPECT_TRUE(e.hasExplicitCwd);
  EXPECT_EQ(e.title, "unknown event");
  EXPECT_EQ(e.message, "");
  EXPECT_EQ(e.status, "task_updated");
  EXPECT_FALSE(e.usage.has_value());
  EXPECT_TRUE(e.choiceOptions.isEmpty());
  EXPECT_EQ(e.responseChannel.kind(), ResponseChannel::Kind::none);
  EXPECT_FALSE(e.typedJumpTarget.has_value());
  EXPECT_FALSE(e.jumpTarget.has_value());
  EXPECT_EQ(e.risk, "");
  EXPECT_FALSE(e.decisionFile.has_value());
  EXPECT_FALSE(e.noteEnabled);
}

TEST_F(TandrelEventTest, DefaultsOfAMinimalRecord) {
  const TandrelEvent e = parsed(R"({"event_id":"e1"})");
  EXPECT_EQ(e.source, "unknown");
  EXPECT_EQ(e.sourceType, "cli_agent");
  EXPECT_EQ(e.cwd, home_.path());
  EXPECT_FALSE(e.hasExplicitCwd);
  EXPECT_EQ(e.project, QFileInfo(home_.path()).fileName());
  EXPECT_EQ(e.eventType, "task_updated");
  EXPECT_EQ(e.status, "task_updated");
  EXPECT_EQ(e.severity, "info");
  EXPECT_EQ(e.phase, "runningTool");
  EXPECT_EQ(e.notifyPolicy, "silent");
  EXPECT_EQ(e.rawTimestamp, "");
  EXPECT_EQ(e.timestamp, distantPast());
  EXPECT_EQ(e.notePlaceholder, "Add context");
  EXPECT_EQ(e.noteMaxLength, 500);
  EXPECT_EQ(e.selectionMode, MessageSelectionMode::single);
  EXPECT_EQ(e.sourceClass, SourceEventClass::officialPush);
  EXPECT_EQ(e.sourceCapabilities, QList<SourceCapability>{SourceCapability::messages});
  EXPECT_EQ(e.petPreviewStateID(), PetPreviewStateID::running);
}

TEST_F(TandrelEventTest, KeyPrecedenceTakesTheFirstKeyThatConverts) {
  struct Case {
    const char* json;
    std::optional<QString> TandrelEvent::*field;
    std::optional<QString> expected;
  };
  const Case cases[] = {
      {R"({"session_id":"s1","sessionId":"s2"})", &TandrelEvent::sessionId, "s1"},
      {R"({"session_id":" ","sessionId":"s2","conversation_id":"c"})", &TandrelEvent::sessionId, "s2"},
      {R"({"session_id":{},"thread_id":"t","thread-id":"u"})", &TandrelEvent::sessionId, "t"},
      {R"({"thread-id":"u"})", &TandrelEvent::sessionId, "u"},
      {R"({"turn":3,"nonce":"n"})", &TandrelEvent::turnId, "3"},
      {R"({"nonce":"n"})", &TandrelEvent::turnId, "n"},
      {R"({"pid":4242})", &TandrelEvent::pid, "4242"},
      {R"({"pid":"","processId":17})", &TandrelEvent::pid, "17"},
      {R"({"terminal_id":"tty1","terminalId":"x"})", &TandrelEvent::terminal, "tty1"},
      {R"({"transcriptPath":"/t.jsonl"})", &TandrelEvent::transcriptPath, "/t.jsonl"},
      {R"({"assistantMessage":"done","completion_snippet":"first"})", &TandrelEvent::completionSnippet, "first"},
      {R"({"hookEventName":"Stop"})", &TandrelEvent::rawEventName, "Stop"},
      {R"({"raw_event_name":"PreToolUse","hook_event_name":"Stop"})", &TandrelEvent::rawEventName, "PreToolUse"},
      {R"({"jump_target":{"kind":"url"},"jumpTarget":"/tmp/x"})", &TandrelEvent::jumpTarget, "/tmp/x"},
      {R"({"milestone":"  m1  "})", &TandrelEvent::milestone, "m1"},
      {R"({"milestone":true})", &TandrelEvent::milestone, std::nullopt},
  };
  for (const Case& c : cases) {
    QJsonObject object = record(c.json);
    object.insert(QStringLiteral("event_id"), QStringLiteral("k"));
    const auto e = TandrelEvent::fromDictionary(object);
    ASSERT_TRUE(e.has_value()) << c.json;
    EXPECT_EQ((*e).*(c.field), c.expected) << c.json;
  }
}

TEST_F(TandrelEventTest, ActionObjectAndDecisionKeys) {
  const TandrelEvent e = parsed(
      R"({"event_id":"a","action":{"risk":"High","kind":"shell","decision_file":"  ",
          "decisionFile":7,"decision_path":" /tmp/d.json ","decisionCommand":"answer --id 1"}})");
  EXPECT_EQ(e.risk, "High");
  EXPECT_EQ(e.actionKind, "shell");
  EXPECT_EQ(e.decisionFile, "/tmp/d.json");  // only strings count, trimmed
  EXPECT_EQ(e.decisionCommand, "answer --id 1");
  EXPECT_TRUE(e.sourceCapabilities.contains(SourceCapability::approval));
  // The channel never reads "decision_path", and the action object is not the channel object.
  EXPECT_EQ(e.responseChannel.kind(), ResponseChannel::Kind::none);

  const TandrelEvent numbers = parsed(R"({"event_id":"b","action":{"risk":3,"kind":null}})");
  EXPECT_EQ(numbers.risk, "");
  EXPECT_EQ(numbers.actionKind, "");
}

TEST_F(TandrelEventTest, TitleProjectAndPreviewDefaults) {
  const TandrelEvent e = parsed(
      R"({"event_id":"p","source":"claude_code","cwd":"/home/dev/tandrel/",
          "preview":{"prompt":"  from preview  "},"userMessage":"top level",
          "agentMessage":"line one\r\n\r\n  line two \u2028three"})");
  EXPECT_EQ(e.title, "Claude Code event");
  EXPECT_EQ(e.project, "tandrel");
  EXPECT_EQ(e.preview.user, "from preview");
  EXPECT_EQ(e.preview.agent, "line one line two three");

  const TandrelEvent fallback = parsed(
      R"({"event_id":"q","preview":"not an object","latestUserQuestion":"why?","assistant_response":"because"})");
  EXPECT_EQ(fallback.preview.user, "why?");
  EXPECT_EQ(fallback.preview.agent, "because");
}

TEST_F(TandrelEventTest, ShortPreviewCountsGraphemeClusters) {
  EXPECT_EQ(shortPreviewText(QString(300, QLatin1Char('a'))), QString(239, QLatin1Char('a')) + QChar(0x2026));
  EXPECT_EQ(shortPreviewText(QString(240, QLatin1Char('a'))), QString(240, QLatin1Char('a')));
  EXPECT_EQ(shortPreviewText(QStringLiteral("two\n\n   words ")), "two words");
  EXPECT_EQ(shortPreviewText(QStringLiteral("a\rb\vc\fd\u0085e\u2029f")), "a b c d e f");

  // 240 family emoji (7 UTF-16 units each) are 240 characters: no cut.
  const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
  EXPECT_EQ(shortPreviewText(family.repeated(240)), family.repeated(240));
  // 241 of them are cut to 239 whole clusters, never inside one.
  EXPECT_EQ(shortPreviewText(family.repeated(241)), family.repeated(239) + QChar(0x2026));
  // Combining marks stay with their letter; the cut text is trimmed before the ellipsis.
  const QString accented = QStringLiteral("e\u0301");
  EXPECT_EQ(shortPreviewText(accented.repeated(238) + QStringLiteral(" ") + QStringLiteral("x").repeated(5), 240),
            accented.repeated(238) + QChar(0x2026));
}

TEST_F(TandrelEventTest, TaskKeys) {
  struct Case {
    const char* json;
    const char* expected;
  };
  const Case cases[] = {
      {R"({"source":"codex","session_id":"S1","turn_id":"T 1"})", "codex cli|s1|t 1"},
      {R"({"source":"codex","session_id":"S1"})", "codex cli|s1"},
      {R"({"source":"codex","turn":"T2","pid":9})", "codex cli|t2"},
      {R"({"source":"codex","cwd":"/Repo/A - B","pid":9})", "codex cli|/repo/a b|9"},
      {R"({"source":"codex","cwd":"/w/App \u00B7 One","project":" My - Proj "})", "codex cli|/w/app one|my proj"},
      {R"({"source":"codex","task_key":"Given Key","session_id":"s"})", "Given Key"},
      {R"({"source":"codex","taskKey":"camel"})", "camel"},
      {R"({"source":"codex","session_id":"Ab-C - D-"})", "codex cli|ab-c d-"},
      {R"({"source":"codex","session_id":"\u0130X"})", "codex cli|i\u0307x"},
  };
  for (const Case& c : cases) {
    QJsonObject object = record(c.json);
    object.insert(QStringLiteral("event_id"), QStringLiteral("t"));
    const auto e = TandrelEvent::fromDictionary(object);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->taskKey, QString::fromUtf8(c.expected)) << c.json;
  }
}

TEST_F(TandrelEventTest, ChoiceOptionsKeepOrderAndNonAsciiLabels) {
  const TandrelEvent e = parsed(
      R"({"event_id":"c","options":[
            {"id":"a","label":"方案 A","description":"快速","risk":"high"},
            {"id":"b","label":"Plan B","detail":"d","risk":"HIGH","disabledReason":"busy"},
            {"id":"c"},
            {"label":"no id"},
            {"id":3,"label":"three","disabled_reason":"  "}]})");
  ASSERT_EQ(e.choiceOptions.size(), 3);
  EXPECT_EQ(e.choiceOptions[0],
            (MessageOption{QStringLiteral("a"), QStringLiteral("方案 A"), QStringLiteral("快速"), MessageRisk::high,
                           std::nullopt}));
  EXPECT_EQ(e.choiceOptions[1],
            (MessageOption{QStringLiteral("b"), QStringLiteral("Plan B"), QStringLiteral("d"), std::nullopt,
                           QStringLiteral("busy")}));
  EXPECT_EQ(e.choiceOptions[2].id, "3");
  EXPECT_FALSE(e.choiceOptions[2].disabledReason.has_value());
  EXPECT_TRUE(e.noteEnabled);  // options and no note keys

  // Only an array made wholly of objects counts.
  EXPECT_TRUE(parsed(R"({"event_id":"d","options":[{"id":"a","label":"A"},"b"]})").choiceOptions.isEmpty());
}

TEST_F(TandrelEventTest, NoteSettingsPreferTheResponseObject) {
  struct Case {
    const char* json;
    bool enabled;
    const char* placeholder;
    qint64 maxLength;
  };
  const Case cases[] = {
      {R"({})", false, "Add context", 500},
      {R"({"options":[{"id":"a","label":"A"}]})", true, "Add context", 500},
      {R"({"note_enabled":"YeS","note_max_length":"+80"})", true, "Add context", 80},
      {R"({"note_enabled":"sure","note_max_length":"8a"})", false, "Add context", 500},
      {R"({"note_enabled":0,"note_max_length":12.9,"note_placeholder":" Why? "})", false, "Why?", 12},
      {R"({"response":{"note_enabled":true,"note_placeholder":"inner"},"note_enabled":false,
           "note_placeholder":"outer","note_max_length":"-3"})",
       true, "inner", -3},
      {R"({"response":{"note_enabled":"nah"},"note_enabled":"off","note_max_length":"99999999999999999999"})", false,
       "Add context", 500},
      {R"({"note_max_length":1e300})", false, "Add context", 500},
  };
  for (const Case& c : cases) {
    QJsonObject object = record(c.json);
    object.insert(QStringLiteral("event_id"), QStringLiteral("n"));
    const auto e = TandrelEvent::fromDictionary(object);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->noteEnabled, c.enabled) << c.json;
    EXPECT_EQ(e->notePlaceholder, QString::fromUtf8(c.placeholder)) << c.json;
    EXPECT_EQ(e->noteMaxLength, c.maxLength) << c.json;
  }
}

TEST_F(TandrelEventTest, SelectionModeIsMultipleOnlyForThatWord) {
  EXPECT_EQ(parsed(R"({"event_id":"s","selection_mode":"multiple"})").selectionMode, MessageSelectionMode::multiple);
  EXPECT_EQ(parsed(R"({"event_id":"s","selection_mode":"Multiple"})").selectionMode, MessageSelectionMode::single);
  EXPECT_EQ(parsed(R"({"event_id":"s","selectionMode":"multiple"})").selectionMode, MessageSelectionMode::single);
}

TEST_F(TandrelEventTest, ChannelCapabilitiesAndSourceClass) {
  const TandrelEvent e = parsed(
      R"({"event_id":"r","event_type":"waiting_input","source_type":"wrapper","cwd":"/w","usage":{"percent":5},
          "response":{"response_file":"/tmp/answer.json"},"options":[{"id":"a","label":"A"}]})");
  EXPECT_EQ(e.responseChannel, ResponseChannel::responseFile(QStringLiteral("/tmp/answer.json")));
  EXPECT_EQ(e.sourceCapabilities,
            (QList<SourceCapability>{SourceCapability::messages, SourceCapability::usage, SourceCapability::choice,
                                     SourceCapability::input, SourceCapability::jump}));
  EXPECT_EQ(e.sourceClass, SourceEventClass::wrapperExplicit);

  struct ClassCase {
    const char* source;
    const char* sourceType;
    SourceEventClass expected;
  };
  const ClassCase classes[] = {
      {"codex", "stable_local_loader", SourceEventClass::stableLocalLoader},
      {"codex", "Remote_Agent", SourceEventClass::remoteOptIn},
      {"codex", "webhook", SourceEventClass::remoteOptIn},
      {"codex_app", "cli_agent", SourceEventClass::jumpOnly},
      {"codex", "desktop_app_wrapper", SourceEventClass::jumpOnly},
      {"codex", "WRAPPER", SourceEventClass::wrapperExplicit},
      {"claude", "cli_agent", SourceEventClass::officialPush},
  };
  for (const ClassCase& c : classes) {
    QJsonObject object{{QStringLiteral("event_id"), QStringLiteral("x")},
                       {QStringLiteral("source"), QString::fromUtf8(c.source)},
                       {QStringLiteral("source_type"), QString::fromUtf8(c.sourceType)}};
    EXPECT_EQ(TandrelEvent::fromDictionary(object)->sourceClass, c.expected) << c.source << " " << c.sourceType;
  }
}

TEST_F(TandrelEventTest, PhaseAndNotifyPolicyFollowTheEventType) {
  struct Case {
    const char* json;
    const char* phase;
    const char* policy;
    PetPreviewStateID pet;
  };
  const Case cases[] = {
      {R"({"event_type":"task_started"})", "started", "silent", PetPreviewStateID::running},
      {R"({"event_type":"thinking"})", "thinking", "silent", PetPreviewStateID::idle},
      {R"({"event_type":"working","status":"running_tool"})", "runningTool", "silent", PetPreviewStateID::running},
      {R"({"event_type":"permission_request"})", "waitingHuman", "immediate", PetPreviewStateID::approval},
      {R"({"event_type":"waiting_input"})", "waitingHuman", "immediate", PetPreviewStateID::waitingInput},
      {R"({"event_type":"plan_ready"})", "waitingHuman", "immediate", PetPreviewStateID::review},
      {R"({"event_type":"task_completed"})", "completed", "milestone", PetPreviewStateID::review},
      {R"({"event_type":"task_failed"})", "failed", "silent", PetPreviewStateID::error},
      {R"({"event_type":"cancelled"})", "cancelled", "silent", PetPreviewStateID::idle},
      {R"({"event_type":"note","status":"completed"})", "completed", "milestone", PetPreviewStateID::review},
      {R"({"event_type":"note","status":"waiting_on_user_x"})", "waitingonuserx", "silent", PetPreviewStateID::idle},
      {R"({"event_type":"task_updated","status":"usage_limited"})", "runningTool", "silent",
       PetPreviewStateID::rateLimit},
      {R"({"event_type":"rate_limited","severity":"critical"})", "ratelimited", "silent", PetPreviewStateID::error},
      {R"({"event_type":"task_updated","status":"failed"})", "runningTool", "silent", PetPreviewStateID::error},
      {R"({"event_type":"task_completed","phase":"Done","notifyPolicy":"usage_only"})", "Done", "usage_only",
       PetPreviewStateID::review},
  };
  for (const Case& c : cases) {
    QJsonObject object = record(c.json);
    object.insert(QStringLiteral("event_id"), QStringLiteral("ph"));
    const auto e = TandrelEvent::fromDictionary(object);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->phase, QString::fromUtf8(c.phase)) << c.json;
    EXPECT_EQ(e->notifyPolicy, QString::fromUtf8(c.policy)) << c.json;
    EXPECT_EQ(e->petPreviewStateID(), c.pet) << c.json;
  }
}

TEST_F(TandrelEventTest, TimestampAndUsage) {
  const TandrelEvent e = parsed(
      R"({"event_id":"u","source":"codex","timestamp":" 2026-05-09T12:56:00.250Z ",
          "usage":{"five_hour_percent":75,"weekly_percent":18}})");
  EXPECT_EQ(e.rawTimestamp, "2026-05-09T12:56:00.250Z");
  EXPECT_EQ(e.timestamp, QDateTime(QDate(2026, 5, 9), QTime(12, 56, 0, 250), Qt::UTC));
  ASSERT_TRUE(e.usage.has_value());
  EXPECT_EQ(e.usage->tool, "Codex CLI");
  EXPECT_EQ(e.usage->source, "codex");
  EXPECT_EQ(e.usage->observedAt, "2026-05-09T12:56:00.250Z");
  EXPECT_EQ(e.usage->label, QStringLiteral("5h 75% \u00B7 7d 18%"));

  EXPECT_EQ(parsed(R"({"event_id":"v","timestamp":"2026-05-09"})").timestamp, distantPast());
  EXPECT_FALSE(parsed(R"({"event_id":"w","usage":{"note":"nothing to show"}})").usage.has_value());
}

TEST_F(TandrelEventTest, RelativeTime) {
  const QDateTime now(QDate(2026, 5, 9), QTime(12, 0), Qt::UTC);
  struct Case {
    qint64 secondsAgo;
    const char* expected;
  };
  const Case cases[] = {{0, "0s ago"},      {59, "59s ago"},     {60, "1m ago"},       {90, "1m ago"},
                        {3'599, "59m ago"}, {3'600, "1h ago"},   {86'399, "23h ago"},  {86'400, "1d ago"},
                        {-30, "0s ago"},    {400'000, "4d ago"}};
  for (const Case& c : cases) {
    EXPECT_EQ(relativeTime(QString(), now.addSecs(-c.secondsAgo), now), c.expected) << c.secondsAgo;
  }
  EXPECT_EQ(relativeTime(QStringLiteral("2026-05-09T11:58:30Z"), std::nullopt, now), "1m ago");
  EXPECT_EQ(relativeTime(QStringLiteral("yesterday"), std::nullopt, now), "now");
  EXPECT_EQ(relativeTime(QString(), distantPast(), now), "now");
}

TEST_F(TandrelEventTest, BridgeLines) {
  EXPECT_EQ(TandrelEvent::fromBridgeLine(R"({"event_id":"l1","title":"T"})" "\r\n")->title, "T");
  for (const QByteArray& line : {QByteArray(""), QByteArray("[]"), QByteArray("\"event_id\""),
                                QByteArray(R"({"event_id":"x")"), QByteArray("\xff\xfe{}")}) {
    EXPECT_FALSE(TandrelEvent::fromBridgeLine(line).has_value()) << line.toStdString();
  }
}

TEST_F(TandrelEventTest, NumbersBeyondADoubleCostOnlyTheirOwnValue) {
  // Qt's JSON parser refuses the whole line for such numbers; the record still counts, and the
  // numbers give no value.
  const auto e = TandrelEvent::fromBridgeLine(
      R"({"event_id":"big","title":"1e400 NaN \" Infinity","usage":{"five_hour_percent":1e400,)"
      R"("weekly_percent":-1E+999,"daily_percent":NaN,"cost_usd":Infinity,"context_percent":-Infinity,)"
      R"("input_tokens":1e-400,"output_tokens":12}})");
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->title, R"(1e400 NaN " Infinity)");
  ASSERT_TRUE(e->usage.has_value());
  EXPECT_FALSE(e->usage->fiveHour || e->usage->weekly || e->usage->daily || e->usage->cost || e->usage->context);
  ASSERT_TRUE(e->usage->tokens.has_value());
  EXPECT_EQ(e->usage->tokens->label, "12 total");
  EXPECT_EQ(e->usage->tokens->suffix, QStringLiteral("0 in \u00B7 12 out"));
}

}  // namespace
}  // namespace tandrel
