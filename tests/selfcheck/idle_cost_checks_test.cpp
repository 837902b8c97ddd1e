#include "selfcheck/checks/idle_cost_checks.h"

#include "app/overlay_controller.h"
#include "catalog/paths.h"
#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFileInfo>

namespace tandrel {
namespace {

// The offscreen platform has a screen, so the checks that need a placed panel all run: none is
// reported as not available. The visibility override and the application's data folder (where the
// Pets settings open leaves its diagnostic) come back.
TEST(IdleCostChecksGui, TheGroupPassesOnTheRealComponentsAndPutsItsSwitchesBack) {
  test::TempHome home;
  const bool testEnvironment = isTestEnvironment();
  setTestEnvironment(true);
  const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
  SelfCheckFailures failures;
  runPetOverlayRuntimeAndIdleCostChecks(failures, home.file(QStringLiteral("run")));
  setTestEnvironment(testEnvironment);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_TRUE(failures.unavailable().empty()) << test::listed(failures.unavailable());
  EXPECT_FALSE(OverlayController::runtimeVisibilityPredicateOverrideForTests);
  EXPECT_EQ(qgetenv("XDG_DATA_HOME"), dataHome);
  EXPECT_FALSE(QFileInfo::exists(appSupportDirectory())) << "the diagnostic went to the run's folder";
}

}  // namespace
}  // namespace tandrel
