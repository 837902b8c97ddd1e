#pragma once

// The pet catalogue: the two fixed built-in pets, the packages shipped in the app's resources,
// the user's Codex folders (when access was granted) and the packages of ~/.tandrel/pets, in
// display order. A package is a folder holding a manifest ("pet.json" or "avatar.json") and a
// sprite sheet of exactly 8 × 9 cells of 192 × 208 pixels.

#include "pets/pet_choice.h"
#include "ui/settings_model.h"  // kDefaultPetID, the capybara

#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace tandrel {

inline constexpr int kSpriteSheetColumns = 8;
inline constexpr int kSpriteSheetRows = 9;
// The only sheet size a package may have, in pixels.
inline constexpr int kSpriteSheetWidth = 1536;
inline constexpr int kSpriteSheetHeight = 1872;

inline constexpr char kCustomPetIDPrefix[] = "custom:";

// "capybara" and "tandrelcat", painted in code unless a shipped package replaces them.
std::vector<PetChoice> fixedBuiltInPets();

// Where the catalogue is read from; the view fills this from its settings.
struct PetCatalogueSources {
  std::optional<QString> bundledBuiltInPetsURL;  // <resources>/Pets/built-in
  std::optional<QString> bundledCodexPetsURL;    // <resources>/Pets/codex-pets
  QString localTandrelHomeURL;                   // TANDREL_HOME or ~/.tandrel
  QString localCodexHomeURL;                     // CODEX_HOME or ~/.codex
  QSet<QString> deletedDefaultPetIDs;
  bool codexPetsDirectoryAuthorized = false;
};

// The resource folders of the pets shipped with the app, when the resources folder holds them.
std::optional<QString> bundledBuiltInPetsDirectory();
std::optional<QString> bundledCodexPetsDirectory();

// `spritePath` (relative to `directory`, or absolute when it starts with "/") with "." and ".."
// resolved; nothing when it leaves `directory`. Sound packages use it for their audio file.
std::optional<QString> resolvedCodexSpriteURL(const QString& directory, const QString& spritePath);

// The entry for one package folder: id = idPrefix + folder name, texts and provenance from the
// manifest. Nothing when the manifest is unreadable or no object, the sheet lies outside the
// folder, or the sheet is not exactly 1536 × 1872.
std::optional<PetChoice> codexPetChoice(const QString& directory, const QString& manifestName, PetSourceKind sourceKind,
                                        const QString& idPrefix, bool isDeletable);

// One entry per valid package folder directly inside `root`, in the file system's order; hidden
// folders and plain files are skipped; an unreadable root gives nothing.
std::vector<PetChoice> loadCodexPetChoices(const QString& root, const QString& manifestName, PetSourceKind sourceKind,
                                           const QString& idPrefix, bool isDeletable);

// The whole catalogue: the two built-ins first, then every further pet sorted by name
// (case-insensitive, locale-aware, stable).
std::vector<PetChoice> buildPetCatalogue(const PetCatalogueSources& sources);

// `selectedPetID` when an entry has it; else "capybara" when listed; else the first entry's id;
// else "capybara".
QString repairedSelectedPetID(const std::vector<PetChoice>& choices, const QString& selectedPetID);

// How many entries came from pet packages on disk (Codex pets, Codex avatars, ~/.tandrel/pets),
// the number the reload banner reports.
int localPetCount(const std::vector<PetChoice>& choices);

// The first entry with `id`, or none.
const PetChoice* findPetChoice(const std::vector<PetChoice>& choices, const QString& id);

}  // namespace tandrel
