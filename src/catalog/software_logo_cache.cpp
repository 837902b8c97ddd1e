#include "catalog/software_logo_cache.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QThread>
#include <QImageReader>
#include <algorithm>
#include <cmath>

#include "catalog/paths.h"
#include "platform/app_locator.h"

namespace tandrel {

namespace {

constexpr qreal kLogoPoints = 32.0;

// Gives the image a logical size of 32 points on its longer side, keeping its pixels.
QImage sizedToLogo(QImage image) {
  const int longer = std::max(image.width(), image.height());
  if (longer > 0) {
    image.setDevicePixelRatio(longer / kLogoPoints);
  }
  return image;
}

std::optional<QImage> loadImage(const QString& path) {
  QImageReader reader(path);
  QImage image = reader.read();
  if (image.isNull()) {
    return std::nullopt;
  }
  return image;
}

QStringList dataDirectories() {
  QStringList dirs;
  const QString home = qEnvironmentVariable("XDG_DATA_HOME").trimmed();
  dirs.append(QDir::isAbsolutePath(home) ? home
                                         : QDir::homePath() + QStringLiteral("/.local/share"));
  QStringList system;
  for (const QString& dir :
       qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    if (QDir::isAbsolutePath(dir)) {
      system.append(dir);
    }
  }
  if (system.isEmpty()) {
    system = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
  }
  dirs.append(system);
  return dirs;
}

}  // namespace

qsizetype softwareLogoImageCost(const QImage& image) {
  if (image.width() >= 1 && image.height() >= 1) {
    return qsizetype{4} * image.width() * image.height();
  }
  const QSizeF logical = image.deviceIndependentSize();
  const auto side = [](qreal value) {
    return std::max<qsizetype>(1, static_cast<qsizetype>(std::llround(std::max<qreal>(0, value))));
  };
  return 4 * side(logical.width()) * side(logical.height());
}

// ImageCache

ImageCache::ImageCache(int countLimit, qsizetype totalCostLimit)
    : countLimit_(countLimit), totalCostLimit_(totalCostLimit) {}

std::optional<QImage> ImageCache::object(const QString& key) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(key);
  if (it == entries_.end()) {
    return std::nullopt;
  }
  recency_.splice(recency_.begin(), recency_, it->position);
  return it->image;
}

bool ImageCache::contains(const QString& key) const {
  std::lock_guard lock(mutex_);
  return entries_.contains(key);
}

void ImageCache::insert(const QString& key, const QImage& image, qsizetype cost) {
  std::lock_guard lock(mutex_);
  if (const auto it = entries_.find(key); it != entries_.end()) {
    removeLocked(it);
  }
  if (cost > totalCostLimit_ || countLimit_ <= 0) {
    return;
  }
  recency_.push_front(key);
  entries_.insert(key, Entry{image, cost, recency_.begin()});
  totalCost_ += cost;
  while (entries_.size() > countLimit_ || totalCost_ > totalCostLimit_) {
    removeLocked(entries_.find(recency_.back()));
  }
}

void ImageCache::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  recency_.clear();
  totalCost_ = 0;
}

int ImageCache::count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

qsizetype ImageCache::totalCost() const {
  std::lock_guard lock(mutex_);
  return totalCost_;
}

void ImageCache::removeLocked(QHash<QString, Entry>::iterator it) {
  totalCost_ -= it->cost;
  recency_.erase(it->position);
  entries_.erase(it);
}

// MissingSet

bool MissingSet::contains(const QString& key) const {
  std::lock_guard lock(lock_);
  return missing_.contains(key);
}

void MissingSet::insert(const QString& key) {
  std::lock_guard lock(lock_);
  missing_.insert(key);
}

void MissingSet::clear() {
  std::lock_guard lock(lock_);
  missing_.clear();
}

// BundledSoftwareLogoCache

BundledSoftwareLogoCache& BundledSoftwareLogoCache::shared() {
  static BundledSoftwareLogoCache cache([](const QString& name) -> std::optional<QString> {
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) {
      return std::nullopt;
    }
    const QString path =
        resourcesDirectory() + QStringLiteral("/ToolLogos/") + name + QStringLiteral(".png");
    if (!QFileInfo(path).isFile()) {
      return std::nullopt;
    }
    return path;
  });
  return cache;
}

BundledSoftwareLogoCache::BundledSoftwareLogoCache(ResourceLocator locator)
    : locator_(std::move(locator)) {}

std::optional<QImage> BundledSoftwareLogoCache::lookup(const QString& name) {
  if (auto hit = images.object(name)) {
    return hit;
  }
  if (missing.contains(name)) {
    return std::nullopt;
  }
  if (const auto path = locator_(name)) {
    if (auto loaded = loadImage(*path)) {
      const QImage image = sizedToLogo(*loaded);
      images.insert(name, image, softwareLogoImageCost(image));
      return image;
    }
  }
  missing.insert(name);
  return std::nullopt;
}

// SoftwareLogoCache

SoftwareLogoCache& SoftwareLogoCache::shared() {
  static SoftwareLogoCache cache(AppLocator::system(), [](const QString& appPath) {
    return appIconFromDesktopEntry(AppLocator::system(), appPath);
  });
  return cache;
}

SoftwareLogoCache::SoftwareLogoCache(const AppLocator& locator, IconLoader loader)
    : locator_(locator), loader_(std::move(loader)) {}

std::optional<QImage> SoftwareLogoCache::logo(const QString& appPath) {
  if (auto hit = images.object(appPath)) {
    return hit;
  }
  if (missing.contains(appPath)) {
    return std::nullopt;
  }
  if (!locator_.appExists(appPath)) {
    missing.insert(appPath);
    return std::nullopt;
  }
  // An installed application without a readable icon is tried again next time, as its icon
  // may still be on its way (a package being installed).
  const auto icon = loader_(appPath);
  if (!icon) {
    return std::nullopt;
  }
  const QImage image = sizedToLogo(*icon);
  images.insert(appPath, image, softwareLogoImageCost(image));
  return image;
}

std::optional<QImage> appIconFromDesktopEntry(const AppLocator& locator, const QString& appPath) {
  const auto entry = locator.desktopEntryForApp(appPath);
  if (!entry || entry->icon.isEmpty()) {
    return std::nullopt;
  }
  const QString& icon = entry->icon;
  if (QDir::isAbsolutePath(icon)) {
    return loadImage(icon);
  }
  if (icon.contains(QLatin1Char('/'))) {
    return std::nullopt;
  }
  static const char* const kSizes[] = {"32x32",   "48x48",   "64x64", "128x128",
                                       "256x256", "512x512", "24x24", "16x16"};
  const QStringList dirs = dataDirectories();
  for (const char* size : kSizes) {
    for (const QString& dir : dirs) {
      const QString path = dir + QStringLiteral("/icons/hicolor/") + QLatin1String(size) +
                           QStringLiteral("/apps/") + icon + QStringLiteral(".png");
      if (locator.fileExists(path)) {
        if (auto image = loadImage(path)) {
          return image;
        }
      }
    }
  }
  const QString pixmap = QStringLiteral("/usr/share/pixmaps/") + icon + QStringLiteral(".png");
  if (locator.fileExists(pixmap)) {
    return loadImage(pixmap);
  }
  // The desktop's icon theme, which may hold the icon in other themes or as SVG. Only with a GUI
  // application object, and only on its thread.
  const auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (gui != nullptr && QThread::currentThread() == gui->thread()) {
    const QIcon themed = QIcon::fromTheme(icon);
    if (!themed.isNull()) {
      QImage image = themed.pixmap(QSize(64, 64)).toImage();
      if (!image.isNull()) {
        return image;
      }
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
