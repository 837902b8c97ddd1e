#include "platform/private_folder.h"

#include "support/temp_home.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tandrel {
namespace {

mode_t modeOf(const QString& path) {
  struct stat info {};
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(PrivateFolderTest, NewFoldersAreTheOwnersAloneAndExistingOnesKeepTheirMode) {
  test::TempHome home;
  const mode_t previous = ::umask(022);
  const QString existing = home.file(QStringLiteral("shared"));
  ASSERT_EQ(::mkdir(QFile::encodeName(existing).constData(), 0755), 0);

  EXPECT_EQ(makePrivateFolder(existing + QStringLiteral("/a/b/")), std::nullopt);
  EXPECT_EQ(modeOf(existing), 0755u);
  EXPECT_EQ(modeOf(existing + QStringLiteral("/a")), 0700u);
  EXPECT_EQ(modeOf(existing + QStringLiteral("/a/b")), 0700u);

  // A file in the way is named in the failure.
  const QString file = home.file(QStringLiteral("file"));
  ASSERT_TRUE(test::writeFile(file, "x"));
  EXPECT_EQ(makePrivateFolder(file + QStringLiteral("/sub")),
            (POSIXError{ENOTDIR, QStringLiteral("mkdir ") + file}));
  ::umask(previous);
}

TEST(PrivateFolderTest, RestrictingTakesAccessAwayOnlyFromOwnFolders) {
  test::TempHome home;
  const QString folder = home.file(QStringLiteral("dot-tandrel"));
  ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
  const QString link = home.file(QStringLiteral("link"));
  ASSERT_EQ(::symlink(QFile::encodeName(folder).constData(), QFile::encodeName(link).constData()), 0);

  EXPECT_FALSE(restrictFolderToOwner(link));  // a link is not followed
  EXPECT_EQ(modeOf(folder), 0755u);
  EXPECT_TRUE(restrictFolderToOwner(folder));
  EXPECT_EQ(modeOf(folder), 0700u);
  EXPECT_TRUE(restrictFolderToOwner(folder));
  EXPECT_FALSE(restrictFolderToOwner(home.file(QStringLiteral("missing"))));
}

}  // namespace
}  // namespace tandrel
