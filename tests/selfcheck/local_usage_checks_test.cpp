#include "selfcheck/checks/async_local_usage_checks.h"
#include "selfcheck/checks/local_usage_cache_checks.h"
#include "selfcheck/checks/local_usage_loader_checks.h"

#include "catalog/paths.h"
#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>

namespace tandrel {
namespace {

// The groups run as in a self-test run: in the test environment, whose stores load local usage
// inline and without throttles unless told otherwise.
class LocalUsageChecks : public ::testing::Test {
 protected:
  LocalUsageChecks() : wasTestEnvironment_(isTestEnvironment()) { setTestEnvironment(true); }
  ~LocalUsageChecks() override { setTestEnvironment(wasTestEnvironment_); }

  test::TempHome home_;

 private:
  bool wasTestEnvironment_;
};

TEST_F(LocalUsageChecks, TheLoaderGroupPassesOnTheRealScannersTwiceOverTheSameFolder) {
  SelfCheckFailures failures;
  runLocalUsageLoaderChecks(failures, home_.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  // A second run rewrites the tree it left.
  runLocalUsageLoaderChecks(failures, home_.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST_F(LocalUsageChecks, TheAsynchronousAndCacheGroupsPassInRunOrder) {
  SelfCheckFailures failures;
  runAsyncLocalUsageChecks(failures, home_.path());
  runLocalUsageCacheChecks(failures, home_.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

// A fixture that cannot be written is reported once with its name and the reason, and only the
// checks that need it are skipped.
TEST_F(LocalUsageChecks, FixturesThatCannotBeWrittenAreReportedOnceEach) {
  const struct {
    const char* blocked;  // a file where the fixture's folder goes
    void (*run)(SelfCheckFailures&, const QString&);
    std::vector<const char*> sentences;
  } cases[] = {
      {"local-usage", runLocalUsageLoaderChecks, {"could not write local usage loader fixtures: "}},
      {"async-local-usage", runAsyncLocalUsageChecks, {"could not write async local usage fixture: "}},
      {"unchanged-local-usage", runAsyncLocalUsageChecks, {"could not write unchanged local usage fixture: "}},
      {"local-usage-discovery-cache", runLocalUsageCacheChecks, {"could not write local usage discovery-cache fixture: "}},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.blocked);
    test::TempHome scratch;
    if (testCase.run == runLocalUsageCacheChecks) {
      SelfCheckFailures setUp;
      runAsyncLocalUsageChecks(setUp, scratch.path());
      ASSERT_TRUE(setUp.messages().empty()) << test::listed(setUp.messages());
    }
    ASSERT_TRUE(test::writeFile(scratch.file(testCase.blocked), "a file where the folder goes"));
    SelfCheckFailures failures;
    testCase.run(failures, scratch.path());
    ASSERT_EQ(failures.messages().size(), testCase.sentences.size()) << test::listed(failures.messages());
    for (std::size_t i = 0; i < testCase.sentences.size(); ++i) {
      EXPECT_TRUE(failures.messages()[i].startsWith(QString::fromUtf8(testCase.sentences[i])))
          << failures.messages()[i].toStdString();
    }
  }
}

}  // namespace
}  // namespace tandrel
