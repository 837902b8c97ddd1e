#include "ui/overlay_settings.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(OverlaySettings, RawValuesRoundTripAndUnknownWordsGiveNothing) {
  for (const SettingsTab tab :
       {SettingsTab::general, SettingsTab::pets, SettingsTab::sound, SettingsTab::aiTools, SettingsTab::about}) {
    EXPECT_EQ(parseSettingsTab(rawValue(tab)), tab);
  }
  EXPECT_EQ(rawValue(SettingsTab::sound), QStringLiteral("Sounds"));
  EXPECT_EQ(rawValue(SettingsTab::aiTools), QStringLiteral("AI Tools"));
  EXPECT_EQ(parseSettingsTab(u"sound"), std::nullopt);
  EXPECT_EQ(parseCompanionDisplayMode(u"tucked"), CompanionDisplayMode::tucked);
  EXPECT_EQ(parsePetPreviewMode(u"Roaming"), std::nullopt);
}

TEST(OverlaySettings, PreviewStatesShowTheirLabelColourAndPose) {
  const struct {
    PetPreviewStateID state;
    const char* label;
    QColor color;
    PetState pose;
  } cases[] = {
      {PetPreviewStateID::idle, "Idle", QColor(0, 214, 163), PetState::idle},
      {PetPreviewStateID::running, "Running", QColor(77, 159, 255), PetState::working},
      {PetPreviewStateID::waitingInput, "Waiting Input", QColor(255, 187, 0), PetState::approval},
      {PetPreviewStateID::review, "Ready Review", QColor(0, 214, 163), PetState::done},
      {PetPreviewStateID::approval, "Approval", QColor(255, 187, 0), PetState::approval},
      {PetPreviewStateID::error, "Error", QColor(255, 85, 85), PetState::error},
      {PetPreviewStateID::rateLimit, "Rate Limit", QColor(255, 136, 85), PetState::tired},
      {PetPreviewStateID::sleeping, "Sleeping", QColor(119, 119, 119), PetState::idle},
  };
  for (const auto& c : cases) {
    const PetPreviewStateStyle style = previewStateStyle(c.state);
    EXPECT_STREQ(style.label, c.label);
    EXPECT_EQ(style.color, c.color) << c.label;
    EXPECT_EQ(style.petState, c.pose) << c.label;
  }
}

}  // namespace
}  // namespace tandrel
