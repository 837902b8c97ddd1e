#include "usage/scanners/codex_rollout_scanner.h"

#include "catalog/paths.h"
#include "usage/scanners/json_lines.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_values.h"
#include "usage/usage_dates.h"
#include "usage/usage_snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <cmath>
#include <limits>

namespace tandrel {

namespace {

constexpr std::uint64_t kUsageTailBytes = 262'144;
constexpr std::uint64_t kApprovalTailBytes = 524'288;
constexpr qint64 kApprovalMaxAgeMs = 21'600'000;
constexpr int kChildFolderLimit = 4;

QLatin1String K(const char* key) { return QLatin1String(key); }

QJsonObject payloadOf(const QJsonObject& record) {
  if (auto payload = objectValue(record, K("payload"))) {
    return *payload;
  }
  return record;
}

bool contains(std::string_view text, std::string_view what) {
  return ::memmem(text.data(), text.size(), what.data(), what.size()) != nullptr;
}

// The usage keys of the three quota meters a Codex rate-limit window can fill.
struct QuotaKeys {
  const char* percent;
  const char* label;
  const char* reset;
  const char* windowMinutes;
};
constexpr QuotaKeys kFiveHourKeys{"limit_5h_remaining_percent", "limit_5h_label", "limit_5h_reset",
                                  "limit_5h_window_minutes"};
constexpr QuotaKeys kWeeklyKeys{"weekly_remaining_percent", "weekly_label", "weekly_reset", "weekly_window_minutes"};

// Writes the remaining share, reset and length of one rate-limit window. Codex writes
// "used_percent" on the 0–100 scale (0.5 is half a percent).
void putRateLimit(const QJsonObject& window, const QuotaKeys& keys, QJsonObject& usage) {
  std::optional<double> remaining;
  if (auto used = firstLocalUsageNumber(window, {K("used_percent"), K("used_percentage"), K("usedPercent"),
                                                 K("usedPercentage")})) {
    remaining = std::clamp(100.0 - *used, 0.0, 100.0);
  } else if (auto left = firstLocalUsageNumber(window, {K("remaining_percent"), K("remaining_percentage"),
                                                        K("remainingPercent"), K("remainingPercentage")})) {
    remaining = *left;
  }
  if (remaining) {
    usage.insert(QLatin1String(keys.percent), *remaining);
    usage.insert(QLatin1String(keys.label), formatUsagePercent(*remaining) + QLatin1Char('%'));
  }
  for (const QLatin1String key : {K("resets_at"), K("reset_at"), K("resetAt")}) {
    const QJsonValue value = window.value(key);
    if (value.isUndefined() || value.isNull()) {
      continue;
    }
    if (const auto reset = localUsageResetString(value)) {
      usage.insert(QLatin1String(keys.reset), *reset);
    }
    break;
  }
  if (const auto minutes = localUsageNumber(window.value(K("window_minutes")))) {
    usage.insert(QLatin1String(keys.windowMinutes), *minutes);
  }
}

// The length Codex gives a window, in minutes, when it gives one.
std::optional<double> windowMinutesOf(const std::optional<QJsonObject>& window) {
  return window ? localUsageNumber(window->value(K("window_minutes"))) : std::nullopt;
}

// Codex's two windows go to the meters their lengths name: 300 minutes is the five-hour meter and
// 10,080 the seven-day one, whichever of "primary" and "secondary" carries it. A window of another
// length keeps its position (primary five-hour, secondary seven-day) and is labelled by its length.
void putRateLimits(const QJsonObject& limits, QJsonObject& usage) {
  // A window that Codex reports as null leaves the other one standing.
  const std::optional<QJsonObject> primary = objectValue(limits, K("primary"));
  const std::optional<QJsonObject> secondary = objectValue(limits, K("secondary"));
  const auto slotOf = [](const std::optional<double>& minutes, const QuotaKeys* positional) {
    if (minutes == 300.0) {
      return &kFiveHourKeys;
    }
    if (minutes == 10'080.0) {
      return &kWeeklyKeys;
    }
    return positional;
  };
  const QuotaKeys* primarySlot = slotOf(windowMinutesOf(primary), &kFiveHourKeys);
  const QuotaKeys* secondarySlot = slotOf(windowMinutesOf(secondary), &kWeeklyKeys);
  if (primary && secondary && primarySlot == secondarySlot) {
    // Two windows of one name: each keeps its position.
    primarySlot = &kFiveHourKeys;
    secondarySlot = &kWeeklyKeys;
  }
  if (primary) {
    putRateLimit(*primary, *primarySlot, usage);
  }
  if (secondary) {
    putRateLimit(*secondary, *secondarySlot, usage);
  }
}

bool hasContextOrTokens(const std::optional<TandrelEvent>& event) {
  return event && event->usage && (event->usage->context || event->usage->tokens);
}

struct FolderEntry {
  QString path;
  qint64 modifiedNs = 0;
};

// The entries of one folder, hidden ones skipped, with what stat says of them.
template <typename Keep>
std::vector<FolderEntry> listFolder(const QString& folder, Keep&& keep) {
  std::vector<FolderEntry> kept;
  const QByteArray encoded = QFile::encodeName(folder);
  DIR* dir = ::opendir(encoded.constData());
  if (!dir) {
    return kept;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') {
      continue;
    }
    struct stat info {};
    if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;
    }
    const QString name = QFile::decodeName(entry->d_name);
    if (keep(name, info)) {
      kept.push_back({folder + QLatin1Char('/') + name,
                      static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec});
    }
  }
  ::closedir(dir);
  return kept;
}

QStringList newestChildFolders(const QString& folder) {
  auto folders = listFolder(folder, [](const QString&, const struct stat& info) { return S_ISDIR(info.st_mode); });
  std::stable_sort(folders.begin(), folders.end(),
                   [](const FolderEntry& a, const FolderEntry& b) { return a.modifiedNs > b.modifiedNs; });
  QStringList paths;
  for (std::size_t i = 0; i < folders.size() && i < static_cast<std::size_t>(kChildFolderLimit); ++i) {
    paths.push_back(folders[i].path);
  }
  return paths;
}

QString trimmedString(const QJsonValue& value) { return value.isString() ? value.toString().trimmed() : QString(); }

std::optional<QString> callID(const QJsonObject& payload) {
  if (auto id = firstNonEmptyString(payload, {K("call_id"), K("callId")})) {
    return id;
  }
  return std::nullopt;
}

}  // namespace

std::optional<TandrelEvent> codexRolloutUsageEvent(const QJsonObject& record, const QString& path) {
  const QJsonObject payload = payloadOf(record);
  const QJsonObject info = objectValue(payload, K("info")).value_or(QJsonObject());
  std::optional<QJsonObject> tokens = objectValue(info, K("total_token_usage"));
  const std::optional<QJsonObject> last = objectValue(info, K("last_token_usage"));
  if (!tokens) {
    tokens = last;
  }
  QString timestamp = nonEmptyString(record.value(K("timestamp")))
                          .value_or(nonEmptyString(payload.value(K("timestamp")))
                                        .value_or(formatUsageDate(QDateTime::currentDateTimeUtc())));
  QJsonObject usage{{K("data_source"), K("rollout")}, {K("tool_id"), K("codex-cli")}, {K("observed_at"), timestamp}};
  if (tokens) {
    const auto put = [&](const char* key, std::initializer_list<QLatin1String> sources) {
      if (const auto value = firstLocalUsageNumber(tokens, sources)) {
        usage.insert(QLatin1String(key), *value);
      }
    };
    put("input_tokens", {K("input_tokens"), K("inputTokens"), K("prompt_tokens"), K("promptTokens")});
    put("output_tokens", {K("output_tokens"), K("outputTokens"), K("completion_tokens"), K("completionTokens")});
    put("total_tokens", {K("total_tokens"), K("totalTokens"), K("tokens_total"), K("tokenCount")});
    put("cache_read_tokens",
        {K("cached_input_tokens"), K("cache_read_input_tokens"), K("cache_read_tokens"), K("cacheReadTokens")});
    put("cache_write_tokens", {K("cache_creation_input_tokens"), K("cache_write_input_tokens"),
                               K("cache_write_tokens"), K("cacheWriteTokens")});
    put("reasoning_tokens", {K("reasoning_tokens"), K("reasoningTokens"), K("reasoning_output_tokens"),
                             K("reasoningOutputTokens")});
  }

  std::optional<double> inUse = firstLocalUsageNumber(last, {K("input_tokens")});
  if (!inUse) {
    inUse = firstLocalUsageNumber(last, {K("total_tokens")});
  }
  if (!inUse) {
    inUse = firstLocalUsageNumber(usage, {K("input_tokens")});
  }
  if (!inUse) {
    inUse = firstLocalUsageNumber(usage, {K("total_tokens")});
  }
  if (!inUse) {
    inUse = firstLocalUsageNumber(usage, {K("input_tokens")}).value_or(0) +
            firstLocalUsageNumber(usage, {K("output_tokens")}).value_or(0);
  }
  if (const auto window = localUsageNumber(info.value(K("model_context_window"))); window && *inUse > 0) {
    insertLocalContextUsage(usage, *inUse, *window);
  }

  if (const auto limits = objectValue(payload, K("rate_limits"))) {
    putRateLimits(*limits, usage);
  }
  if (usage.size() <= 3) {
    return std::nullopt;
  }
  return usageOnlyEvent(QStringLiteral("local-codex-rollout"), QStringLiteral("codex"),
                        QStringLiteral("Codex usage updated"), timestamp, path, usage);
}

std::optional<TandrelEvent> codexRolloutFileUsageEvent(const QString& path) {
  const auto tail = readTailLines(path, kUsageTailBytes);
  if (!tail) {
    return std::nullopt;
  }
  JsonLineParser parser;
  std::optional<TandrelEvent> newest;
  for (auto line = tail->lines.rbegin(); line != tail->lines.rend(); ++line) {
    // Only records with "info" or "rate_limits" can yield usage: skip the rest unparsed.
    if (!contains(*line, "\"info\"") && !contains(*line, "\"rate_limits\"")) {
      continue;
    }
    const auto record = parser.object(*line);
    if (!record) {
      continue;
    }
    auto event = codexRolloutUsageEvent(*record, path);
    if (hasContextOrTokens(event)) {
      return event;
    }
    if (!newest && event) {
      newest = std::move(event);
    }
  }
  return newest;
}

QStringList recentCodexHotplugRolloutFiles(const std::optional<QString>& root, int limit) {
  if (!root || !QFileInfo::exists(*root)) {
    return {};
  }
  QStringList folders{*root};
  const QStringList firstLevel = newestChildFolders(*root);
  folders += firstLevel;
  for (const QString& first : firstLevel) {
    const QStringList secondLevel = newestChildFolders(first);
    folders += secondLevel;
    for (const QString& second : secondLevel) {
      folders += newestChildFolders(second);
    }
  }
  std::vector<DiscoveredFile> files;
  for (const QString& folder : folders) {
    const auto kept = listFolder(folder, [](const QString& name, const struct stat& info) {
      return S_ISREG(info.st_mode) && name.startsWith(QLatin1String("rollout-")) &&
             name.endsWith(QLatin1String(".jsonl"));
    });
    for (const auto& file : kept) {
      files.push_back({file.path, file.modifiedNs});
    }
  }
  sortNewestFirst(files);
  return firstPaths(files, limit);
}

QJsonObject codexFunctionArguments(const QJsonObject& payload) {
  const QJsonValue arguments = payload.value(K("arguments"));
  if (arguments.isObject()) {
    return arguments.toObject();
  }
  if (const auto text = nonEmptyString(arguments)) {
    const QJsonDocument document = QJsonDocument::fromJson(text->toUtf8());
    if (document.isObject()) {
      return document.object();
    }
  }
  return {};
}

std::optional<QString> codexSessionID(const QString& path) {
  const QString name = QFileInfo(path).completeBaseName();
  if (name.size() < 36) {
    return std::nullopt;
  }
  const QString candidate = name.right(36);
  if (candidate.count(QLatin1Char('-')) != 4) {
    return std::nullopt;
  }
  return candidate;
}

bool codexRolloutFunctionCallNeedsApproval(const QJsonObject& payload, const QJsonObject& arguments) {
  if (nonEmptyString(payload.value(K("type"))) != QStringLiteral("function_call")) {
    return false;
  }
  return trimmedString(arguments.value(K("sandbox_permissions"))) == QLatin1String("require_escalated") ||
         trimmedString(arguments.value(K("sandboxPermissions"))) == QLatin1String("require_escalated") ||
         nonEmptyString(arguments.value(K("justification"))).has_value();
}

std::optional<TandrelEvent> codexHotplugPermissionEvent(const QJsonObject& payload, const QJsonObject& record,
                                                        const std::optional<QString>& latestUserPrompt,
                                                        const std::optional<QString>& turnCwd, const QString& path,
                                                        const QDateTime& now) {
  const QJsonObject arguments = codexFunctionArguments(payload);
  if (!codexRolloutFunctionCallNeedsApproval(payload, arguments)) {
    return std::nullopt;
  }
  const auto modified = localUsageFileModifiedAt(path);
  const QString timestamp =
      nonEmptyString(record.value(K("timestamp"))).value_or(formatUsageDate(modified.value_or(now)));
  const QDateTime callDate = parseUsageDate(timestamp).value_or(modified.value_or(distantPast()));
  if (callDate.msecsTo(now) > kApprovalMaxAgeMs) {
    return std::nullopt;
  }
  const QString toolName = nonEmptyString(payload.value(K("name"))).value_or(QStringLiteral("tool"));
  const QString displayedTool = toolName == QLatin1String("exec_command") ? QStringLiteral("Bash") : toolName;
  const QString command = sanitize(firstNonEmptyString(arguments, {K("cmd"), K("command"), K("script")})
                                       .value_or(compactLocalText(arguments, 180)),
                                   180);
  QString cwd = firstNonEmptyString(arguments, {K("workdir"), K("cwd")})
                    .value_or(nonEmptyString(record.value(K("cwd"))).value_or(turnCwd.value_or(QString())));
  if (cwd.isEmpty()) {
    cwd = QFileInfo(path).path();
  }
  const auto justification = nonEmptyString(arguments.value(K("justification")));
  const QString call = callID(payload).value_or(command);
  QStringList parts;
  for (const QString& part : {displayedTool.trimmed(), command.trimmed()}) {
    if (!part.isEmpty()) {
      parts.push_back(part);
    }
  }
  const QString message = sanitize(parts.join(QLatin1String(" - ")));
  if (message.isEmpty()) {
    return std::nullopt;
  }
  QString previewUser;
  if (latestUserPrompt) {
    previewUser = *latestUserPrompt;
  } else if (justification) {
    previewUser = sanitize(*justification);
  } else {
    previewUser = QStringLiteral("Approval requested");
  }
  QJsonObject event{
      {K("event_id"), stableLocalUsageID(QLatin1String("hotplug-codex-permission-") + call, path, timestamp)},
      {K("source"), K("codex")},
      {K("source_type"), K("stable_local_loader")},
      {K("project"), basename(cwd)},
      {K("cwd"), cwd},
      {K("event_type"), K("permission_request")},
      {K("severity"), K("warning")},
      {K("title"), K("Codex CLI needs approval")},
      {K("message"), message},
      {K("tool_name"), displayedTool},
      {K("status"), K("waiting_approval")},
      {K("notify_policy"), K("immediate")},
      {K("timestamp"), latestLocalUsageTimestamp(timestamp, modified)},
      {K("transcript_path"), path},
      {K("raw_event_name"), K("RolloutPendingFunctionCall")},
      {K("action"), QJsonObject{{K("kind"), displayedTool},
                                {K("command"), command},
                                {K("risk"), justification ? K("medium") : K("low")}}},
      {K("preview"), QJsonObject{{K("user"), previewUser}, {K("agent"), message}}},
  };
  if (const auto session = codexSessionID(path)) {
    event.insert(K("session_id"), *session);
  }
  return TandrelEvent::fromDictionary(event);
}

std::optional<TandrelEvent> codexRolloutFileApprovalEvent(const QString& path, const QDateTime& now) {
  const auto tail = readTailLines(path, kApprovalTailBytes);
  if (!tail) {
    return std::nullopt;
  }
  const std::string_view text(tail->bytes.constData(), static_cast<std::size_t>(tail->bytes.size()));
  // Codex writes a call's arguments as JSON text inside the record, where the key's quotes are
  // escaped: look for the bare word.
  if (!contains(text, "\"function_call\"") ||
      !(contains(text, "require_escalated") || contains(text, "sandbox_permissions") ||
        contains(text, "sandboxPermissions") || contains(text, "justification"))) {
    return std::nullopt;
  }
  const auto& lines = tail->lines;
  JsonLineParser parser;
  QSet<QString> completed;
  std::optional<QJsonObject> chosenPayload;
  std::optional<QJsonObject> chosenRecord;
  bool chosenHasOwnCwd = false;
  std::optional<QString> prompt;
  std::optional<QString> turnCwd;
  const auto done = [&] { return chosenPayload && prompt && (turnCwd || chosenHasOwnCwd); };
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    const auto record = parser.object(*line);
    if (!record) {
      continue;
    }
    const QJsonObject payload = payloadOf(*record);
    const QString payloadType = payload.value(K("type")).toString();
    if (payloadType == QLatin1String("function_call_output") ||
        payloadType == QLatin1String("custom_tool_call_output")) {
      if (const auto id = callID(payload)) {
        completed.insert(*id);
      }
      continue;
    }
    const QString recordType = record->value(K("type")).toString();
    if (!turnCwd && recordType == QLatin1String("turn_context")) {
      turnCwd = nonEmptyString(payload.value(K("cwd")));
    }
    if (!prompt) {
      if (payloadType == QLatin1String("user_message")) {
        prompt = sanitize(compactLocalText(payload.value(K("message")), 240));
      } else if (recordType == QLatin1String("response_item") && payloadType == QLatin1String("message") &&
                 payload.value(K("role")).toString() == QLatin1String("user")) {
        prompt = sanitize(compactLocalText(payload.value(K("content")), 240));
      }
    }
    if (chosenPayload) {
      if (done()) {
        break;
      }
      continue;
    }
    if (payloadType != QLatin1String("function_call")) {
      continue;
    }
    if (const auto id = callID(payload); id && completed.contains(*id)) {
      continue;
    }
    const QJsonObject arguments = codexFunctionArguments(payload);
    if (!codexRolloutFunctionCallNeedsApproval(payload, arguments)) {
      continue;
    }
    chosenPayload = payload;
    chosenRecord = *record;
    chosenHasOwnCwd = firstNonEmptyString(arguments, {K("workdir"), K("cwd")}).has_value() ||
                      nonEmptyString(record->value(K("cwd"))).has_value();
    if (done()) {
      break;
    }
  }
  if (!chosenPayload) {
    return std::nullopt;
  }
  return codexHotplugPermissionEvent(*chosenPayload, *chosenRecord, prompt, turnCwd, path, now);
}

}  // namespace tandrel
