#include "base/folder_copy.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_home.h"

namespace tandrel {
namespace {

bool link(const QString& target, const QString& path) {
  return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(FolderCopyTest, RealPathsResolveLinksAlsoBelowMissingParts) {
  test::TempHome home;
  const QString real = QFileInfo(home.path()).canonicalFilePath();
  ASSERT_TRUE(QDir().mkpath(home.file("a/b")));
  ASSERT_TRUE(link(home.file("a"), home.file("via")));
  EXPECT_EQ(realPathOf(home.file("via/b")), real + "/a/b");
  EXPECT_EQ(realPathOf(home.file("via/b/not/yet/")), real + "/a/b/not/yet");
  EXPECT_EQ(realPathOf("/no-such-root-folder/x"), QStringLiteral("/no-such-root-folder/x"));
  EXPECT_TRUE(isSameOrInsideFolder(home.file("via/b/c"), home.file("a")));
  EXPECT_TRUE(isSameOrInsideFolder(home.file("via"), home.file("a")));
  EXPECT_FALSE(isSameOrInsideFolder(home.file("ab"), home.file("a")));
}

TEST(FolderCopyTest, CopiesFoldersAndFilesButNoLinkedFoldersOrSpecialFiles) {
  test::TempHome home;
  ASSERT_TRUE(test::writeFile(home.file("src/top.txt"), "top"));
  ASSERT_TRUE(test::writeFile(home.file("src/.hidden"), "hidden"));
  ASSERT_TRUE(test::writeFile(home.file("src/sub/deep.txt"), "deep"));
  ASSERT_TRUE(test::writeFile(home.file("outside.txt"), "linked file"));
  ASSERT_TRUE(link(home.file("outside.txt"), home.file("src/file-link")));
  ASSERT_TRUE(link(home.file("src"), home.file("src/loop")));
  ASSERT_TRUE(link(home.file("gone"), home.file("src/dangling")));
  ASSERT_EQ(::mkfifo(QFile::encodeName(home.file("src/pipe")).constData(), 0600), 0);
  ASSERT_TRUE(test::writeFile(home.file("dst/old.txt"), "old"));

  ASSERT_TRUE(replaceFolderWithCopy(home.file("src"), home.file("dst")));
  EXPECT_EQ(entries(home.file("dst")), QStringList({".hidden", "file-link", "sub", "top.txt"}));
  EXPECT_EQ(test::readFile(home.file("dst/file-link")), QByteArray("linked file"));
  EXPECT_FALSE(QFileInfo(home.file("dst/file-link")).isSymLink());
  EXPECT_EQ(test::readFile(home.file("dst/sub/deep.txt")), QByteArray("deep"));
  EXPECT_EQ(entries(home.path()).filter(QStringLiteral(".dst.")), QStringList()) << "nothing left beside the target";
}

TEST(FolderCopyTest, OverlapsAreRefusedAndAFailedCopyKeepsTheOldTarget) {
  test::TempHome home;
  ASSERT_TRUE(test::writeFile(home.file("dst/keep.txt"), "keep"));
  ASSERT_TRUE(test::writeFile(home.file("dst/inner/x.txt"), "x"));
  ASSERT_TRUE(link(home.file("dst/inner"), home.file("inner-link")));
  for (const QString& source : {home.file("dst"), home.file("dst/inner"), home.file("inner-link")}) {
    EXPECT_FALSE(replaceFolderWithCopy(source, home.file("dst"))) << source.toStdString();
  }
  EXPECT_FALSE(replaceFolderWithCopy(home.path(), home.file("dst"))) << "the target lies inside the source";

  const auto failed = replaceFolderWithCopy(home.file("missing"), home.file("dst"));
  EXPECT_FALSE(failed);
  EXPECT_TRUE(failed.error().contains(home.file("missing"))) << failed.error().toStdString();
  EXPECT_EQ(test::readFile(home.file("dst/keep.txt")), QByteArray("keep"));
  EXPECT_EQ(test::readFile(home.file("dst/inner/x.txt")), QByteArray("x"));
  EXPECT_EQ(entries(home.path()), QStringList({"dst", "inner-link"})) << "the staging folder is removed";
}

TEST(FolderCopyTest, MovingIntoPlaceReplacesALinkNotWhatItNames) {
  test::TempHome home;
  ASSERT_TRUE(test::writeFile(home.file("mine/keep.txt"), "mine"));
  ASSERT_TRUE(link(home.file("mine"), home.file("target")));
  ASSERT_TRUE(test::writeFile(home.file("staged/new.txt"), "new"));
  ASSERT_TRUE(moveFolderIntoPlace(home.file("staged"), home.file("target")));
  EXPECT_EQ(test::readFile(home.file("target/new.txt")), QByteArray("new"));
  EXPECT_EQ(test::readFile(home.file("mine/keep.txt")), QByteArray("mine"));
  EXPECT_EQ(entries(home.path()), QStringList({"mine", "target"}));
  EXPECT_FALSE(moveFolderIntoPlace(home.file("staged"), home.file("target"))) << "nothing staged any more";
  EXPECT_TRUE(QFile::exists(home.file("target/new.txt")));
}

}  // namespace
}  // namespace tandrel
