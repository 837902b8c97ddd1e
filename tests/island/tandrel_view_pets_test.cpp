#include "island/tandrel_view.h"

#include "events/event_store.h"
#include "pets/pet_catalog.h"
#include "pets/pet_images.h"
#include "pets/pet_rail.h"
#include "pets/pet_test_files.h"
#include "platform/fake/fake_clock.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>

namespace tandrel {
namespace {

bool writePackage(const QString& folder, const QString& displayName) {
  return test::writePetPackage(folder, {{"displayName", displayName}});
}

class TandrelViewPetsGui : public ::testing::Test {
 protected:
  TandrelViewPetsGui() {
    home.setEnv("TANDREL_LOCK_EXPANDED", std::nullopt);
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
    home.setEnv("TANDREL_RESOURCES_DIR", home.file("resources").toUtf8());
    EventStoreOptions options;
    options.eventFile = home.file("events.jsonl");
    options.testEnvironment = true;
    options.socketRequestsWaiting = [this] { return waiting; };
    store = std::make_unique<EventStore>(options);
  }
  std::unique_ptr<TandrelView> view() {
    auto made = std::make_unique<TandrelView>(QSize(540, 300), *store, settings, clock);
    made->petFolderChooser = [this](QWidget*) { return chosenFolder; };
    return made;
  }
  QStringList ids(const TandrelView& v) const {
    QStringList list;
    for (const PetChoice& pet : v.petChoices) {
      list.append(pet.id);
    }
    return list;
  }

  test::TempHome home;
  UserDefaults defaults{home.file("defaults.json")};
  SettingsModel settings{defaults};
  FakeClock clock;
  std::unique_ptr<EventStore> store;
  bool waiting = false;
  std::optional<QString> chosenFolder;
};

TEST_F(TandrelViewPetsGui, TheCatalogueIsReadWhenTheViewIsMadeAndTheControlReloadsIt) {
  ASSERT_TRUE(writePackage(home.file(".tandrel/pets/otter"), "Otter"));
  settings.change([](UserSettings& s) { s.selectedPetID = "custom:gone"; });
  const auto v = view();
  EXPECT_EQ(ids(*v), (QStringList{"capybara", "tandrelcat", "custom:otter"}));
  EXPECT_EQ(v->pets().localTandrelHomeURL, home.file(".tandrel"));
  EXPECT_EQ(v->pets().bundledBuiltInPetsURL, std::nullopt);  // the scratch resources hold no pets
  EXPECT_EQ(settings.values().selectedPetID, "capybara");

  ASSERT_TRUE(writePackage(home.file(".tandrel/pets/badger"), "Badger"));
  v->reloadLocalPetsFromControl();
  EXPECT_EQ(ids(*v), (QStringList{"capybara", "tandrelcat", "custom:badger", "custom:otter"}));
  EXPECT_EQ(v->statusBanner(), "Loaded 2 local pets");
  EXPECT_EQ(v->statusBannerColor, QColor(0, 214, 163));
}

TEST_F(TandrelViewPetsGui, ImportSelectionAndRemovalChangeTheCatalogueTheSettingsAndTheBanner) {
  ASSERT_TRUE(writePackage(home.file(".tandrel/pets/otter"), "Otter"));
  const auto v = view();

  chosenFolder.reset();  // cancelled: nothing changes, nothing is shown
  v->importPetDirectory();
  EXPECT_EQ(v->petChoices.size(), 3u);
  EXPECT_FALSE(v->statusBanner());

  ASSERT_TRUE(QDir().mkpath(home.file("art/doodle")));
  chosenFolder = home.file("art/doodle");
  v->importPetDirectory();
  EXPECT_EQ(v->petChoices.front().id, "dir-doodle");
  EXPECT_EQ(settings.values().selectedPetID, "dir-doodle");
  EXPECT_EQ(v->statusBanner(), "Imported doodle pet");
  ASSERT_NE(v->selectedPetChoice(), nullptr);
  EXPECT_EQ(v->selectedPetChoice()->sourceKind, PetSourceKind::imported);

  v->selectPet("custom:otter");
  EXPECT_EQ(v->statusBanner(), "Otter selected");
  EXPECT_EQ(v->statusBannerColor, QColor(0, 107, 255));
  v->selectPet("nobody");
  EXPECT_EQ(v->statusBanner(), "nobody selected");
  EXPECT_EQ(v->selectedPetChoice(), nullptr);

  v->selectPet("custom:otter");
  v->removePetFromCatalogue("dir-doodle");  // imported pets cannot be removed
  EXPECT_EQ(v->petChoices.front().id, "dir-doodle");
  v->removePetFromCatalogue("custom:otter");
  EXPECT_FALSE(QFileInfo::exists(home.file(".tandrel/pets/otter")));
  EXPECT_EQ(settings.values().selectedPetID, "dir-doodle");  // the first remaining pet
  EXPECT_TRUE(settings.values().deletedDefaultPetIDs.contains("custom:otter"));
  EXPECT_EQ(v->statusBanner(), "Removed Otter");
  EXPECT_EQ(v->statusBannerColor, QColor(255, 187, 0));
  // The next rebuild drops the import and repairs the selection.
  v->refreshLocalPets();
  EXPECT_EQ(ids(*v), (QStringList{"capybara", "tandrelcat"}));
  EXPECT_EQ(settings.values().selectedPetID, "capybara");
}

TEST_F(TandrelViewPetsGui, TheIslandPetStateLeavesOutHiddenToolsAndIsCached) {
  ASSERT_TRUE(test::writeFile(home.file("events.jsonl"), test::workingAndFailedEventLines()));
  store->reload(false);
  const auto v = view();
  EXPECT_EQ(v->currentPetState(), PetState::error);
  settings.change([](UserSettings& s) { s.disabledToolIDs = {"codex-cli"}; });
  EXPECT_EQ(v->currentPetState(), PetState::working);
  waiting = true;
  EXPECT_EQ(v->currentPetState(), PetState::approval);
}

TEST_F(TandrelViewPetsGui, TheExpandedIslandShowsThePetRail) {
  const auto v = view();
  settings.change([](UserSettings& s) { s.selectedPetID = "capybara"; });
  v->setMode(OverlayMode::expanded);
  clock.advance(std::chrono::seconds(2));  // past the fade-in and the peek
  const QImage image = v->renderImage(2);
  const QString folder = qEnvironmentVariable("TANDREL_TEST_BINARY_DIR") + "/renders";
  QDir().mkpath(folder);
  image.save(folder + "/expanded-with-pet-rail@2x.png");
  // The capybara's body colour in the middle of the rail's pet, in the full pass and in a frame
  // of the rail's animation, which repaints only its strip.
  const QColor body = image.pixelColor(68 * 2, 66 * 2);
  EXPECT_GT(body.red(), body.blue() + 60) << body.name().toStdString();
  QImage strip(540, 300, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  {
    QPainter painter(&strip);
    v->paintIsland(painter, expandedPetRailAnimationDirtyRect().toAlignedRect());
  }
  const QColor stripBody = strip.pixelColor(68, 66);
  EXPECT_GT(stripBody.red(), stripBody.blue() + 60) << stripBody.name().toStdString();
}

TEST_F(TandrelViewPetsGui, TheCollapsedCapsuleShowsThePetInItsPlace) {
  const QString folder = qEnvironmentVariable("TANDREL_TEST_BINARY_DIR") + "/renders";
  QDir().mkpath(folder);
  for (const DisplayKind kind : {DisplayKind::externalVirtual, DisplayKind::macBookPhysical}) {
    const auto v = view();
    v->resize(332, kind == DisplayKind::macBookPhysical ? 33 : 32);
    v->setDisplayKind(kind);
    const CollapsedCapsuleLayout layout = collapsedCapsuleLayout(QSizeF(v->size()), kind, OverlayMode::collapsed);
    for (const qreal ratio : {1.0, 2.0}) {
      const QImage image = v->renderImage(ratio);
      image.save(folder + QStringLiteral("/collapsed-pet-%1@%2x.png").arg(int(kind)).arg(int(ratio)));
      // The capybara's brown in the middle of the pet's place.
      const QColor middle = image.pixelColor((layout.petRect.center() * ratio).toPoint());
      EXPECT_GT(middle.red(), middle.blue() + 60) << int(kind) << " " << middle.name().toStdString();
    }
  }
}

}  // namespace
}  // namespace tandrel
