#pragma once

#include "events/tandrel_event.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>
#include <QTimeZone>

#include <initializer_list>
#include <optional>

// Tolerant readers for the values found in the agents' files, the times and identifiers of the
// events the scanners build, and the clean-up of the text those events carry.

namespace tandrel {

// A number (a boolean is 1 or 0); or a text that, trimmed and without "%", "$" and ",", spells a
// number in the C locale ("42%", "$1,234.5", " 7 "). Anything else gives nothing.
std::optional<double> localUsageNumber(const QJsonValue& value);
// The value itself when it is an object.
std::optional<QJsonObject> localUsageDictionary(const QJsonValue& value);
// The first key, in order, whose value reads as a number.
std::optional<double> firstLocalUsageNumber(const std::optional<QJsonObject>& dictionary,
                                            std::initializer_list<QLatin1String> keys);
// A non-empty text, trimmed; or a number of seconds since 1970, as an internet date-time.
std::optional<QString> localUsageResetString(const QJsonValue& value);

// The later of the record's time and the file's modification time as an internet date-time (the
// file's time on a tie, or when the record's does not parse); the record's text unchanged when the
// file's time cannot be read.
QString latestLocalUsageTimestamp(const QString& recordTimestamp, const QString& path);
QString latestLocalUsageTimestamp(const QString& recordTimestamp, const std::optional<QDateTime>& modified);

// A time text as it is when it parses; a zone-less date-time (Trae Agent writes local times)
// with the offset of `timeZone` at that time appended ("Z" for none), when it then parses;
// otherwise the fallback date as an internet date-time.
QString normalizedLocalUsageTimestamp(const QJsonValue& value, const QDateTime& fallback);
QString normalizedLocalUsageTimestamp(const QJsonValue& value, const QDateTime& fallback, const QTimeZone& timeZone);

// "<prefix>-<path>-<timestamp>" lower-cased, each run of characters that are not letters, marks
// or digits turned into one "-", at most 160 characters, without "-" at either end.
QString stableLocalUsageID(const QString& prefix, const QString& path, const QString& timestamp);

// Whether `id` is that of a hot-plug event, made from an agent's own files (every hot-plug scanner
// gives stableLocalUsageID a prefix that begins "hotplug-"). Such an event comes back whenever its
// file is back among the newest scanned.
bool isLocalHotplugEventID(const QString& id);

// Writes "context_remaining", "context_total" (whole numbers), "context_label" ("200k / 258.4k")
// and, for a window above 0, "context_remaining_percent", for `inUse` tokens of `window`.
void insertLocalContextUsage(QJsonObject& usage, double inUse, double window);

// The usage-only event that carries a usage dictionary found in an agent's file into the store.
std::optional<TandrelEvent> usageOnlyEvent(const QString& idPrefix, const QString& source, const QString& title,
                                           const QString& timestamp, const QString& path, const QJsonObject& usage);

// Message content (text, numbers, nested arrays and objects up to three levels; tool calls,
// tool results and images left out) flattened into one line of at most `limit` characters.
QString compactLocalText(const QJsonValue& value, int limit);

// The event writer's clean-up of text taken from an agent: "sk-" keys and the values after
// "api key", "token", "secret" and "password" are masked, white space runs become one space, the
// ends are trimmed, and a text longer than `limit` is cut to limit - 3 characters plus "...".
QString sanitize(const QString& value, int limit = 240);

// Reads of a record's fields.
// The object under `key`, if it is one.
std::optional<QJsonObject> objectValue(const QJsonObject& object, QLatin1String key);
// The trimmed text under the first key that holds non-empty text.
std::optional<QString> firstNonEmptyString(const QJsonObject& object, std::initializer_list<QLatin1String> keys);

}  // namespace tandrel
