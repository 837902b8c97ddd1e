#include "selfcheck/functional/pet_image_functional_tests.h"

#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "pets/pet_images.h"
#include "platform/user_defaults.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"
#include "ui/island_geometry.h"
#include "ui/settings_model.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QThread>

namespace tandrel {

namespace {

// A pet of the built-in kind drawn from the sprite sheet in `folder`.
PetChoice spritePet(const QString& id, const QString& name, const QString& detail, PetState state,
                    const QString& folder) {
  PetChoice pet;
  pet.id = id;
  pet.name = name;
  pet.detail = detail;
  pet.state = state;
  pet.sourcePath = folder;
  pet.spritePath = folder + QStringLiteral("/spritesheet.png");
  pet.sourceKind = PetSourceKind::builtIn;
  pet.isCodexSprite = false;
  pet.isNew = false;
  return pet;
}

// A fresh pet folder with a blank sprite sheet; nothing when either cannot be written.
std::optional<QString> spriteFolder(const QString& tempRoot, const QString& name) {
  const std::optional<QString> folder = freshScratchFolder(tempRoot, name);
  if (!folder || !writeTestSprite(*folder + QStringLiteral("/spritesheet.png"))) return std::nullopt;
  return folder;
}

}  // namespace

bool warmPetImageCacheFunctionalTest(const QString& tempRoot) {
  const std::optional<QString> root = freshScratchFolder(tempRoot, QStringLiteral("warm-pet-cache-pets"));
  const QString folder = scratchPath(tempRoot, QStringLiteral("warm-pet-cache-pets/built-in/warm-pet"));
  if (!root || !QDir().mkpath(folder) || !writeTestSprite(folder + QStringLiteral("/spritesheet.png"))) return false;

  SharedPetImageCache::cache().clear();
  EventStore store(emptyCheckStoreOptions(tempRoot, QStringLiteral("warm-pet-cache")));
  UserDefaults defaults(scratchPath(tempRoot, QStringLiteral("warm-pet-cache-defaults.json")));
  SettingsModel settings(defaults);
  TandrelView view(overlayModeSize(OverlayMode::settings).toSize(), store, settings);
  view.petChoices = {
      spritePet(QStringLiteral("warm-pet"), QStringLiteral("Warm Pet"), QStringLiteral("Test fixture"), PetState::working, folder)};
  if (TandrelView::petImageCacheContainsForTests(QStringLiteral("warm-pet"))) return false;

  view.warmPetImageCache();
  // The main thread sleeps between looks: only work off it can fill the cache meanwhile.
  bool warmed = false;
  for (QDeadlineTimer deadline(2000); !warmed && !deadline.hasExpired(); QThread::msleep(20)) {
    warmed = TandrelView::petImageCacheContainsForTests(QStringLiteral("warm-pet"));
  }
  view.prepareForTermination();
  SharedPetImageCache::cache().clear();
  return warmed;
}

bool sharedPetImageCacheFunctionalTest(const QString& tempRoot) {
  ImageCache& cache = SharedPetImageCache::cache();
  cache.clear();
  const qsizetype mebibytes32 = 33'554'432;
  if (cache.totalCostLimit() != mebibytes32 || SharedPetImageCache::kTotalCostLimit != mebibytes32) return false;

  QImage red(100, 100, QImage::Format_ARGB32_Premultiplied);
  red.fill(QColor(Qt::red));
  const qsizetype cost = petImageCacheCost(red);
  if (cost < 40'000 || cost > 160'000) return false;

  EventStore firstStore(emptyCheckStoreOptions(tempRoot, QStringLiteral("shared-pet-cache-first")));
  EventStore secondStore(emptyCheckStoreOptions(tempRoot, QStringLiteral("shared-pet-cache-second")));
  UserDefaults defaults(scratchPath(tempRoot, QStringLiteral("shared-pet-cache-defaults.json")));
  SettingsModel settings(defaults);
  const QSize size = overlayModeSize(OverlayMode::expanded).toSize();
  TandrelView first(size, firstStore, settings);
  TandrelView second(size, secondStore, settings);
  const QString key = QStringLiteral("shared-pet-image-cache-fixture");
  cache.insert(key, red, cost);
  const bool shared = first.petImageCacheContainsForTests(key) && second.petImageCacheContainsForTests(key);
  cache.clear();
  first.prepareForTermination();
  second.prepareForTermination();
  return shared;
}

bool petSpriteDownsampleFunctionalTest(const QString& tempRoot) {
  const std::optional<QString> folder = spriteFolder(tempRoot, QStringLiteral("downsample-pet"));
  if (!folder) return false;
  SharedPetImageCache::cache().clear();
  EventStore store(emptyCheckStoreOptions(tempRoot, QStringLiteral("downsample-pet")));
  UserDefaults defaults(scratchPath(tempRoot, QStringLiteral("downsample-pet-defaults.json")));
  SettingsModel settings(defaults);
  TandrelView view(QSize(), store, settings);
  const PetChoice pet = spritePet(QStringLiteral("downsample-pet"), QStringLiteral("Downsample Pet"),
                                  QStringLiteral("Large sprite"), PetState::idle, *folder);
  const std::optional<QImage> image = petImage(pet);
  // What the cache now holds is what every later view draws.
  const std::optional<QImage> cached = SharedPetImageCache::cache().object(pet.id);
  view.prepareForTermination();
  SharedPetImageCache::cache().clear();
  if (!image || !cached || image->isNull()) return false;
  return image->width() <= 512 && image->height() <= 512 && cached->width() <= 512 && cached->height() <= 512;
}

}  // namespace tandrel
