// Random and broken bridge records: parsing must never crash, hang or trip the sanitizers, and a
// record with a text "event_id" must always give an event, whatever else it holds.
#include "events/tandrel_event.h"

#include "support/temp_home.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

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

class TandrelEventFuzzTest : public ::testing::Test {
 protected:
  test::TempHome home_;
};

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
