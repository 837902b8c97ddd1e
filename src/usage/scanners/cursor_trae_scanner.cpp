#include "usage/scanners/cursor_trae_scanner.h"

#include "catalog/paths.h"
#include "usage/scanners/json_lines.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_values.h"
#include "usage/usage_dates.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace tandrel {

namespace {

constexpr std::uint64_t kCursorTailBytes = 393'216;
constexpr std::uint64_t kTraeLogTailBytes = 262'144;
constexpr qint64 kCursorMaxAgeMs = 7'200'000;
constexpr qint64 kTraeMaxAgeMs = 21'600'000;

QLatin1String K(const char* key) { return QLatin1String(key); }

QString cursorRole(const QJsonObject& record, const QJsonObject& message) {
  if (auto role = nonEmptyString(record.value(K("role")))) {
    return *role;
  }
  return nonEmptyString(message.value(K("role"))).value_or(QString());
}

}  // namespace

QStringList recentCursorHotplugTranscriptFiles(const std::optional<QString>& root, int limit) {
  if (!root) {
    return {};
  }
  const auto files = discoverRecentFiles(*root, [](const QString& path) {
    return QFileInfo(path).suffix() == QLatin1String("jsonl") &&
           path.split(QLatin1Char('/')).contains(QLatin1String("agent-transcripts"));
  });
  return firstPaths(files, limit);
}

QStringList recentTraeRendererLogFiles(const std::optional<QString>& root, int limit) {
  if (!root) {
    return {};
  }
  const auto files = discoverRecentFiles(
      *root, [](const QString& path) { return QFileInfo(path).fileName() == QLatin1String("renderer.log"); });
  return firstPaths(files, limit);
}

std::optional<QString> cursorWorkspacePath(const QString& transcriptPath) {
  QString current = QFileInfo(transcriptPath).absoluteFilePath();
  while (QFileInfo(current).fileName() != QLatin1String("agent-transcripts")) {
    const QString parent = QFileInfo(current).path();
    if (parent == current || current == QLatin1String("/")) {
      return std::nullopt;
    }
    current = parent;
  }
  const QString projectName = QFileInfo(QFileInfo(current).path()).fileName();
  // Cursor names a project folder after the workspace path with "/" turned into "-": "home-…"
  // on Linux, "Users-…" on macOS.
  if (projectName == QLatin1String("empty-window") ||
      !(projectName.startsWith(QLatin1String("Users-")) || projectName.startsWith(QLatin1String("home-")))) {
    return std::nullopt;
  }
  const QString path = QLatin1Char('/') + projectName.split(QLatin1Char('-'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
  if (!QFileInfo::exists(path)) {
    return std::nullopt;
  }
  return path;
}

std::optional<TandrelEvent> cursorHotplugCompletionEvent(const QString& path, const QDateTime& now) {
  const auto records = jsonObjectsFromTail(path, kCursorTailBytes);
  std::optional<QString> answer;
  const QJsonObject* answerRecord = nullptr;
  std::optional<QString> prompt;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const QJsonObject& record = *it;
    const QJsonObject message = objectValue(record, K("message")).value_or(record);
    const QString role = cursorRole(record, message);
    if (!answer) {
      if (role != QLatin1String("assistant")) {
        continue;
      }
      const QString text = compactLocalText(message.value(K("content")), 600);
      if (!text.isEmpty()) {
        answer = text;
        answerRecord = &record;
      }
      continue;
    }
    if (role != QLatin1String("user")) {
      continue;
    }
    QString text = compactLocalText(message.value(K("content")), 240);
    text.remove(QLatin1String("<user_query>"));
    text.remove(QLatin1String("</user_query>"));
    text = text.trimmed();
    if (!text.isEmpty()) {
      prompt = text;
      break;
    }
  }
  if (!answer) {
    return std::nullopt;
  }
  const auto modified = localUsageFileModifiedAt(path);
  const QString recordTime =
      nonEmptyString(answerRecord->value(K("timestamp"))).value_or(formatUsageDate(modified.value_or(now)));
  const QDateTime answerDate = parseUsageDate(recordTime).value_or(modified.value_or(distantPast()));
  if (answerDate.msecsTo(now) > kCursorMaxAgeMs) {
    return std::nullopt;
  }
  const QString timestamp = latestLocalUsageTimestamp(recordTime, modified);
  const QString workspace = cursorWorkspacePath(path).value_or(QFileInfo(path).path());
  const QString session = QFileInfo(path).completeBaseName();
  const QString agentText = sanitize(*answer, 600);
  QJsonObject event{
      {K("event_id"),
       stableLocalUsageID(QLatin1String("hotplug-cursor-completion-") + session, path, timestamp)},
      {K("source"), K("cursor-ide")},
      {K("source_type"), K("desktop_app")},
      {K("project"), basename(workspace)},
      {K("cwd"), workspace},
      {K("event_type"), K("task_completed")},
      {K("severity"), K("success")},
      {K("title"), K("Cursor IDE completed")},
      {K("message"), agentText},
      {K("status"), K("completed")},
      {K("notify_policy"), K("immediate")},
      {K("timestamp"), timestamp},
      {K("session_id"), session},
      {K("transcript_path"), path},
      {K("raw_event_name"), K("CursorTranscriptAssistantMessage")},
      {K("completion_snippet"), agentText},
      {K("preview"), QJsonObject{{K("user"), prompt ? sanitize(*prompt) : QStringLiteral("Cursor task")},
                                 {K("agent"), agentText}}},
  };
  return TandrelEvent::fromDictionary(event);
}

QString traeLogTimestamp(const QString& line, const QString& path, const QDateTime& now) {
  QStringView rest(line);
  while (!rest.isEmpty() && rest.front() == QLatin1Char(' ')) {
    rest = rest.mid(1);
  }
  const qsizetype space = rest.indexOf(QLatin1Char(' '));
  const QString token = (space < 0 ? rest : rest.left(space)).toString();
  if (!token.isEmpty() && parseUsageDate(token)) {
    return token;
  }
  return formatUsageDate(localUsageFileModifiedAt(path).value_or(now));
}

std::optional<TandrelEvent> traeLogHotplugCompletionEvent(const QString& path, const QDateTime& now) {
  const auto tail = readTailLines(path, kTraeLogTailBytes);
  if (!tail) {
    return std::nullopt;
  }
  for (auto it = tail->lines.rbegin(); it != tail->lines.rend(); ++it) {
    const std::string_view raw = *it;
    if (raw.find("code_comp_complete_shown") == std::string_view::npos) {
      continue;
    }
    const std::size_t marker = raw.find("params:");
    if (marker == std::string_view::npos || !isValidUtf8(raw)) {
      continue;
    }
    const QByteArray json = QByteArray(raw.data() + marker + 7, static_cast<qsizetype>(raw.size() - marker - 7)).trimmed();
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) {
      continue;
    }
    const QJsonObject params = document.object();
    const QString line = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
    const QString timestamp = traeLogTimestamp(line, path, now);
    const auto modified = localUsageFileModifiedAt(path);
    const QDateTime date = parseUsageDate(timestamp).value_or(modified.value_or(distantPast()));
    if (date.msecsTo(now) > kTraeMaxAgeMs) {
      return std::nullopt;
    }
    const QString agentName = sanitize(nonEmptyString(params.value(K("agent_name"))).value_or(QStringLiteral("Trae")));
    const auto agentID = nonEmptyString(params.value(K("agent_id")));
    const bool solo = agentName.contains(QLatin1String("solo"), Qt::CaseInsensitive) ||
                      (agentID && agentID->contains(QLatin1String("solo"), Qt::CaseInsensitive));
    const auto session = firstNonEmptyString(params, {K("session_id"), K("sessionId")});
    const QString suffix =
        firstNonEmptyString(params, {K("message_id"), K("messageId")}).value_or(session.value_or(timestamp));
    const QString message = agentName + QLatin1String(" completed.");
    QJsonObject event{
        {K("event_id"), stableLocalUsageID(QLatin1String("hotplug-trae-completion-") + suffix, path, timestamp)},
        {K("source"), solo ? K("trae-solo") : K("trae-ide")},
        {K("source_type"), K("desktop_app")},
        {K("project"), K("Trae")},
        {K("cwd"), QFileInfo(path).path()},
        {K("event_type"), K("task_completed")},
        {K("severity"), K("success")},
        {K("title"), solo ? K("Trae SOLO completed") : K("Trae completed")},
        {K("message"), message},
        {K("status"), K("completed")},
        {K("notify_policy"), K("immediate")},
        {K("timestamp"), timestamp},
        {K("transcript_path"), path},
        {K("raw_event_name"), K("TraeCodeCompleteShown")},
        {K("completion_snippet"), message},
        {K("preview"), QJsonObject{{K("user"), K("Trae task")}, {K("agent"), message}}},
    };
    if (session) {
      event.insert(K("session_id"), *session);
    }
    return TandrelEvent::fromDictionary(event);
  }
  return std::nullopt;
}

std::optional<TandrelEvent> traeTrajectoryUsageEvent(const QJsonObject& trajectory, const QString& path) {
  const QJsonValue interactionsValue = trajectory.value(K("llm_interactions"));
  if (!interactionsValue.isArray() || interactionsValue.toArray().isEmpty()) {
    return std::nullopt;
  }
  const QJsonArray interactions = interactionsValue.toArray();
  for (const QJsonValue item : interactions) {
    if (!item.isObject()) {
      return std::nullopt;
    }
  }
  std::optional<QString> provider = nonEmptyString(trajectory.value(K("provider")));
  std::optional<QString> model = nonEmptyString(trajectory.value(K("model")));
  std::optional<QString> lastTime = firstNonEmptyString(trajectory, {K("end_time"), K("start_time")});
  double input = 0;
  double output = 0;
  double cacheRead = 0;
  double cacheWrite = 0;
  double reasoning = 0;
  for (const QJsonValue item : interactions) {
    const QJsonObject interaction = item.toObject();
    const QJsonObject response = objectValue(interaction, K("response")).value_or(QJsonObject());
    std::optional<QJsonObject> usage = objectValue(response, K("usage"));
    if (!usage) {
      usage = objectValue(interaction, K("usage"));
    }
    if (!usage) {
      continue;
    }
    input += firstLocalUsageNumber(usage, {K("input_tokens"), K("inputTokens"), K("prompt_tokens"), K("promptTokens")})
                 .value_or(0);
    output += firstLocalUsageNumber(usage, {K("output_tokens"), K("outputTokens"), K("completion_tokens"),
                                            K("completionTokens")})
                  .value_or(0);
    cacheRead += firstLocalUsageNumber(usage, {K("cache_read_input_tokens"), K("cache_read_tokens"),
                                               K("cached_input_tokens"), K("cacheReadTokens")})
                     .value_or(0);
    cacheWrite +=
        firstLocalUsageNumber(usage, {K("cache_creation_input_tokens"), K("cache_write_tokens"), K("cacheWriteTokens")})
            .value_or(0);
    reasoning += firstLocalUsageNumber(usage, {K("reasoning_tokens"), K("reasoningTokens")}).value_or(0);
    if (!provider) {
      provider = nonEmptyString(interaction.value(K("provider")));
    }
    if (!model) {
      model = nonEmptyString(interaction.value(K("model")));
      if (!model) {
        model = nonEmptyString(response.value(K("model")));
      }
    }
    if (auto stamp = nonEmptyString(interaction.value(K("timestamp")))) {
      lastTime = std::move(stamp);
    }
  }
  const double total = input + output + cacheRead + cacheWrite + reasoning;
  if (!(total > 0)) {
    return std::nullopt;
  }
  std::optional<QString> timeValue = nonEmptyString(trajectory.value(K("end_time")));
  if (!timeValue) {
    timeValue = lastTime;
  }
  if (!timeValue) {
    timeValue = nonEmptyString(trajectory.value(K("start_time")));
  }
  const QDateTime fallback = localUsageFileModifiedAt(path).value_or(QDateTime::currentDateTimeUtc());
  const QString observedAt =
      normalizedLocalUsageTimestamp(timeValue ? QJsonValue(*timeValue) : QJsonValue(), fallback);
  QJsonObject usage{
      {K("data_source"), K("trajectory")}, {K("tool_id"), K("trae-agent-cli")}, {K("observed_at"), observedAt},
      {K("input_tokens"), input},          {K("output_tokens"), output},         {K("total_tokens"), total},
  };
  if (cacheRead > 0) {
    usage.insert(K("cache_read_tokens"), cacheRead);
  }
  if (cacheWrite > 0) {
    usage.insert(K("cache_write_tokens"), cacheWrite);
  }
  if (reasoning > 0) {
    usage.insert(K("reasoning_tokens"), reasoning);
  }
  if (provider) {
    usage.insert(K("provider"), *provider);
  }
  if (model) {
    usage.insert(K("model"), *model);
  }
  return usageOnlyEvent(QStringLiteral("local-trae-trajectory"), QStringLiteral("trae-agent-cli"),
                        QStringLiteral("Trae Agent usage updated"), observedAt, path, usage);
}

std::optional<TandrelEvent> traeTrajectoryFileUsageEvent(const QString& path) {
  const auto bytes = readWholeFile(path);
  if (!bytes) {
    return std::nullopt;
  }
  const QJsonDocument document = QJsonDocument::fromJson(*bytes);
  if (!document.isObject()) {
    return std::nullopt;
  }
  return traeTrajectoryUsageEvent(document.object(), path);
}

}  // namespace tandrel
