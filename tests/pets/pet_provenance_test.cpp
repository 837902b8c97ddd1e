#include "pets/pet_provenance.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(PetProvenanceTest, SourceHostIsParsedByHandKeepingItsCase) {
  const struct {
    std::optional<QString> text;
    std::optional<QString> host;
  } cases[] = {
      {std::nullopt, std::nullopt},
      {QString(""), std::nullopt},
      {QString("example.org/pets/1"), QString("example.org")},
      {QString("https://www.Example.org/x"), QString("Example.org")},
      {QString("https://WWW.example.org"), QString("WWW.example.org")},
      {QString("http://user:pw@Pets.Example.com:8080/a?b#c"), QString("Pets.Example.com")},
      {QString("https://[::1]:80/"), QString("::1")},
      {QString("https:///path"), std::nullopt},
      {QString("https://exa mple.org"), std::nullopt},
      {QString("https://host:port/"), std::nullopt},
      {QString("  "), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sourceHost(c.text), c.host) << c.text.value_or("<none>").toStdString();
  }
}

PetChoice pet(PetSourceKind kind, std::optional<QString> path = QString("/home/u/.tandrel/pets/foo")) {
  PetChoice choice;
  choice.id = "custom:foo";
  choice.name = "Foo";
  choice.detail = "Detail text.";
  choice.sourceKind = kind;
  choice.sourcePath = std::move(path);
  return choice;
}

TEST(PetProvenanceTest, DetailBadgeAndColourFollowKindAndProvenance) {
  const QColor blue(77, 159, 255), green(0, 214, 163), violet(185, 159, 255);
  struct Case {
    const char* what;
    PetChoice choice;
    QString detail;
    QString badge;
    QColor color;
    std::optional<QString> author;
  };
  PetChoice builtIn = pet(PetSourceKind::builtIn, std::nullopt);
  PetChoice codexWithProvenance = pet(PetSourceKind::codexPet);
  codexWithProvenance.sourceLabel = "Somewhere";
  codexWithProvenance.authorHandle = "maker";
  PetChoice codexWithURL = codexWithProvenance;
  codexWithURL.sourceURL = "https://www.pets.example/cat";
  PetChoice tandrelFull = pet(PetSourceKind::tandrelPet);
  tandrelFull.sourceURL = "pets.example/cat";
  tandrelFull.authorHandle = "maker";
  tandrelFull.authorName = "Maker";
  PetChoice tandrelLabel = pet(PetSourceKind::tandrelPet);
  tandrelLabel.sourceLabel = "My shelf";
  tandrelLabel.authorName = "Ann";
  PetChoice gallery = pet(PetSourceKind::codexAvatar);
  gallery.sourceURL = QString("https://") + QString::fromLatin1(kPetGalleryDomain).toUpper() + "/p/1";
  PetChoice galleryLabel = pet(PetSourceKind::generated);
  galleryLabel.sourceLabel = QString::fromLatin1(kPetGalleryDomain);
  const QString galleryHost = QString::fromLatin1(kPetGalleryDomain);

  const std::vector<Case> cases = {
      {"built-in", builtIn, "Detail text.", "built-in", blue, std::nullopt},
      {"codex pet keeps its kind texts", codexWithProvenance, "Codex pet - foo", "codex", green, QString("@maker")},
      {"codex pet with a source host", codexWithURL, "Codex pet - foo", "pets.example", green, QString("@maker")},
      {"codex avatar", pet(PetSourceKind::codexAvatar), "Codex avatar - foo", "codex", green, std::nullopt},
      {"tandrel pet, address and handle", tandrelFull, QString::fromUtf8("pets.example/cat \u00b7 @maker"),
       "pets.example", green, QString("@maker")},
      {"tandrel pet, label and name", tandrelLabel, QString::fromUtf8("My shelf \u00b7 Ann"), "My shelf", green,
       QString("Ann")},
      {"tandrel pet without provenance", pet(PetSourceKind::tandrelPet), "Tandrel pet - foo", "tandrel", green,
       std::nullopt},
      {"fallback import", pet(PetSourceKind::imported, QString("/tmp/some/folder/")), "Imported - folder", "codex",
       green, std::nullopt},
      {"generated without folder", pet(PetSourceKind::generated, std::nullopt), "Detail text.", "codex", green,
       std::nullopt},
      {"gallery pet kind", pet(PetSourceKind::galleryPet), galleryHost + " - foo", galleryHost, violet,
       std::nullopt},
      {"gallery host in capitals", gallery, "Codex avatar - foo", galleryHost.toUpper(), violet, std::nullopt},
      {"gallery label", galleryLabel, galleryHost, galleryHost, violet, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(petProvenanceDetail(c.choice), c.detail) << c.what;
    EXPECT_EQ(sourceBadgeLabel(c.choice), c.badge) << c.what;
    EXPECT_EQ(sourceBadgeColor(c.choice), c.color) << c.what;
    EXPECT_EQ(authorBadgeLabel(c.choice), c.author) << c.what;
  }
}

}  // namespace
}  // namespace tandrel
