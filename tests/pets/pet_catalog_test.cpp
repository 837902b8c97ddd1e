#include "pets/pet_catalog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QJsonObject>

#include "pets/pet_test_files.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

using test::writePetPackage;

QStringList ids(const std::vector<PetChoice>& choices) {
  QStringList list;
  for (const PetChoice& choice : choices) {
    list.append(choice.id);
  }
  return list;
}

QJsonObject named(const QString& displayName) { return {{QStringLiteral("displayName"), displayName}}; }

// A scratch home with the resource folders and the user's folders the catalogue reads.
struct CatalogueWorld {
  test::TempHome home;
  QString resources = home.file(QStringLiteral("share/tandrel"));
  QString builtIn = resources + QStringLiteral("/Pets/built-in");
  QString shipped = resources + QStringLiteral("/Pets/codex-pets");
  QString codex = home.file(QStringLiteral(".codex"));
  QString tandrel = home.file(QStringLiteral(".tandrel"));

  PetCatalogueSources sources(bool authorized = true, QSet<QString> deleted = {}) const {
    return {builtIn, shipped, tandrel, codex, std::move(deleted), authorized};
  }
  // Package folders and their display names.
  void write(std::initializer_list<std::pair<QString, QString>> packages) const {
    for (const auto& [folder, name] : packages) {
      ASSERT_TRUE(writePetPackage(folder, named(name))) << folder.toStdString();
    }
  }
};

TEST(PetCatalogTest, WithNoFoldersOnlyTheTwoBuiltInsAreListedAndTheSelectionIsRepaired) {
  CatalogueWorld world;
  const std::vector<PetChoice> choices = buildPetCatalogue(world.sources());
  ASSERT_EQ(ids(choices), (QStringList{"capybara", "tandrelcat"}));
  EXPECT_EQ(choices[0].name, "Capybara");
  EXPECT_EQ(choices[1].detail, "Dancing pixel cat.");
  EXPECT_FALSE(choices[0].isDeletable);
  EXPECT_FALSE(choices[0].isCodexSprite);
  EXPECT_FALSE(choices[0].sourcePath.has_value());
  EXPECT_EQ(localPetCount(choices), 0);

  const struct {
    std::vector<PetChoice> choices;
    QString selected;
    QString expected;
  } cases[] = {
      {choices, "tandrelcat", "tandrelcat"},
      {choices, "custom:gone", "capybara"},
      {{choices[1]}, "custom:gone", "tandrelcat"},
      {{}, "custom:gone", "capybara"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repairedSelectedPetID(c.choices, c.selected), c.expected) << c.selected.toStdString();
  }
}

TEST(PetCatalogTest, ShippedPackagesReplaceBuiltInsByIdAndOthersFollowTheirRules) {
  CatalogueWorld world;
  world.write({{world.builtIn + "/capybara", "Shipped Capy"},
               {world.builtIn + "/otter", "Otter"},
               {world.shipped + "/capybara", "Never"},
               {world.shipped + "/tandrelcat", "Never either"},
               {world.shipped + "/hidden-by-user", "Deleted"},
               {world.shipped + "/foo", "Foo"},
               {world.shipped + "/bar", "Bar"},
               {world.tandrel + "/pets/capybara", "Not a built-in"},
               {world.tandrel + "/pets/foo", "My Foo"}});

  const std::vector<PetChoice> choices = buildPetCatalogue(world.sources(true, {"hidden-by-user"}));
  ASSERT_EQ(ids(choices), (QStringList{"capybara", "tandrelcat", "bar", "custom:foo"}));
  EXPECT_EQ(choices[0].name, "Shipped Capy");
  EXPECT_EQ(choices[0].sourceKind, PetSourceKind::builtIn);
  EXPECT_TRUE(choices[0].isCodexSprite);
  EXPECT_FALSE(choices[0].isDeletable);
  EXPECT_EQ(choices[0].sourcePath, world.builtIn + "/capybara");
  EXPECT_EQ(choices[0].spritePath, world.builtIn + "/capybara/spritesheet.webp");
  EXPECT_EQ(choices[2].sourceKind, PetSourceKind::codexPet);
  EXPECT_TRUE(choices[2].isDeletable);
  EXPECT_EQ(choices[3].sourceKind, PetSourceKind::tandrelPet);
  EXPECT_TRUE(choices[3].isDeletable);
  EXPECT_EQ(localPetCount(choices), 2);
}

TEST(PetCatalogTest, CodexFoldersAreReadOnlyWhenAuthorizedAndLaterSourcesWin) {
  CatalogueWorld world;
  ASSERT_TRUE(writePetPackage(world.codex + "/avatars/ava", named("Ava"), "avatar.json"));
  ASSERT_TRUE(writePetPackage(world.codex + "/pets/foo", named("Codex Foo")));
  ASSERT_TRUE(writePetPackage(world.codex + "/pets/zed", named("Zed")));
  ASSERT_TRUE(writePetPackage(world.tandrel + "/pets/foo", named("Tandrel Foo")));

  const std::vector<PetChoice> authorized = buildPetCatalogue(world.sources(true));
  ASSERT_EQ(ids(authorized), (QStringList{"capybara", "tandrelcat", "custom:ava", "custom:foo", "custom:zed"}));
  EXPECT_EQ(authorized[2].sourceKind, PetSourceKind::codexAvatar);
  EXPECT_FALSE(authorized[2].isDeletable);
  EXPECT_EQ(authorized[3].name, "Tandrel Foo");
  EXPECT_EQ(authorized[3].sourceKind, PetSourceKind::tandrelPet);
  EXPECT_EQ(authorized[4].sourceKind, PetSourceKind::codexPet);
  EXPECT_EQ(localPetCount(authorized), 3);

  EXPECT_EQ(ids(buildPetCatalogue(world.sources(false))), (QStringList{"capybara", "tandrelcat", "custom:foo"}));
}

TEST(PetCatalogTest, ManifestTextsAndProvenanceAreTrimmedStringsWithFallbacks) {
  CatalogueWorld world;
  const QString root = world.tandrel + "/pets";
  ASSERT_TRUE(writePetPackage(root + "/blank-name", {{"displayName", "  "}, {"id", " Manifest Id "},
                                                     {"description", " \n "}}));
  ASSERT_TRUE(writePetPackage(root + "/no-name", {{"displayName", 12}, {"description", " Fluffy. "}}));
  ASSERT_TRUE(writePetPackage(
      root + "/provenance",
      {{"displayName", "Prov"},
       {"tandrel", QJsonObject{{"source", " Gallery "}, {"sourceUrl", "https://example.org/p"},
                               {"websiteTag", "tag"}, {"authorHandle", " maker "}, {"authorName", ""}}}}));
  ASSERT_TRUE(writePetPackage(root + "/not-an-object", {{"displayName", "Flat"}, {"tandrel", "https://x.org"}}));

  const std::vector<PetChoice> choices = buildPetCatalogue(world.sources());
  const auto pet = [&](const char* id) { return *findPetChoice(choices, QString::fromLatin1(id)); };
  EXPECT_EQ(pet("custom:blank-name").name, "Manifest Id");
  EXPECT_EQ(pet("custom:blank-name").detail, "Imported Codex pet");
  EXPECT_EQ(pet("custom:no-name").name, "no-name");
  EXPECT_EQ(pet("custom:no-name").detail, "Fluffy.");
  const PetChoice prov = pet("custom:provenance");
  EXPECT_EQ(prov.sourceLabel, "Gallery");
  EXPECT_EQ(prov.sourceURL, "https://example.org/p");
  EXPECT_EQ(prov.websiteTag, "tag");
  EXPECT_EQ(prov.authorHandle, "maker");
  EXPECT_EQ(prov.authorName, std::nullopt);
  EXPECT_EQ(prov.state, PetState::idle);
  EXPECT_FALSE(prov.badge.has_value());
  const PetChoice flat = pet("custom:not-an-object");
  EXPECT_FALSE(flat.sourceLabel || flat.sourceURL || flat.websiteTag || flat.authorHandle || flat.authorName);
}

TEST(PetCatalogTest, SpritePathsStayInsideTheFolderAndSheetsMustBeExactlyTheGridSize) {
  test::TempHome home;
  const QString folder = home.file("pkg");
  const struct {
    const char* spritesheetPath;  // empty: the key is left out
    const char* writtenAt;        // relative to the home
    int width;
    int height;
    const char* format;
    bool listed;
  } cases[] = {
      {"", "pkg/spritesheet.webp", 1536, 1872, "PNG", true},
      {"", "pkg/spritesheet.webp", 1536, 1872, "WEBP", true},
      {"", "pkg/spritesheet.webp", 1535, 1872, "PNG", false},
      {"", "pkg/spritesheet.webp", 1536, 1873, "PNG", false},
      {"./art/../sheet.png", "pkg/sheet.png", 1536, 1872, "PNG", true},
      {"../outside.png", "outside.png", 1536, 1872, "PNG", false},
      {"@HOME/outside.png", "outside.png", 1536, 1872, "PNG", false},
      {"@HOME/pkg/inside.png", "pkg/inside.png", 1536, 1872, "PNG", true},
      {"missing.png", "pkg/other.png", 1536, 1872, "PNG", false},
  };
  for (const auto& c : cases) {
    QDir(folder).removeRecursively();
    QFile::remove(home.file("outside.png"));
    QJsonObject manifest{{"displayName", "Pkg"}};
    const QString path = QString::fromLatin1(c.spritesheetPath).replace("@HOME", home.path());
    if (!path.isEmpty()) {
      manifest.insert("spritesheetPath", path);
    }
    ASSERT_TRUE(test::writeFile(folder + "/pet.json", QJsonDocument(manifest).toJson()));
    ASSERT_TRUE(test::writePicture(home.file(c.writtenAt), c.width, c.height, c.format));
    const auto choice = codexPetChoice(folder, "pet.json", PetSourceKind::codexPet, "", false);
    EXPECT_EQ(choice.has_value(), c.listed) << c.spritesheetPath << " " << c.width << "x" << c.height << " " << c.format;
    if (choice) {
      EXPECT_EQ(*choice->spritePath, home.file(c.writtenAt));
    }
  }
  EXPECT_FALSE(codexPetChoice(home.file("nowhere"), "pet.json", PetSourceKind::codexPet, "", false));
  ASSERT_TRUE(test::writeFile(folder + "/pet.json", "[1, 2]"));
  EXPECT_FALSE(codexPetChoice(folder, "pet.json", PetSourceKind::codexPet, "", false));
  ASSERT_TRUE(test::writeFile(folder + "/pet.json", "{broken"));
  EXPECT_FALSE(codexPetChoice(folder, "pet.json", PetSourceKind::codexPet, "", false));
}

TEST(PetCatalogTest, ResolvedSpritePathsAreStandardisedAndContained) {
  const struct {
    const char* spritePath;
    std::optional<QString> expected;
  } cases[] = {
      {"sheet.webp", QString("/p/pkg/sheet.webp")},
      {"./a/./b.png", QString("/p/pkg/a/b.png")},
      {"a/../b.png", QString("/p/pkg/b.png")},
      {"../pkg/b.png", QString("/p/pkg/b.png")},
      {"../pkg2/b.png", std::nullopt},
      {"/p/pkg", QString("/p/pkg")},
      {"/p/pkgx/b.png", std::nullopt},
      {"/etc/passwd", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(resolvedCodexSpriteURL("/p/pkg/", c.spritePath), c.expected) << c.spritePath;
  }
}

TEST(PetCatalogTest, FurtherPetsSortByNameCaseInsensitivelyAndStably) {
  CatalogueWorld world;
  world.write({{world.tandrel + "/pets/c", "cherry"},
               {world.tandrel + "/pets/b", "Banana"},
               {world.shipped + "/a", "apple"},
               {world.shipped + "/z", "Zulu"},
               {world.codex + "/pets/twin", "Zulu"},
               {world.tandrel + "/pets/.hidden", "Hidden"},
               {world.shipped + "/aaa", "Aardvark"}});  // sorts before the built-ins, still listed after them
  ASSERT_TRUE(test::writeFile(world.tandrel + "/pets/plain-file", "{}"));

  EXPECT_EQ(ids(buildPetCatalogue(world.sources())),
            (QStringList{"capybara", "tandrelcat", "aaa", "a", "custom:b", "custom:c", "z", "custom:twin"}));
}

TEST(PetCatalogTest, TheShippedTandrelCatIsOurOwnSpriteSheetAsItsGeneratorPaintsIt) {
  test::TempHome home;
  const QString resources = qEnvironmentVariable("TANDREL_SOURCE_DIR") + "/resources";
  home.setEnv("TANDREL_RESOURCES_DIR", resources.toUtf8());
  ASSERT_EQ(bundledBuiltInPetsDirectory(), resources + "/Pets/built-in");
  EXPECT_EQ(bundledCodexPetsDirectory(), std::nullopt);

  const std::vector<PetChoice> choices =
      buildPetCatalogue({bundledBuiltInPetsDirectory(), bundledCodexPetsDirectory(), home.file(".tandrel"),
                         home.file(".codex"), {}, false});
  ASSERT_EQ(ids(choices), (QStringList{"capybara", "tandrelcat"}));
  const PetChoice& cat = choices[1];
  EXPECT_EQ(cat.name, "TandrelCat");
  EXPECT_EQ(cat.detail, "Dancing pixel cat.");
  EXPECT_EQ(cat.sourceKind, PetSourceKind::builtIn);
  EXPECT_TRUE(cat.isCodexSprite);
  EXPECT_FALSE(cat.isDeletable);
  EXPECT_FALSE(choices[0].isCodexSprite);  // the capybara stays painted

  // The committed sheet is exactly what the generator paints (WebP is written lossless).
  const QString generator =
      qEnvironmentVariable("TANDREL_TEST_BINARY_DIR") + "/tools/tandrelcat_sheet";
  const QString painted = home.file("painted.png");
  ASSERT_EQ(QProcess::execute(generator, {painted}), 0);
  const QImage shipped = QImage(*cat.spritePath).convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(shipped.size(), QSize(kSpriteSheetWidth, kSpriteSheetHeight));
  EXPECT_EQ(shipped, QImage(painted).convertToFormat(QImage::Format_ARGB32));
}

}  // namespace
}  // namespace tandrel
