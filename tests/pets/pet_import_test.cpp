#include "pets/pet_import.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "pets/pet_catalog.h"
#include "pets/pet_test_files.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

using test::writePetPackage;

TEST(PetImportTest, AFolderIsImportedAsAPackageOrWithTheFallbackTexts) {
  test::TempHome home;
  const QString package = home.file("anywhere/foo");
  ASSERT_TRUE(writePetPackage(package, {{"displayName", "Foo"}, {"id", "manifest-id"}}));
  const QString bare = home.file("anywhere/bare");
  ASSERT_TRUE(QDir().mkpath(bare));
  const QString fallback = home.file("anywhere/fallback");
  ASSERT_TRUE(test::writeFile(fallback + "/pet.json",
                              R"({"id": " capybara ", "displayName": " Impostor ", "description": " Mine. "})"));
  const QString broken = home.file("anywhere/broken");
  ASSERT_TRUE(test::writeFile(broken + "/pet.json", "[not json"));

  const PetChoice fromPackage = importedPetChoice(package);
  EXPECT_EQ(fromPackage.id, "custom:foo");
  EXPECT_EQ(fromPackage.name, "Foo");
  EXPECT_EQ(fromPackage.sourceKind, PetSourceKind::imported);
  EXPECT_TRUE(fromPackage.isCodexSprite);
  EXPECT_FALSE(fromPackage.isDeletable);

  const struct {
    QString folder;
    QString id;
    QString name;
    QString detail;
  } cases[] = {
      {bare, "dir-bare", "bare pet", "Imported from " + bare},
      {broken, "dir-broken", "broken pet", "Imported from " + broken},
      {fallback, "capybara", "Impostor", "Mine."},
  };
  for (const auto& c : cases) {
    const PetChoice pet = importedPetChoice(c.folder);
    EXPECT_EQ(pet.id, c.id);
    EXPECT_EQ(pet.name, c.name);
    EXPECT_EQ(pet.detail, c.detail);
    EXPECT_EQ(pet.sourcePath, c.folder);
    EXPECT_FALSE(pet.spritePath.has_value());
    EXPECT_EQ(pet.sourceKind, PetSourceKind::imported);
    EXPECT_FALSE(pet.isCodexSprite || pet.isDeletable);
  }

  // A second import of the same folder replaces the first entry and moves it to the front; a
  // fallback id of a built-in replaces that built-in in memory.
  std::vector<PetChoice> choices = fixedBuiltInPets();
  insertImportedPet(choices, fromPackage);
  insertImportedPet(choices, importedPetChoice(bare));
  insertImportedPet(choices, fromPackage);
  insertImportedPet(choices, importedPetChoice(fallback));
  QStringList ids;
  for (const PetChoice& choice : choices) {
    ids.append(choice.id);
  }
  EXPECT_EQ(ids, (QStringList{"capybara", "custom:foo", "dir-bare", "tandrelcat"}));
  EXPECT_EQ(choices[0].name, "Impostor");
}

// A scratch home with a shipped pet "foo", a Tandrel package "custom:foo" that displaced it, and
// a Tandrel package "bar".
struct RemovalWorld {
  test::TempHome home;
  QString shipped = home.file("share/Pets/codex-pets");
  QString tandrel = home.file(".tandrel");
  QString pets = tandrel + "/pets";
  std::vector<PetChoice> choices;
  QString selected = "custom:bar";
  QSet<QString> deleted;

  PetCatalogueSources sources() const { return {std::nullopt, shipped, tandrel, home.file(".codex"), deleted, false}; }
  void rebuild() { choices = buildPetCatalogue(sources()); }
  std::optional<PetChoice> remove(const QString& id) { return removePet(id, {choices, selected, deleted, tandrel}); }
  QStringList ids() const {
    QStringList list;
    for (const PetChoice& choice : choices) {
      list.append(choice.id);
    }
    return list;
  }
};

TEST(PetImportTest, RemovalHidesShippedPetsDeletesOwnPackagesAndRepairsTheSelection) {
  RemovalWorld world;
  ASSERT_TRUE(writePetPackage(world.shipped + "/foo", {{"displayName", "Shipped Foo"}}));
  ASSERT_TRUE(writePetPackage(world.shipped + "/baz", {{"displayName", "Baz"}}));
  ASSERT_TRUE(writePetPackage(world.pets + "/foo", {{"displayName", "My Foo"}}));
  ASSERT_TRUE(writePetPackage(world.pets + "/bar", {{"displayName", "Bar"}}));
  world.rebuild();
  ASSERT_EQ(world.ids(), (QStringList{"capybara", "tandrelcat", "custom:bar", "baz", "custom:foo"}));

  // Not deletable, or unknown: nothing changes.
  for (const QString id : {"capybara", "custom:none"}) {
    EXPECT_FALSE(world.remove(id));
    EXPECT_EQ(world.choices.size(), 5u);
    EXPECT_TRUE(world.deleted.isEmpty());
  }

  const std::optional<PetChoice> bar = world.remove("custom:bar");
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->name, "Bar");
  EXPECT_FALSE(QFileInfo::exists(world.pets + "/bar"));
  EXPECT_EQ(world.selected, "capybara");

  world.selected = "baz";
  ASSERT_TRUE(world.remove("baz"));
  EXPECT_TRUE(QFileInfo::exists(world.shipped + "/baz/pet.json"));  // shipped files are never touched
  EXPECT_EQ(world.selected, "capybara");

  ASSERT_TRUE(world.remove("custom:foo"));
  EXPECT_FALSE(QFileInfo::exists(world.pets + "/foo"));
  EXPECT_EQ(world.deleted, (QSet<QString>{"custom:bar", "baz", "custom:foo"}));

  // The shipped foo comes back, the hidden baz stays away.
  world.rebuild();
  EXPECT_EQ(world.ids(), (QStringList{"capybara", "tandrelcat", "foo"}));

  std::vector<PetChoice> onlyOne{world.choices[2]};
  world.choices = onlyOne;
  world.selected = "foo";
  ASSERT_TRUE(world.remove("foo"));
  EXPECT_EQ(world.selected, "capybara");
}

TEST(PetImportTest, OnlyTheFolderThePetWasLoadedFromIsDeletedAndOnlyInsideThePetsFolder) {
  RemovalWorld world;
  // The manifest's id names another package's folder: that folder must survive.
  ASSERT_TRUE(writePetPackage(world.pets + "/alpha", {{"id", "beta"}, {"displayName", "Alpha"}}));
  ASSERT_TRUE(writePetPackage(world.pets + "/beta", {{"displayName", "Beta"}}));
  // A package that is a link to the user's own folder elsewhere: the link goes, the folder stays.
  const QString elsewhere = world.home.file("my-art/gamma");
  ASSERT_TRUE(writePetPackage(elsewhere, {{"displayName", "Gamma"}}));
  ASSERT_TRUE(QFile::link(elsewhere, world.pets + "/gamma"));
  // A package whose folder holds a link out: the link goes, its target stays.
  ASSERT_TRUE(writePetPackage(world.pets + "/delta", {{"displayName", "Delta"}}));
  const QString precious = world.home.file("precious");
  ASSERT_TRUE(test::writeFile(precious + "/keep.txt", "keep"));
  ASSERT_TRUE(QFile::link(precious, world.pets + "/delta/art"));
  world.rebuild();
  ASSERT_EQ(world.ids(), (QStringList{"capybara", "tandrelcat", "custom:alpha", "custom:beta", "custom:delta",
                                      "custom:gamma"}));

  ASSERT_TRUE(world.remove("custom:alpha"));
  EXPECT_FALSE(QFileInfo::exists(world.pets + "/alpha"));
  EXPECT_TRUE(QFileInfo::exists(world.pets + "/beta/pet.json"));

  ASSERT_TRUE(world.remove("custom:gamma"));
  EXPECT_FALSE(QFileInfo(world.pets + "/gamma").isSymLink());
  EXPECT_TRUE(QFileInfo::exists(elsewhere + "/pet.json"));

  ASSERT_TRUE(world.remove("custom:delta"));
  EXPECT_FALSE(QFileInfo::exists(world.pets + "/delta"));
  EXPECT_TRUE(QFileInfo::exists(precious + "/keep.txt"));

  // Entries whose folder is the pets folder itself, outside it, or reached by climbing out of it
  // leave the catalogue but nothing on disk.
  const QString outside = world.home.file("outside/pkg");
  ASSERT_TRUE(test::writeFile(outside + "/pet.json", "{}"));
  for (const QString& path : {world.pets, world.pets + "/", outside, world.pets + "/../../outside/pkg",
                             world.pets + "/beta/.."}) {
    PetChoice stray;
    stray.id = "custom:stray";
    stray.sourceKind = PetSourceKind::tandrelPet;
    stray.sourcePath = path;
    stray.isDeletable = true;
    world.choices.push_back(stray);
    ASSERT_TRUE(world.remove("custom:stray")) << path.toStdString();
    EXPECT_TRUE(QFileInfo::exists(outside + "/pet.json")) << path.toStdString();
    EXPECT_TRUE(QFileInfo::exists(world.pets + "/beta/pet.json")) << path.toStdString();
  }
  // Other kinds never touch the disk, even inside the pets folder.
  PetChoice shippedLike;
  shippedLike.id = "beta-shipped";
  shippedLike.sourceKind = PetSourceKind::codexPet;
  shippedLike.sourcePath = world.pets + "/beta";
  removeTandrelPetDirectoryIfAllowed(shippedLike, world.tandrel);
  EXPECT_TRUE(QFileInfo::exists(world.pets + "/beta/pet.json"));
}

}  // namespace
}  // namespace tandrel
