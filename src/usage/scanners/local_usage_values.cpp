#include "usage/scanners/local_usage_values.h"

#include "catalog/paths.h"
#include "events/bridge_values.h"
#include "usage/scanners/local_files.h"
#include "usage/usage_dates.h"
#include "usage/usage_snapshot.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tandrel {

namespace {

constexpr qsizetype kStableIDLimit = 160;

bool isAlphanumericScalar(char32_t scalar) {
  return QChar::isLetterOrNumber(scalar) || QChar::isMark(scalar);
}

void collectText(const QJsonValue& value, int depth, QStringList& pieces) {
  if (depth > 3) {
    return;
  }
  if (value.isString()) {
    if (const auto text = nonEmptyString(value)) {
      pieces.push_back(*text);
    }
  } else if (value.isDouble()) {
    if (const auto text = numberText(value)) {
      pieces.push_back(*text);
    }
  } else if (value.isArray()) {
    for (const QJsonValue item : value.toArray()) {
      collectText(item, depth + 1, pieces);
    }
  } else if (value.isObject()) {
    const QJsonObject object = value.toObject();
    if (const auto type = nonEmptyString(object.value(QLatin1String("type")))) {
      const QString lowered = type->toLower();
      if (lowered == QLatin1String("tool_use") || lowered == QLatin1String("tool_result") ||
          lowered == QLatin1String("image") || lowered == QLatin1String("input_image")) {
        return;
      }
    }
    for (const QLatin1String key : {QLatin1String("text"), QLatin1String("content"), QLatin1String("message"),
                                    QLatin1String("summary"), QLatin1String("value")}) {
      const qsizetype before = pieces.size();
      collectText(object.value(key), depth + 1, pieces);
      if (pieces.size() > before) {
        return;
      }
    }
  }
}

// The masks of the event writer, applied in its order.
struct SanitizePatterns {
  QRegularExpression secretKey{QStringLiteral("sk-[A-Za-z0-9_-]{10,}")};
  // A quote may close the keyword, as in JSON text ("token": "...").
  QRegularExpression keywordValue{QStringLiteral("(api[_-]?key|token|secret|password)[\"']?\\s*[:=]\\s*[\"']?[^\"'\\s]+"),
                                  QRegularExpression::CaseInsensitiveOption |
                                      QRegularExpression::UseUnicodePropertiesOption};
  QRegularExpression whiteSpace{QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption};
};

const SanitizePatterns& sanitizePatterns() {
  // One set per thread: the scanners run on two queues.
  thread_local const SanitizePatterns patterns;
  return patterns;
}

}  // namespace

std::optional<double> localUsageNumber(const QJsonValue& value) {
  if (value.isBool()) {
    return value.toBool() ? 1.0 : 0.0;
  }
  if (value.isDouble()) {
    const double number = value.toDouble();
    return std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
  }
  if (!value.isString()) {
    return std::nullopt;
  }
  QString text = value.toString().trimmed();
  if (text.isEmpty()) {
    return std::nullopt;
  }
  text.remove(QLatin1Char('%'));
  text.remove(QLatin1Char('$'));
  text.remove(QLatin1Char(','));
  return parseFiniteDouble(QStringView(text).trimmed());
}

std::optional<QJsonObject> localUsageDictionary(const QJsonValue& value) {
  if (!value.isObject()) {
    return std::nullopt;
  }
  return value.toObject();
}

std::optional<double> firstLocalUsageNumber(const std::optional<QJsonObject>& dictionary,
                                            std::initializer_list<QLatin1String> keys) {
  if (!dictionary) {
    return std::nullopt;
  }
  for (const QLatin1String key : keys) {
    if (const auto number = localUsageNumber(dictionary->value(key))) {
      return number;
    }
  }
  return std::nullopt;
}

std::optional<QString> localUsageResetString(const QJsonValue& value) {
  if (value.isString()) {
    return nonEmptyString(value);
  }
  if (value.isDouble() && std::isfinite(value.toDouble())) {
    const double milliseconds = std::round(value.toDouble() * 1000.0);
    if (std::fabs(milliseconds) < 1e17) {
      return formatUsageDate(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), Qt::UTC));
    }
  }
  return std::nullopt;
}

QString latestLocalUsageTimestamp(const QString& recordTimestamp, const std::optional<QDateTime>& modified) {
  if (!modified) {
    return recordTimestamp;
  }
  const auto recorded = parseUsageDate(recordTimestamp);
  if (!recorded || *recorded <= *modified) {
    return formatUsageDate(*modified);
  }
  return formatUsageDate(*recorded);
}

QString latestLocalUsageTimestamp(const QString& recordTimestamp, const QString& path) {
  return latestLocalUsageTimestamp(recordTimestamp, localUsageFileModifiedAt(path));
}

QString normalizedLocalUsageTimestamp(const QJsonValue& value, const QDateTime& fallback) {
  return normalizedLocalUsageTimestamp(value, fallback, QTimeZone::systemTimeZone());
}

QString normalizedLocalUsageTimestamp(const QJsonValue& value, const QDateTime& fallback, const QTimeZone& timeZone) {
  const auto text = nonEmptyString(value);
  if (!text) {
    return formatUsageDate(fallback);
  }
  if (parseUsageDate(*text)) {
    return *text;
  }
  if (text->contains(QLatin1Char('T')) && !text->endsWith(QLatin1Char('Z')) && !text->contains(QLatin1Char('+')) &&
      !text->mid(10).contains(QLatin1Char('-'))) {
    // The wall-clock time read as if in UTC, then given the zone's offset at that wall time.
    if (const auto wall = parseUsageDate(*text + QLatin1Char('Z'))) {
      const QDateTime local(wall->date(), wall->time(), timeZone);
      const int offsetSeconds = local.isValid() ? timeZone.offsetFromUtc(local) : 0;
      QString zoned = *text;
      if (offsetSeconds == 0) {
        zoned += QLatin1Char('Z');
      } else {
        const int minutes = std::abs(offsetSeconds) / 60;
        zoned += QStringLiteral("%1%2:%3")
                     .arg(offsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                     .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                     .arg(minutes % 60, 2, 10, QLatin1Char('0'));
      }
      if (parseUsageDate(zoned)) {
        return zoned;
      }
    }
  }
  return formatUsageDate(fallback);
}

QString stableLocalUsageID(const QString& prefix, const QString& path, const QString& timestamp) {
  const QString joined = (prefix + QLatin1Char('-') + path + QLatin1Char('-') + timestamp).toLower();
  QString result;
  result.reserve(kStableIDLimit + 2);
  qsizetype characters = 0;
  bool previousWasSeparator = false;
  for (const char32_t scalar : joined.toUcs4()) {
    if (isAlphanumericScalar(scalar)) {
      result.append(QString::fromUcs4(&scalar, 1));
      previousWasSeparator = false;
      ++characters;
    } else if (!previousWasSeparator) {
      result.append(QLatin1Char('-'));
      previousWasSeparator = true;
      ++characters;
    }
    if (characters >= kStableIDLimit) {
      break;
    }
  }
  qsizetype start = 0;
  qsizetype end = result.size();
  while (start < end && result[start] == QLatin1Char('-')) {
    ++start;
  }
  while (end > start && result[end - 1] == QLatin1Char('-')) {
    --end;
  }
  return result.mid(start, end - start);
}

bool isLocalHotplugEventID(const QString& id) { return id.startsWith(QLatin1String("hotplug-")); }

void insertLocalContextUsage(QJsonObject& usage, double inUse, double window) {
  const double remaining = std::max(window - inUse, 0.0);
  usage.insert(QLatin1String("context_remaining"), formatWholePercent(remaining));
  usage.insert(QLatin1String("context_total"), formatWholePercent(window));
  usage.insert(QLatin1String("context_label"),
               compactUsageCount(remaining) + QLatin1String(" / ") + compactUsageCount(window));
  if (window > 0) {
    usage.insert(QLatin1String("context_remaining_percent"), remaining / window * 100.0);
  }
}

std::optional<TandrelEvent> usageOnlyEvent(const QString& idPrefix, const QString& source, const QString& title,
                                           const QString& timestamp, const QString& path, const QJsonObject& usage) {
  const QString folder = QFileInfo(path).path();
  QJsonObject record;
  record.insert(QLatin1String("event_id"), stableLocalUsageID(idPrefix, path, timestamp));
  record.insert(QLatin1String("source"), source);
  record.insert(QLatin1String("source_type"), QLatin1String("local_usage"));
  record.insert(QLatin1String("project"), basename(folder));
  record.insert(QLatin1String("cwd"), folder);
  record.insert(QLatin1String("event_type"), QLatin1String("task_updated"));
  record.insert(QLatin1String("severity"), QLatin1String("info"));
  record.insert(QLatin1String("title"), title);
  record.insert(QLatin1String("message"), QLatin1String("Local usage snapshot captured."));
  record.insert(QLatin1String("status"), QLatin1String("usage"));
  record.insert(QLatin1String("notify_policy"), QLatin1String("usage_only"));
  record.insert(QLatin1String("timestamp"), timestamp);
  record.insert(QLatin1String("transcript_path"), path);
  record.insert(QLatin1String("usage"), usage);
  return TandrelEvent::fromDictionary(record);
}

QString compactLocalText(const QJsonValue& value, int limit) {
  QStringList pieces;
  collectText(value, 0, pieces);
  return shortPreviewText(pieces.join(QLatin1Char(' ')), limit);
}

QString sanitize(const QString& value, int limit) {
  const SanitizePatterns& patterns = sanitizePatterns();
  QString text = value;
  text.replace(patterns.secretKey, QStringLiteral("sk-..."));
  text.replace(patterns.keywordValue, QStringLiteral("\\1=..."));
  text.replace(patterns.whiteSpace, QStringLiteral(" "));
  text = text.trimmed();
  // The limit counts code points, as the event writer does.
  if (text.size() > limit) {
    const QList<uint> scalars = text.toUcs4();
    if (scalars.size() > limit) {
      const qsizetype kept = std::max(limit - 3, 0);
      text = QString::fromUcs4(reinterpret_cast<const char32_t*>(scalars.constData()), kept) + QLatin1String("...");
    }
  }
  return text;
}

std::optional<QJsonObject> objectValue(const QJsonObject& object, QLatin1String key) {
  return localUsageDictionary(object.value(key));
}

std::optional<QString> firstNonEmptyString(const QJsonObject& object, std::initializer_list<QLatin1String> keys) {
  for (const QLatin1String key : keys) {
    if (auto text = nonEmptyString(object.value(key))) {
      return text;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
