#include "island/notch_status_words.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(NotchStatusWords, AUsageLineShowsItsPeriodAndPercent) {
  const struct {
    QString label;
    PetState fallback;
    QString word;
  } cases[] = {
      {"5h 42% \u00B7 7d 10%", PetState::idle, "5h 42%"},
      {"Weekly: 12.345% used", PetState::idle, "7d 12.34"},  // cut to five characters
      {"5 hours (88%) left", PetState::idle, "5h 88%"},
      {"7 days 3%", PetState::idle, "7d 3%"},
      {"42% used, 5h", PetState::idle, "42%"},        // no period before the percent
      {"Requests blocked until 9pm", PetState::idle, "Limit"},
      {"Rate limit reached", PetState::idle, "Limit"},
      {"Context 30% left", PetState::idle, "30%"},
      {"Tokens 1200", PetState::idle, "Tokens"},
      {"? 7 !", PetState::working, "Busy"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(macBookUsageStatusWord(c.label, c.fallback), c.word) << c.label.toStdString();
  }
  EXPECT_TRUE(macBookUsageIsLimited("Requests BLOCKED"));
  EXPECT_FALSE(macBookUsageIsLimited("5h 42%"));
}

TEST(NotchStatusWords, TokensAndWords) {
  EXPECT_EQ(cleanedPercentToken("(42%)"), QStringLiteral("42%"));
  EXPECT_EQ(cleanedPercentToken("42"), std::nullopt);
  EXPECT_EQ(cleanedPercentToken("%"), std::nullopt);
  EXPECT_EQ(firstPercentToken("used 7 of 10, 70% now"), QStringLiteral("70%"));
  EXPECT_EQ(compactMacBookStatusWord("Deploying the app"), QStringLiteral("Deploy"));
  EXPECT_EQ(compactMacBookStatusWord("a \u2014 ok"), QStringLiteral("ok"));
  EXPECT_EQ(compactMacBookStatusWord("a b ."), std::nullopt);
  const struct {
    PetState state;
    QString word;
  } states[] = {{PetState::idle, "Idle"}, {PetState::working, "Busy"}, {PetState::approval, "Wait"},
                {PetState::done, "Done"}, {PetState::error, "Error"},  {PetState::tired, "Tired"}};
  for (const auto& s : states) EXPECT_EQ(shortPetStateLabel(s.state), s.word);
  EXPECT_EQ(macBookPetStateColor(PetState::idle), QColor::fromRgbF(1, 1, 1, 0.58));
  EXPECT_EQ(macBookPetStateColor(PetState::tired), kMacBookLimitOrange);
}

}  // namespace
}  // namespace tandrel
