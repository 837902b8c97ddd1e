#include "selfcheck/checks/collapsed_capsule_checks.h"
#include "selfcheck/checks/expanded_island_checks.h"
#include "selfcheck/checks/rendered_island_checks.h"

#include "base_event_store.h"
#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>

namespace tandrel {
namespace {

using test::baseEventStore;

// Each island group over the run's base events in a home of its own: no sentence fails, and every
// file a group wrote lies in the run's folder.
class IslandChecksGui : public ::testing::Test {
 protected:
  QStringList runFolderEntries() const {
    return QDir(home.file(QStringLiteral("run"))).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
  }

  test::TempHome home;
  std::unique_ptr<EventStore> store = baseEventStore(home);
  SelfCheckFailures failures;
};

TEST_F(IslandChecksGui, CollapsedCapsuleGeometryAndDrawing) {
  runCollapsedCapsuleChecks(failures, *store);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST_F(IslandChecksGui, ExternalCollapsedLayoutAndItsResetSlot) {
  runExternalCollapsedLayoutChecks(failures, home.file(QStringLiteral("run")));
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_TRUE(runFolderEntries().contains(QStringLiteral("collapsed-reset-align-events.jsonl")));
  EXPECT_TRUE(runFolderEntries().contains(QStringLiteral("collapsed-reset-tone-events.jsonl")));
}

TEST_F(IslandChecksGui, CollapsedStatusPlacement) {
  runCollapsedStatusPlacementChecks(failures);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST_F(IslandChecksGui, ExpandedClicksAndTheOpenChoiceCard) {
  runExpandedClickAndChoiceChecks(failures, home.file(QStringLiteral("run")));
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  // The confirmed approval and the clicked Authorize answered their own decision files.
  EXPECT_TRUE(test::readFile(home.file(QStringLiteral("run/approval-confirm-decision.json"))).contains("allow"));
  EXPECT_TRUE(test::readFile(home.file(QStringLiteral("run/expanded-action-approve.json"))).contains("allow"));
}

TEST_F(IslandChecksGui, ExpandedIslandLayout) {
  runExpandedIslandLayoutChecks(failures, *store);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST_F(IslandChecksGui, HoverRegionAndStatusRow) {
  runHoverRegionAndStatusRowChecks(failures);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST_F(IslandChecksGui, ExpandedTopRowAndItsClicks) {
  runExpandedTopRowChecks(failures, *store);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST_F(IslandChecksGui, RenderedExpandedIslandOverTheFixtureRecords) {
  const QString eventFile = home.file(QStringLiteral("run/visual-events.jsonl"));
  runRenderedExpandedIslandChecks(failures, eventFile);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_EQ(test::readJsonLines(eventFile).size(), fixtureRecords().size());
}

}  // namespace
}  // namespace tandrel
