#include "pets/pet_catalog.h"

#include "catalog/paths.h"
#include "pets/pet_images.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace tandrel {

namespace {

std::optional<QJsonObject> readManifest(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return std::nullopt;
  }
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
  if (!document.isObject()) {
    return std::nullopt;
  }
  return document.object();
}

std::optional<QString> folderIfPresent(const QString& path) {
  if (QFileInfo(path).isDir()) {
    return path;
  }
  return std::nullopt;
}

// Adds `choice` to `list`: an entry with the same id goes, the new one takes the last place.
void addReplacing(std::vector<PetChoice>& list, PetChoice choice) {
  std::erase_if(list, [&](const PetChoice& entry) { return entry.id == choice.id; });
  list.push_back(std::move(choice));
}

}  // namespace

std::vector<PetChoice> fixedBuiltInPets() {
  PetChoice capybara;
  capybara.id = QString::fromLatin1(kDefaultPetID);
  capybara.name = QStringLiteral("Capybara");
  capybara.detail = QStringLiteral("Compact goofy capybara.");
  PetChoice cat;
  cat.id = QStringLiteral("tandrelcat");
  cat.name = QStringLiteral("TandrelCat");
  cat.detail = QStringLiteral("Dancing pixel cat.");
  return {capybara, cat};
}

std::optional<QString> bundledBuiltInPetsDirectory() {
  return folderIfPresent(resourcesDirectory() + QStringLiteral("/Pets/built-in"));
}

std::optional<QString> bundledCodexPetsDirectory() {
  return folderIfPresent(resourcesDirectory() + QStringLiteral("/Pets/codex-pets"));
}

std::optional<QString> resolvedCodexSpriteURL(const QString& directory, const QString& spritePath) {
  const QString candidate = spritePath.startsWith(QLatin1Char('/')) ? spritePath : directory + QLatin1Char('/') + spritePath;
  const QString standardCandidate = QDir::cleanPath(candidate);
  const QString standardDirectory = QDir::cleanPath(directory);
  if (standardCandidate == standardDirectory ||
      standardCandidate.startsWith(standardDirectory + QLatin1Char('/'))) {
    return standardCandidate;
  }
  return std::nullopt;
}

std::optional<PetChoice> codexPetChoice(const QString& directory, const QString& manifestName, PetSourceKind sourceKind,
                                        const QString& idPrefix, bool isDeletable) {
  const std::optional<QJsonObject> manifest = readManifest(QDir(directory).filePath(manifestName));
  if (!manifest) {
    return std::nullopt;
  }
  const QString spriteName =
      nonEmptyString(manifest->value(QStringLiteral("spritesheetPath"))).value_or(QStringLiteral("spritesheet.webp"));
  const std::optional<QString> sprite = resolvedCodexSpriteURL(directory, spriteName);
  if (!sprite) {
    return std::nullopt;
  }
  const std::optional<QSize> size = petImagePixelSize(*sprite);
  if (!size || size->width() != kSpriteSheetWidth || size->height() != kSpriteSheetHeight) {
    return std::nullopt;
  }
  const QString folderName = QFileInfo(QDir::cleanPath(directory)).fileName();
  const auto text = [&](const char* key) { return nonEmptyString(manifest->value(QLatin1String(key))); };

  PetChoice choice;
  choice.id = idPrefix + folderName;
  choice.name = text("displayName").value_or(text("id").value_or(folderName));
  choice.detail = text("description").value_or(QStringLiteral("Imported Codex pet"));
  choice.sourcePath = directory;
  choice.spritePath = sprite;
  choice.sourceKind = sourceKind;
  choice.isCodexSprite = true;
  choice.isDeletable = isDeletable;
  if (const QJsonValue provenance = manifest->value(QStringLiteral("tandrel")); provenance.isObject()) {
    const QJsonObject tandrel = provenance.toObject();
    const auto field = [&](const char* key) { return nonEmptyString(tandrel.value(QLatin1String(key))); };
    choice.sourceLabel = field("source");
    choice.sourceURL = field("sourceUrl");
    choice.websiteTag = field("websiteTag");
    choice.authorHandle = field("authorHandle");
    choice.authorName = field("authorName");
  }
  return choice;
}

std::vector<PetChoice> loadCodexPetChoices(const QString& root, const QString& manifestName, PetSourceKind sourceKind,
                                           const QString& idPrefix, bool isDeletable) {
  std::vector<PetChoice> choices;
  // Hidden entries are left out by the filter; the file system's order is kept.
  QDirIterator children(root, QDir::Dirs | QDir::NoDotAndDotDot);
  while (children.hasNext()) {
    const QString child = children.next();
    if (auto choice = codexPetChoice(child, manifestName, sourceKind, idPrefix, isDeletable)) {
      choices.push_back(std::move(*choice));
    }
  }
  return choices;
}

std::vector<PetChoice> buildPetCatalogue(const PetCatalogueSources& sources) {
  const QString prefix = QString::fromLatin1(kCustomPetIDPrefix);
  const QString petJSON = QStringLiteral("pet.json");

  std::vector<PetChoice> builtIns = fixedBuiltInPets();
  if (sources.bundledBuiltInPetsURL) {
    const std::vector<PetChoice> shipped =
        loadCodexPetChoices(*sources.bundledBuiltInPetsURL, petJSON, PetSourceKind::builtIn, QString(), false);
    for (PetChoice& fixed : builtIns) {
      if (const PetChoice* package = findPetChoice(shipped, fixed.id)) {
        fixed = *package;
      }
    }
  }
  const QSet<QString> builtInIDs{builtIns[0].id, builtIns[1].id};

  std::vector<PetChoice> others;
  if (sources.bundledCodexPetsURL) {
    for (PetChoice& choice :
         loadCodexPetChoices(*sources.bundledCodexPetsURL, petJSON, PetSourceKind::codexPet, QString(), true)) {
      if (!builtInIDs.contains(choice.id) && !sources.deletedDefaultPetIDs.contains(choice.id)) {
        addReplacing(others, std::move(choice));
      }
    }
  }
  if (sources.codexPetsDirectoryAuthorized) {
    const QString codexHome = sources.localCodexHomeURL;
    for (PetChoice& choice : loadCodexPetChoices(codexHome + QStringLiteral("/avatars"), QStringLiteral("avatar.json"),
                                                 PetSourceKind::codexAvatar, prefix, false)) {
      addReplacing(others, std::move(choice));
    }
    for (PetChoice& choice :
         loadCodexPetChoices(codexHome + QStringLiteral("/pets"), petJSON, PetSourceKind::codexPet, prefix, false)) {
      addReplacing(others, std::move(choice));
    }
  }
  for (PetChoice& choice : loadCodexPetChoices(sources.localTandrelHomeURL + QStringLiteral("/pets"), petJSON,
                                               PetSourceKind::tandrelPet, prefix, true)) {
    const QString base = choice.id.startsWith(prefix) ? choice.id.mid(prefix.size()) : choice.id;
    if (builtInIDs.contains(base)) {
      continue;
    }
    // A folder named like a shipped pet takes that pet's place.
    std::erase_if(others, [&](const PetChoice& entry) { return entry.id == choice.id || entry.id == base; });
    others.push_back(std::move(choice));
  }

  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(others.begin(), others.end(),
                   [&](const PetChoice& a, const PetChoice& b) { return collator.compare(a.name, b.name) < 0; });

  builtIns.insert(builtIns.end(), std::make_move_iterator(others.begin()), std::make_move_iterator(others.end()));
  return builtIns;
}

QString repairedSelectedPetID(const std::vector<PetChoice>& choices, const QString& selectedPetID) {
  const QString fallback = QString::fromLatin1(kDefaultPetID);
  if (findPetChoice(choices, selectedPetID) != nullptr) {
    return selectedPetID;
  }
  if (findPetChoice(choices, fallback) != nullptr || choices.empty()) {
    return fallback;
  }
  return choices.front().id;
}

int localPetCount(const std::vector<PetChoice>& choices) {
  return static_cast<int>(std::count_if(choices.begin(), choices.end(), [](const PetChoice& choice) {
    return choice.sourceKind == PetSourceKind::codexPet || choice.sourceKind == PetSourceKind::codexAvatar ||
           choice.sourceKind == PetSourceKind::tandrelPet;
  }));
}

const PetChoice* findPetChoice(const std::vector<PetChoice>& choices, const QString& id) {
  const auto it = std::find_if(choices.begin(), choices.end(), [&](const PetChoice& choice) { return choice.id == id; });
  return it == choices.end() ? nullptr : &*it;
}

}  // namespace tandrel
