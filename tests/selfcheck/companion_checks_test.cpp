#include "selfcheck/checks/companion_geometry_checks.h"
#include "selfcheck/checks/companion_label_checks.h"
#include "selfcheck/checks/companion_route_checks.h"
#include "selfcheck/checks/live_preview_checks.h"
#include "selfcheck/checks/pet_sync_checks.h"

#include "events/event_store.h"
#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(SelfCheckFailures, KeepsEveryFailedSentenceInTheOrderTheChecksRan) {
  SelfCheckFailures failures;
  failures.check(false, QStringLiteral("first"));
  failures.check(true, QStringLiteral("passed"));
  failures.check(false, QStringLiteral("second"));
  failures.check(false, QStringLiteral("first"));
  EXPECT_EQ(failures.messages(), (std::vector<QString>{"first", "second", "first"}));
}

TEST(CompanionChecksGui, TheCompanionAndLivePreviewGroupsPassOnTheRealComponents) {
  test::TempHome home;
  EventStore store;
  SelfCheckFailures failures;
  runPetSyncAndCompanionChecks(failures, store, home.path());
  runCompanionRouteChecks(failures);
  runCompanionGeometryChecks(failures, home.path());
  runCompanionLabelChecks(failures, store, home.path());
  runLivePreviewAndPetStateChecks(failures, store, home.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

}  // namespace
}  // namespace tandrel
