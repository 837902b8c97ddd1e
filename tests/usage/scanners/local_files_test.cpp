#include "usage/scanners/local_files.h"

#include "usage/scanners/scanner_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tandrel {
namespace {

using test::TempHome;
using test::utcAt;
using test::writeFile;
using test::writeFileAt;

class LocalFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { clearRecentJSONLDiscoveryCache(); }
  void TearDown() override { clearRecentJSONLDiscoveryCache(); }

  QString names(const QStringList& paths) const {
    QStringList relative;
    for (const QString& path : paths) {
      relative.push_back(path.mid(home.path().size() + 1));
    }
    return relative.join(QLatin1Char(','));
  }

  TempHome home;
};

bool everyFile(const QString&) { return true; }

TEST_F(LocalFilesTest, DiscoveryKeepsVisibleRegularFilesNewestFirst) {
  const QDateTime base = utcAt("2026-01-01T10:00:00Z");
  ASSERT_TRUE(writeFileAt(home.file("r/a/old.jsonl"), "{}\n", base));
  ASSERT_TRUE(writeFileAt(home.file("r/b/new.JSONL"), "{}\n", base.addSecs(60)));
  ASSERT_TRUE(writeFileAt(home.file("r/mid.jsonl"), "{}\n", base.addSecs(30)));
  ASSERT_TRUE(writeFileAt(home.file("r/.hidden.jsonl"), "{}\n", base.addSecs(90)));
  ASSERT_TRUE(writeFileAt(home.file("r/.hid/in-hidden.jsonl"), "{}\n", base.addSecs(90)));
  ASSERT_TRUE(writeFileAt(home.file("r/other.json"), "{}\n", base.addSecs(90)));
  ASSERT_TRUE(QFile::link(home.file("r/mid.jsonl"), home.file("r/link.jsonl")));
  ASSERT_TRUE(QDir().mkpath(home.file("r/folder.jsonl")));

  EXPECT_EQ(names(recentJSONLFiles(home.file("r"), 10, "k", everyFile)), "r/b/new.JSONL,r/mid.jsonl,r/a/old.jsonl");
  EXPECT_EQ(names(recentJSONLFiles(home.file("r"), 2, "k", everyFile)), "r/b/new.JSONL,r/mid.jsonl");
  EXPECT_EQ(names(recentJSONFiles(home.file("r"), 10, "json", everyFile)), "r/other.json");
  EXPECT_EQ(names(recentJSONLFiles(home.file("r"), 10, "only-a",
                                   [](const QString& path) { return path.contains(QLatin1String("/a/")); })),
            "r/a/old.jsonl");
  EXPECT_TRUE(recentJSONLFiles(home.file("missing"), 10, "k", everyFile).isEmpty());
  EXPECT_TRUE(recentJSONLFiles(std::nullopt, 10, "k", everyFile).isEmpty());
}

TEST_F(LocalFilesTest, EqualTimesKeepTheWalkOrder) {
  const QDateTime when = utcAt("2026-01-01T10:00:00Z");
  for (const char* name : {"r/x.jsonl", "r/y.jsonl", "r/z.jsonl"}) {
    ASSERT_TRUE(writeFileAt(home.file(name), "{}\n", when));
  }
  const QString root = home.file("r");
  const auto walked = discoverRecentFiles(root, everyFile);
  ASSERT_EQ(walked.size(), 3u);
  EXPECT_EQ(recentJSONLFiles(root, 3, "k", everyFile), firstPaths(walked, 3));
}

TEST_F(LocalFilesTest, DiscoveryCacheLivesFor120SecondsPerKeyLimitAndRoot) {
  const QString root = home.file("r");
  const QDateTime t0 = utcAt("2026-01-01T10:00:00Z");
  int walks = 0;
  const auto discover = [&] {
    ++walks;
    return QStringList{QString::number(walks)};
  };
  EXPECT_EQ(RecentJSONLFileDiscoveryCache::files(root, 16, "codex", discover, t0), QStringList{"1"});
  EXPECT_EQ(RecentJSONLFileDiscoveryCache::files(root, 16, "codex", discover, t0.addMSecs(119'999)), QStringList{"1"});
  EXPECT_EQ(RecentJSONLFileDiscoveryCache::files(root, 8, "codex", discover, t0), QStringList{"2"});
  EXPECT_EQ(RecentJSONLFileDiscoveryCache::files(root, 16, "codex", discover, t0.addSecs(120)), QStringList{"3"});
  EXPECT_EQ(walks, 3);

  clearRecentJSONLDiscoveryCache();
  for (int i = 0; i < 32; ++i) {
    RecentJSONLFileDiscoveryCache::files(root, i, "k", discover, t0);
  }
  EXPECT_EQ(RecentJSONLFileDiscoveryCache::countForTests(), 32);
  RecentJSONLFileDiscoveryCache::files(root, 99, "k", discover, t0);
  EXPECT_EQ(RecentJSONLFileDiscoveryCache::countForTests(), 1);
}

TEST_F(LocalFilesTest, TailsAreCutAtALineBoundaryBeforeDecoding) {
  const QByteArray euro = "\xE2\x82\xAC";  // three bytes
  const struct {
    const char* name;
    QByteArray contents;
    std::uint64_t maxBytes;
    std::optional<QString> expected;
  } cases[] = {
      {"shorter than the limit: whole text", "first\nsecond\n", 100, QStringLiteral("first\nsecond\n")},
      {"exactly the limit: whole text", "ab\ncd\n", 6, QStringLiteral("ab\ncd\n")},
      {"longer: the split first line goes", "first line\nsecond\nthird\n", 12, QStringLiteral("third\n")},
      {"a cut right after a line feed loses nothing", "first line\nsecond\n", 8, QStringLiteral("second\n")},
      {"longer, no line feed: the whole tail", "abcdefghij", 4, QStringLiteral("ghij")},
      // The cut falls inside the first euro sign: only that broken line is lost.
      {"cut inside a character", "x" + euro + euro + "\n{\"a\":1}\n", 14, QStringLiteral("{\"a\":1}\n")},
      {"invalid bytes after the cut", "line\n\xFF\xFE\n", 100, std::nullopt},
  };
  for (const auto& c : cases) {
    const QString path = home.file(QStringLiteral("tail.txt"));
    ASSERT_TRUE(writeFile(path, c.contents));
    EXPECT_EQ(readTailText(path, c.maxBytes), c.expected) << c.name;
  }
  EXPECT_EQ(readTailText(home.file("missing.txt"), 10), std::nullopt);
}

TEST_F(LocalFilesTest, JsonLinesSkipBadLinesAndKeepTheRest) {
  const QString path = home.file("lines.jsonl");
  // A cut inside a multi-byte character, a broken line, an array, a line with invalid UTF-8.
  ASSERT_TRUE(writeFile(path, "{\"n\":\"\xC3\xA9t\xC3\xA9\"}\n{\"n\":2}\n{broken\n[1,2]\n{\"n\":\"\xFF\"}\n\n{\"n\":3}"));
  const auto whole = jsonObjectsFromFile(path);
  ASSERT_EQ(whole.size(), 3u);
  EXPECT_EQ(whole[0].value("n").toString(), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
  EXPECT_EQ(whole[2].value("n").toInt(), 3);

  const qint64 size = QFileInfo(path).size();
  const auto tail = jsonObjectsFromTail(path, static_cast<std::uint64_t>(size - 7));  // starts inside the first "é"
  ASSERT_EQ(tail.size(), 2u);
  EXPECT_EQ(tail[0].value("n").toInt(), 2);
  EXPECT_TRUE(jsonObjectsFromFile(home.file("missing.jsonl")).empty());
}

}  // namespace
}  // namespace tandrel
