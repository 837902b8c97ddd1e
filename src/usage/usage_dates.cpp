#include "usage/usage_dates.h"

#include <array>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace tandrel {

namespace {

constexpr int kMemoLimit = 2048;
constexpr qint64 kMsPerMinute = 60'000;
constexpr qint64 kMsPerDay = 86'400'000;

struct Memo {
  std::mutex lock;
  std::unordered_map<QString, qint64> dates;  // trimmed text -> milliseconds since the epoch
};

Memo& memo() {
  static Memo instance;
  return instance;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const qint64 era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<qint64>(dayOfEra) - 719468;
}

// Reads `count` decimal digits at `pos`; -1 when any of them is not an ASCII digit.
int digits(QStringView text, qsizetype pos, int count) {
  if (pos + count > text.size()) {
    return -1;
  }
  int value = 0;
  for (int i = 0; i < count; ++i) {
    const char16_t c = text[pos + i].unicode();
    if (c < u'0' || c > u'9') {
      return -1;
    }
    value = value * 10 + (c - u'0');
  }
  return value;
}

bool charAt(QStringView text, qsizetype pos, char16_t expected) {
  return pos < text.size() && text[pos].unicode() == expected;
}

// RFC 3339 date-time: full-date "T" full-time, with an optional fraction of 1 to 9 digits and a
// zone of "Z" or a signed "HH:MM" offset. "t" and "z" are accepted as RFC 3339 allows.
std::optional<qint64> parseInternetDateTime(QStringView text) {
  const int year = digits(text, 0, 4);
  const int month = digits(text, 5, 2);
  const int day = digits(text, 8, 2);
  const int hour = digits(text, 11, 2);
  const int minute = digits(text, 14, 2);
  const int second = digits(text, 17, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || !charAt(text, 4, u'-') ||
      !charAt(text, 7, u'-') || !(charAt(text, 10, u'T') || charAt(text, 10, u't')) ||
      !charAt(text, 13, u':') || !charAt(text, 16, u':') || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  if (day > daysInMonth(year, month)) {
    return std::nullopt;
  }
  qsizetype pos = 19;
  qint64 fractionMs = 0;
  if (charAt(text, pos, u'.')) {
    ++pos;
    int count = 0;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
      if (count < 3) {
        fractionMs = fractionMs * 10 + (text[pos].unicode() - u'0');
      }
      ++count;
      ++pos;
    }
    if (count < 1 || count > 9) {
      return std::nullopt;
    }
    for (int i = count; i < 3; ++i) {
      fractionMs *= 10;
    }
  }
  qint64 offsetMinutes = 0;
  if (charAt(text, pos, u'Z') || charAt(text, pos, u'z')) {
    ++pos;
  } else if (charAt(text, pos, u'+') || charAt(text, pos, u'-')) {
    const bool negative = charAt(text, pos, u'-');
    const int offsetHours = digits(text, pos + 1, 2);
    const int offsetMins = digits(text, pos + 4, 2);
    if (offsetHours < 0 || offsetHours > 23 || !charAt(text, pos + 3, u':') || offsetMins < 0 ||
        offsetMins > 59) {
      return std::nullopt;
    }
    offsetMinutes = (negative ? -1 : 1) * (offsetHours * 60 + offsetMins);
    pos += 6;
  } else {
    return std::nullopt;
  }
  if (pos != text.size()) {
    return std::nullopt;
  }
  const qint64 days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const qint64 ms = days * kMsPerDay + ((hour * 60 + minute) * 60 + second) * qint64{1000} +
                    fractionMs - offsetMinutes * kMsPerMinute;
  // Only instants of the years 1 to 9999 in UTC: the formatter writes them back as they parse
  // (Qt has no year 0, and a fifth year digit would not parse).
  static const qint64 kFirst = daysFromCivil(1, 1, 1) * kMsPerDay;
  static const qint64 kEnd = daysFromCivil(10000, 1, 1) * kMsPerDay;
  if (ms < kFirst || ms >= kEnd) {
    return std::nullopt;
  }
  return ms;
}

QString twoDigits(int value) { return QString::number(value).rightJustified(2, QLatin1Char('0')); }

}  // namespace

std::optional<qint64> parseUsageDateMilliseconds(QStringView text) {
  return parseInternetDateTime(text.trimmed());
}

std::optional<QDateTime> parseUsageDate(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) {
    return std::nullopt;
  }
  Memo& cache = memo();
  {
    std::lock_guard lock(cache.lock);
    if (const auto it = cache.dates.find(trimmed); it != cache.dates.end()) {
      return QDateTime::fromMSecsSinceEpoch(it->second, Qt::UTC);
    }
  }
  const auto ms = parseInternetDateTime(trimmed);
  if (!ms) {
    return std::nullopt;
  }
  QDateTime date = QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC);
  UsageParsedDateCache::store(date, trimmed);
  return date;
}

QString formatUsageDate(const QDateTime& date) {
  if (!date.isValid()) {
    return {};
  }
  const QDateTime utc = date.toUTC();
  const QDate day = utc.date();
  const QTime time = utc.time();
  return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", day.year(), day.month(), day.day(),
                           time.hour(), time.minute(), time.second());
}

namespace {

// A reset text without its leading "· resets ", "resets " or "reset ".
QString resetRest(const QString& text) {
  QString rest = text.trimmed();
  static const std::array<QString, 3> kPrefixes = {
      QStringLiteral("\u00B7 resets "), QStringLiteral("resets "), QStringLiteral("reset ")};
  for (const QString& prefix : kPrefixes) {
    if (rest.startsWith(prefix, Qt::CaseInsensitive)) {
      return rest.mid(prefix.size()).trimmed();
    }
  }
  return rest;
}

}  // namespace

std::optional<QDateTime> usageResetDate(const QString& text) { return parseUsageDate(resetRest(text)); }

QString shortUsageResetLabel(const QString& text, const std::optional<QString>& window,
                             const QTimeZone& timeZone, const QDateTime& now) {
  const QString rest = resetRest(text);
  const auto date = parseUsageDate(rest);
  if (!date) {
    return rest;
  }
  const QDateTime local = date->toTimeZone(timeZone);
  const bool dayForm = (window && *window == QLatin1String("7d")) ||
                       std::llabs(date->toMSecsSinceEpoch() - now.toMSecsSinceEpoch()) >= kMsPerDay;
  if (dayForm) {
    static const std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate day = local.date();
    QString label = QLatin1String(kMonths[static_cast<size_t>(day.month() - 1)]) +
                    QLatin1Char(' ') + QString::number(day.day());
    if (day.year() != now.toTimeZone(timeZone).date().year()) {
      label +=
          QStringLiteral(", ") + QString::number(day.year()).rightJustified(4, QLatin1Char('0'));
    }
    return label;
  }
  const QTime time = local.time();
  const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
  return QString::number(hour12) + QLatin1Char(':') + twoDigits(time.minute()) +
         (time.hour() < 12 ? QStringLiteral(" AM") : QStringLiteral(" PM"));
}

namespace UsageParsedDateCache {

void store(const QDateTime& date, const QString& key) {
  Memo& cache = memo();
  std::lock_guard lock(cache.lock);
  if (cache.dates.size() >= kMemoLimit) {
    cache.dates.clear();  // keeps its buckets
  }
  cache.dates.insert_or_assign(key, date.toMSecsSinceEpoch());
}

int countForTests() {
  Memo& cache = memo();
  std::lock_guard lock(cache.lock);
  return static_cast<int>(cache.dates.size());
}

bool containsForTests(const QString& key) {
  Memo& cache = memo();
  std::lock_guard lock(cache.lock);
  return cache.dates.count(key) > 0;
}

void clearForTests() {
  Memo& cache = memo();
  std::lock_guard lock(cache.lock);
  cache.dates.clear();
}

}  // namespace UsageParsedDateCache

}  // namespace tandrel
