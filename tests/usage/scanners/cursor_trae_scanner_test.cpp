#include "usage/scanners/cursor_trae_scanner.h"

#include "usage/scanners/scanner_test_support.h"
#include "usage/usage_dates.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>

namespace tandrel {
namespace {

using test::jsonLine;
using test::jsonLines;
using test::TempHome;
using test::utcAt;
using test::writeFile;
using test::writeFileAt;

QJsonObject cursorRecord(const QString& role, const QJsonValue& content, const QString& when = QString()) {
  QJsonObject record{{"role", role}, {"message", QJsonObject{{"content", content}}}};
  if (!when.isEmpty()) {
    record.insert("timestamp", when);
  }
  return record;
}

TEST(CursorScannerTest, CompletionFromTheNewestAnswerWithText) {
  TempHome home;
  const QDateTime now = utcAt("2026-05-09T12:00:00Z");
  // The project folder is the workspace path with "/" turned into "-"; "home-" stands for /home,
  // which every Linux system has.
  const QString path = home.file("r/home-/agent-transcripts/session-1.jsonl");
  const QJsonArray answer{QJsonObject{{"type", "text"}, {"text", "Done: tests pass."}}};
  const struct {
    const char* name;
    QByteArray lines;
    std::optional<QString> message;
    const char* prompt;
  } cases[] = {
      {"an empty newest answer falls back to the older one",
       jsonLines({cursorRecord("user", "<user_query>fix it</user_query>"), cursorRecord("assistant", answer, "2026-05-09T11:00:00Z"),
                  cursorRecord("user", "newer question"), cursorRecord("assistant", QJsonArray{QJsonObject{{"type", "tool_use"}}})}),
       QStringLiteral("Done: tests pass."), "fix it"},
      {"an empty query is passed over",
       jsonLines({cursorRecord("user", "first"), cursorRecord("user", "<user_query> </user_query>"),
                  cursorRecord("assistant", answer, "2026-05-09T11:00:00Z")}),
       QStringLiteral("Done: tests pass."), "first"},
      {"no prompt", jsonLines({cursorRecord("assistant", answer, "2026-05-09T10:00:00Z")}),
       QStringLiteral("Done: tests pass."), "Cursor task"},
      {"one second over two hours", jsonLines({cursorRecord("assistant", answer, "2026-05-09T09:59:59Z")}), std::nullopt, ""},
      {"no answer", jsonLines({cursorRecord("user", "hello")}), std::nullopt, ""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(writeFileAt(path, c.lines, utcAt("2026-05-09T08:00:00Z")));
    const auto event = cursorHotplugCompletionEvent(path, now);
    ASSERT_EQ(event.has_value(), c.message.has_value()) << c.name;
    if (!event) {
      continue;
    }
    EXPECT_EQ(event->message, *c.message);
    EXPECT_EQ(event->completionSnippet, *c.message);
    EXPECT_EQ(event->preview.user, QString::fromUtf8(c.prompt)) << c.name;
    EXPECT_EQ(event->eventType, "task_completed");
    EXPECT_EQ(event->source, "cursor-ide");
    EXPECT_EQ(event->sessionId, QStringLiteral("session-1"));
    EXPECT_EQ(event->cwd, "/home");
    EXPECT_EQ(event->project, "home");
  }
  EXPECT_EQ(cursorWorkspacePath(home.file("r/empty-window/agent-transcripts/s.jsonl")), std::nullopt);
  EXPECT_EQ(cursorWorkspacePath(home.file("r/tmp-x/agent-transcripts/s.jsonl")), std::nullopt);
  EXPECT_EQ(cursorWorkspacePath(home.file("r/home-nobody-missing/agent-transcripts/s.jsonl")), std::nullopt);
}

TEST(CursorScannerTest, DiscoveryFindsTranscriptsOnly) {
  TempHome home;
  const QDateTime t = utcAt("2026-05-09T10:00:00Z");
  ASSERT_TRUE(writeFileAt(home.file("r/p/agent-transcripts/a.jsonl"), "{}\n", t));
  ASSERT_TRUE(writeFileAt(home.file("r/p/agent-transcripts/s/b.jsonl"), "{}\n", t.addSecs(1)));
  ASSERT_TRUE(writeFileAt(home.file("r/p/other/c.jsonl"), "{}\n", t.addSecs(2)));
  ASSERT_TRUE(writeFileAt(home.file("r/.hidden/agent-transcripts/d.jsonl"), "{}\n", t.addSecs(3)));
  EXPECT_EQ(recentCursorHotplugTranscriptFiles(home.file("r"), 24),
            (QStringList{home.file("r/p/agent-transcripts/s/b.jsonl"), home.file("r/p/agent-transcripts/a.jsonl")}));
  EXPECT_EQ(recentCursorHotplugTranscriptFiles(home.file("r"), 1).size(), 1);
}

QByteArray logLine(const char* when, const char* params) {
  return QByteArray(when) + " [info] code_comp_complete_shown params: " + params + "\n";
}

TEST(TraeScannerTest, CompletionFromTheNewestValidLogLine) {
  TempHome home;
  const QDateTime now = utcAt("2026-05-09T12:00:00Z");
  const QString path = home.file("logs/20260509/window1/renderer.log");
  const struct {
    const char* name;
    QByteArray lines;
    std::optional<QString> message;
    const char* source;
    const char* title;
    const char* timestamp;
  } cases[] = {
      {"SOLO by name",
       logLine("2026-05-09T11:00:00Z", R"({"agent_name":"Trae SOLO Coder","session_id":"s1","message_id":"m1"})") +
           "2026-05-09T11:30:00Z code_comp_complete_shown without parameters\n" +
           logLine("2026-05-09T11:40:00Z", "{broken"),
       QStringLiteral("Trae SOLO Coder completed."), "trae-solo", "Trae SOLO completed", "2026-05-09T11:00:00Z"},
      {"SOLO by id, no name", logLine("2026-05-09T11:00:00Z", R"({"agent_id":"solo-agent","is_sound_notif":1})"),
       QStringLiteral("Trae completed."), "trae-solo", "Trae SOLO completed", "2026-05-09T11:00:00Z"},
      {"neither", logLine("2026-05-09T11:00:00Z", "{}"), QStringLiteral("Trae completed."), "trae-ide",
       "Trae completed", "2026-05-09T11:00:00Z"},
      {"first token not a date: the file's time", logLine("[11:00:00]", "{}"), QStringLiteral("Trae completed."),
       "trae-ide", "Trae completed", "2026-05-09T10:00:00Z"},
      // The newest valid line decides, even when an older line names a later time.
      {"too old", logLine("2026-05-09T13:00:00Z", "{}") + logLine("2026-05-09T05:59:59Z", "{}"), std::nullopt, "", "",
       ""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(writeFileAt(path, c.lines, utcAt("2026-05-09T10:00:00Z")));
    const auto event = traeLogHotplugCompletionEvent(path, now);
    ASSERT_EQ(event.has_value(), c.message.has_value()) << c.name;
    if (!event) {
      continue;
    }
    EXPECT_EQ(event->message, *c.message) << c.name;
    EXPECT_EQ(event->source, QString::fromUtf8(c.source)) << c.name;
    EXPECT_EQ(event->title, QString::fromUtf8(c.title)) << c.name;
    EXPECT_EQ(event->rawTimestamp, QString::fromUtf8(c.timestamp)) << c.name;
    EXPECT_EQ(event->eventType, "task_completed");
  }
  ASSERT_TRUE(writeFileAt(path, logLine("2026-05-09T11:00:00Z", R"({"agent_name":"SOLO Coder","session_id":"s1"})"),
                          utcAt("2026-05-09T10:00:00Z")));
  const auto event = traeLogHotplugCompletionEvent(path, now);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->sessionId, QStringLiteral("s1"));
  EXPECT_EQ(event->completionSnippet, QStringLiteral("SOLO Coder completed."));
}

TEST(TraeScannerTest, TrajectoryUsageSumsEveryInteraction) {
  TempHome home;
  const QString path = home.file("usage/trae-agent/run.json");
  const QJsonObject trajectory{
      {"provider", "openai"},
      {"end_time", "2026-05-09T11:00:00.123456"},
      {"llm_interactions",
       QJsonArray{QJsonObject{{"response", QJsonObject{{"model", "m1"},
                                                       {"usage", QJsonObject{{"input_tokens", 1000},
                                                                             {"output_tokens", 200},
                                                                             {"reasoning_tokens", 70}}}}}},
                  QJsonObject{{"usage", QJsonObject{{"prompt_tokens", 1200}, {"completion_tokens", 100},
                                                    {"cache_read_input_tokens", 30}}}},
                  QJsonObject{{"timestamp", "2026-05-09T10:00:00"}}}},
  };
  ASSERT_TRUE(writeFile(path, QJsonDocument(trajectory).toJson()));
  const auto event = traeTrajectoryFileUsageEvent(path);
  ASSERT_TRUE(event && event->usage && event->usage->tokens);
  EXPECT_EQ(event->source, "trae-agent-cli");
  EXPECT_EQ(event->usage->dataSource, "trajectory");
  EXPECT_EQ(event->usage->tokens->label, "2.6k total");
  EXPECT_TRUE(event->usage->tokens->suffix.contains("70 reasoning"));
  EXPECT_FALSE(event->usage->fiveHour);

  const struct {
    const char* name;
    QJsonObject trajectory;
  } empty[] = {
      {"all zero", {{"llm_interactions", QJsonArray{QJsonObject{{"usage", QJsonObject{{"input_tokens", 0}}}}}}}},
      {"no interactions", {{"llm_interactions", QJsonArray{}}}},
      {"not objects", {{"llm_interactions", QJsonArray{1, 2}}}},
  };
  for (const auto& c : empty) {
    EXPECT_FALSE(traeTrajectoryUsageEvent(c.trajectory, path)) << c.name;
  }
  ASSERT_TRUE(writeFile(path, "[1]"));
  EXPECT_FALSE(traeTrajectoryFileUsageEvent(path));
}

}  // namespace
}  // namespace tandrel
