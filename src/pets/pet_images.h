#pragma once

// Pet pictures: decoded straight to a bounded size, shared by every view and the desktop
// companion through one process-wide cache keyed by pet id, and drawn with nearest-neighbour
// sampling so that pixel-art sprites stay sharp at any scale.

#include "catalog/software_logo_cache.h"
#include "pets/pet_choice.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QPainter;

namespace tandrel {

// Longer-side bounds a pet picture is decoded to: sprite sheets, and single pictures.
inline constexpr int kCodexSpriteMaximumPixelDimension = 936;
inline constexpr int kPetPictureMaximumPixelDimension = 512;
// The most memory one decode may take, in MiB: a decompression bomb fails instead of filling
// memory. Every picture the app shows fits well within it.
inline constexpr int kPetImageAllocationLimitMiB = 64;

// A picture file decoded with its format sniffed from its bytes (a name ending in ".webp" may
// hold PNG bytes), shrunk while decoding so that its longer side is at most
// `maximumPixelDimension` (never enlarged); with no bound, at full size. Nothing when the file is
// missing, unreadable, not a picture, or bigger than the allocation limit. The image's size in
// points equals its size in pixels. A file that failed to decode (at that bound) gives nothing
// at once, without another decode, until it changes (its inode, size or modification time): the
// views ask for their pet's picture at every paint. Safe from any thread.
std::optional<QImage> loadNormalizedPetImage(const QString& path, std::optional<int> maximumPixelDimension);

// The pixel size of the first image of a picture file, read from its header; when the header
// does not give it, the image is decoded (within the allocation limit). Nothing for a file that is
// not a picture.
std::optional<QSize> petImagePixelSize(const QString& path);

// The cost of a pet image in the cache: 4 bytes per pixel (the logo caches' rule).
inline qsizetype petImageCacheCost(const QImage& image) { return softwareLogoImageCost(image); }

// The process-wide cache of decoded pet images, keyed by pet id: at most 12 images and 32 MiB;
// beyond either the least recently used go. Safe from any thread.
struct SharedPetImageCache {
  static constexpr int kCountLimit = 12;
  static constexpr qsizetype kTotalCostLimit = 33'554'432;
  static ImageCache& cache();
};

// The files a pet may be drawn from, in order: its sprite path, then "spritesheet.webp",
// "spritesheet.png" and "pet.png" in its folder. Empty for a pet without a folder.
std::vector<QString> petImageCandidates(const PetChoice& choice);

// The pet's image: from the shared cache, else the first candidate that decodes (bounded to 936
// pixels for a sprite sheet, 512 otherwise), then kept in the cache. Nothing, and nothing kept,
// when no candidate decodes. Safe from any thread.
std::optional<QImage> petImage(const PetChoice& choice);

// Whether the shared cache holds an image for the pet id right now.
bool petImageCacheContainsForTests(const QString& id);

// Loads every pet of `choices` into the shared cache on a worker thread and returns at once.
// `done`, when given, runs on that thread after the last pet.
void warmPetImageCache(std::vector<PetChoice> choices, std::function<void()> done = {});

// Draws `source` of `image` (y-down pixel coordinates) into `destination` with nearest-neighbour
// sampling at `alpha`; the painter's smoothing and opacity are left as they were.
void drawPixelImage(QPainter& painter, const QImage& image, const QRectF& destination, const QRectF& source,
                    qreal alpha);

}  // namespace tandrel
