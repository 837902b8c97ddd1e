#include "sounds/view_sounds.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "attention/reminder_test_events.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_sound_output.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

using namespace std::chrono_literals;

struct Banner {
  QString text;
  std::optional<QColor> color;
};

// One view's sounds over a scratch home, a resources folder with every preset's file, a fake
// clock and a fake output.
class ViewSoundsTest : public ::testing::Test {
 protected:
  ViewSoundsTest() {
    for (const SoundPreset& preset : allSoundPresets()) {
      const QString path = resources() + QLatin1Char('/') + *preset.bundledAudioPath;
      test::writeFile(path, "audio");
      output.durations.insert(path, *preset.previewDuration);
    }
  }

  QString resources() const { return home.file("resources"); }
  QString tandrelHome() const { return home.file(".tandrel"); }
  QString sounds(const QString& relative) const { return tandrelHome() + QStringLiteral("/sounds/") + relative; }

  std::unique_ptr<ViewSounds> makeView(SharedEventSoundState& shared) {
    ViewSounds::ViewHooks hooks;
    hooks.showBanner = [this](const QString& text, const std::optional<QColor>& color) { banners.push_back({text, color}); };
    hooks.redraw = [this] { ++redraws; };
    hooks.evaluateAnimationTimer = [this] { ++timerChecks; };
    return std::make_unique<ViewSounds>(settings, clock, output, ViewSounds::Environment{tandrelHome(), resources()},
                                        hooks, shared);
  }

  // A package folder with a real (fake-playable) audio file of `seconds`.
  void package(const QString& folder, const QByteArray& manifest, const QString& audio, double seconds = 1.0) {
    ASSERT_TRUE(test::writeFile(sounds(folder + "/sound.json"), manifest));
    ASSERT_TRUE(test::writeFile(sounds(folder + QLatin1Char('/') + audio), "audio"));
    output.durations.insert(sounds(folder + QLatin1Char('/') + audio), seconds);
  }

  const Banner& lastBanner() const { return banners.back(); }
  const UserSettings& values() const { return settings.values(); }

  test::TempHome home;
  UserDefaults defaults{home.file("defaults.json")};
  SettingsModel settings{defaults};
  FakeClock clock;
  FakeSoundOutput output;
  SharedEventSoundState shared;
  std::vector<Banner> banners;
  int redraws = 0;
  int timerChecks = 0;
};

TEST_F(ViewSoundsTest, SelectingAndDescribingTheSelectedSound) {
  package("standalone-cue", R"({"displayName":"","audioPath":"Standalone Cue.ogg"})", "Standalone Cue.ogg");
  auto view = makeView(shared);
  view->refreshLocalSoundsFromCLI();

  view->selectSound("no-such-sound");
  EXPECT_EQ(values().selectedSoundID, QStringLiteral("moonlight-sonata"));
  EXPECT_EQ(lastBanner().text, QStringLiteral("Moonlight Sonata selected"));
  EXPECT_EQ(lastBanner().color, QColor(143, 216, 255));
  EXPECT_EQ(defaults.string("selectedSoundID"), QStringLiteral("moonlight-sonata")) << "saved";

  view->selectSound("cli:standalone-cue");
  EXPECT_EQ(lastBanner().text, QStringLiteral("Standalone Cue selected"));
  EXPECT_EQ(lastBanner().color, QColor(0, 214, 163));
  const SelectedSoundDescription imported = view->selectedSound();
  EXPECT_EQ(imported.badge, QStringLiteral("Custom"));
  EXPECT_EQ(imported.symbol, QStringLiteral("music.note"));
  EXPECT_EQ(imported.detail, QStringLiteral("Standalone Cue.ogg"));
  EXPECT_EQ(imported.source, QStringLiteral("~/.tandrel/sounds"));

  EXPECT_EQ(describeSelectedSound("cabin-chime", {}).badge, QStringLiteral("Focus"));
  EXPECT_EQ(describeSelectedSound("epic-quest", {}).badge, QStringLiteral("Game"));
  const ImportedSound file{"ID-1", "/music/Bell.wav", std::nullopt, false};
  EXPECT_EQ(describeSelectedSound("ID-1", {file}).source, QStringLiteral("Imported sound package"));
  EXPECT_EQ(describeSelectedSound("gone", {file}).label, QStringLiteral("Moonlight Sonata"));
}

TEST_F(ViewSoundsTest, RescansOnlyWhenTheFolderChangedOrEveryThirtySeconds) {
  package("done-chime", R"({"id":"done-chime","displayName":"Done Chime","audioPath":"done.mp3"})", "done.mp3");
  test::writeFile(home.file("Mine.wav"), "audio");
  settings.change([&](UserSettings& s) {
    s.importedSounds = {{"FILE", home.file("Mine.wav"), std::nullopt, false}, {"cli:gone", "/x.mp3", std::nullopt, false}};
    s.selectedSoundID = "cli:gone";
  });
  auto view = makeView(shared);
  ViewSounds::localSoundScanCountForTests = 0;

  EXPECT_TRUE(view->refreshLocalSoundsFromCLI());
  QStringList ids;
  for (const auto& s : values().importedSounds) ids << s.id;
  EXPECT_EQ(ids, QStringList({"cli:done-chime", "FILE"})) << "packages first, remembered files kept, vanished packages dropped";
  EXPECT_EQ(values().selectedSoundID, QStringLiteral("moonlight-sonata"));

  EXPECT_FALSE(view->refreshLocalSoundsFromCLI());
  EXPECT_EQ(ViewSounds::localSoundScanCountForTests, 1) << "unchanged folder, no listing";
  clock.advance(30s);
  EXPECT_FALSE(view->refreshLocalSoundsFromCLI());
  EXPECT_EQ(ViewSounds::localSoundScanCountForTests, 2) << "30 s later it lists again";

  // Settings read afresh hold only the remembered files; the packages come back at once.
  settings.load();
  EXPECT_EQ(values().importedSounds.front().id, QStringLiteral("cli:done-chime"));
}

TEST_F(ViewSoundsTest, AssignmentsFromTheTab) {
  package("done-chime", R"({"id":"done-chime","audioPath":"done.mp3"})", "done.mp3");
  auto view = makeView(shared);
  view->refreshLocalSoundsFromCLI();
  const QString file = tandrelHome() + "/config/sounds.json";

  EXPECT_FALSE(view->assignImportedSound(1, "Done"));
  EXPECT_FALSE(view->assignImportedSound(0, "Lunch"));
  EXPECT_FALSE(QFile::exists(file));
  EXPECT_TRUE(banners.empty());

  ASSERT_TRUE(test::writeFile(file, R"({"version":1,"assignments":{"Done":"done-chime"},"installed":[{"id":"done-chime"}]})"));
  EXPECT_TRUE(view->assignImportedSound(0, "Authorization"));
  EXPECT_EQ(lastBanner().text, QStringLiteral("Assigned sound to Authorization"));
  const QJsonObject written = QJsonDocument::fromJson(test::readFile(file)).object();
  EXPECT_EQ(written.value("assignments").toObject(), QJsonObject({{"Authorization", "done-chime"}}));
  EXPECT_FALSE(view->cachedLocalSoundDiskSignature.has_value()) << "the next refresh rescans";

  ASSERT_TRUE(test::writeFile(file, "{broken"));
  EXPECT_FALSE(view->assignImportedSound(0, "Done"));
  EXPECT_TRUE(lastBanner().text.startsWith("Could not assign sound: ")) << lastBanner().text.toStdString();
  EXPECT_EQ(lastBanner().color, QColor(255, 85, 85));
  EXPECT_EQ(test::readFile(file), QByteArray("{broken"));
}

TEST_F(ViewSoundsTest, ImportSelectsTheNewSoundOrSaysWhyNot) {
  auto view = makeView(shared);
  ASSERT_TRUE(test::writeFile(home.file("Standalone Cue.ogg"), "ogg audio"));
  view->importSound(home.file("Standalone Cue.ogg"));
  EXPECT_EQ(lastBanner().text, QStringLiteral("Selected Standalone Cue.ogg"));
  EXPECT_EQ(values().selectedSoundID, QStringLiteral("cli:standalone-cue"));
  ASSERT_EQ(values().importedSounds.size(), 1u);
  EXPECT_EQ(values().importedSounds[0].path, sounds("standalone-cue/audio.ogg"));

  ASSERT_TRUE(test::writeFile(home.file("notes.txt"), "text"));
  view->importSound(home.file("notes.txt"));
  EXPECT_EQ(lastBanner().text, QStringLiteral("Sound import failed: ") + QString::fromUtf8(kUnacceptedAudioMessage));
  EXPECT_EQ(values().selectedSoundID, QStringLiteral("cli:standalone-cue"));
}

TEST_F(ViewSoundsTest, RemovingDeletesTheFolderThePackageCameFromAndNothingElse) {
  package("twin-1", R"({"id":"twin","audioPath":"a.mp3"})", "a.mp3");
  package("twin", R"({"id":"other","audioPath":"b.mp3"})", "b.mp3");
  auto view = makeView(shared);
  view->refreshLocalSoundsFromCLI();
  view->selectSound("cli:twin");
  ASSERT_EQ(values().importedSounds[0].id, QStringLiteral("cli:twin"));

  view->removeImportedSound(0);
  EXPECT_FALSE(QFile::exists(sounds("twin-1")));
  EXPECT_TRUE(QFile::exists(sounds("twin/b.mp3"))) << "the folder named like the id belongs to another package";
  EXPECT_EQ(values().selectedSoundID, QStringLiteral("moonlight-sonata"));
  EXPECT_EQ(lastBanner().text, QStringLiteral("Removed a"));

  // An id crafted to step out of the sounds folder names no folder this view read.
  ASSERT_TRUE(test::writeFile(home.file("precious/keep.txt"), "keep"));
  view->deleteImportedSoundOnDisk({"cli:../../precious", home.file("precious/keep.txt"), std::nullopt, false});
  EXPECT_TRUE(QFile::exists(home.file("precious/keep.txt")));
}

TEST_F(ViewSoundsTest, PreviewsPlayForTheirTimeAndReportFailures) {
  auto view = makeView(shared);
  view->playSoundPresetPreview("turkish-march", std::nullopt);
  ASSERT_EQ(output.opened.size(), 1u);
  EXPECT_TRUE(output.opened[0]->path.endsWith("Sounds/classics/rondo-alla-turca.ogg"));
  EXPECT_EQ(output.opened[0]->currentTime(), 0.0);
  EXPECT_EQ(lastBanner().text, QStringLiteral("Playing Turkish March"));
  EXPECT_EQ(lastBanner().color, QColor(244, 194, 122));
  EXPECT_TRUE(view->isSoundPlaying("preset:turkish-march"));
  clock.advance(3249ms);
  EXPECT_EQ(view->activeSounds.size(), 1u);
  clock.advance(1ms);
  EXPECT_TRUE(view->activeSounds.empty()) << "released min(3.0, 3.0) + 0.25 s after the start";
  EXPECT_EQ(output.opened[0]->stopCount, 1);

  // Two previews in a row: only the second is playing; 1.8 s later neither.
  view->playSoundPresetPreview("cabin-chime", std::nullopt);
  clock.advance(500ms);
  view->playSelectedSoundPreview();
  EXPECT_FALSE(view->isSoundPlaying("preset:cabin-chime"));
  EXPECT_TRUE(view->isSoundPlaying("selected:moonlight-sonata"));
  clock.advance(1800ms);
  EXPECT_FALSE(view->playingSoundKey.has_value());
  clock.advance(2s);
  ASSERT_TRUE(view->activeSounds.empty());

  // A short file stays at least 0.3 + 0.25 s; an imported sound plays to its end, uncut.
  output.durations.insert(home.file("blip.wav"), 0.1);
  output.durations.insert(home.file("Long.wav"), 20.0);
  test::writeFile(home.file("Long.wav"), "audio");
  EXPECT_TRUE(view->playRetainedSound(output.open(home.file("blip.wav")), 5.0));
  clock.advance(549ms);
  EXPECT_EQ(view->activeSounds.size(), 1u);
  clock.advance(1ms);
  EXPECT_TRUE(view->activeSounds.empty());
  settings.change([&](UserSettings& s) { s.importedSounds = {{"LONG", home.file("Long.wav"), std::nullopt, false}}; });
  view->playImportedSoundPreview(0);
  EXPECT_TRUE(view->isSoundPlaying("imported:LONG"));
  clock.advance(20249ms);
  EXPECT_EQ(view->activeSounds.size(), 1u);
  clock.advance(1ms);
  EXPECT_TRUE(view->activeSounds.empty());
  EXPECT_EQ(output.opened.back()->stopCount, 0);

  const size_t bannerCount = banners.size();
  view->playImportedSoundPreview(5);
  EXPECT_EQ(banners.size(), bannerCount) << "an index out of range does nothing";

  QFile::remove(resources() + "/Sounds/classics/rondo-alla-turca.ogg");
  view->playSoundPresetPreview("turkish-march", std::nullopt);
  EXPECT_EQ(lastBanner().text, QStringLiteral("Could not load Turkish March"));
  view->playSoundPresetPreview("nope", std::nullopt);
  EXPECT_EQ(lastBanner().text, QStringLiteral("Could not find sound"));
  output.playSucceeds = false;
  view->playSoundPresetPreview("cabin-chime", std::nullopt);
  EXPECT_EQ(lastBanner().text, QStringLiteral("Could not play Cabin Chime"));
  EXPECT_EQ(lastBanner().color, QColor(255, 187, 0));
  view->playImportedSoundPreview(0);
  EXPECT_EQ(lastBanner().text, QStringLiteral("Could not play Long.wav"));
  EXPECT_TRUE(view->activeSounds.empty());
}

TEST_F(ViewSoundsTest, MutedPreviewsSaySoAndPlayNothing) {
  auto view = makeView(shared);
  settings.change([](UserSettings& s) {
    s.muted = true;
    s.importedSounds = {{"F", "/f.wav", std::nullopt, false}};
  });
  view->playSoundPresetPreview("cabin-chime", std::nullopt);
  view->playSelectedSoundPreview();
  view->playImportedSoundPreview(0);
  ASSERT_EQ(banners.size(), 3u);
  for (const Banner& b : banners) EXPECT_EQ(b.text, QStringLiteral("Sound is muted"));
  EXPECT_EQ(banners[0].color, std::nullopt) << "the preset preview keeps the banner's colour";
  EXPECT_TRUE(output.openedPaths.isEmpty());
  EXPECT_TRUE(view->activeSounds.empty());
}

TEST_F(ViewSoundsTest, EventSoundsPlayTheSelectedSoundOncePerEvent) {
  std::vector<std::unique_ptr<ViewSounds>> views;
  for (int i = 0; i < 3; ++i) views.push_back(makeView(shared));
  std::vector<TandrelEvent> events = {test::answerablePermission("old")};
  for (auto& view : views) view->seedEventSounds(events, 1);
  events.push_back(test::answerablePermission("ask", 5));
  for (auto& view : views) view->playSoundsForNewEvents(events, 2);
  ASSERT_EQ(output.opened.size(), 1u);
  EXPECT_TRUE(output.opened[0]->path.endsWith("moonlight-sonata.ogg"));
  EXPECT_TRUE(banners.empty()) << "event sounds set no banner";
  EXPECT_FALSE(views[0]->playingSoundKey.has_value());

  // Muted: nothing plays, but the event counts as heard and the gap starts.
  clock.advance(5s);
  settings.change([](UserSettings& s) { s.muted = true; });
  events.push_back(test::humanCompletion("done", 6));
  views[0]->playSoundsForNewEvents(events, 3);
  EXPECT_EQ(output.opened.size(), 1u);
  EXPECT_DOUBLE_EQ(shared.lastPlayedAt, 5.0);

  // The selected imported file no longer opens: no preset has its id, so nothing plays.
  clock.advance(5s);
  settings.change([&](UserSettings& s) {
    s.muted = false;
    s.importedSounds = {{"GONE", home.file("gone.wav"), std::nullopt, false}};
    s.selectedSoundID = "GONE";
  });
  events.push_back(test::answerablePermission("ask-2", 7));
  views[1]->playSoundsForNewEvents(events, 4);
  EXPECT_EQ(output.opened.size(), 1u);
  EXPECT_TRUE(banners.empty());

  // An imported event sound is cut off after 8 s.
  clock.advance(5s);
  output.durations.insert(home.file("gone.wav"), 20.0);
  events.push_back(test::answerablePermission("ask-3", 8));
  views[2]->playSoundsForNewEvents(events, 5);
  ASSERT_EQ(output.opened.size(), 2u);
  clock.advance(8250ms);
  EXPECT_EQ(output.opened[1]->stopCount, 1);
  EXPECT_TRUE(views[2]->activeSounds.empty());
}

}  // namespace
}  // namespace tandrel
