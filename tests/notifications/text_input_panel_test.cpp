#include "notifications/text_input_panel.h"

#include <gtest/gtest.h>

#include <vector>

namespace tandrel {
namespace {

constexpr int kLimit = TextInputPanel::kMaxInputBytes;

TEST(TextInputPanelTest, TruncateKeepsTheLongestPrefixThatEndsOnACharacter) {
  const QString ascii(kLimit, QLatin1Char('a'));
  const QString e = QString::fromUtf8("\xc3\xa9");                // 2 bytes
  const QString euro = QString::fromUtf8("\xe2\x82\xac");         // 3 bytes
  const QString emoji = QString::fromUtf8("\xf0\x9f\x98\x80");    // 4 bytes, two UTF-16 units
  struct Case {
    const char* name;
    QString input;
    QString expected;
    bool truncated;
  };
  const std::vector<Case> cases = {
      {"empty", QString(), QString(), false},
      {"exactly the limit", ascii, ascii, false},
      {"one byte over", ascii + QLatin1Char('b'), ascii, true},
      {"two-byte character across the limit", ascii.left(kLimit - 1) + e, ascii.left(kLimit - 1), true},
      {"two-byte character ending at the limit", ascii.left(kLimit - 2) + e + QLatin1Char('z'),
       ascii.left(kLimit - 2) + e, true},
      {"three-byte character across the limit", ascii.left(kLimit - 2) + euro, ascii.left(kLimit - 2), true},
      {"four-byte character across the limit", ascii.left(kLimit - 1) + emoji + emoji, ascii.left(kLimit - 1),
       true},
      {"only multi-byte characters", QString(3000, QChar(0x20AC)), QString(2730, QChar(0x20AC)), true},
  };
  for (const Case& c : cases) {
    const TextInputPanel::Truncation result = TextInputPanel::truncate(c.input);
    EXPECT_EQ(result.truncated, c.truncated) << c.name;
    EXPECT_EQ(result.text, c.expected) << c.name;
    EXPECT_LE(result.text.toUtf8().size(), kLimit) << c.name;
  }
}

}  // namespace
}  // namespace tandrel
