#include "selfcheck/ai_tools_checks.h"

#include "ai_tools/ai_tools_tab.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(AIToolsChecksGui, BothChecksPassAndLeaveTheSwitchesReset) {
  test::TempHome home;
  EXPECT_TRUE(aiToolsJumpActionClosesSettingsFunctionalTest(home.path()));
  EXPECT_TRUE(aiToolsRepairSuccessClearsRepairActionFunctionalTest(home.path()));
  EXPECT_FALSE(AIToolsTab::externalURLOpenerForTests);
  EXPECT_FALSE(AIToolsTab::hookInstallerForTests);
  EXPECT_FALSE(AIToolsTab::repairConfirmationForTests);
  EXPECT_FALSE(AIToolsTab::toolHealthProviderForTests);
}

}  // namespace
}  // namespace tandrel
