#pragma once

#include "events/bridge_fields.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTimeZone>

#include <optional>
#include <utility>
#include <vector>

// One usage reading of one tool, built from the free-form "usage" object of an agent event:
// up to seven display-ready meters (context, tokens, cost, five-hour, daily and weekly quota,
// rate limit), a headline, and where the numbers came from.
//
// Usage objects are written by agents, wrapper scripts and our own loaders, each with its own key
// names, so every reading tries an ordered list of keys and skips values of the wrong type. All
// number parsing and printing is locale-independent; values that are not finite ("inf", "1e400",
// NaN) count as absent. Everything here is a pure function of its inputs apart from the current
// time and time zone, which the overloads taking `now` and `timeZone` make explicit.

namespace tandrel {

// One meter value.
struct UsageMetric {
  QString label;   // "42%", "35% left", "12k / 200k", "1.2m total", "$3.5", "Blocked"
  QString suffix;  // percent text, token breakdown or short reset time; "" when none
  // Fill in percent (0 to 100 in normal use): the remaining share for meters read from
  // "remaining" keys, else the used share. Absent for tokens, cost and rate limit.
  std::optional<double> percent;
  QString status;  // "ok", "warning" or "error"
  // Whether `percent` counts what is left (read from a "remaining" key) or what is used; unknown
  // for a meter built elsewhere, whose words then tell.
  std::optional<bool> percentCountsRemaining = std::nullopt;
  // When a quota's window resets, when its reset text is a date (milliseconds since 1970, UTC).
  std::optional<qint64> resetsAtMs = std::nullopt;
  // The length of a quota's window in minutes when the agent names it (Codex does); 0 when the
  // meter's own window (five hours, a day, seven days) is meant.
  int windowMinutes = 0;

  bool operator==(const UsageMetric&) const = default;
};

// How far a reading can be trusted, from its data source.
enum class UsageQuality { official, stableLocal, wrapperExplicit, demo };

// What kind of source a reading came from.
enum class UsageSourceClass {
  officialPush,
  stableLocalLoader,
  wrapperExplicit,
  remoteOptIn,
  jumpOnly,
  messagesOnly,
  rateLimitSignal,
  unsupported,
};

QString rawValue(UsageQuality quality);
QString rawValue(UsageSourceClass sourceClass);
std::optional<UsageQuality> parseUsageQuality(QStringView raw);
std::optional<UsageSourceClass> parseUsageSourceClass(QStringView raw);

// One usage reading; it always has at least one of its seven metrics.
struct UsageSnapshot {
  QString tool;        // display name of the tool
  QString toolID;      // canonical tool identifier
  QString source;      // the event's source text
  QString dataSource;  // "hook", "rollout", "transcript", ...
  QString observedAt;  // ISO-8601; drives ordering and staleness
  UsageQuality quality = UsageQuality::official;
  UsageSourceClass sourceClass = UsageSourceClass::officialPush;
  std::optional<UsageMetric> context;
  std::optional<UsageMetric> tokens;
  std::optional<UsageMetric> cost;
  std::optional<UsageMetric> fiveHour;
  std::optional<UsageMetric> daily;
  std::optional<UsageMetric> weekly;
  std::optional<UsageMetric> rateLimit;
  QString label;                  // headline of the whole reading
  std::optional<double> percent;  // headline percent
  QString updated;                // age of observedAt when parsed: "5m ago", "now"

  // The labelled meter rows the reading offers: "Context window", "5-hour limit" (the rate limit
  // when there is no five-hour meter) and "7-day limit" (a "No 7d data" placeholder without a
  // weekly meter), those present; with none of those four meters, "Tokens" and "Cost" instead.
  // A quota whose window the agent names is labelled by that window ("1-day limit").
  std::vector<std::pair<QString, UsageMetric>> rows() const;

  bool operator==(const UsageSnapshot&) const = default;
};

// The reading of one "usage" object. `tool` is the display name of the event's source, `source`
// the source text and `timestamp` the record's raw timestamp ("" when it has none). Nothing when
// no metric can be built.
std::optional<UsageSnapshot> makeUsageSnapshot(const QJsonObject& usage, const QString& tool, const QString& source,
                                               const QString& timestamp);
std::optional<UsageSnapshot> makeUsageSnapshot(const QJsonObject& usage, const QString& tool, const QString& source,
                                               const QString& timestamp, const QDateTime& now,
                                               const QTimeZone& timeZone);
// The same for a "usage" object whose known keys are filed already (the bridge reader's path),
// aged against `now` or, without it, the current time. `timestampDate` is what parseUsageDate
// gives for `timestamp`, when the caller has that already.
std::optional<UsageSnapshot> makeUsageSnapshot(const BridgeFields& usage, const QString& tool, const QString& source,
                                               const QString& timestamp, const std::optional<QDateTime>& timestampDate,
                                               const std::optional<QDateTime>& now);

// Sets the headline of a reading from its metrics. The label is the first that applies of
// "5h limit · <rate limit>", "5h <five-hour> · 7d <weekly>", "5h limit · <five-hour>",
// "Daily · <daily>", "7d limit · <weekly>", "Context · <context>", "Tokens · <tokens>" and
// "Cost · <cost>"; the percent is the first of the rate-limit, five-hour, daily and weekly
// percents, else the context percent.
void applyUsageHeadline(UsageSnapshot& snapshot);

// Value readers: each tries its keys in order and returns the first usable value.
// A non-blank string (trimmed), or the plain decimal text of a number or boolean ("1" for true).
std::optional<QString> usageString(const QJsonObject& usage, const QStringList& keys);
// A finite number (a boolean is 1 or 0), or a string that after removing "%", "$" and "," spells
// a finite number in the C locale.
std::optional<double> usageNumber(const QJsonObject& usage, const QStringList& keys);
// A percent on the 0–100 scale, as the agents write it: usageNumber. No value is taken for a
// share of 1: Codex's "used_percent" and Claude's "used_percentage" are 0.5 for half a percent,
// and the percents our own loaders compute are percents already.
std::optional<double> usagePercentNumber(const QJsonObject& usage, const QStringList& keys);
// A boolean; a number (non-zero is true); "true", "yes", "1", "blocked", "warning" or "false",
// "no", "0" in any case.
std::optional<bool> usageBool(const QJsonObject& usage, const QStringList& keys);

// "12k", "1.5k", "1m", "999": one decimal in thousands or millions, ".0" removed.
QString compactUsageCount(double value);
// "used / total", in compact counts when either is 10,000 or more and both are numbers.
QString contextPairDisplayLabel(const QString& used, const QString& total);
// Rounded half away from zero: 41.5 gives "42". Empty for a value that is not finite.
QString formatWholePercent(double value);
// A percent as the meters show it: whole, except that a value strictly between 0 and 1 or
// between 99 and 100 keeps one decimal ("0.5", "99.5"), so that a little used or a little left
// never reads as none or all. Empty for a value that is not finite.
QString formatUsagePercent(double value);
// The name of a quota window of `minutes`: "5-hour", "7-day", "1-day", "90-minute"; whole days
// and hours are named as such. The short form is "5h", "7d", "1d", "90m".
QString usageWindowName(int minutes);
QString usageWindowShortName(int minutes);
// A quota's row label and short name: by the metric's own window when the agent named one, else
// the given ones.
QString usageQuotaRowLabel(const UsageMetric& metric, const QString& fallback);
QString usageQuotaShortName(const UsageMetric& metric, const QString& fallback);
// Whether a reading's quotas are our own estimate from transcripts (the five-hour block of
// Claude's transcripts) rather than what the agent reported of its rate limits.
bool usageQuotaIsEstimate(const UsageSnapshot& snapshot);
// "unknown", "not provided" or "n/a" after trimming, in any case.
bool isPlaceholderLabel(const QString& label);
// Two decimals (four below 0.01), trailing zeros dropped but one kept: "12.0", "3.5", "0.004".
QString formatCostAmount(double amount);
// A label shown for a remaining quota: "80% left" for "80" or "80%"; words are kept as they are.
QString remainingQuotaDisplayLabel(const QString& label, std::optional<double> percent);

// "ok", "warning" or "error" for a used share and for a remaining share.
QString usageStatus(const QString& label, std::optional<double> percent);
QString remainingUsageStatus(const QString& label, std::optional<double> percent);

UsageQuality usageQuality(const QString& dataSource);
UsageSourceClass usageSourceClass(const QString& dataSource);

}  // namespace tandrel
