#include "pets/pet_images.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QThreadPool>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace tandrel {

namespace {

// The allocation limit is process-wide in Qt; it is set once, before the first pet decode.
void applyAllocationLimit() {
  static std::once_flag once;
  std::call_once(once, [] { QImageReader::setAllocationLimit(kPetImageAllocationLimitMiB); });
}

// A reader that sniffs the format from the file's bytes, not from its name.
void configure(QImageReader& reader) {
  applyAllocationLimit();
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
}

// `size` scaled down (never up) so that its longer side is at most `bound`.
QSize boundedSize(const QSize& size, int bound) {
  const int longer = std::max(size.width(), size.height());
  if (longer <= bound || longer <= 0) {
    return size;
  }
  const double factor = static_cast<double>(bound) / longer;
  return QSize(std::max(1, static_cast<int>(std::lround(size.width() * factor))),
               std::max(1, static_cast<int>(std::lround(size.height() * factor))));
}

// A file as it is on disk now: a picture that failed to decode is tried again only once this
// changes.
struct FileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  qint64 modifiedNs = 0;
  bool operator==(const FileVersion&) const = default;
};

std::optional<FileVersion> fileVersion(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
  return FileVersion{info.st_dev, info.st_ino, info.st_size,
                     qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

// The pictures that failed to decode, by path and bound, with the file version that failed. A
// broken picture would otherwise be decoded again at every paint (seconds each for a large one).
class FailedDecodes {
 public:
  bool contains(const QString& key, const FileVersion& version) {
    const std::lock_guard lock(mutex_);
    const auto found = failed_.find(key);
    return found != failed_.end() && found->second == version;
  }
  void remember(const QString& key, const FileVersion& version) {
    const std::lock_guard lock(mutex_);
    if (failed_.size() >= kLimit) failed_.clear();
    failed_[key] = version;
  }
  void forget(const QString& key) {
    const std::lock_guard lock(mutex_);
    failed_.erase(key);
  }

 private:
  static constexpr std::size_t kLimit = 256;
  std::mutex mutex_;
  std::map<QString, FileVersion> failed_;
};

FailedDecodes& failedDecodes() {
  static FailedDecodes shared;
  return shared;
}

QImage premultiplied(QImage image) {
  image.setDevicePixelRatio(1.0);
  if (image.format() != QImage::Format_ARGB32_Premultiplied) {
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  return image;
}

// The decode itself, without the memory of failures.
std::optional<QImage> decodePetImage(const QString& path, std::optional<int> maximumPixelDimension) {
  QImageReader reader(path);
  configure(reader);
  const QSize headerSize = reader.size();
  if (maximumPixelDimension && headerSize.isValid()) {
    // Decoded straight to the bound when the format can, else shrunk right after decoding.
    const QSize target = boundedSize(headerSize, *maximumPixelDimension);
    if (target != headerSize) {
      reader.setScaledSize(target);
    }
  }
  QImage image = reader.read();
  if (image.isNull()) {
    return std::nullopt;
  }
  if (maximumPixelDimension) {
    // A header without a size still gets the bound, after a decode within the allocation limit.
    const QSize target = boundedSize(image.size(), *maximumPixelDimension);
    if (target != image.size()) {
      image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
  }
  return premultiplied(std::move(image));
}

}  // namespace

std::optional<QImage> loadNormalizedPetImage(const QString& path, std::optional<int> maximumPixelDimension) {
  const std::optional<FileVersion> version = fileVersion(path);
  if (!version) return std::nullopt;
  const QString key = path + u'|' + QString::number(maximumPixelDimension.value_or(0));
  if (failedDecodes().contains(key, *version)) return std::nullopt;
  std::optional<QImage> image = decodePetImage(path, maximumPixelDimension);
  if (image) {
    failedDecodes().forget(key);
  } else {
    failedDecodes().remember(key, *version);
  }
  return image;
}

std::optional<QSize> petImagePixelSize(const QString& path) {
  {
    QImageReader reader(path);
    configure(reader);
    const QSize size = reader.size();
    if (size.isValid() && size.width() > 0 && size.height() > 0) {
      return size;
    }
  }
  // The sheet size is what is asked for: a decode larger than that is of no use, so it keeps the
  // allocation limit like every other decode.
  const std::optional<QImage> image = loadNormalizedPetImage(path, std::nullopt);
  if (!image || image->width() < 1 || image->height() < 1) {
    return std::nullopt;
  }
  return image->size();
}

ImageCache& SharedPetImageCache::cache() {
  static ImageCache shared(kCountLimit, kTotalCostLimit);
  return shared;
}

std::vector<QString> petImageCandidates(const PetChoice& choice) {
  std::vector<QString> candidates;
  if (!choice.sourcePath) {
    return candidates;
  }
  if (choice.spritePath) {
    candidates.push_back(*choice.spritePath);
  }
  const QDir folder(*choice.sourcePath);
  for (const char* name : {"spritesheet.webp", "spritesheet.png", "pet.png"}) {
    candidates.push_back(folder.filePath(QLatin1String(name)));
  }
  return candidates;
}

std::optional<QImage> petImage(const PetChoice& choice) {
  ImageCache& cache = SharedPetImageCache::cache();
  if (auto hit = cache.object(choice.id)) {
    return hit;
  }
  const int bound = choice.isCodexSprite ? kCodexSpriteMaximumPixelDimension : kPetPictureMaximumPixelDimension;
  for (const QString& candidate : petImageCandidates(choice)) {
    if (auto image = loadNormalizedPetImage(candidate, bound)) {
      cache.insert(choice.id, *image, petImageCacheCost(*image));
      return image;
    }
  }
  return std::nullopt;
}

bool petImageCacheContainsForTests(const QString& id) {
  return SharedPetImageCache::cache().contains(id);
}

void warmPetImageCache(std::vector<PetChoice> choices, std::function<void()> done) {
  QThreadPool::globalInstance()->start([choices = std::move(choices), done = std::move(done)] {
    for (const PetChoice& choice : choices) {
      petImage(choice);
    }
    if (done) {
      done();
    }
  });
}

void drawPixelImage(QPainter& painter, const QImage& image, const QRectF& destination, const QRectF& source,
                    qreal alpha) {
  const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
  const qreal opacity = painter.opacity();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setOpacity(opacity * alpha);
  painter.drawImage(destination, image, source);
  painter.setOpacity(opacity);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

}  // namespace tandrel
