#include "platform/append_file.h"

#include "support/temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>
#include <vector>

namespace tandrel {
namespace {

mode_t permissionsOf(const QString& path) {
  struct stat info {};
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  return info.st_mode & 0777;
}

class AppendFileTest : public ::testing::Test {
 protected:
  test::TempHome home;
  QString file = home.file(QStringLiteral("audit.jsonl"));
};

TEST_F(AppendFileTest, CreatesAPrivateFileAndAppendsToAnExistingOneKeepingItsMode) {
  ASSERT_TRUE(appendFile(file, "{\"a\":1}\n").ok());
  ASSERT_TRUE(appendFile(file, "{\"a\":2}\n").ok());
  EXPECT_EQ(test::readFile(file), QByteArray("{\"a\":1}\n{\"a\":2}\n"));
  EXPECT_EQ(permissionsOf(file), 0600u);

  const QString shared = home.file(QStringLiteral("shared.jsonl"));
  ASSERT_TRUE(test::writeFile(shared, "old\n"));
  ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0644), 0);
  ASSERT_TRUE(appendFile(shared, "new\n").ok());
  EXPECT_EQ(test::readFile(shared), QByteArray("old\nnew\n"));
  EXPECT_EQ(permissionsOf(shared), 0644u);
}

// A path that cannot be opened for appending is reported and left exactly as it was: nothing is
// written in its place.
TEST_F(AppendFileTest, APathThatCannotBeOpenedIsReportedAndNeverReplaced) {
  const QString loop = home.file(QStringLiteral("loop.jsonl"));
  ASSERT_TRUE(QFile::link(loop, loop));
  const QString folder = home.file(QStringLiteral("folder.jsonl"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString regular = home.file(QStringLiteral("regular"));
  ASSERT_TRUE(test::writeFile(regular, "keep\n"));

  struct Case {
    const char* name;
    QString path;
    const char* errnoText;
  };
  const std::vector<Case> cases = {
      {"a link that points at itself", loop, "errno=40"},
      {"a folder", folder, "errno=21"},
      {"below a regular file", regular + QStringLiteral("/audit.jsonl"), "errno=20"},
  };
  for (const Case& c : cases) {
    const Result<void> result = appendFile(c.path, "line\n");
    ASSERT_FALSE(result.ok()) << c.name;
    EXPECT_TRUE(result.error().startsWith(QStringLiteral("POSIX open failed: "))) << c.name;
    EXPECT_TRUE(result.error().contains(QLatin1String(c.errnoText))) << c.name << ": " << result.error().toStdString();
  }
  EXPECT_TRUE(QFileInfo(loop).isSymLink());
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_TRUE(QDir(folder).isEmpty());
  EXPECT_EQ(test::readFile(regular), QByteArray("keep\n"));
  EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 2)
      << "only the loop and the regular file; no stray temporary file";
}

// Every line is one write on an O_APPEND descriptor: writers running at once never split or lose
// each other's lines.
TEST_F(AppendFileTest, ConcurrentWritersNeverInterleaveLines) {
  constexpr int kWriters = 8;
  constexpr int kLines = 200;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([this, w] {
      const QByteArray line = QByteArray(300, char('a' + w)) + '\n';
      for (int i = 0; i < kLines; ++i) {
        (void)appendFile(file, line);
      }
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  QList<QByteArray> lines = test::readFile(file).split('\n');
  ASSERT_EQ(lines.takeLast(), QByteArray());
  ASSERT_EQ(lines.size(), kWriters * kLines);
  for (const QByteArray& line : lines) {
    ASSERT_EQ(line.size(), 300);
    ASSERT_EQ(line.count(line.front()), 300) << "a line mixed from two writers";
  }
}

}  // namespace
}  // namespace tandrel
