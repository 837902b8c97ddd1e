#include "selfcheck/checks/local_usage_loader_checks.h"

#include "catalog/tool_catalog.h"
#include "events/event_store.h"
#include "hooks/hook_manager.h"
#include "island/collapsed_ticker.h"
#include "selfcheck/checks/check_group.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"
#include "usage/scanners/local_files.h"
#include "usage/scanners/local_usage_file_event_cache.h"
#include "usage/usage_brand.h"
#include "usage/usage_dates.h"
#include "usage/usage_snapshot.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace tandrel {
namespace {

// A Codex token usage block.
QJsonObject tokenUsage(int input, int output, int cachedInput, int total) {
  return {{QStringLiteral("input_tokens"), input},
          {QStringLiteral("output_tokens"), output},
          {QStringLiteral("cached_input_tokens"), cachedInput},
          {QStringLiteral("total_tokens"), total}};
}

// The "info" of a rollout's token count: a 128k window, the last turn's tokens and the session's
// totals.
QJsonObject rolloutInfo(const QJsonObject& totalTokenUsage) {
  return {{QStringLiteral("model_context_window"), 128000},
          {QStringLiteral("last_token_usage"), tokenUsage(1800, 2200, 200, 4200)},
          {QStringLiteral("total_token_usage"), totalTokenUsage}};
}

QJsonObject rateLimit(double usedPercent, const QString& resetsAt, int windowMinutes) {
  return {{QStringLiteral("used_percent"), usedPercent},
          {QStringLiteral("resets_at"), resetsAt},
          {QStringLiteral("window_minutes"), windowMinutes}};
}

// The rate limits of the rollouts: `primaryUsed` % of a five-hour window resetting at
// `primaryReset`, `secondaryUsed` % of a seven-day window resetting on 15 May 2026.
QJsonObject rolloutRateLimits(double primaryUsed, const QString& primaryReset, double secondaryUsed) {
  return {{QStringLiteral("primary"), rateLimit(primaryUsed, primaryReset, 300)},
          {QStringLiteral("secondary"), rateLimit(secondaryUsed, QStringLiteral("2026-05-15T08:40:00Z"), 10080)}};
}

QJsonObject rolloutLine(const QString& timestamp, const char* type, const QJsonObject& payload) {
  return {{QStringLiteral("timestamp"), timestamp},
          {QStringLiteral("type"), QString::fromLatin1(type)},
          {QStringLiteral("payload"), payload}};
}

QJsonObject claudeAssistantLine(const QString& timestamp, const QJsonObject& usage) {
  return {{QStringLiteral("timestamp"), timestamp},
          {QStringLiteral("type"), QStringLiteral("assistant")},
          {QStringLiteral("message"), QJsonObject{{QStringLiteral("usage"), usage}}}};
}

QJsonObject claudeUsage(int input, int output, std::optional<int> cacheRead, std::optional<int> cacheCreation) {
  QJsonObject usage{{QStringLiteral("input_tokens"), input}, {QStringLiteral("output_tokens"), output}};
  if (cacheRead) usage.insert(QStringLiteral("cache_read_input_tokens"), *cacheRead);
  if (cacheCreation) usage.insert(QStringLiteral("cache_creation_input_tokens"), *cacheCreation);
  return usage;
}

QJsonObject traeInteraction(const QString& stamp, const QJsonObject& usage) {
  return {{QStringLiteral("timestamp"), stamp},
          {QStringLiteral("provider"), QStringLiteral("openai")},
          {QStringLiteral("model"), QStringLiteral("gpt-5.5-codex")},
          {QStringLiteral("response"), QJsonObject{{QStringLiteral("usage"), usage}}}};
}

QJsonObject traeTrajectory(const QString& stamp) {
  const QJsonObject first{{QStringLiteral("input_tokens"), 1200},
                          {QStringLiteral("output_tokens"), 300},
                          {QStringLiteral("cache_read_input_tokens"), 50},
                          {QStringLiteral("cache_creation_input_tokens"), 20},
                          {QStringLiteral("reasoning_tokens"), 30}};
  const QJsonObject second{{QStringLiteral("input_tokens"), 700},
                           {QStringLiteral("output_tokens"), 250},
                           {QStringLiteral("cache_read_input_tokens"), 10},
                           {QStringLiteral("reasoning_tokens"), 40}};
  return {{QStringLiteral("task"), QStringLiteral("Update API tests")},
          {QStringLiteral("start_time"), stamp},
          {QStringLiteral("end_time"), stamp},
          {QStringLiteral("provider"), QStringLiteral("openai")},
          {QStringLiteral("model"), QStringLiteral("gpt-5.5-codex")},
          {QStringLiteral("llm_interactions"), QJsonArray{traeInteraction(stamp, first), traeInteraction(stamp, second)}}};
}

// A store over one folder's files only: its own event and audit files and the given usage roots.
EventStoreOptions loaderStoreOptions(const QString& folder, const QString& eventFileName,
                                     std::optional<QString> codexSessionsRoot,
                                     std::optional<QString> claudeProjectsRoot,
                                     std::optional<QString> traeTrajectoryRoot) {
  EventStoreOptions options = storeOptionsWithoutAgentFolders(folder + QLatin1Char('/') + eventFileName,
                                                              folder + QStringLiteral("/audit.jsonl"));
  options.codexSessionsRoot = std::move(codexSessionsRoot);
  options.claudeProjectsRoot = std::move(claudeProjectsRoot);
  options.traeTrajectoryRoot = std::move(traeTrajectoryRoot);
  return options;
}

// A meter's percent truncated toward zero; -1 when it is absent or cannot be an integer.
qint64 wholePercent(const std::optional<UsageMetric>& metric) {
  if (!metric || !metric->percent || !std::isfinite(*metric->percent) ||
      std::fabs(*metric->percent) >= static_cast<double>(std::numeric_limits<qint64>::max())) {
    return -1;
  }
  return static_cast<qint64>(std::trunc(*metric->percent));
}

std::optional<QString> suffixOf(const std::optional<UsageMetric>& metric) {
  return metric ? std::optional<QString>(metric->suffix) : std::nullopt;
}

std::optional<UsageSnapshot> mergedBrandUsage(EventStore& store, const QString& name) {
  return store.mergedUsage(usageToolIDs(name), usageBrandName(name));
}

class LoaderGroup : CheckGroup {
 public:
  using CheckGroup::CheckGroup;

  void run() {
    // A tree of its own, without what an earlier run added to it.
    const std::optional<QString> folder = freshFolder("local-usage", kFixtures);
    if (!folder) return;
    folder_ = *folder;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    nowStamp_ = formatUsageDate(now);
    // The five-hour window resets two hours from now: a reset a day or more away reads as a date.
    primaryReset_ = formatUsageDate(now.addSecs(2 * 3600));
    if (!written(writeJSONLines({}, folder_ + QStringLiteral("/empty-events.jsonl"))) ||
        !written(writeJSONLines({rolloutRecord(rolloutInfo(tokenUsage(3600, 4800, 400, 8800)))}, rolloutFile())) ||
        !written(writeJSONLines({claudeAssistantLine(formatUsageDate(now.addSecs(-21600)),
                                                     claudeUsage(1178, 152, 270336, 64)),
                                 claudeAssistantLine(nowStamp_, claudeUsage(589, 76, 135168, 32))},
                                folder_ + QStringLiteral("/claude-projects/project-a/session-test.jsonl"))) ||
        !written(writeJSON(traeTrajectory(nowStamp_), folder_ + QStringLiteral("/trae-trajectories/trajectory-test.json")))) {
      return;
    }

    EventStore s1(loaderStoreOptions(folder_, QStringLiteral("empty-events.jsonl"),
                                     folder_ + QStringLiteral("/codex-sessions"),
                                     folder_ + QStringLiteral("/claude-projects"),
                                     folder_ + QStringLiteral("/trae-trajectories")));
    s1.reload(false);
    checkCodexRollout(s1);
    if (!checkQuotaOnlyRollout() || !checkFractionalRollout()) return;
    checkClaudeTranscript(s1);
    checkTraeTrajectory(s1);
    if (!checkReloads(s1)) return;
    checkEligibility(s1);
  }

 private:
  static constexpr const char* kFixtures = "local usage loader fixtures";

  bool written(const Result<void>& result) { return CheckGroup::written(result, kFixtures); }

  QString rolloutFile() const { return folder_ + QStringLiteral("/codex-sessions/2026/05/09/rollout-test.jsonl"); }

  QJsonObject rolloutRecord(const QJsonObject& info) const {
    return rolloutLine(nowStamp_, "turn_context",
                       {{QStringLiteral("info"), info},
                        {QStringLiteral("rate_limits"), rolloutRateLimits(74, primaryReset_, 31)}});
  }

  // A store like S1 that sees the Codex rollouts of one folder only.
  std::optional<UsageSnapshot> codexOnlyUsage(const QString& eventFileName, const QString& sessionsFolder) {
    clearLocalUsageFileEventCache();
    clearRecentJSONLDiscoveryCache();
    EventStore store(
        loaderStoreOptions(folder_, eventFileName, folder_ + QLatin1Char('/') + sessionsFolder, std::nullopt, std::nullopt));
    store.reload(false);
    return store.latestUsage(QStringLiteral("Codex CLI"));
  }

  void checkCodexRollout(EventStore& s1) {
    const std::optional<UsageSnapshot> usage = s1.latestUsage(QStringLiteral("Codex CLI"));
    if (!usage) {
      check(false, "Codex rollout usage loader missing");
      return;
    }
    check(usage->dataSource == u"rollout", "Codex rollout loader should preserve rollout provenance");
    check(usage->quality == UsageQuality::stableLocal, "Codex rollout usage should be stable local quality");
    check(metricLabel(usage->tokens) == u"8.8k total", "Codex rollout loader should use total rollout token usage");
    check(metricLabel(usage->context) == u"126.2k / 128k",
          "Codex rollout loader should display remaining context, not context already sent");
    check(wholePercent(usage->context) == 98, "Codex rollout loader context percent should represent remaining context");
    check(metricLabel(usage->fiveHour) == u"26% left",
          "Codex rollout loader should label 5-hour remaining quota as left");
    check(wholePercent(usage->fiveHour) == 26, "Codex rollout loader should display remaining primary rate-limit percent");
    const std::optional<QString> fiveHourReset = suffixOf(usage->fiveHour);
    check(fiveHourReset && fiveHourReset->contains(QLatin1Char(':')),
          "Codex 5-hour reset should render as a compact reset time label");
    check(fiveHourReset && !fiveHourReset->contains(QLatin1String("resets"), Qt::CaseInsensitive),
          "Codex 5-hour reset label should not include the word resets");
    check(fiveHourReset && !fiveHourReset->contains(QLatin1Char('(')),
          "Codex 5-hour reset label should not include a window suffix");
    check(metricLabel(usage->weekly) == u"69% left",
          "Codex rollout loader should label weekly remaining quota as left");
    check(wholePercent(usage->weekly) == 69,
          "Codex rollout loader should display remaining secondary rate-limit percent as 7-day usage");
    const std::optional<QString> weeklyReset = suffixOf(usage->weekly);
    check(weeklyReset && weeklyReset->startsWith(QLatin1String("May ")),
          "Codex weekly reset should render as a compact reset date label");
    check(weeklyReset && !weeklyReset->contains(QLatin1Char('(')),
          "Codex weekly reset label should not include a window suffix");
    check(usageRowLabels(*usage) == QStringList{QStringLiteral("Context window"), QStringLiteral("5-hour limit"),
                                                QStringLiteral("7-day limit")},
          "Codex usage rows should render exactly context, 5h, and 7d without the token row");
  }

  // False when its fixture could not be written (the rest of the group is skipped).
  bool checkQuotaOnlyRollout() {
    const QJsonObject fullCount{{QStringLiteral("type"), QStringLiteral("token_count")},
                                {QStringLiteral("info"), rolloutInfo(tokenUsage(3600, 4800, 400, 8800))},
                                {QStringLiteral("rate_limits"), rolloutRateLimits(74, primaryReset_, 31)}};
    const QJsonObject quotaOnly{
        {QStringLiteral("type"), QStringLiteral("token_count")},
        {QStringLiteral("info"), QJsonValue::Null},
        {QStringLiteral("rate_limits"),
         QJsonObject{{QStringLiteral("primary"), rateLimit(3, QStringLiteral("2026-05-09T09:00:00Z"), 300)}}}};
    const QString later = formatUsageDate(QDateTime::currentDateTimeUtc().addSecs(30));
    if (!written(writeJSONLines({}, folder_ + QStringLiteral("/quota-only-empty-events.jsonl"))) ||
        !written(writeJSONLines(
            {rolloutLine(nowStamp_, "event_msg", fullCount), rolloutLine(later, "event_msg", quotaOnly)},
            folder_ + QStringLiteral("/quota-only-codex-sessions/2026/05/09/rollout-quota-only-latest.jsonl")))) {
      return false;
    }
    const std::optional<UsageSnapshot> usage =
        codexOnlyUsage(QStringLiteral("quota-only-empty-events.jsonl"), QStringLiteral("quota-only-codex-sessions"));
    if (!usage) {
      check(false, "quota-only Codex rollout usage loader missing");
      return true;
    }
    check(metricLabel(usage->tokens) == u"8.8k total",
          "Codex rollout loader should skip quota-only token_count records when richer token usage exists");
    check(metricLabel(usage->context) == u"126.2k / 128k",
          "Codex rollout loader should keep context metrics when a newer quota-only token_count exists");
    return true;
  }

  // Codex writes `used_percent` on the 0–100 scale: 0.08 is 0.08 % used, so 99.92 % is left and
  // shows with its decimal.
  bool checkFractionalRollout() {
    const QJsonObject record = rolloutLine(
        nowStamp_, "turn_context",
        {{QStringLiteral("info"), rolloutInfo(tokenUsage(3600, 4800, 400, 8800))},
         {QStringLiteral("rate_limits"), rolloutRateLimits(0.08, primaryReset_, 0.48)}});
    if (!written(writeJSONLines({}, folder_ + QStringLiteral("/fractional-empty-events.jsonl"))) ||
        !written(writeJSONLines({record}, folder_ + QStringLiteral("/fractional-codex-sessions/2026/05/09/"
                                                                   "rollout-fractional-percent.jsonl")))) {
      return false;
    }
    const std::optional<UsageSnapshot> usage =
        codexOnlyUsage(QStringLiteral("fractional-empty-events.jsonl"), QStringLiteral("fractional-codex-sessions"));
    if (!usage) {
      check(false, "fractional Codex rollout usage loader missing");
      return true;
    }
    check(metricLabel(usage->fiveHour) == u"99.9% left",
          "fractional Codex 5-hour utilization should not round to 100% left");
    check(metricLabel(usage->weekly) == u"99.5% left",
          "fractional Codex weekly utilization should not round to 100% left");
    return true;
  }

  void checkClaudeTranscript(EventStore& s1) {
    const std::optional<UsageSnapshot> usage = s1.latestUsage(QStringLiteral("Claude Code"));
    if (!usage) {
      check(false, "Claude transcript usage loader missing");
      return;
    }
    check(usage->dataSource == u"transcript", "Claude transcript loader should preserve transcript provenance");
    check(usage->quality == UsageQuality::stableLocal, "Claude transcript usage should be stable local quality");
    check(metricLabel(usage->context) == u"864.2k / 1m",
          "Claude transcript loader should display remaining context, not consumed context");
    check(wholePercent(usage->context) == 86, "Claude transcript loader context percent should represent remaining context");
    check(metricLabel(usage->tokens) == u"665 total", "Claude transcript loader should sum input and output tokens");
    const std::optional<QString> tokenSuffix = suffixOf(usage->tokens);
    check(tokenSuffix && tokenSuffix->contains(QLatin1String("135.2k cache read")),
          "Claude transcript loader should preserve cache-read tokens");
    check(metricLabel(usage->fiveHour) == u"50% left",
          "Claude transcript loader should publish a remaining 5-hour block label");
    const std::optional<QString> reset = suffixOf(usage->fiveHour);
    check(reset && reset->contains(QLatin1Char(':')),
          "Claude transcript loader should render the 5-hour reset as a compact reset time label");
    check(!usage->weekly, "Claude transcript loader should not publish local token totals as a 7-day quota");
    const QStringList rows = usageRowLabels(*usage);
    check(rows.contains(QStringLiteral("7-day limit")), "Claude usage rows should keep the 7-day slot when no weekly quota exists");
    check(!rows.contains(QStringLiteral("Tokens")), "Claude usage rows should not include token totals in the panel");
  }

  void checkTraeTrajectory(EventStore& s1) {
    const std::optional<UsageSnapshot> usage = s1.latestUsage(QStringLiteral("Trae"));
    if (!usage) {
      check(false, "Trae trajectory usage loader missing");
      return;
    }
    check(usage->dataSource == u"trajectory", "Trae trajectory loader should preserve trajectory provenance");
    check(usage->quality == UsageQuality::stableLocal, "Trae trajectory usage should be stable local quality");
    check(metricLabel(usage->tokens) == u"2.6k total", "Trae trajectory loader should sum interaction token usage");
    const std::optional<QString> tokenSuffix = suffixOf(usage->tokens);
    check(tokenSuffix && tokenSuffix->contains(QLatin1String("70 reasoning")),
          "Trae trajectory loader should preserve reasoning tokens");
    check(usageRowLabels(*usage).contains(QStringLiteral("Tokens")),
          "Trae token-only usage should render a token row instead of fake quota data");
  }

  // False when a fixture could not be written (the rest of the group is skipped).
  bool checkReloads(EventStore& s1) {
    if (!written(writeJSONLines({rolloutRecord(rolloutInfo(tokenUsage(4700, 5200, 400, 9900)))}, rolloutFile()))) {
      return false;
    }
    qint64 before = s1.revision();
    s1.reload(false);
    check(before < s1.revision(),
          "local usage reload should notice metric changes even when event id, timestamp, and summary label are "
          "unchanged");
    const std::optional<UsageSnapshot> codex = mergedBrandUsage(s1, QStringLiteral("Codex CLI"));
    check(codex && metricLabel(codex->tokens) == u"9.9k total",
          "local usage reload should publish updated token metrics from the same rollout event");

    const QJsonObject newRecord = claudeAssistantLine(formatUsageDate(QDateTime::currentDateTimeUtc().addSecs(2)),
                                                      claudeUsage(1000, 200, std::nullopt, std::nullopt));
    if (!written(writeJSONLines({newRecord}, folder_ + QStringLiteral("/claude-projects/project-new/session-new.jsonl")))) {
      return false;
    }
    before = s1.revision();
    s1.reload(false);
    check(before < s1.revision(), "local usage reload should notice newly created transcript files after discovery caching");
    const std::optional<UsageSnapshot> claude = mergedBrandUsage(s1, QStringLiteral("Claude Code"));
    check(claude && metricLabel(claude->tokens) == u"1.2k total",
          "local usage reload should publish usage from newly discovered transcript files");
    return true;
  }

  void checkEligibility(EventStore& s1) {
    const std::vector<ToolHealth> health = catalogueToolHealth([](const QString& id) -> std::optional<HookStatus> {
      if (id == u"claude-code" || id == u"codex-cli" || id == u"trae-agent-cli") return HookStatus::repair;
      return std::nullopt;
    });
    const QStringList names = eligibleUsageToolNames(health, {}, s1, true, QDateTime::currentDateTimeUtc());
    check(names.contains(QStringLiteral("Codex")), "Codex rollout usage should stay eligible while notify bridge needs repair");
    check(names.contains(QStringLiteral("Claude")), "Claude transcript usage should stay eligible while hooks need repair");
    check(names.contains(QStringLiteral("Trae")), "Trae trajectory usage should stay eligible while wrapper bridge needs repair");
    check(!names.contains(QStringLiteral("Codex CLI")),
          "Codex CLI should be grouped under Codex when local rollout usage is loaded");
    check(!names.contains(QStringLiteral("Claude Code")),
          "Claude Code should be grouped under Claude when transcript usage is loaded");
    check(!names.contains(QStringLiteral("Trae Agent CLI")),
          "Trae Agent CLI should be grouped under Trae when trajectory usage is loaded");
  }

  QString folder_;
  QString nowStamp_;
  QString primaryReset_;
};

}  // namespace

void runLocalUsageLoaderChecks(SelfCheckFailures& failures, const QString& tempRoot) {
  LoaderGroup(failures, tempRoot).run();
}

}  // namespace tandrel
