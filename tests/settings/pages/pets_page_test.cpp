// The Pets tab drawn and clicked through the settings frame.

#include "settings/pages/pets_page.h"

#include "pets/pet_images.h"
#include "pets/pet_test_files.h"
#include "settings/pages/pets_page_layout.h"
#include "settings/settings_frame.h"
#include "settings/settings_pages.h"
#include "settings/settings_view_fixture.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

class PetsPageGui : public test::SettingsViewFixture {
 protected:
  PetsPageGui() {
    home.setEnv("TANDREL_RESOURCES_DIR", (qEnvironmentVariable("TANDREL_SOURCE_DIR") + "/resources").toUtf8());
    SharedPetImageCache::cache().clear();
    // A shipped pet of our own with provenance, and one deletable package of ~/.tandrel/pets whose
    // name is wider than the name column.
    EXPECT_TRUE(test::writePetPackage(
        home.file(".tandrel/pets/otter"),
        {{"displayName", "Otter"},
         {"tandrel", QJsonObject{{"sourceUrl", "https://www.pets.example/otter"}, {"authorHandle", "river"}}}}));
    EXPECT_TRUE(test::writePetPackage(home.file(".tandrel/pets/long"),
                                      {{"displayName", "A Pet With A Remarkably Long Name Indeed"}}));
  }
  ~PetsPageGui() override { SharedPetImageCache::cache().clear(); }

  std::unique_ptr<TandrelView> pageView() {
    auto view = makeView(QSize(860, 780));
    view->setMode(OverlayMode::settings);
    view->selectSettingsTab(SettingsTab::pets);
    view->petFolderChooser = [this](QWidget*) { return chosenFolder; };
    return view;
  }
  std::optional<QString> chosenFolder;
};

TEST_F(PetsPageGui, ThePageIsDrawnAtOneAndTwoTimesWithRowsBadgesMarksAndDeleteButtons) {
  settings.change([](UserSettings& s) { s.selectedPetID = "tandrelcat"; });
  const auto view = pageView();
  ASSERT_EQ(view->petChoices.size(), 4u);
  const QString folder = qEnvironmentVariable("TANDREL_TEST_BINARY_DIR") + "/renders";
  QDir().mkpath(folder);
  for (const qreal ratio : {1.0, 2.0}) {
    const QImage image = view->renderImage(ratio);
    EXPECT_TRUE(image.save(folder + QStringLiteral("/settings-pets@%1x.png").arg(int(ratio))));
    const auto at = [&](qreal x, qreal contentY) {
      return image.pixelColor(int(x * ratio), int(settings_frame::viewY(contentY, 0) * ratio));
    };
    // The selected row (the cat, second) carries the filled blue mark 32 from its right edge.
    const QRectF cat = pets_page::petRowRect(1);
    const QColor mark = at(848 - 32 + 10, cat.top() + 19 + 3);
    EXPECT_LT(std::abs(mark.blue() - 255) + std::abs(mark.green() - 107), 40) << mark.name().toStdString();
    // Deletable rows have a light-red delete button at x 816; built-ins do not.
    const auto reddish = [&](const QRectF& row) {
      for (qreal y = row.top() + 15; y < row.top() + 41; y += 1) {
        for (qreal x = 816; x < 842; x += 1) {
          const QColor c = at(x, y);
          if (c.red() > c.blue() + 60 && c.red() > 90) {
            return true;
          }
        }
      }
      return false;
    };
    EXPECT_FALSE(reddish(pets_page::petRowRect(0)));
    EXPECT_TRUE(reddish(pets_page::petRowRect(2)));
    EXPECT_TRUE(reddish(pets_page::petRowRect(3)));
  }
}

TEST_F(PetsPageGui, ClicksReachTheSwitchRefreshImportDeleteAndRows) {
  const auto view = pageView();
  const auto click = [&](QPointF contentPoint) { return view->handleSettingsClick(contentPoint); };
  const bool companion = settings.values().desktopCompanionMode;
  EXPECT_TRUE(click({860 - 50, 110}));
  EXPECT_NE(settings.values().desktopCompanionMode, companion);

  ASSERT_TRUE(test::writePetPackage(home.file(".tandrel/pets/badger"), {{"displayName", "Badger"}}));
  EXPECT_TRUE(click({860 - 100, 170}));
  EXPECT_EQ(view->statusBanner(), "Loaded 3 local pets");
  ASSERT_EQ(view->petChoices.size(), 5u);

  ASSERT_TRUE(QDir().mkpath(home.file("art/doodle")));
  chosenFolder = home.file("art/doodle");
  EXPECT_TRUE(click({400, 260}));
  EXPECT_EQ(view->petChoices.front().id, "dir-doodle");
  EXPECT_EQ(settings.values().selectedPetID, "dir-doodle");

  // Rows now: doodle, capybara, tandrelcat, a long name, badger, otter.
  ASSERT_EQ(view->petChoices[4].id, "custom:badger");
  EXPECT_TRUE(click(pets_page::petDeleteButtonRect(pets_page::petRowRect(4)).center()));
  EXPECT_EQ(view->statusBanner(), "Removed Badger");
  EXPECT_FALSE(QFileInfo::exists(home.file(".tandrel/pets/badger")));

  EXPECT_TRUE(click(pets_page::petRowRect(1).center()));
  EXPECT_EQ(settings.values().selectedPetID, "capybara");
  EXPECT_EQ(view->statusBanner(), "Capybara selected");
  // A built-in's delete square selects it instead.
  EXPECT_TRUE(click(pets_page::petDeleteButtonRect(pets_page::petRowRect(2)).center()));
  EXPECT_EQ(settings.values().selectedPetID, "tandrelcat");
  EXPECT_FALSE(click({400, pets_page::livePreviewTop(5) + 10}));
}

}  // namespace
}  // namespace tandrel
