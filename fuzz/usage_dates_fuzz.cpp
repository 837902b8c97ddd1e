// Usage dates: a text that parses formats back to a text that parses to the same second, and the
// reset label takes any text.
#include "fuzz_target.h"

#include "usage/usage_dates.h"

#include <QTimeZone>

TANDREL_FUZZ_TARGET(usage_dates) {
  using namespace tandrel;
  const QString text = QString::fromUtf8(fuzz::bytes(data, size));
  const auto date = parseUsageDate(text);
  const auto ms = parseUsageDateMilliseconds(text);
  FUZZ_CHECK(date.has_value() == ms.has_value(), text);
  if (date) {
    FUZZ_CHECK(date->toMSecsSinceEpoch() == *ms, text);
    // The formatter drops the fraction: the whole second at or before the date (toSecsSinceEpoch
    // rounds towards 1970, which is after it for a date before 1970).
    const qint64 second = *ms - ((*ms % 1000) + 1000) % 1000;
    const QString formatted = formatUsageDate(*date);
    const auto again = parseUsageDate(formatted);
    FUZZ_CHECK(again && again->toMSecsSinceEpoch() == second,
               text + QStringLiteral(" -> ") + formatted);
  }
  const QDateTime now = QDateTime::fromMSecsSinceEpoch(1778331360000, Qt::UTC);
  for (const auto& window : {std::optional<QString>(), std::optional<QString>(QStringLiteral("7d")),
                             std::optional<QString>(QStringLiteral("5h"))}) {
    (void)shortUsageResetLabel(text, window, QTimeZone::utc(), now);
  }
  return 0;
}
