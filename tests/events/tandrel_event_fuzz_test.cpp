// Random and broken bridge records: parsing must never crash, hang or trip the sanitizers, a
// record with a text "event_id" must always give an event, whatever else it holds, and the direct
// reader of bridge lines must give exactly the event the QJsonDocument path gives.
#include "events/tandrel_event.h"

#include "events/bridge_line_reader.h"

#include "support/temp_home.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <variant>

namespace tandrel {
namespace {

const char* const kKeys[] = {
    "source", "source_type", "cwd", "project", "event_type", "type", "status", "severity", "title", "message",
    "session_id", "sessionId", "turn", "pid", "task_key", "timestamp", "preview", "prompt", "agent_message",
    "completion_snippet", "tool_name", "terminal", "transcript_path", "jump_target", "jumpTarget", "jump", "kind",
    "action", "risk", "decision_file", "decision_command", "options", "id", "label", "selection_mode", "response",
    "response_file", "socket_path", "base_url", "endpoint", "note_enabled", "note_max_length", "note_placeholder",
    "phase", "notify_policy", "hook_event_name", "receipt", "target_event_id", "receipt_status", "usage",
    "percent", "five_hour_percent", "fiveHourRemainingPercent", "context_remaining_percent", "context_used",
    "context_total", "context_label", "input_tokens", "output_tokens", "total_tokens", "reasoning_tokens",
    "cost", "cost_usd", "currency", "cost_estimate", "label", "rate_limit_reset", "blocked", "warning",
    "weekly_reset", "observed_at", "data_source", "tool_id", "line", "args", "command", "url", "path", "window_id",
};

const char* const kWords[] = {
    "", " ", "\n", "permission_request", "waiting_input", "task_completed", "response_receipt", "approve",
    "choose_option", "failed", "timed_out", "multiple", "iterm2", "terminal", "cli", "cmux", "url", "file", "app",
    "high", "inf", "-inf", "nan", "1e400", "1e-400", "+80", "-0", "35%", "$1,234.5", "0x10", "٣", "方案 A",
    "e\u0301\u0301\u0301", "\U0001F468\u200D\U0001F469", "2026-05-09T12:56:00Z", "2026-13-40T99:99:99Z",
    "resets 2026-05-09T12:56:00.123456789+05:30", "Usage limit reached", "unknown", "/tmp/x", "codex", "claude_code",
};

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  QJsonValue value(int depth) {
    switch (below(depth > 2 ? 7 : 9)) {
      case 0: return QJsonValue();
      case 1: return below(2) == 0;
      case 2: return word();
      case 3: return word().repeated(1 + below(300));
      case 4: return static_cast<qint64>(random_()) * (below(2) ? 1 : -1);
      case 5: {
        const double specials[] = {0.0, -0.0, 0.35, 1.0, 99.5, 1e300, -1e300, 9.3e18, 4.9e-324,
                                   std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()};
        return specials[below(static_cast<int>(std::size(specials)))];
      }
      case 6: return std::ldexp(static_cast<double>(random_()), below(2000) - 1000);
      case 7: return object(depth + 1);
      default: {
        QJsonArray array;
        for (int i = below(6); i > 0; --i) {
          array.append(value(depth + 1));
        }
        return array;
      }
    }
  }

  QJsonObject object(int depth) {
    QJsonObject result;
    for (int i = below(12); i > 0; --i) {
      result.insert(QLatin1String(kKeys[below(static_cast<int>(std::size(kKeys)))]), value(depth));
    }
    return result;
  }

  QString word() { return QString::fromUtf8(kWords[below(static_cast<int>(std::size(kWords)))]); }

  QByteArray bytes(int length) {
    QByteArray result(length, '\0');
    for (char& c : result) {
      c = static_cast<char>(below(256));
    }
    return result;
  }

 private:
  std::mt19937 random_;
};

QString shown(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }
QString shown(const std::optional<QString>& text) { return text ? shown(*text) : QStringLiteral("-"); }
QString shown(std::optional<double> number) { return number ? QString::number(*number, 'g', 17) : QStringLiteral("-"); }
QString shown(std::optional<qint64> number) { return number ? QString::number(*number) : QStringLiteral("-"); }

QString shown(const std::optional<UsageMetric>& metric) {
  if (!metric) {
    return QStringLiteral("-");
  }
  return QStringLiteral("{%1 %2 %3 %4}")
      .arg(shown(metric->label), shown(metric->suffix), shown(metric->percent), shown(metric->status));
}

QString shown(const std::optional<JumpTarget>& target) {
  if (!target) {
    return QStringLiteral("-");
  }
  return std::visit(
      [](const auto& v) -> QString {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, JumpTarget::App>) {
          return QStringLiteral("app %1 %2 %3").arg(shown(v.bundleID), shown(v.appPath), shown(v.deepLink));
        } else if constexpr (std::is_same_v<T, JumpTarget::Cli>) {
          return QStringLiteral("cli %1 [%2] %3").arg(shown(v.command), v.args.join(QLatin1Char('|')), shown(v.cwd));
        } else if constexpr (std::is_same_v<T, JumpTarget::Cmux>) {
          return QStringLiteral("cmux %1 %2 %3").arg(shown(v.sessionID), shown(v.windowID), shown(v.cwd));
        } else if constexpr (std::is_same_v<T, JumpTarget::TerminalWindow>) {
          return QStringLiteral("terminalWindow %1 %2 %3 %4 %5")
              .arg(shown(v.terminal), shown(v.windowID), shown(v.tabID), shown(v.sessionID), shown(v.cwd));
        } else if constexpr (std::is_same_v<T, JumpTarget::TerminalCwd>) {
          return QStringLiteral("terminalCwd %1 %2").arg(shown(v.cwd), shown(v.terminal));
        } else if constexpr (std::is_same_v<T, JumpTarget::Url>) {
          return QStringLiteral("url %1").arg(shown(v.url));
        } else {
          return QStringLiteral("file %1 %2").arg(shown(v.path), shown(v.line));
        }
      },
      target->value());
}

QString shown(const ResponseChannel& channel) {
  return std::visit(
      [](const auto& v) -> QString {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, ResponseChannel::DecisionFile> || std::is_same_v<T, ResponseChannel::ResponseFile>) {
          return QStringLiteral("file %1").arg(shown(v.path));
        } else if constexpr (std::is_same_v<T, ResponseChannel::DecisionCommand> ||
                             std::is_same_v<T, ResponseChannel::ResponseCommand>) {
          return QStringLiteral("command %1").arg(shown(v.command));
        } else if constexpr (std::is_same_v<T, ResponseChannel::LocalSocket>) {
          return QStringLiteral("socket %1 %2").arg(shown(v.path), shown(v.protocolName));
        } else if constexpr (std::is_same_v<T, ResponseChannel::AppServer>) {
          return QStringLiteral("server %1 %2").arg(shown(v.baseURL), shown(v.endpoint));
        } else {
          return QStringLiteral("none");
        }
      },
      channel.value());
}

// Every field of an event as "name=value" lines, so that two events can be compared field by field.
QStringList describe(const TandrelEvent& e) {
  QStringList out;
  const auto add = [&out](const char* name, const QString& value) { out.append(QLatin1String(name) + u'=' + value); };
  add("id", shown(e.id));
  add("source", shown(e.source));
  add("sourceType", shown(e.sourceType));
  add("project", shown(e.project));
  add("cwd", shown(e.cwd));
  add("hasExplicitCwd", QString::number(e.hasExplicitCwd));
  add("eventType", shown(e.eventType));
  add("severity", shown(e.severity));
  add("title", shown(e.title));
  add("message", shown(e.message));
  add("completionSnippet", shown(e.completionSnippet));
  add("preview.user", shown(e.preview.user));
  add("preview.agent", shown(e.preview.agent));
  add("toolName", shown(e.toolName));
  add("status", shown(e.status));
  add("risk", shown(e.risk));
  add("actionKind", shown(e.actionKind));
  add("decisionFile", shown(e.decisionFile));
  add("decisionCommand", shown(e.decisionCommand));
  add("timestamp", e.timestamp.toString(Qt::ISODateWithMs) + QString::number(e.timestamp.timeSpec()));
  add("rawTimestamp", shown(e.rawTimestamp));
  if (e.usage) {
    const UsageSnapshot& u = *e.usage;
    add("usage", QStringLiteral("%1 %2 %3 %4 %5 q%6 c%7").arg(shown(u.tool), shown(u.toolID), shown(u.source),
                                                              shown(u.dataSource), shown(u.observedAt))
                     .arg(static_cast<int>(u.quality))
                     .arg(static_cast<int>(u.sourceClass)));
    add("usage.context", shown(u.context));
    add("usage.tokens", shown(u.tokens));
    add("usage.cost", shown(u.cost));
    add("usage.fiveHour", shown(u.fiveHour));
    add("usage.daily", shown(u.daily));
    add("usage.weekly", shown(u.weekly));
    add("usage.rateLimit", shown(u.rateLimit));
    add("usage.label", shown(u.label) + u' ' + shown(u.percent) + u' ' + shown(u.updated));
  } else {
    add("usage", QStringLiteral("-"));
  }
  add("sessionId", shown(e.sessionId));
  add("turnId", shown(e.turnId));
  add("taskKey", shown(e.taskKey));
  add("phase", shown(e.phase));
  add("milestone", shown(e.milestone));
  add("notifyPolicy", shown(e.notifyPolicy));
  add("rawEventName", shown(e.rawEventName));
  add("pid", shown(e.pid));
  add("terminal", shown(e.terminal));
  add("transcriptPath", shown(e.transcriptPath));
  add("jumpTarget", shown(e.jumpTarget));
  add("typedJumpTarget", shown(e.typedJumpTarget));
  if (e.responseReceipt) {
    const ResponseReceipt& r = *e.responseReceipt;
    add("responseReceipt", QStringLiteral("%1 %2 %3 %4 %5 %6")
                               .arg(shown(r.eventID), rawValue(r.action), rawValue(r.status), shown(r.receivedAt),
                                    shown(r.sourceEventID), shown(r.error)));
  } else {
    add("responseReceipt", QStringLiteral("-"));
  }
  add("responseChannel", QString::number(static_cast<int>(e.responseChannel.kind())) + u' ' + shown(e.responseChannel));
  for (const MessageOption& option : e.choiceOptions) {
    add("option", QStringLiteral("%1 %2 %3 %4 %5")
                      .arg(shown(option.id), shown(option.label), shown(option.detail),
                           option.risk ? QString::number(static_cast<int>(*option.risk)) : QStringLiteral("-"),
                           shown(option.disabledReason)));
  }
  add("selectionMode", QString::number(static_cast<int>(e.selectionMode)));
  add("note", QStringLiteral("%1 %2 %3").arg(e.noteEnabled).arg(shown(e.notePlaceholder)).arg(e.noteMaxLength));
  QStringList capabilities;
  for (const SourceCapability capability : e.sourceCapabilities) {
    capabilities.append(QString::number(static_cast<int>(capability)));
  }
  add("sourceCapabilities", capabilities.join(u','));
  add("sourceClass", QString::number(static_cast<int>(e.sourceClass)));
  return out;
}

class TandrelEventFuzzTest : public ::testing::Test {
 protected:
  test::TempHome home_;
};

// The time usage readings are aged against, the same for both readers.
const QDateTime kNow(QDate(2026, 5, 9), QTime(13, 0), Qt::UTC);

// Whether the direct reader read the line; when it did, its event must be the document reader's.
bool expectSameAsDocument(const QByteArray& line) {
  const DirectBridgeLine direct = readBridgeLineDirectly(line, kNow);
  if (direct.malformed) {
    // Refused without a second parse: QJsonDocument must not find an object there either.
    const QJsonDocument document = QJsonDocument::fromJson(line);
    EXPECT_FALSE(document.isObject()) << line.toStdString();
    EXPECT_FALSE(readBridgeLineThroughDocument(line, kNow).has_value()) << line.toStdString();
  }
  if (!direct.read) {
    return false;
  }
  const std::optional<TandrelEvent> reference = readBridgeLineThroughDocument(line, kNow);
  EXPECT_EQ(direct.event.has_value(), reference.has_value()) << line.toStdString();
  if (direct.event && reference) {
    const QStringList got = describe(*direct.event);
    const QStringList expected = describe(*reference);
    for (qsizetype i = 0; i < std::max(got.size(), expected.size()); ++i) {
      EXPECT_EQ(got.value(i).toStdString(), expected.value(i).toStdString()) << line.toStdString();
    }
    EXPECT_TRUE(*direct.event == *reference) << line.toStdString();
  }
  return true;
}

// Lines as the hook scripts write them: every one must take the direct path.
const char* const kRealisticLines[] = {
    (R"({"event_id":"evt-1-7c3e9a","source":"claude_code","source_type":"cli_agent","project":"tandrel",)"
     R"("cwd":"/home/dev/src/tandrel","event_type":"task_updated","severity":"info","title":"Running Bash",)"
     R"("message":"ninja -C build core_tests","tool_name":"Bash","status":"running_tool","session_id":"4f1c-1",)"
     R"("turn_id":"turn-1","pid":40001,"terminal":"kitty","notify_policy":"usage_only","raw_event_name":"PostToolUse",)"
     R"("timestamp":"2026-05-09T08:00:01.537Z","usage":{"context_used_tokens":64201,"context_total_tokens":200000,)"
     R"("input_tokens":1201,"output_tokens":300,"cost_usd":0.42,"five_hour_percent":"35%","weekly_percent":18}})"),
    (R"({"event_id":"req-9-19af","source":"codex","cwd":"/home/dev/src/tandrel","event_type":"permission_request",)"
     R"("severity":"warning","title":"Approve command","message":"rm -rf build-old","session_id":"codex-0",)"
     R"("timestamp":"2026-05-09T08:00:13.833Z","action":{"kind":"shell","risk":"high","decision_file":"/tmp/d.json"},)"
     R"("options":[{"id":"allow_once","label":"Allow once","risk":"medium"},{"id":"allow_always",)"
     R"("label":"\u65b9\u6848 A: always allow","description":"Remember"},{"id":"deny","label":"Deny","detail":"Stop"}],)"
     R"("response":{"response_file":"/tmp/answer-9.json","note_enabled":true,"note_placeholder":"Why?"},)"
     R"("jump_target":{"kind":"terminal_window","terminal":"kitty","window_id":7},)"
     R"("preview":{"user":"Clean the old build folders","agent":"I will remove build-old."}})"),
    ("{\"event_id\":\"done-7\",\"source\":\"claude_code\",\"cwd\":\"/home/dev/src/tandrel\",\"event_type\":\"task_completed\","
     "\"title\":\"Task completed\",\"hook_event_name\":\"Stop\",\"completion_snippet\":\"Done.\\n\\nAll green \xe2\x9c\x85\","
     "\"prompt\":\"Make it \\\"robust\\\"\",\"agent_message\":\"Done.\\r\\n\\tAll green\"}\r\n"),
    (R"({"event_id":"r1","event_type":"response_receipt","timestamp":"2026-05-09T08:00:00Z",)"
     R"("receipt":{"target_event_id":"req-9","action":"choose_option","receipt_status":"applied"}})"),
    R"( { "event_id" : "e" , "usage" : { "rate_limit_blocked" : "yes" , "resets" : "resets 2026-05-09T12:56:00Z" } } )",
};

TEST_F(TandrelEventFuzzTest, TheDirectReaderGivesTheDocumentReadersEvent) {
  for (const char* line : kRealisticLines) {
    EXPECT_TRUE(expectSameAsDocument(QByteArray(line))) << line;
  }
  // Lines where the two readers could part: repeated keys (the last counts), escapes, raw control
  // characters and multi-byte text, number forms at the edges of Qt's integer and double ranges,
  // and texts that are no JSON object.
  const char* const kEdges[] = {
      R"({"event_id":"a","source":"x","source":"codex","usage":{"cost":1},"usage":{"cost":2,"cost":"3"}})",
      R"({"event_id":"a","event_id":7})",
      R"({"event_id":7,"event_id":"b"})",
      R"({"event_id":"a","options":[{"id":"1","id":"2","label":"x"}],"options":"none"})",
      R"({"event_id":"\u00e9\ud83d\ude00\ud800\/\b\f\n\r\t\"\\","title":"\u0000x"})",
      "{\"event_id\":\"tab\tin\x01side\x7f\",\"title\":\"\xc3\xa9\xe6\x96\xb9\xf0\x9f\x98\x80\"}",
      R"({"event_id":"n","pid":-0,"note_max_length":1.0,"turn":1E+2,"nonce":0.1e-2,"processId":-12.5e3})",
      R"({"event_id":"n","pid":999999999999999999,"note_max_length":-999999999999999999})",
      R"({"event_id":"n","pid":9223372036854775807,"turn":9223372036854775808,"nonce":1e19})",
      R"({"event_id":"n","pid":4.9e-324,"turn":1e-400,"nonce":1e400,"usage":{"cost":2.2250738585072014e-308}})",
      R"({"event_id":"n","pid":NaN,"turn":Infinity,"nonce":-Infinity})",
      R"({"event_id":"n","pid":1.,"turn":01,"nonce":-})",
      R"({"event_id":"n","pid":.5})",
      R"({"event_id":"n","pid":+5})",
      R"({"event\u005fid":"escaped key"})",
      R"({"event_id":"a","title":"\q"})",
      R"({"event_id":"a","title":"\u12"})",
      "{\"event_id\":\"a\",\"title\":\"\xc0\xaf\"}",
      "{\"event_id\":\"a\",\"title\":\"\xed\xa0\x80\"}",
      "{\"event_id\":\"a\",\"title\":\"\xf4\x90\x80\x80\"}",
      "{\"event_id\":\"a\",\"title\":\"\xef\xbf\xbe\xef\xb7\x90\"}",
      "\xef\xbb\xbf{\"event_id\":\"bom\"}",
      "{\"event_id\":\"ws\"}\v",
      "{\"event_id\":\"ws\"} x",
      R"({"event_id":"a",})",
      R"({"event_id":"a","x":[1,]})",
      R"({"event_id":"a" "x":1})",
      R"({})",
      R"([{"event_id":"a"}])",
      R"("event_id")",
      "",
      "   ",
      R"({"event_id":"deep","x":[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]})",
  };
  int read = 0;
  for (const char* line : kEdges) {
    read += expectSameAsDocument(QByteArray(line));
  }
  EXPECT_GE(read, 10);
}

TEST_F(TandrelEventFuzzTest, TheDirectReaderAgreesOnRandomTruncatedAndMutatedLines) {
  Generator generator(4242);
  const auto check = [](const QByteArray& line) { return expectSameAsDocument(line); };
  int wholeLinesRead = 0;
  for (int round = 0; round < 1500; ++round) {
    QJsonObject record = generator.object(0);
    if (round % 3 != 0) {
      record.insert(QStringLiteral("usage"), generator.object(1));
    }
    record.insert(QStringLiteral("event_id"), generator.word());
    const QByteArray line =
        QJsonDocument(record).toJson(round % 2 ? QJsonDocument::Compact : QJsonDocument::Indented);
    wholeLinesRead += check(line);
    const int step = std::max<int>(1, static_cast<int>(line.size()) / 24);
    for (qsizetype cut = 0; cut < line.size(); cut += step) {
      check(line.left(cut));
    }
    QByteArray mutated = line;
    for (int i = generator.below(4); i >= 0 && !mutated.isEmpty(); --i) {
      mutated[generator.below(static_cast<int>(mutated.size()))] = static_cast<char>(generator.below(256));
    }
    check(mutated);
    QByteArray spliced = line;
    spliced.replace("0", generator.below(2) ? "1e999" : "NaN");
    check(spliced);
  }
  for (const char* line : kRealisticLines) {
    const QByteArray whole(line);
    for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
      check(whole.left(cut));
      if (cut < whole.size()) {
        QByteArray flipped = whole;
        flipped[cut] = static_cast<char>(generator.below(256));
        check(flipped);
      }
    }
  }
  // Whole lines nearly all take the direct path; the document path decides the rest.
  EXPECT_GT(wholeLinesRead, 1'000);
}


TEST_F(TandrelEventFuzzTest, RandomRecordsAlwaysParseWithTheirId) {
  Generator generator(20260509);
  for (int round = 0; round < 3000; ++round) {
    QJsonObject record = generator.object(0);
    if (round % 4 != 0) {
      record.insert(QStringLiteral("usage"), generator.object(1));
    }
    record.insert(QStringLiteral("event_id"), generator.word());
    const auto event = TandrelEvent::fromDictionary(record);
    ASSERT_TRUE(event.has_value()) << QJsonDocument(record).toJson().toStdString();
    EXPECT_EQ(event->id, record.value(QLatin1String("event_id")).toString());
    (void)event->petPreviewStateID();
  }
}

TEST_F(TandrelEventFuzzTest, TruncatedMutatedAndRandomLinesNeverCrash) {
  Generator generator(7);
  int parsed = 0;
  for (int round = 0; round < 600; ++round) {
    QJsonObject record = generator.object(0);
    record.insert(QStringLiteral("event_id"), QStringLiteral("fuzz"));
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact);
    // Every prefix of a short line, a sample of prefixes of a long one.
    const int step = std::max<int>(1, static_cast<int>(line.size()) / 64);
    for (qsizetype cut = 0; cut <= line.size(); cut += step) {
      parsed += TandrelEvent::fromBridgeLine(line.left(cut)).has_value();
    }
    // Flipped bytes, and numbers Qt refuses spliced in.
    QByteArray mutated = line;
    for (int i = generator.below(4); i >= 0 && !mutated.isEmpty(); --i) {
      mutated[generator.below(static_cast<int>(mutated.size()))] = static_cast<char>(generator.below(256));
    }
    parsed += TandrelEvent::fromBridgeLine(mutated).has_value();
    QByteArray spliced = line;
    spliced.replace("0", generator.below(2) ? "1e999" : "NaN");
    parsed += TandrelEvent::fromBridgeLine(spliced).has_value();
    parsed += TandrelEvent::fromBridgeLine(generator.bytes(generator.below(512))).has_value();
  }
  EXPECT_GT(parsed, 0);  // whole lines of the sample do parse
}

}  // namespace
}  // namespace tandrel
