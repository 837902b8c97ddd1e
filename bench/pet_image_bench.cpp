// What a pet costs to show: the cold decode of a 1536 × 1872 WebP sprite sheet to its bound (and
// in full), one sprite cell drawn from the cache into the island's pet rectangle, one frame of the
// pet rail alone and one frame of the whole expanded island with it. The sheet is the shipped tandrelcat (beside the build's bin/).
#include "catalog/paths.h"
#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "pets/pet_avatar.h"
#include "pets/pet_images.h"
#include "pets/pet_rail.h"
#include "platform/user_defaults.h"
#include "ui/settings_model.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace tandrel;

QString sheetFolder() { return resourcesDirectory() + QStringLiteral("/Pets/built-in/tandrelcat"); }

PetChoice tandrelCat() {
  PetChoice cat;
  cat.id = QStringLiteral("tandrelcat");
  cat.sourcePath = sheetFolder();
  cat.isCodexSprite = true;
  return cat;
}

void BM_ColdSheetDecode(benchmark::State& state) {
  const QString path = sheetFolder() + QStringLiteral("/spritesheet.webp");
  const std::optional<int> bound =
      state.range(0) == 0 ? std::nullopt : std::optional<int>(kCodexSpriteMaximumPixelDimension);
  for (auto _ : state) {
    const std::optional<QImage> image = loadNormalizedPetImage(path, bound);
    if (!image) {
      state.SkipWithError("the tandrelcat sheet does not decode (is share/tandrel beside bin/?)");
      return;
    }
    benchmark::DoNotOptimize(image->constBits());
  }
}
BENCHMARK(BM_ColdSheetDecode)->Arg(936)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_CachedCellDraw(benchmark::State& state) {
  SharedPetImageCache::cache().clear();
  const std::vector<PetChoice> choices{tandrelCat()};
  QImage canvas(76 * 2, 84 * 2, QImage::Format_ARGB32_Premultiplied);
  canvas.setDevicePixelRatio(2);
  QPainter painter(&canvas);
  double seconds = 0;
  drawPetAvatar(painter, {choices, false, seconds}, QStringLiteral("tandrelcat"), QRectF(0, 0, 76, 84),
                PetState::working);  // warms the cache
  for (auto _ : state) {
    seconds += 0.016;
    drawPetAvatar(painter, {choices, false, seconds}, QStringLiteral("tandrelcat"), QRectF(0, 0, 76, 84),
                  PetState::working);
  }
  benchmark::DoNotOptimize(canvas.constBits());
}
BENCHMARK(BM_CachedCellDraw)->Unit(benchmark::kMicrosecond);

void BM_ExpandedRailFrame(benchmark::State& state) {
  SharedPetImageCache::cache().clear();
  const std::vector<PetChoice> choices{tandrelCat()};
  QImage canvas(540 * 2, 240 * 2, QImage::Format_ARGB32_Premultiplied);
  canvas.setDevicePixelRatio(2);
  double seconds = 0;
  for (auto _ : state) {
    seconds += 0.016;
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, 540, 240), Qt::black);
    drawExpandedPetRail(painter, {choices, QStringLiteral("tandrelcat"), PetState::working, false, false, seconds, 0});
  }
  benchmark::DoNotOptimize(canvas.constBits());
}
BENCHMARK(BM_ExpandedRailFrame)->Unit(benchmark::kMicrosecond);

// One whole frame of the expanded island (background, inbox page, footer and the pet rail with
// the tandrelcat working) at twice the pixels, as the view paints it.
void BM_ExpandedIslandFrame(benchmark::State& state) {
  QTemporaryDir home;
  qputenv("TANDREL_HOME", (home.path() + QStringLiteral("/.tandrel")).toUtf8());
  SharedPetImageCache::cache().clear();
  EventStoreOptions options;
  options.eventFile = home.filePath(QStringLiteral("events.jsonl"));
  options.testEnvironment = true;
  EventStore store(options);
  UserDefaults defaults(home.filePath(QStringLiteral("defaults.json")));
  SettingsModel settings(defaults);
  settings.change([](UserSettings& s) {
    s.selectedPetID = QStringLiteral("tandrelcat");
    s.reduceMotion = false;
  });
  TandrelView view(QSize(540, 300), store, settings);
  view.setMode(OverlayMode::expanded);
  QImage canvas(540 * 2, 300 * 2, QImage::Format_ARGB32_Premultiplied);
  canvas.setDevicePixelRatio(2);
  for (auto _ : state) {
    QPainter painter(&canvas);
    view.paintIsland(painter);
  }
  benchmark::DoNotOptimize(canvas.constBits());
}
BENCHMARK(BM_ExpandedIslandFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

bool benchmarkNeedsGui() { return true; }
