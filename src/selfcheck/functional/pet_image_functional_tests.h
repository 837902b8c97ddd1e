#pragma once

#include <QString>

// Functional tests of the pet pictures: the shared cache filled ahead of drawing from a worker
// thread, one cache for every view with its memory bound, and large sprite sheets shrunk before
// they are kept. Each writes its files under `tempRoot`, under names of its own, and leaves the
// shared cache empty.

namespace tandrel {

// A view's warmPetImageCache() puts its pet's picture into the shared cache within 2 s while the
// main thread sleeps between looks, without the view drawing.
bool warmPetImageCacheFunctionalTest(const QString& tempRoot);

// The cache holds at most 32 MiB (33,554,432 bytes); a 100 x 100 picture costs 4 bytes a pixel
// (at 1x or 2x), and a picture kept once is there for two views over stores of their own.
bool sharedPetImageCacheFunctionalTest(const QString& tempRoot);

// A 1536 x 1872 sprite sheet of a pet that is not a Codex sprite comes out of the cache at most
// 512 pixels on each side.
bool petSpriteDownsampleFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
