#include "pets/view_pets.h"

#include "catalog/paths.h"
#include "pets/pet_catalog.h"
#include "pets/pet_images.h"
#include "pets/pet_import.h"

#include <QSet>

namespace tandrel {

namespace {
const QColor kLoadedGreen(0, 214, 163);
const QColor kRemovedAmber(255, 187, 0);
const QColor kSelectedBlue(0, 107, 255);
}  // namespace

ViewPets::ViewPets(SettingsModel& settings, ViewHooks hooks)
    : localTandrelHomeURL(tandrelHomeURL()),
      localCodexHomeURL(codexHomeURL()),
      bundledBuiltInPetsURL(bundledBuiltInPetsDirectory()),
      bundledCodexPetsURL(bundledCodexPetsDirectory()),
      settings_(settings),
      hooks_(std::move(hooks)) {}

void ViewPets::refresh() {
  SharedPetImageCache::cache().clear();
  const UserSettings& values = settings_.values();
  choices = buildPetCatalogue({bundledBuiltInPetsURL, bundledCodexPetsURL, localTandrelHomeURL, localCodexHomeURL,
                               values.deletedDefaultPetIDs, values.codexPetsDirectoryAuthorized});
  const QString repaired = repairedSelectedPetID(choices, values.selectedPetID);
  if (repaired != values.selectedPetID) {
    settings_.change([&repaired](UserSettings& s) { s.selectedPetID = repaired; }, false);
  }
  hooks_.redraw();
}

void ViewPets::reloadFromControl() {
  refresh();
  hooks_.showBanner(QStringLiteral("Loaded %1 local pets").arg(localPetCount(choices)), kLoadedGreen);
  hooks_.catalogueChanged();
  hooks_.redraw();
}

void ViewPets::importDirectory() {
  QWidget* parent = hooks_.dialogParent();
  const std::optional<QString> folder = folderChooser ? folderChooser(parent) : chooseImportPetFolder(parent);
  if (!folder) {
    return;
  }
  const PetChoice pet = importedPetChoice(*folder);
  insertImportedPet(choices, pet);
  settings_.change([&pet](UserSettings& s) { s.selectedPetID = pet.id; });
  hooks_.showBanner(QStringLiteral("Imported ") + pet.name, kLoadedGreen);
  hooks_.catalogueChanged();
  hooks_.settingsChanged();
  hooks_.redraw();
}

void ViewPets::remove(const QString& id) {
  QString selectedID = settings_.values().selectedPetID;
  QSet<QString> deleted = settings_.values().deletedDefaultPetIDs;
  const std::optional<PetChoice> removed = removePet(id, {choices, selectedID, deleted, localTandrelHomeURL});
  if (!removed) {
    return;
  }
  settings_.change([&](UserSettings& s) {
    s.selectedPetID = selectedID;
    s.deletedDefaultPetIDs = deleted;
  });
  hooks_.showBanner(QStringLiteral("Removed ") + removed->name, kRemovedAmber);
  hooks_.redraw();
  hooks_.catalogueChanged();
}

const PetChoice* ViewPets::selected() const { return findPetChoice(choices, settings_.values().selectedPetID); }

void ViewPets::select(const QString& id) {
  const PetChoice* pet = findPetChoice(choices, id);
  const QString name = pet != nullptr ? pet->name : id;
  settings_.change([&id](UserSettings& s) { s.selectedPetID = id; });
  hooks_.showBanner(name + QStringLiteral(" selected"), kSelectedBlue);
  hooks_.settingsChanged();
  hooks_.redraw();
}

void ViewPets::warmImageCache() const { warmPetImageCache(choices); }

}  // namespace tandrel
