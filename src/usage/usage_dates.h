#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>

// The one parser and the one formatter for the times that usage readings, transcripts and hook
// events carry, with a process-wide memo of parsed texts, and the short reset label shown beside
// quota meters ("12:56 PM", "May 9", "May 9, 2027").

namespace tandrel {

// Reads an RFC 3339 internet date-time: "YYYY-MM-DDTHH:MM:SS", an optional fraction of 1 to 9
// digits (kept to the millisecond, extra digits dropped), and "Z" or a "+HH:MM"/"-HH:MM" offset.
// The text is trimmed of whitespace and newlines first. Dates without a time, times without a
// zone, epoch numbers, impossible dates and leap seconds give nothing. The result is in UTC.
// Successful parses are remembered (see UsageParsedDateCache); safe on any thread.
std::optional<QDateTime> parseUsageDate(const QString& text);

// What parseUsageDate gives, in milliseconds since 1970, without the memo: for readers of many
// texts that each occur once (the transcript scanners).
std::optional<qint64> parseUsageDateMilliseconds(QStringView text);

// The date in UTC to the second, "2026-05-09T12:56:00Z" (any fraction dropped); the inverse of
// parseUsageDate to the second. An invalid date gives "".
QString formatUsageDate(const QDateTime& date);

// The date of a raw reset text such as "resets 2026-05-09T12:56:00Z": a leading "· resets ",
// "resets " or "reset " (any case) is dropped and the rest parsed; nothing when it is no date.
std::optional<QDateTime> usageResetDate(const QString& text);

// The label shown beside a quota meter for a raw reset text such as "resets 2026-05-09T12:56:00Z".
// A leading "· resets ", "resets " or "reset " (any case) is dropped; a rest that is no date is
// returned as it is. Otherwise the date, in `timeZone`, reads "h:mm AM/PM" or, for the window "7d"
// and for any date a day or more away from `now`, "MMM d" ("MMM d, yyyy" in another year than
// `now`'s): a time alone would read as today's. Always in English, whatever the user's locale.
QString shortUsageResetLabel(const QString& text, const std::optional<QString>& window,
                             const QTimeZone& timeZone, const QDateTime& now);

// The process-wide memo of parsed date texts, keyed by the trimmed text. It is emptied wholesale
// when it holds 2048 entries at the moment of a store. Every access holds its lock.
namespace UsageParsedDateCache {
void store(const QDateTime& date, const QString& key);
// For tests: the number of remembered texts, whether a text is remembered, and emptying it.
int countForTests();
bool containsForTests(const QString& key);
void clearForTests();
}  // namespace UsageParsedDateCache

}  // namespace tandrel
