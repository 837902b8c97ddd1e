#include "events/bridge_values.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

// The value of "v" in a JSON object text, parsed as the bridge reader parses it.
QJsonValue v(const char* json) {
  return QJsonDocument::fromJson(QByteArray(R"({"v":)") + json + "}").object().value(QLatin1String("v"));
}

TEST(BridgeValuesTest, StringValue) {
  struct Case {
    const char* json;
    std::optional<QString> expected;
  };
  const Case cases[] = {
      {R"("  text \n")", "text"},
      {R"(" \t ")", std::nullopt},
      {"4242", "4242"},
      {"-17", "-17"},
      {"0.5", "0.5"},
      {"4242.0", "4242"},
      {"9007199254740993", "9007199254740993"},  // integers stay exact beyond 2^53
      {"1e300", "1e+300"},
      {"true", std::nullopt},
      {"null", std::nullopt},
      {"[1]", std::nullopt},
      {"{}", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringValue(v(c.json)), c.expected) << c.json;
  }
  EXPECT_EQ(stringValue(QJsonValue(std::numeric_limits<double>::infinity())), std::nullopt);
  EXPECT_EQ(stringValue(QJsonValue(std::nan(""))), std::nullopt);
}

TEST(BridgeValuesTest, BoolValue) {
  struct Case {
    const char* json;
    std::optional<bool> expected;
  };
  const Case cases[] = {
      {"true", true},    {"false", false},  {"2", true},        {"0", false},     {"0.0", false},
      {R"("Yes")", true}, {R"(" ON ")", true}, {R"("1")", true},  {R"("off")", false}, {R"("No")", false},
      {R"("0")", false}, {R"("maybe")", std::nullopt}, {R"("")", std::nullopt}, {"null", std::nullopt},
      {"[]", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(boolValue(v(c.json)), c.expected) << c.json;
  }
}

TEST(BridgeValuesTest, IntValueNeverOverflows) {
  struct Case {
    const char* json;
    std::optional<qint64> expected;
  };
  const Case cases[] = {
      {"80", 80},
      {"-3.9", -3},
      {"9223372036854775807", std::numeric_limits<qint64>::max()},
      {"9223372036854775808", std::nullopt},  // 2^63, held as a double
      {"-9223372036854775808", std::numeric_limits<qint64>::min()},
      {"1e300", std::nullopt},
      {"-1e300", std::nullopt},
      {R"("+80")", 80},
      {R"(" -12 ")", -12},
      {R"("8a")", std::nullopt},
      {R"("+-8")", std::nullopt},
      {R"("+")", std::nullopt},
      {R"("1.5")", std::nullopt},
      {R"("99999999999999999999")", std::nullopt},
      {R"("٣")", std::nullopt},  // digits of other scripts are not base-10 digits here
      {"true", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(intValue(v(c.json)), c.expected) << c.json;
  }
  EXPECT_EQ(intValue(QJsonValue(std::numeric_limits<double>::infinity())), std::nullopt);
  EXPECT_EQ(intValue(QJsonValue(std::nan(""))), std::nullopt);
}

TEST(BridgeValuesTest, StringArray) {
  EXPECT_EQ(stringArray(v(R"(["a", " b ", ""])")), (QStringList{"a", " b ", ""}));  // all strings: as they are
  EXPECT_EQ(stringArray(v(R"(["a", " b ", "", 3, 0.5, null, {}, true])")), (QStringList{"a", "b", "3", "0.5"}));
  EXPECT_EQ(stringArray(v(R"("a")")), QStringList());
  EXPECT_EQ(stringArray(v("{}")), QStringList());
}

TEST(BridgeValuesTest, NumberTextsIgnoreTheUserLocale) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(stringValue(v("2.5")), "2.5");
  EXPECT_EQ(parseFiniteDouble(u"2.5"), 2.5);
  EXPECT_EQ(parseFiniteDouble(u"2,5"), std::nullopt);
  EXPECT_EQ(parseDecimalInteger(u"1.000"), std::nullopt);
  QLocale::setDefault(saved);
}

TEST(BridgeValuesTest, ParseFiniteDouble) {
  struct Case {
    const char* text;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {"35", 35},          {"+0.25", 0.25},       {"-1e3", -1000},       {".5", 0.5},
      {"inf", std::nullopt}, {"-infinity", std::nullopt}, {"nan", std::nullopt}, {"1e400", std::nullopt},
      {"", std::nullopt},  {" 1", std::nullopt},  {"1 ", std::nullopt},  {"0x10", std::nullopt},
      {"++1", std::nullopt}, {"+-1", std::nullopt}, {"1e", std::nullopt},  {"١", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseFiniteDouble(QString::fromUtf8(c.text)), c.expected) << c.text;
  }
}

TEST(BridgeValuesTest, FirstStringSkipsKeysThatDoNotConvert) {
  const QJsonObject object = QJsonDocument::fromJson(R"({"a":" ","b":{},"c":7,"d":"x"})").object();
  EXPECT_EQ(firstString(object, {QLatin1String("z"), QLatin1String("a"), QLatin1String("b"), QLatin1String("c")}),
            "7");
  EXPECT_EQ(firstString(object, {QLatin1String("a"), QLatin1String("b")}), std::nullopt);
}

}  // namespace
}  // namespace tandrel
