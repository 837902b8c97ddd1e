#include "catalog/software_logo_cache.h"

#include <gtest/gtest.h>

#include <QImage>

#include "platform/app_locator.h"
#include "platform/fake/fake_app_locator.h"
#include "platform/linux/system_app_locator.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

QString writePng(const QString& path, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::red);
  test::writeFile(path, {});
  return image.save(path, "PNG") ? path : QString();
}

TEST(SoftwareLogoCacheTest, ImageCost) {
  EXPECT_EQ(softwareLogoImageCost(QImage(64, 32, QImage::Format_ARGB32)), 4 * 64 * 32);
  QImage hiDpi(64, 64, QImage::Format_ARGB32);
  hiDpi.setDevicePixelRatio(2.0);  // pixels count, not points
  EXPECT_EQ(softwareLogoImageCost(hiDpi), 4 * 64 * 64);
  EXPECT_EQ(softwareLogoImageCost(QImage()), 4);
}

TEST(SoftwareLogoCacheTest, ImageCacheKeepsCountAndCostLimits) {
  ImageCache cache(2, 100);
  const QImage image(1, 1, QImage::Format_ARGB32);
  cache.insert(QStringLiteral("a"), image, 40);
  cache.insert(QStringLiteral("b"), image, 40);
  ASSERT_TRUE(cache.object(QStringLiteral("a")));  // "a" is now the most recent
  cache.insert(QStringLiteral("c"), image, 10);    // over the count: "b" goes
  EXPECT_FALSE(cache.object(QStringLiteral("b")));
  EXPECT_EQ(cache.count(), 2);
  cache.insert(QStringLiteral("d"), image, 90);  // over the cost: the least recent ("a") goes
  EXPECT_FALSE(cache.object(QStringLiteral("a")));
  EXPECT_EQ(cache.count(), 2);
  EXPECT_EQ(cache.totalCost(), 100);
  cache.insert(QStringLiteral("e"), image, 101);  // too costly to keep at all
  EXPECT_FALSE(cache.object(QStringLiteral("e")));
  EXPECT_TRUE(cache.object(QStringLiteral("d")));
  cache.insert(QStringLiteral("d"), image, 5);  // replacing updates the cost
  EXPECT_EQ(cache.totalCost(), 15);
}

TEST(SoftwareLogoCacheTest, BundledLogosLoadOnceAndRememberMisses) {
  test::TempHome home;
  const QString logo = writePng(home.file(QStringLiteral("ToolLogos/claude.png")), 64, 64);
  ASSERT_FALSE(logo.isEmpty());
  QStringList asked;
  BundledSoftwareLogoCache cache([&](const QString& name) -> std::optional<QString> {
    asked.append(name);
    if (name == QLatin1String("claude")) {
      return logo;
    }
    if (name == QLatin1String("broken")) {
      return home.file(QStringLiteral("ToolLogos/broken.png"));  // not there
    }
    return std::nullopt;
  });
  EXPECT_EQ(cache.images.countLimit(), 16);
  EXPECT_EQ(cache.images.totalCostLimit(), 16'777'216);

  const auto first = cache.lookup(QStringLiteral("claude"));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->deviceIndependentSize(), QSizeF(32, 32));
  EXPECT_EQ(cache.images.totalCost(), 4 * 64 * 64);
  EXPECT_TRUE(cache.lookup(QStringLiteral("claude")));

  EXPECT_FALSE(cache.lookup(QStringLiteral("unknown")));
  EXPECT_FALSE(cache.lookup(QStringLiteral("unknown")));
  EXPECT_FALSE(cache.lookup(QStringLiteral("broken")));
  EXPECT_FALSE(cache.lookup(QStringLiteral("broken")));
  EXPECT_TRUE(cache.missing.contains(QStringLiteral("broken")));
  EXPECT_EQ(asked, QStringList({QStringLiteral("claude"), QStringLiteral("unknown"),
                                QStringLiteral("broken")}));
}

TEST(SoftwareLogoCacheTest, ApplicationLogosComeFromInstalledApplications) {
  FakeAppLocator locator;
  locator.entries = {DesktopEntry{QStringLiteral("cursor"), QString(), QStringLiteral("Cursor"),
                                  QString(), QStringLiteral("cursor")}};
  QStringList loaded;
  bool iconReady = false;
  SoftwareLogoCache cache(locator, [&](const QString& appPath) -> std::optional<QImage> {
    loaded.append(appPath);
    if (!iconReady) {
      return std::nullopt;
    }
    return QImage(128, 128, QImage::Format_ARGB32);
  });
  EXPECT_EQ(cache.images.countLimit(), 32);

  const QString cursor = QStringLiteral("/Applications/Cursor.app");
  const QString claude = QStringLiteral("/Applications/Claude.app");
  // Not installed: remembered, never loaded.
  EXPECT_FALSE(cache.logo(claude));
  EXPECT_TRUE(cache.missing.contains(claude));
  locator.entries.push_back(DesktopEntry{QStringLiteral("claude"), QString(),
                                         QStringLiteral("Claude"), QString(),
                                         QStringLiteral("claude")});
  EXPECT_FALSE(cache.logo(claude));
  // Installed without an icon yet: tried again later.
  EXPECT_FALSE(cache.logo(cursor));
  iconReady = true;
  const auto icon = cache.logo(cursor);
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->deviceIndependentSize(), QSizeF(32, 32));
  EXPECT_TRUE(cache.logo(cursor));
  EXPECT_EQ(loaded, QStringList({cursor, cursor}));
}

TEST(SoftwareLogoCacheTest, DesktopIconsFromPathsAndTheme) {
  test::TempHome home;
  const QString data = home.path() + QStringLiteral("/.local/share");
  const QString themed =
      writePng(data + QStringLiteral("/icons/hicolor/48x48/apps/cursor.png"), 48, 48);
  const QString absolute = writePng(home.file(QStringLiteral("opt/kimi.png")), 16, 16);
  ASSERT_FALSE(themed.isEmpty());
  ASSERT_FALSE(absolute.isEmpty());
  SystemAppLocator locator;
  ASSERT_TRUE(test::writeFile(data + QStringLiteral("/applications/cursor.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Cursor\nIcon=cursor\n"));
  ASSERT_TRUE(test::writeFile(
      data + QStringLiteral("/applications/kimi.desktop"),
      "[Desktop Entry]\nType=Application\nName=Kimi\nIcon=" + absolute.toUtf8() + "\n"));
  ASSERT_TRUE(test::writeFile(data + QStringLiteral("/applications/warp.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Warp\nIcon=no-such-icon\n"));

  const auto themedIcon =
      appIconFromDesktopEntry(locator, QStringLiteral("/Applications/Cursor.app"));
  ASSERT_TRUE(themedIcon);
  EXPECT_EQ(themedIcon->size(), QSize(48, 48));
  const auto fileIcon = appIconFromDesktopEntry(locator, QStringLiteral("/Applications/Kimi.app"));
  ASSERT_TRUE(fileIcon);
  EXPECT_EQ(fileIcon->size(), QSize(16, 16));
  EXPECT_FALSE(appIconFromDesktopEntry(locator, QStringLiteral("/Applications/Warp.app")));
  EXPECT_FALSE(appIconFromDesktopEntry(locator, QStringLiteral("/Applications/Claude.app")));
}

}  // namespace
}  // namespace tandrel
