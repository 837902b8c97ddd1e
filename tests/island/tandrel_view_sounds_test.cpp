#include "island/tandrel_view.h"

#include "events/event_store.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_sound_output.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

QByteArray permissionLine(const QString& id, int minute) {
  return QStringLiteral(R"({"event_id":"%1","event_type":"permission_request","source":"codex",)"
                        R"("timestamp":"2027-01-15T07:%2:00Z","action":{"decision_file":"/tmp/%1.json"}})"
                        "\n")
      .arg(id)
      .arg(minute, 2, 10, QLatin1Char('0'))
      .toUtf8();
}

// Views over one store with a scratch home, a resources folder holding the default sound and a
// fake audio output.
class TandrelViewSoundsGui : public ::testing::Test {
 protected:
  TandrelViewSoundsGui() {
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
    home.setEnv("TANDREL_RESOURCES_DIR", home.file("resources").toUtf8());
    test::writeFile(moonlight(), "audio");
    output.durations.insert(moonlight(), 3.0);
    TandrelView::soundOutputOverrideForTests = &output;
    SharedEventSoundState::shared() = SharedEventSoundState{};
    EventStoreOptions options;
    options.eventFile = home.file("events.jsonl");
    options.testEnvironment = true;
    store = std::make_unique<EventStore>(options);
  }
  ~TandrelViewSoundsGui() override { TandrelView::soundOutputOverrideForTests = nullptr; }

  QString moonlight() const { return home.file("resources/Sounds/classics/moonlight-sonata.ogg"); }

  void appendAndReload(const QByteArray& line) {
    events += line;
    ASSERT_TRUE(test::writeFile(home.file("events.jsonl"), events));
    store->reload(true);
  }

  test::TempHome home;
  UserDefaults defaults{home.file("defaults.json")};
  SettingsModel settings{defaults};
  FakeClock clock;
  FakeSoundOutput output;
  std::unique_ptr<EventStore> store;
  QByteArray events;
};

TEST_F(TandrelViewSoundsGui, ANewEventSoundsOnceForAllViewsAndHistoryNever) {
  appendAndReload(permissionLine("old", 1));
  TandrelView first(QSize(332, 32), *store, settings, clock);
  TandrelView second(QSize(332, 32), *store, settings, clock);
  first.refreshFromDisk();
  second.playSoundsForNewEvents();
  EXPECT_TRUE(output.opened.empty()) << "what the store held when the views were made";

  appendAndReload(permissionLine("new", 2));
  second.playSoundsForNewEvents();
  first.playSoundsForNewEvents();
  first.refreshFromDisk();
  ASSERT_EQ(output.opened.size(), 1u);
  EXPECT_EQ(output.opened[0]->path, moonlight());
  EXPECT_EQ(second.sounds().activeSounds.size(), 1u);

  second.prepareForTermination();
  EXPECT_TRUE(second.sounds().activeSounds.empty());
  EXPECT_EQ(output.opened[0]->stopCount, 1);
}

TEST_F(TandrelViewSoundsGui, TheDiskRefreshFindsNewPackages) {
  TandrelView view(QSize(332, 32), *store, settings, clock);
  EXPECT_TRUE(settings.values().importedSounds.empty());
  ASSERT_TRUE(test::writeFile(home.file(".tandrel/sounds/done-chime/sound.json"), R"({"audioPath":"done.mp3"})"));
  ASSERT_TRUE(test::writeFile(home.file(".tandrel/sounds/done-chime/done.mp3"), "audio"));
  view.refreshFromDisk();
  ASSERT_EQ(settings.values().importedSounds.size(), 1u);
  EXPECT_EQ(settings.values().importedSounds[0].id, QStringLiteral("cli:done-chime"));
}

}  // namespace
}  // namespace tandrel
