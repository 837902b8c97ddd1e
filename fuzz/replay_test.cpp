// Every file of fuzz/corpus/<target>/ (the seeds and every input that ever failed) run through its
// target, as an ordinary test of every build: a property that fails is a test failure.
#include "fuzz_target.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <string>
#include <vector>

namespace tandrel::fuzz {

namespace {

std::map<std::string, Target>& targets() {
  static std::map<std::string, Target> all;
  return all;
}

std::vector<std::string> targetNames() {
  std::vector<std::string> names;
  for (const auto& [name, target] : targets()) {
    names.push_back(name);
  }
  return names;
}

const QString kCorpus = QStringLiteral(TANDREL_FUZZ_CORPUS_DIR);

class FuzzCorpus : public ::testing::TestWithParam<std::string> {
 protected:
  test::TempHome home_;
};

TEST_P(FuzzCorpus, EveryInputKeepsTheTargetsProperties) {
  const QDir folder(kCorpus + u'/' + QString::fromStdString(GetParam()));
  const QStringList files = folder.entryList(QDir::Files, QDir::Name);
  ASSERT_FALSE(files.isEmpty()) << "no corpus in " << folder.path().toStdString();
  const Target target = targets().at(GetParam());
  for (const QString& name : files) {
    SCOPED_TRACE(name.toStdString());
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    target(reinterpret_cast<const std::uint8_t*>(input.constData()),
           static_cast<std::size_t>(input.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Replay, FuzzCorpus, ::testing::ValuesIn(targetNames()),
                         [](const auto& info) { return info.param; });

TEST(FuzzCorpusFolders, EachFolderBelongsToATarget) {
  const QStringList folders = QDir(kCorpus).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  ASSERT_EQ(static_cast<size_t>(folders.size()), targets().size());
  for (const QString& folder : folders) {
    EXPECT_EQ(targets().count(folder.toStdString()), 1u) << folder.toStdString();
  }
}

}  // namespace

bool registerTarget(const char* name, Target target) {
  targets()[name] = target;
  return true;
}

void checkFailed(const char* expression, const char* file, int line, const QString& detail) {
  ADD_FAILURE_AT(file, line) << expression << "\n" << detail.toStdString();
}

QString scratchFolder() {
  static QTemporaryDir folder;
  return folder.path();
}

}  // namespace tandrel::fuzz
