#include "selfcheck/fixture_builders.h"

#include "base/canonical_json.h"
#include "base/posix_error.h"
#include "catalog/tool_catalog.h"
#include "usage/usage_dates.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>

namespace tandrel {

namespace {

Result<void> makeParentFolder(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder)) {
    return Result<void>::failure(QStringLiteral("Cannot create the folder %1").arg(folder));
  }
  return {};
}

// The file is written beside its place and renamed over it. Fixtures are read back by the run
// that wrote them, so nothing waits for the disk: a run writes well over a thousand files, and a
// flush to disk each would cost most of its time on a busy machine.
Result<void> replaceFile(const QString& path, const QByteArray& bytes) {
  QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
  if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
  }
  if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, errnoText(errno)));
  }
  file.setAutoRemove(false);
  return {};
}

}  // namespace

Result<void> writeFileAtomically(const QByteArray& bytes, const QString& path) {
  if (auto made = makeParentFolder(path); !made) return made;
  return replaceFile(path, bytes);
}

QJsonObject testEvent(const QString& id, const QString& source, const QString& type, const QString& severity,
                      const QString& title, const QString& message, const std::optional<QJsonObject>& action,
                      const std::optional<QJsonObject>& usage, const std::optional<QString>& timestamp,
                      const QJsonObject& extra) {
  QJsonObject record{
      {QStringLiteral("event_id"), id},          {QStringLiteral("source"), source},
      {QStringLiteral("project"), "tandrel"},    {QStringLiteral("cwd"), "/tmp/tandrel"},
      {QStringLiteral("event_type"), type},      {QStringLiteral("severity"), severity},
      {QStringLiteral("title"), title},          {QStringLiteral("message"), message},
      {QStringLiteral("status"), type},
  };
  if (type == u"task_completed" && !extra.contains(QStringLiteral("raw_event_name"))) {
    record.insert(QStringLiteral("raw_event_name"), QStringLiteral("Stop"));
  }
  if (timestamp) record.insert(QStringLiteral("timestamp"), *timestamp);
  if (action) record.insert(QStringLiteral("action"), *action);
  if (usage) record.insert(QStringLiteral("usage"), *usage);
  for (auto it = extra.constBegin(); it != extra.constEnd(); ++it) {
    record.insert(it.key(), it.value());
  }
  return record;
}

Result<void> writeJSONLines(const std::vector<QJsonObject>& records, const QString& path) {
  QByteArray bytes;
  for (const QJsonObject& record : records) {
    bytes += canonicalJsonLine(record);
  }
  if (records.empty()) bytes = "\n";
  return writeFileAtomically(bytes, path);
}

Result<void> writeJSON(const QJsonObject& record, const QString& path) {
  return writeFileAtomically(QJsonDocument(record).toJson(QJsonDocument::Indented), path);
}

Result<void> writeTestSprite(const QString& path) {
  QImage sheet(kSpriteSheetWidth, kSpriteSheetHeight, QImage::Format_ARGB32);
  if (sheet.isNull()) return Result<void>::failure(QStringLiteral("Could not create the sprite sheet"));
  sheet.fill(Qt::transparent);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!sheet.save(&buffer, "PNG") || png.isEmpty()) {
    return Result<void>::failure(QStringLiteral("Could not encode the sprite sheet"));
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(png) != png.size()) {
    return Result<void>::failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
  }
  return {};
}

QColor rgba(double red, double green, double blue) { return QColor::fromRgbF(red / 255.0, green / 255.0, blue / 255.0, 1.0); }

std::vector<QJsonObject> fixtureRecords() {
  return {
      testEvent(QStringLiteral("fixture-approval"), QStringLiteral("claude_code"), QStringLiteral("permission_request"),
                QStringLiteral("warning"), QStringLiteral("Write to /dev/my-app/config.json"),
                QStringLiteral("cwd: ~/dev/my-app \u00B7 shell: write file"),
                QJsonObject{{QStringLiteral("kind"), "file"}, {QStringLiteral("risk"), "high"}}),
      testEvent(QStringLiteral("fixture-done"), QStringLiteral("codex"), QStringLiteral("task_completed"),
                QStringLiteral("success"), QStringLiteral("Added Express auth middleware"),
                QStringLiteral("~/dev/express-api \u00B7 branch: feat/auth"), std::nullopt,
                QJsonObject{{QStringLiteral("context_used"), "28k"},
                            {QStringLiteral("context_total"), "200k"},
                            {QStringLiteral("context_percent"), 14.5},
                            {QStringLiteral("limit_5h_label"), "42%"},
                            {QStringLiteral("limit_5h_percent"), 42},
                            {QStringLiteral("weekly_label"), "18%"},
                            {QStringLiteral("weekly_percent"), 18}}),
      testEvent(QStringLiteral("fixture-rate"), QStringLiteral("cursor"), QStringLiteral("rate_limited"),
                QStringLiteral("critical"), QStringLiteral("Rate limit reached \u00B7 GPT-4o"),
                QStringLiteral("Claude Sonnet 4 available as fallback")),
  };
}

std::vector<QJsonObject> fixtureUsageRecords(double fiveHourUsed) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QJsonObject usage{
      {QStringLiteral("data_source"), "statusline"},
      {QStringLiteral("observed_at"), formatUsageDate(now)},
      {QStringLiteral("context_total"), "1000000"},
      {QStringLiteral("context_remaining"), "969000"},
      {QStringLiteral("context_remaining_percent"), 96.9},
      {QStringLiteral("input_tokens"), 31000},
      {QStringLiteral("output_tokens"), 30},
      {QStringLiteral("total_tokens"), 31030},
      {QStringLiteral("limit_5h_label"), QStringLiteral("%1% used").arg(qRound(fiveHourUsed))},
      {QStringLiteral("limit_5h_percent"), fiveHourUsed},
      {QStringLiteral("limit_5h_reset"), formatUsageDate(now.addSecs(2 * 3600))},
      {QStringLiteral("weekly_label"), "42% used"},
      {QStringLiteral("weekly_percent"), 42},
      {QStringLiteral("weekly_reset"), formatUsageDate(now.addSecs(84 * 3600))},
  };
  return {testEvent(QStringLiteral("fixture-usage"), QStringLiteral("claude_code"), QStringLiteral("task_updated"),
                    QStringLiteral("info"), QStringLiteral("Claude Code usage updated"),
                    QStringLiteral("Claude Code statusLine usage snapshot."), std::nullopt, usage, formatUsageDate(now),
                    QJsonObject{{QStringLiteral("notify_policy"), "usage_only"},
                                {QStringLiteral("raw_event_name"), "StatusLine"}})};
}

std::vector<QJsonObject> fixtureCodexUsageRecords() {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QJsonObject usage{
      {QStringLiteral("data_source"), "rollout"},
      {QStringLiteral("tool_id"), "codex-cli"},
      {QStringLiteral("observed_at"), formatUsageDate(now)},
      {QStringLiteral("input_tokens"), 400},
      {QStringLiteral("output_tokens"), 80},
      {QStringLiteral("total_tokens"), 480},
      {QStringLiteral("cache_read_tokens"), 100},
      {QStringLiteral("reasoning_tokens"), 20},
      {QStringLiteral("context_total"), "258400"},
      {QStringLiteral("context_remaining"), "258200"},
      {QStringLiteral("context_label"), "258.2k / 258.4k"},
      {QStringLiteral("context_remaining_percent"), 258200.0 / 258400 * 100},
      {QStringLiteral("limit_5h_remaining_percent"), 99.5},
      {QStringLiteral("limit_5h_label"), "99.5%"},
      {QStringLiteral("limit_5h_reset"), formatUsageDate(now.addSecs(2 * 3600))},
      {QStringLiteral("limit_5h_window_minutes"), 300},
      {QStringLiteral("weekly_remaining_percent"), 58},
      {QStringLiteral("weekly_label"), "58%"},
      {QStringLiteral("weekly_reset"), formatUsageDate(now.addSecs(84 * 3600))},
      {QStringLiteral("weekly_window_minutes"), 10080},
  };
  return {testEvent(QStringLiteral("fixture-codex-usage"), QStringLiteral("codex"), QStringLiteral("task_updated"),
                    QStringLiteral("info"), QStringLiteral("Codex usage updated"),
                    QStringLiteral("Local usage snapshot captured."), std::nullopt, usage, formatUsageDate(now),
                    QJsonObject{{QStringLiteral("notify_policy"), "usage_only"}})};
}

std::vector<QJsonObject> fixtureCardRecords() {
  // As the hook writes a file permission: the title holds the first 60 characters of the path.
  const QString path = QStringLiteral("/home/dev/wt/payments/server/middleware/authentication/session_tokens.ts");
  return {
      testEvent(QStringLiteral("fixture-long-path"), QStringLiteral("claude_code"),
                QStringLiteral("permission_request"), QStringLiteral("warning"),
                QStringLiteral("Edit: ") + path.left(60) + QChar(0x2026), QStringLiteral("Edit"),
                QJsonObject{{QStringLiteral("kind"), "file"}, {QStringLiteral("file_path"), path},
                            {QStringLiteral("risk"), "medium"}},
                std::nullopt, QStringLiteral("2026-05-11T10:00:00Z"),
                QJsonObject{{QStringLiteral("session_id"), "fixture-long-path-session"},
                            {QStringLiteral("preview"),
                             QJsonObject{{QStringLiteral("agent"),
                                          QStringLiteral("Applying the typing changes; paging queries keep "
                                                         "their grouping by key, giving every request "
                                                         "a fresh expiry")}}}}),
      testEvent(QString::fromLatin1(kFixtureChoiceEventID), QStringLiteral("codex"), QStringLiteral("waiting_input"),
                QStringLiteral("warning"), QStringLiteral("Pick a deployment target"),
                QStringLiteral("Staging is quiet; production is frozen until Monday"), std::nullopt, std::nullopt,
                QStringLiteral("2026-05-11T10:05:00Z"),
                QJsonObject{{QStringLiteral("session_id"), "fixture-choice-session"},
                            {QStringLiteral("note_enabled"), true},
                            {QStringLiteral("note_placeholder"), "Anything the agent should know?"},
                            {QStringLiteral("options"),
                             QJsonArray{QJsonObject{{QStringLiteral("id"), "staging"},
                                                    {QStringLiteral("label"), "Deploy to staging"},
                                                    {QStringLiteral("risk"), "low"}},
                                        QJsonObject{{QStringLiteral("id"), "production"},
                                                    {QStringLiteral("label"), "Deploy to production"},
                                                    {QStringLiteral("risk"), "high"}}}},
                            {QStringLiteral("response"),
                             QJsonObject{{QStringLiteral("response_file"), "/tmp/tandrel/fixture-choice.json"}}}}),
  };
}

const QStringList& requiredToolIDs() {
  static const QStringList ids = {
      "claude-app",    "claude-code",    "codex-app",    "codex-cli",        "cursor-ide",
      "cursor-glass",  "cursor-agent-cli", "kilo-code",  "pi",               "cline",
      "roo-code",      "factory-droid",  "trae-ide",     "trae-solo",        "trae-agent-cli",
      "gemini-cli",    "opencode-cli",   "copilot-vscode-extension", "copilot-cli", "copilot-coding-agent",
      "vscode-host",   "kimi-app-web",   "kimi-cli",     "warp",             "windsurf",
  };
  return ids;
}

ToolHealth fixtureToolHealthRow(const QString& id, HookStatus status, bool detected, const QString& path,
                                std::optional<QString> jumpTarget, std::optional<QString> detail) {
  const AIToolCatalogItem* item = catalogItem(id);
  ToolHealth tool;
  tool.id = id;
  tool.path = path;
  tool.status = status;
  tool.detected = detected;
  tool.jumpTarget = std::move(jumpTarget);
  if (item != nullptr) {
    tool.product = item->product;
    tool.name = item->name;
    tool.detail = item->detail;
    tool.color = item->color;
    tool.surface = item->surface;
    tool.integration = item->integration;
    tool.capabilities = item->capabilities;
    tool.priority = item->priority;
  }
  if (detail) {
    tool.detail = *detail;
  }
  return tool;
}

std::vector<ToolHealth> fixtureToolHealth() {
  const auto row = [](const char* id, HookStatus status, bool detected, const char* path,
                      std::optional<QString> jumpTarget, std::optional<QString> detail = std::nullopt) {
    return fixtureToolHealthRow(QString::fromLatin1(id), status, detected, QString::fromUtf8(path),
                                std::move(jumpTarget), std::move(detail));
  };
  return {
      row("claude-app", HookStatus::missing, false, "/Applications/Claude.app", QStringLiteral("https://claude.ai/download")),
      row("claude-code", HookStatus::healthy, true, "~/.claude/settings.json", QStringLiteral("~/.claude/settings.json")),
      row("codex-app", HookStatus::alpha, true, "/Applications/Codex.app", QStringLiteral("/Applications/Codex.app")),
      row("codex-cli", HookStatus::alpha, true, "~/.codex/config.toml", QStringLiteral("~/.codex/config.toml"),
          codexAwaitingTrustDetail()),
      row("cursor-ide", HookStatus::repair, true, "/Applications/Cursor.app", QStringLiteral("/Applications/Cursor.app")),
      row("cursor-agent-cli", HookStatus::alpha, true, "~/.local/bin/cursor-agent", std::nullopt),
      row("gemini-cli", HookStatus::missing, false, "~/.gemini", std::nullopt),
  };
}

void printLine(std::FILE* stream, const QString& text) {
  const QByteArray bytes = (text + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

}  // namespace tandrel
