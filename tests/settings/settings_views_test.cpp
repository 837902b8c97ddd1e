#include "ui/settings_model.h"

#include "settings_view_fixture.h"

#include <QJsonArray>
#include <QJsonObject>

namespace tandrel {
namespace {

using std::chrono::milliseconds;

// Two screens' views over one model, as the controller builds them.
class SharedSettingsGui : public test::SettingsViewFixture {
 protected:
  std::unique_ptr<TandrelView> first = makeView(QSize(540, 260));
  std::unique_ptr<TandrelView> second = makeView(QSize(332, 32));
};

TEST_F(SharedSettingsGui, AChoiceMadeOnOneScreenIsNotRevertedByAnother) {
  // The settings page on the first screen turns the tray icon on; later the second screen's view
  // saves a change of its own. Both choices stay.
  first->settings().change([](UserSettings& s) { s.showInDockMode = true; });
  second->settings().change([](UserSettings& s) { s.muted = true; });
  EXPECT_EQ(defaults.storedAs<bool>(QStringLiteral("showInDockMode")), true);
  EXPECT_EQ(defaults.storedAs<bool>(QStringLiteral("muted")), true);
  // Every reader sees the same mute at once (event sounds follow the current value).
  EXPECT_TRUE(first->settings().values().muted);
}

TEST_F(SharedSettingsGui, EveryViewFollowsAChangeAndAReload) {
  first->setMode(OverlayMode::expanded);
  second->setMode(OverlayMode::expanded);
  ASSERT_EQ(first->petAnimationTimerInterval(), milliseconds(33));
  ASSERT_EQ(second->petAnimationTimerInterval(), milliseconds(33));
  // Reduced motion stops both views' animation (an empty inbox, no rotating meters).
  settings.change([](UserSettings& s) { s.reduceMotion = true; });
  EXPECT_FALSE(first->petAnimationTimerInterval());
  EXPECT_FALSE(second->petAnimationTimerInterval());

  // The companion's menu writes the defaults; both views' live previews take the new mode and
  // scale, also when only one of them is asked to reload.
  first->previewMode = PetPreviewMode::roaming;
  defaults.set(QStringLiteral("companionDisplayMode"), "tucked");
  defaults.set(QStringLiteral("floatingPetScale"), 1.28);
  EXPECT_EQ(first->previewMode, PetPreviewMode::tucked);
  EXPECT_EQ(second->previewMode, PetPreviewMode::tucked);
  EXPECT_EQ(second->previewPetScale, 1.28);
  second->previewMode = PetPreviewMode::bubble;
  first->reloadSettingsFromDefaults();
  EXPECT_EQ(second->previewMode, PetPreviewMode::tucked);

  // The size control takes the companion's scale within its range, and the preview follows.
  first->setFloatingPetScale(0.5);
  EXPECT_EQ(settings.values().floatingPetScale, 0.75);
  EXPECT_EQ(first->previewPetScale, 0.75);
  EXPECT_EQ(defaults.storedAs<double>(QStringLiteral("floatingPetScale")), 0.75);
  first->setFloatingPetScale(3);
  EXPECT_EQ(first->previewPetScale, 1.6);
}

TEST_F(SharedSettingsGui, ASelectedImportedFileIsStillSelectedAfterARestart) {
  const QString file = home.file(QStringLiteral("Music/ding.wav"));
  ASSERT_TRUE(test::writeFile(file, "RIFF"));
  defaults.set(QStringLiteral("importedSounds"), QJsonArray{QJsonObject{{QStringLiteral("path"), file}}});
  defaults.set(QStringLiteral("selectedSoundID"), importedSoundID(file));
  // A new launch: the settings are read, and a view checks the selection against its sounds.
  SettingsModel relaunched(defaults);
  const auto view = std::make_unique<TandrelView>(QSize(860, 780), *store, relaunched, clock);
  EXPECT_EQ(relaunched.values().selectedSoundID, importedSoundID(file));
  EXPECT_EQ(defaults.storedAs<QString>(QStringLiteral("selectedSoundID")), importedSoundID(file));
}

}  // namespace
}  // namespace tandrel
