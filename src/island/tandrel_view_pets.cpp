// The island view's pets: its catalogue, import and removal, the selection, the island pet's
// state, the collapsed capsule's pet and the expanded pet rail.

#include "island/tandrel_view.h"

#include "catalog/paths.h"
#include "companion/companion_view.h"
#include "events/event_store.h"
#include "pets/pet_avatar.h"
#include "pets/pet_catalog.h"
#include "pets/pet_images.h"
#include "pets/pet_import.h"
#include "pets/pet_rail.h"

namespace tandrel {

namespace {
const QColor kLoadedGreen(0, 214, 163);
const QColor kRemovedAmber(255, 187, 0);
const QColor kSelectedBlue(0, 107, 255);
}  // namespace

void TandrelView::refreshLocalPets() {
  SharedPetImageCache::cache().clear();
  const UserSettings& values = settings_.values();
  petChoices = buildPetCatalogue({bundledBuiltInPetsURL, bundledCodexPetsURL, localTandrelHomeURL, localCodexHomeURL,
                                  values.deletedDefaultPetIDs, values.codexPetsDirectoryAuthorized});
  const QString repaired = repairedSelectedPetID(petChoices, values.selectedPetID);
  if (repaired != values.selectedPetID) {
    settings_.change([&repaired](UserSettings& s) { s.selectedPetID = repaired; }, false);
  }
  update();
}

void TandrelView::reloadLocalPetsFromControl() {
  refreshLocalPets();
  setStatusBanner(QStringLiteral("Loaded %1 local pets").arg(localPetCount(petChoices)));
  statusBannerColor = kLoadedGreen;
  if (controller) {
    controller->petsDidChange(this);
  }
  update();
}

void TandrelView::importPetDirectory() {
  const std::optional<QString> folder = petFolderChooser ? petFolderChooser(window()) : chooseImportPetFolder(window());
  if (!folder) {
    return;
  }
  const PetChoice pet = importedPetChoice(*folder);
  insertImportedPet(petChoices, pet);
  settings_.change([&pet](UserSettings& s) { s.selectedPetID = pet.id; });
  setStatusBanner(QStringLiteral("Imported ") + pet.name);
  statusBannerColor = kLoadedGreen;
  if (controller) {
    controller->petsDidChange(this);
    controller->settingsDidChange();
  }
  update();
}

void TandrelView::removePetFromCatalogue(const QString& id) {
  QString selected = settings_.values().selectedPetID;
  QSet<QString> deleted = settings_.values().deletedDefaultPetIDs;
  const std::optional<PetChoice> removed = removePet(id, {petChoices, selected, deleted, localTandrelHomeURL});
  if (!removed) {
    return;
  }
  settings_.change([&](UserSettings& s) {
    s.selectedPetID = selected;
    s.deletedDefaultPetIDs = deleted;
  });
  setStatusBanner(QStringLiteral("Removed ") + removed->name);
  statusBannerColor = kRemovedAmber;
  update();
  if (controller) {
    controller->petsDidChange(this);
  }
}

const PetChoice* TandrelView::selectedPetChoice() const {
  return findPetChoice(petChoices, settings_.values().selectedPetID);
}

void TandrelView::selectPet(const QString& id) {
  const PetChoice* pet = findPetChoice(petChoices, id);
  const QString name = pet != nullptr ? pet->name : id;
  settings_.change([&id](UserSettings& s) { s.selectedPetID = id; });
  setStatusBanner(name + QStringLiteral(" selected"));
  statusBannerColor = kSelectedBlue;
  if (controller) {
    controller->settingsDidChange();
  }
  update();
}

PetState TandrelView::currentPetState() {
  const IslandPetStateKeys keys{store_.revision(), settings_.values().disabledToolIDs, usageToolsHealthSignature(),
                                wrapperBridgeReadyCached(clock_.now()), store_.socketRequestsWaiting()};
  return petStateCache_.state(keys, [&] {
    return resolveIslandPetState(store_, keys.disabledToolIDs, enabledUsageTools(), keys.hasPendingApprovals);
  });
}

void syncPetSettings(const TandrelView& source, const std::vector<TandrelView*>& views) {
  SharedPetImageCache::cache().clear();
  for (TandrelView* view : views) {
    if (view != nullptr && view != &source) {
      view->petChoices = source.petChoices;
      view->update();
    }
  }
}

PetRenderSnapshot petRenderSnapshot(const TandrelView& view) {
  const UserSettings& values = view.settings().values();
  return PetRenderSnapshot{values.selectedPetID, view.petChoices, previewStateStyle(values.previewState).petState,
                           values.reduceMotion, values.highContrast, values.floatingPetScale};
}

void TandrelView::warmPetImageCache() const { tandrel::warmPetImageCache(petChoices); }

bool TandrelView::petImageCacheContainsForTests(const QString& id) { return tandrel::petImageCacheContainsForTests(id); }

void TandrelView::paintExpandedPetRail(QPainter& painter) {
  const UserSettings& values = settings_.values();
  drawExpandedPetRail(painter, {petChoices, values.selectedPetID, currentPetState(), values.reduceMotion,
                                isTestEnvironment(), mediaTime(), modeAnimationStarted});
}

void TandrelView::paintCollapsedPet(QPainter& painter, const QRectF& rect) {
  const UserSettings& values = settings_.values();
  drawPetAvatar(painter, {petChoices, values.reduceMotion, mediaTime()}, values.selectedPetID, rect, currentPetState());
}

}  // namespace tandrel
