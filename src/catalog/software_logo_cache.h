#pragma once

#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>

#include <functional>
#include <list>
#include <mutex>
#include <optional>

// The two shared caches of tool logos: logos shipped with the app ("ToolLogos/<name>.png") and
// the icons of installed applications. Each logo is loaded once and then served from memory; a
// name or path that failed is remembered and not tried again while the process runs.

namespace tandrel {

class AppLocator;

// What an image costs in a logo or pet cache: 4 bytes per pixel. An image without pixels costs
// 4 × max(1, its rounded logical width) × max(1, its rounded logical height).
qsizetype softwareLogoImageCost(const QImage& image);

// A thread-safe image store with a count limit and a total cost limit: beyond either, the least
// recently used images are dropped. An image that alone costs more than the limit is not kept.
class ImageCache {
 public:
  ImageCache(int countLimit, qsizetype totalCostLimit);
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;

  std::optional<QImage> object(const QString& key);
  // Whether `key` is held, without making it recently used.
  bool contains(const QString& key) const;
  void insert(const QString& key, const QImage& image, qsizetype cost);
  void clear();

  int count() const;
  qsizetype totalCost() const;
  int countLimit() const { return countLimit_; }
  qsizetype totalCostLimit() const { return totalCostLimit_; }

 private:
  struct Entry {
    QImage image;
    qsizetype cost = 0;
    std::list<QString>::iterator position;
  };
  void removeLocked(QHash<QString, Entry>::iterator it);

  const int countLimit_;
  const qsizetype totalCostLimit_;
  mutable std::mutex mutex_;
  std::list<QString> recency_;  // most recent first
  QHash<QString, Entry> entries_;
  qsizetype totalCost_ = 0;
};

// The names (or paths) that failed, guarded by their lock. The lock is held only for one test or
// insertion, never while files are read.
class MissingSet {
 public:
  bool contains(const QString& key) const;
  void insert(const QString& key);
  void clear();

 private:
  mutable std::mutex lock_;
  QSet<QString> missing_;
};

// Logos shipped with the app, by resource base name. Logical size 32 × 32.
class BundledSoftwareLogoCache {
 public:
  static constexpr int kCountLimit = 16;
  static constexpr qsizetype kTotalCostLimit = 16'777'216;

  // The file of the resource "ToolLogos/<name>.png", or nothing when the app does not ship it.
  using ResourceLocator = std::function<std::optional<QString>(const QString& name)>;

  // The shared cache; its resources live in resourcesDirectory()/ToolLogos.
  static BundledSoftwareLogoCache& shared();
  // The logo named `name` from the shared cache.
  static std::optional<QImage> image(const QString& name) { return shared().lookup(name); }

  explicit BundledSoftwareLogoCache(ResourceLocator locator);

  // A hit; else nothing for a name that failed before; else the resource, loaded and kept; else
  // nothing, and the name is remembered as missing.
  std::optional<QImage> lookup(const QString& name);

  ImageCache images{kCountLimit, kTotalCostLimit};
  MissingSet missing;

 private:
  ResourceLocator locator_;
};

// Icons of installed applications, keyed by the application path that softwareLogoAppPath gives.
// Logical size 32 × 32.
class SoftwareLogoCache {
 public:
  static constexpr int kCountLimit = 32;
  static constexpr qsizetype kTotalCostLimit = 16'777'216;

  // The icon of an installed application, or nothing.
  using IconLoader = std::function<std::optional<QImage>(const QString& appPath)>;

  // The shared cache over AppLocator::system() and appIconFromDesktopEntry.
  static SoftwareLogoCache& shared();

  SoftwareLogoCache(const AppLocator& locator, IconLoader loader);

  // A hit; else nothing for a path that failed before; else, when the application is not
  // installed, nothing, and the path is remembered as missing; else its icon, kept.
  std::optional<QImage> logo(const QString& appPath);

  ImageCache images{kCountLimit, kTotalCostLimit};
  MissingSet missing;

 private:
  const AppLocator& locator_;
  IconLoader loader_;
};

// The icon of the desktop entry found for `appPath`: the Icon file when it is an absolute path,
// else the theme icon of that name as a PNG from the hicolor theme (32x32 preferred, then larger,
// then smaller) in the XDG data folders, else from /usr/share/pixmaps, else (on the thread of a
// GUI application) the icon theme's icon of that name (QIcon::fromTheme).
std::optional<QImage> appIconFromDesktopEntry(const AppLocator& locator, const QString& appPath);

}  // namespace tandrel
