// The island view's pets: what its ViewPets asks of it, the island pet's state, the collapsed
// capsule's pet and the expanded pet rail.

#include "island/tandrel_view.h"

#include "companion/companion_view.h"
#include "events/event_store.h"
#include "pets/pet_avatar.h"
#include "pets/pet_images.h"
#include "pets/pet_rail.h"

namespace tandrel {

ViewPets::ViewHooks TandrelView::petHooks() {
  ViewPets::ViewHooks hooks;
  hooks.showBanner = [this](const QString& text, const QColor& color) {
    setStatusBanner(text);
    statusBannerColor = color;
  };
  hooks.redraw = [this] { update(); };
  hooks.catalogueChanged = [this] {
    if (controller) {
      controller->petsDidChange(this);
    }
  };
  hooks.settingsChanged = [this] {
    if (controller) {
      controller->settingsDidChange();
    }
  };
  hooks.dialogParent = [this] { return window(); };
  return hooks;
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

bool TandrelView::petImageCacheContainsForTests(const QString& id) { return tandrel::petImageCacheContainsForTests(id); }

}  // namespace tandrel
