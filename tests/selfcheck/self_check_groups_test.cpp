#include "selfcheck/checks/bridge_script_checks.h"
#include "selfcheck/checks/runtime_catalog_checks.h"
#include "selfcheck/checks/tool_health_checks.h"
#include "selfcheck/checks/usage_date_checks.h"

#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(UsageDateChecks, PassOnTheRealParserAndMessageModel) {
  SelfCheckFailures failures;
  runUsageDateAndChoiceMessageChecks(failures);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST(RuntimeIntervalAndCatalogueChecks, PassOnTheRealTuningAndCatalogue) {
  test::TempHome home;  // no desktop entries of this machine's applications
  SelfCheckFailures failures;
  runRuntimeIntervalAndCatalogueChecks(failures);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_EQ(failures.unavailable(), std::vector<QString>{"a wake-up tolerance for the live preview's frame timer"});
}

TEST(BridgeScriptCurrentnessChecks, PassAndReportAFixtureThatCannotBeWrittenOnce) {
  test::TempHome home;
  SelfCheckFailures failures;
  runBridgeScriptCurrentnessChecks(failures, home.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  // A second run starts from fresh files.
  runBridgeScriptCurrentnessChecks(failures, home.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());

  test::TempHome blocked;
  ASSERT_TRUE(test::writeFile(blocked.file("bridge-currentness"), "a file where the folder goes"));
  SelfCheckFailures blockedFailures;
  runBridgeScriptCurrentnessChecks(blockedFailures, blocked.path());
  ASSERT_EQ(blockedFailures.messages().size(), 1u) << test::listed(blockedFailures.messages());
  EXPECT_TRUE(blockedFailures.messages()[0].startsWith("could not write bridge freshness fixtures: "));
}

TEST(ToolHealthChecks, PassOnTheRealHookManagerOverAScratchHome) {
  test::TempHome home;
  SelfCheckFailures failures;
  runContextUsageToolHealthAndPreviewChecks(failures, home.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

}  // namespace
}  // namespace tandrel
