#include "usage/usage_dates.h"

#include <gtest/gtest.h>

#include <QTimeZone>
#include <atomic>
#include <thread>
#include <vector>

namespace tandrel {
namespace {

class UsageDatesTest : public ::testing::Test {
 protected:
  void SetUp() override { UsageParsedDateCache::clearForTests(); }
  void TearDown() override { UsageParsedDateCache::clearForTests(); }
};

QDateTime utc(const char* iso) {
  return QDateTime::fromString(QString::fromUtf8(iso), Qt::ISODateWithMs);
}

TEST_F(UsageDatesTest, AcceptedTexts) {
  const struct {
    const char* text;
    qint64 msSinceEpoch;
  } cases[] = {
      {"2026-05-09T12:56:00Z", 1778331360000},
      {" 2026-05-09T12:56:00Z \n", 1778331360000},
      {"2026-05-09t12:56:00z", 1778331360000},
      {"2026-05-09T12:56:00.250Z", 1778331360250},
      {"2026-05-09T12:56:00.2Z", 1778331360200},
      {"2026-05-09T12:56:00.25Z", 1778331360250},
      {"2026-05-09T12:56:00.123456789Z", 1778331360123},  // beyond milliseconds is dropped
      {"2026-05-09T12:56:00.999999Z", 1778331360999},
      {"2026-05-09T14:56:00+02:00", 1778331360000},
      {"2026-05-09T07:26:00.5-05:30", 1778331360500},
      {"2026-05-09T12:56:00-00:00", 1778331360000},
      {"2024-02-29T00:00:00Z", 1709164800000},
      {"2000-02-29T23:59:59Z", 951868799000},
      {"1970-01-01T00:00:00Z", 0},
      {"1969-12-31T23:59:59Z", -1000},
      {"0001-01-01T00:00:00Z", -62135596800000},  // the first and last instants that format
      {"9999-12-31T23:59:59Z", 253402300799000},  // back to the same text
  };
  for (const auto& c : cases) {
    const auto date = parseUsageDate(QString::fromUtf8(c.text));
    ASSERT_TRUE(date) << c.text;
    EXPECT_EQ(date->toMSecsSinceEpoch(), c.msSinceEpoch) << c.text;
    EXPECT_EQ(date->timeSpec(), Qt::UTC) << c.text;
    const auto again = parseUsageDate(formatUsageDate(*date));
    ASSERT_TRUE(again) << formatUsageDate(*date).toStdString();
    EXPECT_EQ(again->toSecsSinceEpoch(), date->toSecsSinceEpoch()) << c.text;
  }
}

TEST_F(UsageDatesTest, RejectedTextsAreNotRemembered) {
  for (const char* text : {
           "",
           "   ",
           "\n",
           "1778331360",            // epoch seconds
           "2026-05-09",            // date only
           "2026-05-09T12:56:00",   // no zone
           "2026-05-09T12:56Z",     // no seconds
           "2026-05-09 12:56:00Z",  // space instead of T
           "2026-13-09T12:56:00Z",  // bad month
           "2026-00-09T12:56:00Z",
           "2026-02-29T12:00:00Z",  // not a leap year
           "1900-02-29T12:00:00Z",
           "2026-04-31T12:00:00Z",
           "2026-05-09T24:00:00Z",
           "2026-05-09T12:60:00Z",
           "2016-12-31T23:59:60Z",             // leap second
           "2026-05-09T12:56:00.Z",            // empty fraction
           "2026-05-09T12:56:00.1234567891Z",  // ten digits
           "2026-05-09T12:56:00,5Z",
           "2026-05-09T12:56:00+0200",  // offset without colon
           "2026-05-09T12:56:00+02",
           "2026-05-09T12:56:00+24:00",
           "2026-05-09T12:56:00ZZ",
           "2026-5-9T12:56:00Z",
           "+2026-05-09T12:56:00Z",
           "２０２６-05-09T12:56:00Z",  // full-width digits
           "0000-01-01T00:00:00Z",        // no year 0: it would format as "-001-…"
           "0001-01-01T00:30:00+01:00",   // year 0 in UTC
           "9999-12-31T23:30:00-01:00",   // year 10000 in UTC, which would not parse back
       }) {
    EXPECT_FALSE(parseUsageDate(QString::fromUtf8(text))) << text;
  }
  EXPECT_EQ(UsageParsedDateCache::countForTests(), 0);
}

TEST_F(UsageDatesTest, MemoKeepsTrimmedTextsAndEmptiesWhenFull) {
  ASSERT_TRUE(parseUsageDate(QStringLiteral("  2026-05-09T12:56:00Z ")));
  EXPECT_TRUE(UsageParsedDateCache::containsForTests(QStringLiteral("2026-05-09T12:56:00Z")));
  EXPECT_EQ(UsageParsedDateCache::countForTests(), 1);
  // A remembered text answers from the memo: a date stored by hand comes back as stored.
  const QDateTime marker = utc("2001-01-01T00:00:00.000Z");
  UsageParsedDateCache::store(marker, QStringLiteral("2026-05-09T12:56:00Z"));
  EXPECT_EQ(parseUsageDate(QStringLiteral("2026-05-09T12:56:00Z")), marker);

  UsageParsedDateCache::clearForTests();
  for (int i = 0; i < 2048; ++i) {
    const QDateTime date = QDateTime::fromSecsSinceEpoch(1'700'000'000 + i, Qt::UTC);
    ASSERT_TRUE(parseUsageDate(formatUsageDate(date)));
  }
  EXPECT_EQ(UsageParsedDateCache::countForTests(), 2048);
  ASSERT_TRUE(parseUsageDate(QStringLiteral("2030-01-01T00:00:00Z")));
  EXPECT_EQ(UsageParsedDateCache::countForTests(), 1);
}

TEST_F(UsageDatesTest, ParsesFromManyThreadsAtOnce) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 3000; ++i) {
        const qint64 seconds = 1'700'000'000 + (i * 7 + t) % 2500;
        const QString text = formatUsageDate(QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC));
        const auto date = parseUsageDate(text);
        if (!date || date->toSecsSinceEpoch() != seconds) {
          ++wrong;
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_LE(UsageParsedDateCache::countForTests(), 2048);
}

TEST_F(UsageDatesTest, FormatDropsTheFractionAndRoundTrips) {
  const QDateTime date = utc("2026-05-09T12:56:00.750Z");
  EXPECT_EQ(formatUsageDate(date), QStringLiteral("2026-05-09T12:56:00Z"));
  EXPECT_EQ(formatUsageDate(date.toTimeZone(QTimeZone(QByteArray("Asia/Tokyo")))),
            QStringLiteral("2026-05-09T12:56:00Z"));
  EXPECT_EQ(parseUsageDate(formatUsageDate(date))->toSecsSinceEpoch(), date.toSecsSinceEpoch());
  EXPECT_EQ(formatUsageDate(QDateTime()), QString());
}

TEST_F(UsageDatesTest, ShortResetLabels) {
  const QTimeZone utcZone(QByteArray("UTC"));
  const QTimeZone tokyo(QByteArray("Asia/Tokyo"));
  const QTimeZone newYork(QByteArray("America/New_York"));
  ASSERT_TRUE(tokyo.isValid());
  ASSERT_TRUE(newYork.isValid());
  const QString reset = QStringLiteral("resets 2026-05-09T12:56:00Z");
  const struct {
    QString text;
    std::optional<QString> window;
    QTimeZone zone;
    const char* now;
    const char* expected;
  } cases[] = {
      {reset, QStringLiteral("5h"), utcZone, "2026-05-09T10:00:00Z", "12:56 PM"},
      // A reset a day or more away shows its date in any window: a time alone reads as today's.
      {reset, QStringLiteral("1d"), utcZone, "2026-05-01T10:00:00Z", "May 9"},
      {reset, QStringLiteral("5h"), utcZone, "2026-05-06T10:00:00Z", "May 9"},
      {reset, QStringLiteral("5h"), utcZone, "2026-05-08T12:56:00.001Z", "12:56 PM"},
      {reset, QStringLiteral("7d"), utcZone, "2026-05-09T10:00:00Z", "May 9"},
      {reset, QStringLiteral("7d"), utcZone, "2027-01-02T10:00:00Z", "May 9, 2026"},
      {QStringLiteral("2026-05-09T12:56:00Z"), std::nullopt, utcZone, "2026-05-09T09:56:00Z",
       "12:56 PM"},
      {QStringLiteral("2026-05-09T12:56:00Z"), std::nullopt, utcZone, "2026-05-11T12:56:00Z",
       "May 9"},
      {QStringLiteral("2026-05-09T12:56:00Z"), std::nullopt, utcZone, "2026-05-08T12:56:00.001Z",
       "12:56 PM"},
      {QStringLiteral("2026-05-09T12:56:00Z"), std::nullopt, utcZone, "2026-05-08T12:56:00Z",
       "May 9"},
      {QStringLiteral("\u00B7 Resets 2026-05-09T00:05:00Z"), QStringLiteral("5h"), utcZone,
       "2026-05-09T00:00:00Z", "12:05 AM"},
      {QStringLiteral("RESET 2026-05-09T12:56:00Z"), QStringLiteral("5h"), tokyo,
       "2026-05-09T10:00:00Z", "9:56 PM"},
      {QStringLiteral("2026-05-10T02:30:00Z"), QStringLiteral("7d"), newYork,
       "2026-05-01T00:00:00Z", "May 9"},
      {QStringLiteral("2026-12-31T20:00:00Z"), QStringLiteral("7d"), tokyo, "2026-12-25T00:00:00Z",
       "Jan 1, 2027"},
      {QStringLiteral("Resets in 2h"), QStringLiteral("5h"), utcZone, "2026-05-09T10:00:00Z",
       "in 2h"},
      {QStringLiteral("  soon "), std::nullopt, utcZone, "2026-05-09T10:00:00Z", "soon"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shortUsageResetLabel(c.text, c.window, c.zone, utc(c.now)),
              QString::fromUtf8(c.expected))
        << c.text.toStdString() << " / " << c.window.value_or(QStringLiteral("-")).toStdString();
  }
}

}  // namespace
}  // namespace tandrel
