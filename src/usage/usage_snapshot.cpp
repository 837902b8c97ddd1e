#include "usage/usage_snapshot.h"

#include "events/bridge_fields.h"
#include "events/bridge_values.h"
#include "events/raw_value_table.h"
#include "events/tandrel_event.h"
#include "events/text_memo.h"
#include "catalog/tool_catalog.h"
#include "usage/usage_dates.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <system_error>

namespace tandrel {
namespace {

constexpr RawValueTable<UsageQuality, 4> kQualities{{
    {UsageQuality::official, "official"},
    {UsageQuality::stableLocal, "stableLocal"},
    {UsageQuality::wrapperExplicit, "wrapperExplicit"},
    {UsageQuality::demo, "demo"},
}};

constexpr RawValueTable<UsageSourceClass, 8> kSourceClasses{{
    {UsageSourceClass::officialPush, "officialPush"},
    {UsageSourceClass::stableLocalLoader, "stableLocalLoader"},
    {UsageSourceClass::wrapperExplicit, "wrapperExplicit"},
    {UsageSourceClass::remoteOptIn, "remoteOptIn"},
    {UsageSourceClass::jumpOnly, "jumpOnly"},
    {UsageSourceClass::messagesOnly, "messagesOnly"},
    {UsageSourceClass::rateLimitSignal, "rateLimitSignal"},
    {UsageSourceClass::unsupported, "unsupported"},
}};

const QString kMiddleDot = QStringLiteral(" \u00B7 ");

consteval int K(std::string_view name) { return bridgeKey(name); }
using Keys = std::initializer_list<int>;

std::optional<double> numberInText(const QString& text, bool dropDollar);

// `value` in fixed notation with `decimals` decimals, as printf prints it ("%.1f" of 1.25 is "1.2",
// "%.2f" of 0.125 is "0.12": the exact binary value rounded, a tie to even), which std::to_chars
// gives without locale machinery. Magnitudes beyond 1e15 give nothing, and Qt prints them.
std::optional<std::size_t> fixedDigits(double value, int decimals, char* buffer, std::size_t size) {
  if (!(std::fabs(value) < 1e15)) {
    return std::nullopt;
  }
  const auto [end, error] = std::to_chars(buffer, buffer + size, value, std::chars_format::fixed, decimals);
  if (error != std::errc()) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(end - buffer);
}

// A count in fixed notation with at most one decimal, ".0" dropped, and the unit appended.
QString compactText(double value, int decimals, char unit) {
  char buffer[40];
  if (const auto length = fixedDigits(value, decimals, buffer, sizeof buffer - 1)) {
    std::size_t size = *length;
    if (size >= 2 && buffer[size - 2] == '.' && buffer[size - 1] == '0') {
      size -= 2;
    }
    if (unit != 0) {
      buffer[size++] = unit;
    }
    return QString::fromLatin1(buffer, static_cast<qsizetype>(size));
  }
  QString text = QString::number(value, 'f', decimals);
  if (text.endsWith(QLatin1String(".0"))) {
    text.chop(2);
  }
  if (unit != 0) {
    text.append(QLatin1Char(unit));
  }
  return text;
}

// What one value gives to each reader; nothing moves the reader on to its next key.
std::optional<QString> stringOf(const BridgeValue& value) {
  if (value.isBool()) {
    return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
  }
  return stringValue(value);
}

std::optional<double> numberOf(const BridgeValue& value) {
  if (value.isBool()) {
    return value.toBool() ? 1.0 : 0.0;
  }
  if (value.isNumber()) {
    const double d = value.toDouble();
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
  }
  if (value.isString()) {
    const QString trimmed = value.string().trimmed();
    if (!trimmed.isEmpty()) {
      return numberInText(trimmed, true);
    }
  }
  return std::nullopt;
}

std::optional<bool> flagOf(const BridgeValue& value) {
  if (value.isBool()) {
    return value.toBool();
  }
  if (value.isNumber()) {
    return value.toDouble() != 0.0;
  }
  if (value.isString()) {
    const QString lower = value.string().trimmed().toLower();
    if (lower == QLatin1String("true") || lower == QLatin1String("yes") || lower == QLatin1String("1") ||
        lower == QLatin1String("blocked") || lower == QLatin1String("warning")) {
      return true;
    }
    if (lower == QLatin1String("false") || lower == QLatin1String("no") || lower == QLatin1String("0")) {
      return false;
    }
  }
  return std::nullopt;
}

// The first key, in order, whose value `read` converts.
template <typename Read>
auto firstOf(const BridgeFields& usage, Keys keys, Read read) -> decltype(read(BridgeValue())) {
  for (const int key : keys) {
    if (usage.contains(key)) {
      if (auto value = read(usage.value(key))) {
        return value;
      }
    }
  }
  return std::nullopt;
}

template <typename Read>
auto firstOf(const QJsonObject& usage, const QStringList& keys, Read read) -> decltype(read(BridgeValue())) {
  for (const QString& key : keys) {
    const auto it = usage.constFind(key);
    if (it != usage.constEnd()) {
      if (auto value = read(BridgeValue::fromJson(it.value()))) {
        return value;
      }
    }
  }
  return std::nullopt;
}

std::optional<QString> usageText(const BridgeFields& usage, Keys keys) { return firstOf(usage, keys, stringOf); }
std::optional<double> usageNumber(const BridgeFields& usage, Keys keys) { return firstOf(usage, keys, numberOf); }
std::optional<bool> usageFlag(const BridgeFields& usage, Keys keys) { return firstOf(usage, keys, flagOf); }

// The current time (the system's, unless given) and, only when a reset label needs it, the zone
// (looking the system zone up is not free, and most readings carry no reset time).
class ReadingTime {
 public:
  ReadingTime(std::optional<QDateTime> now, std::optional<QTimeZone> zone)
      : now_(std::move(now)), zone_(std::move(zone)) {}
  const QDateTime& now() {
    if (!now_) {
      now_ = QDateTime::currentDateTimeUtc();
    }
    return *now_;
  }
  const QTimeZone& zone() {
    if (!zone_) {
      zone_ = QTimeZone::systemTimeZone();
    }
    return *zone_;
  }

 private:
  std::optional<QDateTime> now_;
  std::optional<QTimeZone> zone_;
};

bool containsAny(const QString& text, std::initializer_list<const char*> needles) {
  for (const char* needle : needles) {
    if (text.contains(QLatin1String(needle))) {
      return true;
    }
  }
  return false;
}

// Strips "%", "$" and "," (or just "%" and ","), trims, and reads the rest as a finite number.
std::optional<double> numberInText(const QString& text, bool dropDollar) {
  // Nearly every text is ASCII: read it as bytes, without building a cleaned copy.
  QVarLengthArray<char, 64> bytes;
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u == 0 || u >= 0x80) {
      bytes.clear();
      QString cleaned;
      cleaned.reserve(text.size());
      for (const QChar other : text) {
        if (other == u'%' || other == u',' || (dropDollar && other == u'$')) {
          continue;
        }
        cleaned.append(other);
      }
      return parseFiniteDouble(QStringView(cleaned).trimmed());
    }
    if (u == u'%' || u == u',' || (dropDollar && u == u'$')) {
      continue;
    }
    bytes.append(static_cast<char>(u));
  }
  return parseFiniteDouble(QLatin1StringView(bytes.data(), bytes.size()).trimmed());
}

bool isQuotaLimitText(const QString& lower) {
  return containsAny(lower, {"rate limited", "rate_limit", "usage limit", "limit reached"});
}

QString percentLabel(double percent) { return formatUsagePercent(percent) + QLatin1Char('%'); }

std::optional<UsageMetric> makeContextMetric(const BridgeFields& usage) {
  std::optional<double> percent = usageNumber(usage, {K("context_remaining_percent"), K("contextRemainingPercent")});
  const bool remaining = percent.has_value();
  if (!remaining) {
    percent = usageNumber(usage, {K("context_percent"), K("context_window_percent"), K("context_pct"),
                                  K("contextPercent")});
  }
  const auto first = usageText(usage, {K("context_remaining"), K("contextRemaining"), K("context_used"),
                                       K("context_used_tokens"), K("contextUsed")});
  const auto second = usageText(usage, {K("context_total"), K("context_total_tokens"), K("context_window"),
                                        K("contextWindow"), K("contextTotal")});
  QString label;
  if (auto explicitLabel = usageText(usage, {K("context_label"), K("context_window_label")})) {
    label = std::move(*explicitLabel);
  } else if (first && second) {
    label = contextPairDisplayLabel(*first, *second);
  } else if (percent) {
    label = percentLabel(*percent);
  } else {
    return std::nullopt;
  }
  if (!percent && isPlaceholderLabel(label)) {
    return std::nullopt;
  }
  QString suffix = percent ? percentLabel(*percent) : QString();
  QString status = remaining ? remainingUsageStatus(label, percent) : usageStatus(label, percent);
  UsageMetric metric{std::move(label), std::move(suffix), percent, std::move(status)};
  if (percent) {
    metric.percentCountsRemaining = remaining;
  }
  return metric;
}

std::optional<UsageMetric> makeTokensMetric(const BridgeFields& usage) {
  const auto input = usageNumber(usage, {K("input_tokens"), K("inputTokens"), K("prompt_tokens"), K("promptTokens")});
  const auto output =
      usageNumber(usage, {K("output_tokens"), K("outputTokens"), K("completion_tokens"), K("completionTokens")});
  const auto total =
      usageNumber(usage, {K("total_tokens"), K("totalTokens"), K("token_count"), K("tokenCount"), K("tokens_total")});
  const auto cacheRead = usageNumber(
      usage, {K("cache_read_tokens"), K("cacheReadTokens"), K("cache_read_input_tokens"), K("cached_input_tokens")});
  const auto cacheWrite =
      usageNumber(usage, {K("cache_write_tokens"), K("cacheWriteTokens"), K("cache_creation_input_tokens")});
  const auto reasoning = usageNumber(usage, {K("reasoning_tokens"), K("reasoningTokens")});

  std::optional<double> grandTotal = total;
  if (!grandTotal && input) {
    grandTotal = *input + output.value_or(0.0);
  } else if (!grandTotal) {
    grandTotal = output;
  }
  QString label;
  if (grandTotal) {
    label = compactUsageCount(*grandTotal) + QLatin1String(" total");
  } else if (reasoning) {
    label = compactUsageCount(*reasoning) + QLatin1String(" reasoning");
  } else if (cacheRead) {
    label = compactUsageCount(*cacheRead) + QLatin1String(" cache read");
  } else if (cacheWrite) {
    label = compactUsageCount(*cacheWrite) + QLatin1String(" cache write");
  } else {
    return std::nullopt;
  }
  QString breakdown;
  const auto add = [&breakdown](const std::optional<double>& amount, QLatin1String word) {
    if (amount) {
      if (!breakdown.isEmpty()) {
        breakdown.append(kMiddleDot);
      }
      breakdown.append(compactUsageCount(*amount));
      breakdown.append(word);
    }
  };
  add(input, QLatin1String(" in"));
  add(output, QLatin1String(" out"));
  add(reasoning, QLatin1String(" reasoning"));
  add(cacheRead, QLatin1String(" cache read"));
  add(cacheWrite, QLatin1String(" cache write"));
  return UsageMetric{std::move(label), std::move(breakdown), std::nullopt, QStringLiteral("ok")};
}

std::optional<UsageMetric> makeCostMetric(const BridgeFields& usage) {
  if (usageFlag(usage, {K("cost_estimate"), K("costEstimate"), K("estimate"), K("estimated")}) == true) {
    return std::nullopt;
  }
  const auto amount = usageNumber(usage, {K("cost_amount"), K("costAmount"), K("cost_usd"), K("costUSD"),
                                          K("total_cost"), K("totalCost"), K("amount"), K("cost")});
  if (!amount) {
    return std::nullopt;
  }
  QString currency;
  if (auto given = usageText(usage, {K("cost_currency"), K("costCurrency"), K("currency")})) {
    currency = given->toUpper();
  } else if (usage.contains(K("cost_usd")) || usage.contains(K("costUSD"))) {
    currency = QStringLiteral("USD");
  }
  QString label = (currency.isEmpty() || currency == QLatin1String("USD"))
                      ? QLatin1Char('$') + formatCostAmount(*amount)
                      : formatCostAmount(*amount) + QLatin1Char(' ') + currency;
  return UsageMetric{std::move(label), QString(), std::nullopt, QStringLiteral("ok")};
}

// A quota meter. The remaining keys are the percent keys with "_percent" as "_remaining_percent"
// and "Percent" as "RemainingPercent" (keys without either have no twin).
std::optional<UsageMetric> quotaMetric(const BridgeFields& usage, Keys labelKeys, Keys percentKeys,
                                       Keys remainingKeys, Keys resetKeys, int windowKey, const QString& window,
                                       ReadingTime& time) {
  const auto labelText = usageText(usage, labelKeys);
  std::optional<double> percent = usageNumber(usage, remainingKeys);
  const bool remaining = percent.has_value();
  if (!remaining) {
    percent = usageNumber(usage, percentKeys);
  }
  const auto reset = usageText(usage, resetKeys);

  QString label;
  if (labelText) {
    const bool nothingKnown = !percent && !reset;
    if (nothingKnown && (isPlaceholderLabel(*labelText) || isQuotaLimitText(labelText->toLower()))) {
      return std::nullopt;
    }
    label = *labelText;
  } else if (percent) {
    label = percentLabel(*percent);
  } else if (reset) {
    label = QStringLiteral("Resets");
  } else {
    return std::nullopt;
  }
  if (remaining) {
    label = remainingQuotaDisplayLabel(label, percent);
  }
  QString suffix = reset ? shortUsageResetLabel(*reset, window, time.zone(), time.now()) : QString();
  QString status = remaining ? remainingUsageStatus(label, percent) : usageStatus(label, percent);
  UsageMetric metric{std::move(label), std::move(suffix), percent, std::move(status)};
  if (percent) {
    metric.percentCountsRemaining = remaining;
  }
  if (reset) {
    if (const auto date = usageResetDate(*reset)) {
      metric.resetsAtMs = date->toMSecsSinceEpoch();
    }
  }
  // A whole number of minutes of at most a year names the window; anything else is ignored.
  if (const auto minutes = usageNumber(usage, {windowKey});
      minutes && *minutes >= 1 && *minutes <= 527'040 && *minutes == std::floor(*minutes)) {
    metric.windowMinutes = static_cast<int>(*minutes);
  }
  return metric;
}

std::optional<UsageMetric> fiveHourMetric(const BridgeFields& usage, ReadingTime& time) {
  return quotaMetric(usage,
                     {K("limit_5h_label"), K("five_hour_label"), K("five_hour_limit_label"), K("fiveHourLabel"),
                      K("quota_label"), K("label")},
                     {K("limit_5h_percent"), K("five_hour_percent"), K("five_hour_limit_percent"), K("fiveHourPercent"),
                      K("quota_percent"), K("percent")},
                     {K("limit_5h_remaining_percent"), K("five_hour_remaining_percent"),
                      K("five_hour_limit_remaining_percent"), K("fiveHourRemainingPercent"),
                      K("quota_remaining_percent")},
                     {K("limit_5h_reset"), K("five_hour_reset"), K("five_hour_resets"), K("resets")},
                     K("limit_5h_window_minutes"), QStringLiteral("5h"), time);
}

std::optional<UsageMetric> dailyMetric(const BridgeFields& usage, ReadingTime& time) {
  return quotaMetric(usage, {K("daily_label"), K("daily_limit_label"), K("daily")},
                     {K("daily_percent"), K("daily_limit_percent")},
                     {K("daily_remaining_percent"), K("daily_limit_remaining_percent")},
                     {K("daily_reset"), K("daily_resets")}, K("daily_window_minutes"), QStringLiteral("1d"), time);
}

std::optional<UsageMetric> weeklyMetric(const BridgeFields& usage, ReadingTime& time) {
  return quotaMetric(usage, {K("weekly_label"), K("weekly_limit_label"), K("weekly")},
                     {K("weekly_percent"), K("weekly_limit_percent")},
                     {K("weekly_remaining_percent"), K("weekly_limit_remaining_percent")},
                     {K("weekly_reset"), K("weekly_resets")}, K("weekly_window_minutes"), QStringLiteral("7d"),
                     time);
}

std::optional<UsageMetric> rateLimitMetric(const BridgeFields& usage, ReadingTime& time) {
  const auto rateLabel = usageText(usage, {K("rate_limit_label"), K("rateLimitLabel"), K("rate_label")});
  const auto rateReset = usageText(usage, {K("rate_limit_reset"), K("rateLimitReset"), K("reset_at"), K("resetAt")});
  const bool blocked = usageFlag(usage, {K("rate_limit_blocked"), K("rateLimitBlocked"), K("blocked")}) == true;
  const bool warning = usageFlag(usage, {K("rate_limit_warning"), K("rateLimitWarning"), K("warning")}) == true;
  bool limitReached = false;
  for (const int key : {K("limit_5h_label"), K("quota_label"), K("label")}) {
    if (isQuotaLimitText(usageText(usage, {key}).value_or(QString()).toLower())) {
      limitReached = true;
      break;
    }
  }
  QString label;
  QString status = QStringLiteral("warning");
  if (limitReached || blocked) {
    label = QStringLiteral("Blocked");
    status = QStringLiteral("error");
  } else if (warning) {
    label = QStringLiteral("Warning");
  } else if (rateLabel) {
    label = *rateLabel;
  } else if (rateReset) {
    label = QStringLiteral("Limited");
  } else {
    return std::nullopt;
  }
  QString suffix =
      rateReset ? shortUsageResetLabel(*rateReset, QStringLiteral("5h"), time.zone(), time.now()) : QString();
  return UsageMetric{std::move(label), std::move(suffix), std::nullopt, std::move(status)};
}

// The data source lowercased with "_" as "-", and whether it names a demo, a wrapper or a local
// loader (rules shared by quality and source class).
enum class SourceFamily { demo, wrapper, local, other };

SourceFamily sourceFamily(const QString& normalized) {
  if (containsAny(normalized, {"demo", "mock", "fixture"})) {
    return SourceFamily::demo;
  }
  if (normalized == QLatin1String("wrapper") || normalized.contains(QLatin1String("wrapper-explicit"))) {
    return SourceFamily::wrapper;
  }
  if (normalized == QLatin1String("transcript") || normalized == QLatin1String("trajectory") ||
      normalized == QLatin1String("rollout") || containsAny(normalized, {"jsonl", "local"})) {
    return SourceFamily::local;
  }
  return SourceFamily::other;
}

QString normalizedDataSource(const QString& dataSource) {
  return dataSource.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
}

UsageQuality qualityOfNormalized(const QString& normalized) {
  switch (sourceFamily(normalized)) {
    case SourceFamily::demo: return UsageQuality::demo;
    case SourceFamily::wrapper: return UsageQuality::wrapperExplicit;
    case SourceFamily::local: return UsageQuality::stableLocal;
    case SourceFamily::other: break;
  }
  return UsageQuality::official;
}

UsageSourceClass sourceClassOfNormalized(const QString& normalized) {
  switch (sourceFamily(normalized)) {
    case SourceFamily::demo: return UsageSourceClass::unsupported;
    case SourceFamily::wrapper: return UsageSourceClass::wrapperExplicit;
    case SourceFamily::local: return UsageSourceClass::stableLocalLoader;
    case SourceFamily::other: break;
  }
  if (containsAny(normalized, {"oauth", "quota-api", "run-metadata"})) {
    return UsageSourceClass::remoteOptIn;
  }
  if (containsAny(normalized, {"rate-limit", "near-limit"})) {
    return UsageSourceClass::rateLimitSignal;
  }
  return UsageSourceClass::officialPush;
}

std::optional<UsageSnapshot> snapshot(const BridgeFields& usage, const QString& tool, const QString& source,
                                      const QString& timestamp, const std::optional<QDateTime>& timestampDate,
                                      ReadingTime& time) {
  auto context = makeContextMetric(usage);
  auto tokens = makeTokensMetric(usage);
  auto cost = makeCostMetric(usage);
  auto fiveHour = fiveHourMetric(usage, time);
  auto daily = dailyMetric(usage, time);
  auto weekly = weeklyMetric(usage, time);
  auto rateLimit = rateLimitMetric(usage, time);
  if (!context && !tokens && !cost && !fiveHour && !daily && !weekly && !rateLimit) {
    return std::nullopt;
  }

  QString dataSource =
      usageText(usage, {K("data_source"), K("dataSource"), K("source")}).value_or(QStringLiteral("hook"));
  QString observedAt;
  std::optional<QDateTime> observedDate;
  if (auto given = usageText(usage, {K("observed_at"), K("observedAt"), K("timestamp")})) {
    observedAt = std::move(*given);
  } else if (!timestamp.isEmpty()) {
    observedAt = timestamp;
    observedDate = timestampDate;
  } else {
    observedAt = formatUsageDate(time.now());
  }
  QString toolID = usageText(usage, {K("tool_id"), K("toolId")}).value_or(QString());
  if (toolID.isEmpty()) {
    toolID = memoised<&canonicalToolID>(tool);
  }

  UsageSnapshot result;
  result.tool = tool;
  result.toolID = std::move(toolID);
  result.source = source;
  const QString normalized = normalizedDataSource(dataSource);
  result.quality = qualityOfNormalized(normalized);
  result.sourceClass = sourceClassOfNormalized(normalized);
  result.dataSource = std::move(dataSource);
  result.updated = relativeTime(observedAt, observedDate, time.now());
  result.observedAt = std::move(observedAt);
  result.context = std::move(context);
  result.tokens = std::move(tokens);
  result.cost = std::move(cost);
  result.fiveHour = std::move(fiveHour);
  result.daily = std::move(daily);
  result.weekly = std::move(weekly);
  result.rateLimit = std::move(rateLimit);
  applyUsageHeadline(result);
  return result;
}

}  // namespace

void applyUsageHeadline(UsageSnapshot& snapshot) {
  const auto& context = snapshot.context;
  const auto& tokens = snapshot.tokens;
  const auto& cost = snapshot.cost;
  const auto& fiveHour = snapshot.fiveHour;
  const auto& daily = snapshot.daily;
  const auto& weekly = snapshot.weekly;
  const auto& rateLimit = snapshot.rateLimit;
  if (rateLimit) {
    snapshot.label = QStringLiteral("5h limit \u00B7 ") + rateLimit->label;
  } else if (fiveHour && weekly) {
    snapshot.label = usageQuotaShortName(*fiveHour, QStringLiteral("5h")) + QLatin1Char(' ') + fiveHour->label +
                     kMiddleDot + usageQuotaShortName(*weekly, QStringLiteral("7d")) + QLatin1Char(' ') +
                     weekly->label;
  } else if (fiveHour) {
    snapshot.label = usageQuotaShortName(*fiveHour, QStringLiteral("5h")) + QStringLiteral(" limit \u00B7 ") +
                     fiveHour->label;
  } else if (daily) {
    snapshot.label = QStringLiteral("Daily \u00B7 ") + daily->label;
  } else if (weekly) {
    snapshot.label = usageQuotaShortName(*weekly, QStringLiteral("7d")) + QStringLiteral(" limit \u00B7 ") +
                     weekly->label;
  } else if (context) {
    snapshot.label = QStringLiteral("Context \u00B7 ") + context->label;
  } else if (tokens) {
    snapshot.label = QStringLiteral("Tokens \u00B7 ") + tokens->label;
  } else if (cost) {
    snapshot.label = QStringLiteral("Cost \u00B7 ") + cost->label;
  } else {
    snapshot.label.clear();
  }

  snapshot.percent.reset();
  for (const auto* metric : {&rateLimit, &fiveHour, &daily, &weekly}) {
    if (*metric && (*metric)->percent) {
      snapshot.percent = (*metric)->percent;
      break;
    }
  }
  if (!snapshot.percent && context) {
    snapshot.percent = context->percent;
  }
}

QString rawValue(UsageQuality quality) { return rawValueIn(kQualities, quality); }
QString rawValue(UsageSourceClass sourceClass) { return rawValueIn(kSourceClasses, sourceClass); }
std::optional<UsageQuality> parseUsageQuality(QStringView raw) { return parseRawValueIn(kQualities, raw); }
std::optional<UsageSourceClass> parseUsageSourceClass(QStringView raw) {
  return parseRawValueIn(kSourceClasses, raw);
}

std::optional<UsageSnapshot> makeUsageSnapshot(const QJsonObject& usage, const QString& tool, const QString& source,
                                               const QString& timestamp) {
  ReadingTime time(std::nullopt, std::nullopt);
  return snapshot(BridgeFields(usage), tool, source, timestamp, std::nullopt, time);
}

std::optional<UsageSnapshot> makeUsageSnapshot(const BridgeFields& usage, const QString& tool, const QString& source,
                                               const QString& timestamp, const std::optional<QDateTime>& timestampDate,
                                               const std::optional<QDateTime>& now) {
  ReadingTime time(now, std::nullopt);
  return snapshot(usage, tool, source, timestamp, timestampDate, time);
}

std::optional<UsageSnapshot> makeUsageSnapshot(const QJsonObject& usage, const QString& tool, const QString& source,
                                               const QString& timestamp, const QDateTime& now,
                                               const QTimeZone& timeZone) {
  ReadingTime time(now, timeZone);
  return snapshot(BridgeFields(usage), tool, source, timestamp, std::nullopt, time);
}

std::optional<QString> usageString(const QJsonObject& usage, const QStringList& keys) {
  return firstOf(usage, keys, stringOf);
}

std::optional<double> usageNumber(const QJsonObject& usage, const QStringList& keys) {
  return firstOf(usage, keys, numberOf);
}

std::optional<double> usagePercentNumber(const QJsonObject& usage, const QStringList& keys) {
  return usageNumber(usage, keys);
}

std::optional<bool> usageBool(const QJsonObject& usage, const QStringList& keys) {
  return firstOf(usage, keys, flagOf);
}

QString compactUsageCount(double value) {
  if (!std::isfinite(value)) {
    return QString();
  }
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e21) {
    // Beyond any real count; a short text rather than hundreds of digits.
    return QString::number(value / 1'000'000.0, 'g', 3) + QLatin1Char('m');
  }
  // With one decimal at most, the "." is the only one in the text: a ".0" can only end it.
  if (magnitude >= 1'000'000.0) {
    return compactText(value / 1'000'000.0, 1, 'm');
  }
  if (magnitude >= 1'000.0) {
    return compactText(value / 1'000.0, 1, 'k');
  }
  return compactText(value, 0, 0);
}

QString contextPairDisplayLabel(const QString& used, const QString& total) {
  const auto first = numberInText(used, true);
  const auto second = numberInText(total, true);
  if (!first || !second || std::max(std::fabs(*first), std::fabs(*second)) < 10'000.0) {
    return used + QLatin1String(" / ") + total;
  }
  return compactUsageCount(*first) + QLatin1String(" / ") + compactUsageCount(*second);
}

QString formatWholePercent(double value) {
  if (!std::isfinite(value)) {
    return QString();
  }
  // std::round rounds half away from zero. Printing the rounded double (rather than converting it
  // to an integer) stays defined for any magnitude.
  const double rounded = std::round(value) + 0.0;  // + 0.0 turns -0 into 0
  if (std::fabs(rounded) < 1e15) {
    return QString::number(static_cast<qint64>(rounded));  // exact: a whole number of this size
  }
  return QString::number(rounded, 'g', 3);
}

QString formatUsagePercent(double value) {
  if (!std::isfinite(value)) {
    return QString();
  }
  if ((value > 0 && value < 1) || (value > 99 && value < 100)) {
    // One decimal, rounded half away from zero like the whole form; 0.96 becomes "1", 99.96 "100".
    const double tenths = std::round(value * 10);
    if (std::fmod(tenths, 10) != 0) {
      return QString::number(tenths / 10, 'f', 1);
    }
  }
  return formatWholePercent(value);
}

namespace {

// A window's length in its largest whole unit: days (0), hours (1) or minutes (2).
std::pair<int, int> windowLength(int minutes) {
  if (minutes > 0 && minutes % 1440 == 0) {
    return {minutes / 1440, 0};
  }
  if (minutes > 0 && minutes % 60 == 0) {
    return {minutes / 60, 1};
  }
  return {minutes, 2};
}

}  // namespace

QString usageWindowName(int minutes) {
  static const char* const kUnits[] = {"-day", "-hour", "-minute"};
  const auto [count, unit] = windowLength(minutes);
  return QString::number(count) + QLatin1String(kUnits[unit]);
}

QString usageWindowShortName(int minutes) {
  static const char kUnits[] = {'d', 'h', 'm'};
  const auto [count, unit] = windowLength(minutes);
  return QString::number(count) + QLatin1Char(kUnits[unit]);
}

QString usageQuotaRowLabel(const UsageMetric& metric, const QString& fallback) {
  return metric.windowMinutes > 0 ? usageWindowName(metric.windowMinutes) + QStringLiteral(" limit") : fallback;
}

QString usageQuotaShortName(const UsageMetric& metric, const QString& fallback) {
  return metric.windowMinutes > 0 ? usageWindowShortName(metric.windowMinutes) : fallback;
}

bool usageQuotaIsEstimate(const UsageSnapshot& snapshot) {
  return normalizedDataSource(snapshot.dataSource).contains(QLatin1String("transcript-block"));
}

bool isPlaceholderLabel(const QString& label) {
  const QString lower = label.trimmed().toLower();
  return lower == QLatin1String("unknown") || lower == QLatin1String("not provided") || lower == QLatin1String("n/a");
}

QString formatCostAmount(double amount) {
  if (!std::isfinite(amount)) {
    return QString();
  }
  const int decimals = std::fabs(amount) >= 0.01 ? 2 : 4;
  char buffer[40];
  const auto length = fixedDigits(amount, decimals, buffer, sizeof buffer);
  QString text = length ? QString::fromLatin1(buffer, static_cast<qsizetype>(*length))
                        : QString::number(amount, 'f', decimals);
  while (text.contains(QLatin1Char('.')) && text.endsWith(QLatin1Char('0'))) {
    text.chop(1);
  }
  if (text.endsWith(QLatin1Char('.'))) {
    text.append(QLatin1Char('0'));
  }
  return text;
}

QString remainingQuotaDisplayLabel(const QString& label, std::optional<double> percent) {
  const QString trimmed = label.trimmed();
  if (containsAny(trimmed.toLower(),
                  {"left", "remaining", "remain", "available", "used", "blocked", "active", "near", "limit", "warning"})) {
    return trimmed;
  }
  QString number = trimmed;
  number.remove(QLatin1Char('%')).remove(QLatin1Char(','));
  number = number.trimmed();
  if (!parseFiniteDouble(number)) {
    return trimmed;
  }
  if (percent) {
    return formatUsagePercent(*percent) + QLatin1String("% left");
  }
  if (trimmed.contains(QLatin1Char('%'))) {
    return number + QLatin1String("% left");
  }
  return trimmed;
}

QString usageStatus(const QString& label, std::optional<double> percent) {
  const QString lower = label.toLower();
  if (containsAny(lower, {"rate limited", "rate_limit"})) {
    return QStringLiteral("error");
  }
  if (containsAny(lower, {"near", "limit"})) {
    return QStringLiteral("warning");
  }
  if (percent && *percent >= 90.0) {
    return QStringLiteral("error");
  }
  if (percent && *percent >= 60.0) {
    return QStringLiteral("warning");
  }
  return QStringLiteral("ok");
}

QString remainingUsageStatus(const QString& label, std::optional<double> percent) {
  if (containsAny(label.toLower(), {"rate limited", "rate_limit"})) {
    return QStringLiteral("error");
  }
  if (!percent) {
    return QStringLiteral("ok");
  }
  if (*percent <= 10.0) {
    return QStringLiteral("error");
  }
  if (*percent <= 40.0) {
    return QStringLiteral("warning");
  }
  return QStringLiteral("ok");
}

UsageQuality usageQuality(const QString& dataSource) { return qualityOfNormalized(normalizedDataSource(dataSource)); }

UsageSourceClass usageSourceClass(const QString& dataSource) {
  return sourceClassOfNormalized(normalizedDataSource(dataSource));
}

std::vector<std::pair<QString, UsageMetric>> UsageSnapshot::rows() const {
  std::vector<std::pair<QString, UsageMetric>> result;
  if (!context && !fiveHour && !rateLimit && !weekly) {
    if (tokens) {
      result.emplace_back(QStringLiteral("Tokens"), *tokens);
    }
    if (cost) {
      result.emplace_back(QStringLiteral("Cost"), *cost);
    }
    return result;
  }
  if (context) {
    result.emplace_back(QStringLiteral("Context window"), *context);
  }
  if (const std::optional<UsageMetric>& quota = fiveHour ? fiveHour : rateLimit) {
    result.emplace_back(usageQuotaRowLabel(*quota, QStringLiteral("5-hour limit")), *quota);
  }
  if (weekly) {
    result.emplace_back(usageQuotaRowLabel(*weekly, QStringLiteral("7-day limit")), *weekly);
  } else {
    result.emplace_back(QStringLiteral("7-day limit"), UsageMetric{QStringLiteral("No 7d data"), QString(),
                                                                   std::nullopt, QStringLiteral("unknown")});
  }
  return result;
}

}  // namespace tandrel
