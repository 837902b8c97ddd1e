#include "base/canonical_json.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tandrel {
namespace {

struct EscapeCase {
  const char* name;
  QString text;
  QByteArray expected;
};

TEST(CanonicalJsonTest, EscapesTextAsAgentsAndLogsExpect) {
  const EscapeCase cases[] = {
      {"plain", QStringLiteral("abc"), R"("abc")"},
      {"slash", QStringLiteral("/usr/bin"), R"("\/usr\/bin")"},
      {"quote and backslash", QStringLiteral("a\"b\\c"), R"("a\"b\\c")"},
      {"named controls", QStringLiteral("\b\f\n\r\t"), R"("\b\f\n\r\t")"},
      {"other controls", QString(QChar(0x01)) + QChar(0x1f), R"("\u0001\u001f")"},
      {"nul", QString(QChar(0)), R"("\u0000")"},
      {"non-ascii stays utf-8", QStringLiteral("方案 A é"), "\"\xe6\x96\xb9\xe6\xa1\x88 A \xc3\xa9\""},
      {"astral", QString::fromUtf8("\xf0\x9f\x98\x80"), "\"\xf0\x9f\x98\x80\""},
      {"empty", QString(), R"("")"},
      {"lone high surrogate", QString(QChar(0xd801)), R"("\ud801")"},
      {"lone low surrogate between text", QStringLiteral("a") + QChar(0xdc00) + QStringLiteral("?/"),
       R"("a\udc00?\/")"},
      {"reversed pair", QString(QChar(0xde00)) + QChar(0xd83d), R"("\ude00\ud83d")"},
      {"pair after a lone one", QString(QChar(0xd83d)) + QString::fromUtf8("\xf0\x9f\x98\x80"),
       "\"\\ud83d\xf0\x9f\x98\x80\""},
      {"question mark alone", QStringLiteral("why?"), R"("why?")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(canonicalJson(QJsonValue(c.text)), c.expected) << c.name;
  }
}

TEST(CanonicalJsonTest, SortsKeysByBytesAtEveryLevel) {
  const QJsonObject inner{{QStringLiteral("z"), 1}, {QStringLiteral("a"), 2}};
  const QJsonObject object{
      {QStringLiteral("b"), QJsonArray{QJsonObject{{QStringLiteral("y"), true}, {QStringLiteral("x"), false}}}},
      {QStringLiteral("a"), inner},
      {QStringLiteral("B"), QJsonValue::Null},
      {QStringLiteral("aa"), QStringLiteral("")},
  };
  EXPECT_EQ(canonicalJson(object),
            R"({"B":null,"a":{"a":2,"z":1},"aa":"","b":[{"x":false,"y":true}]})");
}

TEST(CanonicalJsonTest, OrdersNonAsciiKeysByUtf8BytesNotUtf16Units) {
  // U+FF21 sorts before U+1F600 in UTF-16 code units (0xFF21 > 0xD83D is false there), but
  // after it in UTF-8 bytes (EF BC A1 < F0 9F 98 80): byte order is what we promise.
  const QString fullwidth = QString(QChar(0xFF21));
  const QString emoji = QString::fromUtf8("\xf0\x9f\x98\x80");
  const QJsonObject object{{emoji, 1}, {fullwidth, 2}};
  const QByteArray out = canonicalJson(object);
  EXPECT_LT(out.indexOf(fullwidth.toUtf8()), out.indexOf(emoji.toUtf8())) << out.constData();
}

TEST(CanonicalJsonTest, WritesNumbersExactlyAndShortest) {
  struct NumberCase {
    QJsonValue value;
    QByteArray expected;
  };
  const NumberCase cases[] = {
      {QJsonValue(qint64(9007199254740993)), "9007199254740993"},  // 2^53 + 1
      {QJsonValue(std::numeric_limits<qint64>::max()), "9223372036854775807"},
      {QJsonValue(std::numeric_limits<qint64>::min()), "-9223372036854775808"},
      {QJsonValue(0), "0"},
      {QJsonValue(0.1), "0.1"},
      {QJsonValue(2.5), "2.5"},
      {QJsonValue(1e300), "1e+300"},
      {QJsonValue(-0.000123), "-0.000123"},
      {QJsonValue(std::nan("")), "null"},
      {QJsonValue(std::numeric_limits<double>::infinity()), "null"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(canonicalJson(c.value), c.expected);
  }
  // Integers parsed from JSON text stay integers.
  const auto parsed = QJsonDocument::fromJson(R"({"n":9007199254740993})").object();
  EXPECT_EQ(canonicalJson(parsed), R"({"n":9007199254740993})");
}

TEST(CanonicalJsonTest, LineVariantAppendsOneLineFeed) {
  const QJsonObject object{{QStringLiteral("type"), QStringLiteral("hook.reply")}};
  EXPECT_EQ(canonicalJsonLine(object), "{\"type\":\"hook.reply\"}\n");
  EXPECT_EQ(canonicalJsonLine(QJsonValue(QJsonArray{1, 2})), "[1,2]\n");
}

// What a client sent is what is echoed and audited, an unpaired surrogate included, in values and
// keys alike.
TEST(CanonicalJsonTest, UnpairedSurrogateEscapesSurviveARoundTrip) {
  const QByteArray sent = R"({"k\udfff":"\ud801x"})";
  const QJsonDocument parsed = QJsonDocument::fromJson(sent);
  ASSERT_TRUE(parsed.isObject());
  EXPECT_EQ(canonicalJson(parsed.object()), sent);
}

TEST(CanonicalJsonTest, RoundTripsThroughQJsonDocument) {
  const QJsonObject original{
      {QStringLiteral("text"), QStringLiteral("line\nwith \"quotes\", / and \x01 and 方案")},
      {QStringLiteral("list"), QJsonArray{1, 2.25, true, QJsonValue::Null, QStringLiteral("x")}},
      {QStringLiteral("nested"), QJsonObject{{QStringLiteral("big"), qint64(1) << 62}}},
  };
  const QByteArray written = canonicalJson(original);
  QJsonParseError error{};
  const QJsonDocument reparsed = QJsonDocument::fromJson(written, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << written.constData();
  EXPECT_EQ(reparsed.object(), original);
  EXPECT_EQ(canonicalJson(reparsed.object()), written);
  EXPECT_FALSE(written.contains('\n'));
  EXPECT_FALSE(written.contains(' ') && written.contains(": "));
}

}  // namespace
}  // namespace tandrel
