#include "platform/app_locator.h"

#include <gtest/gtest.h>

#include <QDir>

#include "platform/fake/fake_app_locator.h"
#include "platform/linux/system_app_locator.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

QByteArray desktopFile(const char* name, const char* extra = "") {
  return QByteArray("[Desktop Entry]\nType=Application\nName=") + name + "\nExec=/usr/bin/" + name +
         " %F\nIcon=" + name + "\n" + extra;
}

QStringList ids(const std::vector<DesktopEntry>& entries) {
  QStringList out;
  for (const DesktopEntry& entry : entries) {
    out.append(entry.id);
  }
  return out;
}

TEST(AppLocatorTest, ReadsTheDesktopEntryGroupOnly) {
  test::TempHome home;
  const QString path = home.file(QStringLiteral("entry.desktop"));
  ASSERT_TRUE(test::writeFile(path,
                              "# comment\n"
                              "[Desktop Entry]\n"
                              "Type = Application\n"
                              "Name[de]=Beispiel\n"
                              "Name=Example\\sApp\n"
                              "Exec=/opt/example/bin/example --new-window %U\n"
                              "Icon=/opt/example/icon.png\n"
                              "[Desktop Action new]\n"
                              "Name=New Window\n"
                              "Exec=/opt/example/other\n"));
  const auto entry = readDesktopEntry(path, QStringLiteral("example"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(*entry, (DesktopEntry{QStringLiteral("example"), path, QStringLiteral("Example App"),
                                  QStringLiteral("/opt/example/bin/example --new-window %U"),
                                  QStringLiteral("/opt/example/icon.png")}));

  const struct {
    const char* contents;
    const char* why;
  } rejected[] = {
      {"[Desktop Entry]\nType=Link\nName=Example\n", "not an application"},
      {"[Desktop Entry]\nName=Example\n", "no type"},
      {"[Desktop Entry]\nType=Application\nName=Example\nHidden=true\n", "hidden"},
      {"[Other]\nType=Application\nName=Example\n", "no desktop entry group"},
      {"", "empty"},
  };
  for (const auto& c : rejected) {
    ASSERT_TRUE(test::writeFile(path, c.contents));
    EXPECT_FALSE(readDesktopEntry(path, QStringLiteral("example"))) << c.why;
  }
  EXPECT_FALSE(readDesktopEntry(home.file(QStringLiteral("missing.desktop")), QStringLiteral("x")));
}

TEST(AppLocatorTest, SystemEntriesFollowXdgPrecedence) {
  test::TempHome home;
  const QString user = home.path() + QStringLiteral("/user");
  const QString first = home.path() + QStringLiteral("/first");
  const QString second = home.path() + QStringLiteral("/second");
  home.setEnv("XDG_DATA_HOME", user.toUtf8());
  home.setEnv("XDG_DATA_DIRS", (first + QStringLiteral(":relative:") + second).toUtf8());
  const SystemAppLocator locator;
  EXPECT_EQ(
      SystemAppLocator::applicationsDirectories(),
      QStringList({user + QStringLiteral("/applications"), first + QStringLiteral("/applications"),
                   second + QStringLiteral("/applications")}));

  ASSERT_TRUE(
      test::writeFile(second + QStringLiteral("/applications/code.desktop"), desktopFile("Code")));
  ASSERT_TRUE(test::writeFile(first + QStringLiteral("/applications/code.desktop"),
                              desktopFile("Code Insiders")));
  ASSERT_TRUE(test::writeFile(second + QStringLiteral("/applications/vendor/cursor.desktop"),
                              desktopFile("Cursor")));
  // A hidden entry in the user's folder removes the system one of the same id.
  ASSERT_TRUE(
      test::writeFile(second + QStringLiteral("/applications/warp.desktop"), desktopFile("Warp")));
  ASSERT_TRUE(test::writeFile(user + QStringLiteral("/applications/warp.desktop"),
                              desktopFile("Warp", "Hidden=true\n")));

  const auto entries = locator.desktopEntries();
  EXPECT_EQ(ids(entries), QStringList({QStringLiteral("code"), QStringLiteral("vendor-cursor")}));
  EXPECT_EQ(entries.at(0).name, QStringLiteral("Code Insiders"));

  // A new entry is seen on the next call.
  ASSERT_TRUE(
      test::writeFile(user + QStringLiteral("/applications/kimi.desktop"), desktopFile("Kimi")));
  EXPECT_EQ(ids(locator.desktopEntries()),
            QStringList(
                {QStringLiteral("kimi"), QStringLiteral("code"), QStringLiteral("vendor-cursor")}));
  // So is a removed one.
  ASSERT_TRUE(QFile::remove(second + QStringLiteral("/applications/vendor/cursor.desktop")));
  EXPECT_EQ(ids(locator.desktopEntries()),
            QStringList({QStringLiteral("kimi"), QStringLiteral("code")}));
}

TEST(AppLocatorTest, ApplicationPathsFindDesktopEntries) {
  FakeAppLocator locator;
  const auto entry = [](const char* id, const char* name) {
    return DesktopEntry{QString::fromUtf8(id), QString(), QString::fromUtf8(name), QString(),
                        QString()};
  };
  locator.entries = {entry("code", "Visual Studio Code"), entry("dev.warp.Warp", "Warp Terminal"),
                     entry("trae-cn", "Trae 中文版"), entry("cursor", "Cursor")};
  locator.files = {QStringLiteral("/home/me/Applications/Kimi.app")};

  const struct {
    const char* appPath;
    const char* id;  // nullptr: not installed
  } cases[] = {
      {"/Applications/Visual Studio Code.app", "code"},  // by name
      {"/Applications/Warp.app", "dev.warp.Warp"},       // by the id's last part
      {"~/Applications/Trae CN.app", "trae-cn"},         // by the id's slug
      {"/Applications/Cursor.app/", "cursor"},           // trailing slash
      {"/Applications/Cursor Glass.app", nullptr},
      {"/Applications/Trae.app", nullptr},
      {"/Applications/.app", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const auto found = locator.desktopEntryForApp(QString::fromUtf8(c.appPath));
    EXPECT_EQ(found ? std::optional(found->id) : std::nullopt,
              c.id ? std::optional(QString::fromUtf8(c.id)) : std::nullopt)
        << c.appPath;
    EXPECT_EQ(locator.appExists(QString::fromUtf8(c.appPath)), c.id != nullptr) << c.appPath;
  }
  // Something at the path itself also counts.
  EXPECT_TRUE(locator.appExists(QStringLiteral("/home/me/Applications/Kimi.app")));
}

}  // namespace
}  // namespace tandrel
