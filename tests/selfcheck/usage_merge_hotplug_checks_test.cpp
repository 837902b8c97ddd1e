#include "selfcheck/checks/usage_merge_hotplug_checks.h"

#include "catalog/paths.h"
#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>

namespace tandrel {
namespace {

// The groups run as in a self-test run: in the test environment, whose stores load local usage
// inline and without throttles.
class UsageMergeAndHotplugChecks : public ::testing::Test {
 protected:
  UsageMergeAndHotplugChecks() : wasTestEnvironment_(isTestEnvironment()) { setTestEnvironment(true); }
  ~UsageMergeAndHotplugChecks() override { setTestEnvironment(wasTestEnvironment_); }

  test::TempHome home_;

 private:
  bool wasTestEnvironment_;
};

TEST_F(UsageMergeAndHotplugChecks, BothGroupsPassOnTheRealLoadersTwiceOverTheSameFolder) {
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    SelfCheckFailures failures;
    runClaudeBrandUsageMergeChecks(failures, home_.path());
    runLocalTranscriptAndHotplugChecks(failures, home_.path());
    EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  }
}

// A fixture that cannot be written is reported once with its name and the reason; the merge group
// goes on with its other fixture, the hot-plug group stops.
TEST_F(UsageMergeAndHotplugChecks, FixturesThatCannotBeWrittenAreReportedOnceEach) {
  const struct {
    const char* blocked;  // a folder where a bridge file goes, or a file where a data folder goes
    bool isFile;
    void (*run)(SelfCheckFailures&, const QString&);
    const char* sentence;
  } cases[] = {
      {"merged-claude-events.jsonl", false, runClaudeBrandUsageMergeChecks,
       "could not write merged Claude usage fixture: "},
      {"stale-blocked-claude-events.jsonl", false, runClaudeBrandUsageMergeChecks,
       "could not write stale blocked Claude usage fixture: "},
      {"mtime-claude-projects", true, runLocalTranscriptAndHotplugChecks,
       "could not write mtime-backed Claude usage fixture: "},
      {"hotplug-empty-events.jsonl", false, runLocalTranscriptAndHotplugChecks,
       "could not write Claude hotplug permission fixture: "},
      {"cursor-hotplug-projects", true, runLocalTranscriptAndHotplugChecks,
       "could not write Cursor hotplug completion fixture: "},
      {"trae-hotplug-logs", true, runLocalTranscriptAndHotplugChecks,
       "could not write Trae hotplug completion fixture: "},
      {"hotplug-codex-sessions", true, runLocalTranscriptAndHotplugChecks,
       "could not write Codex hotplug permission fixture: "},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.blocked);
    test::TempHome scratch;
    const QString blocked = scratch.file(QString::fromLatin1(testCase.blocked));
    ASSERT_TRUE(testCase.isFile ? test::writeFile(blocked, "a file where the folder goes") : QDir().mkpath(blocked));
    SelfCheckFailures failures;
    testCase.run(failures, scratch.path());
    ASSERT_EQ(failures.messages().size(), 1u) << test::listed(failures.messages());
    EXPECT_TRUE(failures.messages().front().startsWith(QString::fromLatin1(testCase.sentence)))
        << failures.messages().front().toStdString();
  }
}

}  // namespace
}  // namespace tandrel
