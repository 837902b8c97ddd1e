#pragma once

// Adding a pet from any folder, and removing the pets the catalogue marks as deletable. An import
// copies nothing: the entry points at the chosen folder and lasts until the next catalogue
// rebuild. Removal hides a shipped pet's id for good and deletes a package of ~/.tandrel/pets.

#include "pets/pet_choice.h"

#include <QSet>
#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace tandrel {

// The folder chooser of the import command: modal, folders only, one folder. Nothing when the
// user cancels.
std::optional<QString> chooseImportPetFolder(QWidget* parent);

// The pet an import of `folder` adds: the folder as a Codex package (id "custom:" + folder name,
// kind imported); else an entry from its "pet.json" as far as it can be read: id = "id" or
// "dir-" + folder name, name = "displayName" or folder name + " pet", detail = "description" or
// "Imported from " + the folder's path.
PetChoice importedPetChoice(const QString& folder);

// Puts `pet` at the front of `choices`, replacing every entry with its id.
void insertImportedPet(std::vector<PetChoice>& choices, const PetChoice& pet);

// The catalogue state a removal changes.
struct PetRemovalState {
  std::vector<PetChoice>& petChoices;
  QString& selectedPetID;
  QSet<QString>& deletedDefaultPetIDs;
  const QString& localTandrelHomeURL;
};

// Removes the deletable pet `id`: its id is hidden from later rebuilds, its folder is deleted when
// it is a package of ~/.tandrel/pets, every entry with the id leaves the catalogue, and a
// selection of it moves to the first remaining pet ("capybara" when none is left). Returns the
// removed entry; nothing, and nothing changed, when no entry has the id or it is not deletable.
std::optional<PetChoice> removePet(const QString& id, const PetRemovalState& state);

// Deletes the folder a `tandrelPet` was loaded from when it lies inside <tandrel home>/pets
// (compared by canonical paths, the pets folder itself excluded). A folder that is a symbolic link
// loses the link only, never what it points to. Failures are ignored.
void removeTandrelPetDirectoryIfAllowed(const PetChoice& pet, const QString& localTandrelHomeURL);

}  // namespace tandrel
