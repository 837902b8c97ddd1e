// Parsing bridge lines into events: the hottest path of the app. A window of the bridge file
// (about 16,000 lines, 8 MiB) is parsed on every full re-read, so the target is at least
// 100,000 lines per second on one core.
#include "events/tandrel_event.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <benchmark/benchmark.h>

namespace {

QString timestampAt(int i) {
  return QDateTime(QDate(2026, 5, 9), QTime(8, 0), Qt::UTC).addMSecs(qint64(i) * 1'537).toString(Qt::ISODateWithMs);
}

// A tool event with a usage reading, as the Claude status line and Codex notify bridge write.
QJsonObject toolEvent(int i) {
  return QJsonObject{
      {"event_id", QStringLiteral("evt-%1-7c3e9a").arg(i)},
      {"source", i % 3 ? "claude_code" : "codex"},
      {"source_type", "cli_agent"},
      {"project", "tandrel"},
      {"cwd", "/home/dev/src/tandrel"},
      {"event_type", "task_updated"},
      {"severity", "info"},
      {"title", "Running Bash"},
      {"message", QStringLiteral("ninja -C build-%1 core_tests").arg(i % 7)},
      {"tool_name", "Bash"},
      {"status", "running_tool"},
      {"session_id", QStringLiteral("4f1c2d3e-%1").arg(i / 40)},
      {"turn_id", QStringLiteral("turn-%1").arg(i / 8)},
      {"pid", 40'000 + i % 50},
      {"terminal", "kitty"},
      {"notify_policy", "usage_only"},
      {"raw_event_name", "PostToolUse"},
      {"timestamp", timestampAt(i)},
      {"usage",
       QJsonObject{{"context_used_tokens", 64'200 + i},
                   {"context_total_tokens", 200'000},
                   {"input_tokens", 1'200 + i},
                   {"output_tokens", 300},
                   {"cost_usd", 0.42},
                   {"five_hour_percent", "35%"},
                   {"weekly_percent", 18}}},
  };
}

// A permission request with choices and a response channel.
QJsonObject permissionRequest(int i) {
  QJsonArray options{
      QJsonObject{{"id", "allow_once"}, {"label", "Allow once"}, {"risk", "medium"}},
      QJsonObject{{"id", "allow_always"}, {"label", "方案 A: always allow"}, {"description", "Remember for this repo"}},
      QJsonObject{{"id", "deny"}, {"label", "Deny"}, {"detail", "Stop the agent"}},
  };
  return QJsonObject{
      {"event_id", QStringLiteral("req-%1-19af").arg(i)},
      {"source", "codex"},
      {"source_type", "cli_agent"},
      {"cwd", "/home/dev/src/tandrel"},
      {"event_type", "permission_request"},
      {"severity", "warning"},
      {"title", "Approve command"},
      {"message", "rm -rf build-old"},
      {"session_id", QStringLiteral("codex-%1").arg(i / 40)},
      {"timestamp", timestampAt(i)},
      {"action", QJsonObject{{"kind", "shell"}, {"risk", "high"}, {"decision_file", "/tmp/tandrel/decision.json"}}},
      {"options", options},
      {"response", QJsonObject{{"response_file", QStringLiteral("/tmp/tandrel/answer-%1.json").arg(i)},
                               {"note_enabled", true},
                               {"note_placeholder", "Why?"}}},
      {"jump_target", QJsonObject{{"kind", "terminal_window"}, {"terminal", "kitty"}, {"window_id", 7}}},
      {"preview", QJsonObject{{"user", "Clean the old build folders"}, {"agent", "I will remove build-old."}}},
  };
}

// A completion with a long final answer (shortened into the preview).
QJsonObject completion(int i) {
  const QString answer = QStringLiteral(
      "Done. I rewrote the bridge reader so that a truncated last line waits for the next append,\n\n"
      "added tests for lines that end inside a multi-byte character, and measured the parser again: "
      "the whole 8 MiB window now parses well within the frame budget. ");
  return QJsonObject{
      {"event_id", QStringLiteral("done-%1").arg(i)},
      {"source", "claude_code"},
      {"cwd", "/home/dev/src/tandrel"},
      {"event_type", "task_completed"},
      {"title", "Task completed"},
      {"message", "Claude finished the task"},
      {"session_id", QStringLiteral("4f1c2d3e-%1").arg(i / 40)},
      {"timestamp", timestampAt(i)},
      {"hook_event_name", "Stop"},
      {"completion_snippet", answer},
      {"prompt", "Make the bridge reader robust against truncated lines"},
      {"agent_message", answer.left(240)},
  };
}

// About 16,000 lines: mostly tool events, then completions and permission requests.
const QList<QByteArray>& bridgeWindow() {
  static const QList<QByteArray> lines = [] {
    QList<QByteArray> result;
    for (int i = 0; i < 16'000; ++i) {
      const QJsonObject record = i % 10 == 9 ? permissionRequest(i) : i % 10 >= 7 ? completion(i) : toolEvent(i);
      result.append(QJsonDocument(record).toJson(QJsonDocument::Compact));
    }
    return result;
  }();
  return lines;
}

void BM_ParseBridgeWindow(benchmark::State& state) {
  const QList<QByteArray>& lines = bridgeWindow();
  qint64 bytes = 0;
  for (const QByteArray& line : lines) {
    bytes += line.size() + 1;
  }
  for (auto _ : state) {
    int parsed = 0;
    for (const QByteArray& line : lines) {
      parsed += tandrel::TandrelEvent::fromBridgeLine(line).has_value();
    }
    if (parsed != lines.size()) {
      state.SkipWithError("a line did not parse");
      return;
    }
  }
  state.SetBytesProcessed(bytes * state.iterations());
  state.counters["lines_per_second"] =
      benchmark::Counter(static_cast<double>(lines.size()) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.counters["window_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.counters["bytes_per_line"] = static_cast<double>(bytes) / static_cast<double>(lines.size());
}
BENCHMARK(BM_ParseBridgeWindow)->Unit(benchmark::kMillisecond);

// One kind of line at a time, to see where the time goes.
void BM_ParseLineKind(benchmark::State& state) {
  const QList<QByteArray>& lines = bridgeWindow();
  const int offset = state.range(0);  // 0 tool event, 7 completion, 9 permission request
  qint64 bytes = 0;
  qint64 count = 0;
  for (auto _ : state) {
    for (int i = offset; i < 2'000; i += 10) {
      benchmark::DoNotOptimize(tandrel::TandrelEvent::fromBridgeLine(lines[i]));
      bytes += lines[i].size();
      ++count;
    }
  }
  state.SetBytesProcessed(bytes);
  state.counters["lines_per_second"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseLineKind)->Arg(0)->Arg(7)->Arg(9);

}  // namespace
