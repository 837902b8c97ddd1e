#include "selfcheck/checks/collapsed_ticker_checks.h"
#include "selfcheck/checks/usage_display_checks.h"

#include "catalog/paths.h"
#include "events/event_store.h"
#include "listed_failures.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/self_test_runner.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace tandrel {
namespace {

// The groups run as in a self-test run: in the test environment, over a store of the run's base
// events (or of none) in the home's "run" folder.
class UsageDisplayChecks : public ::testing::Test {
 protected:
  UsageDisplayChecks() : wasTestEnvironment_(isTestEnvironment()) { setTestEnvironment(true); }
  ~UsageDisplayChecks() override { setTestEnvironment(wasTestEnvironment_); }

  QString runFolder() const { return home_.file(QStringLiteral("run")); }

  std::unique_ptr<EventStore> store(bool withBaseEvents) {
    EventStoreOptions options;
    options.eventFile = QDir(runFolder()).filePath(QStringLiteral("events.jsonl"));
    options.auditFile = QDir(runFolder()).filePath(QStringLiteral("audit.jsonl"));
    const std::vector<QJsonObject> events =
        withBaseEvents ? baseEvents(QDir(runFolder()).filePath(QStringLiteral("decision.json")))
                       : std::vector<QJsonObject>{};
    EXPECT_TRUE(writeJSONLines(events, options.eventFile));
    auto made = std::make_unique<EventStore>(options);
    made->reload(false);
    return made;
  }

  test::TempHome home_;

 private:
  bool wasTestEnvironment_;
};

TEST_F(UsageDisplayChecks, TheUsageGroupsOfTheDecisionsRowPassOnTheBaseEvents) {
  const std::unique_ptr<EventStore> base = store(true);
  SelfCheckFailures failures;
  runUsageSnapshotAndCarouselChecks(failures, *base);
  runUsageTabAndCollapsedTickerChecks(failures, *base, runFolder());
  runNotchStatusAndUsageRotationChecks(failures, *base, runFolder());
  runUsageEligibilityChecks(failures, runFolder());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  // The groups' own bridge files lie in the run's folder.
  for (const char* written : {"collapsed-unified-ticker-events.jsonl", "macbook-collapsed-carousel-events.jsonl",
                              "stale-events.jsonl", "cold-start-usage-history-events.jsonl"}) {
    EXPECT_TRUE(QFileInfo::exists(QDir(runFolder()).filePath(QString::fromLatin1(written)))) << written;
  }
}

// Without usage in the shared store, a missing snapshot is reported once instead of the checks that
// read it, the carousel checks that need usage fail, and the two rotation checks say what they lack.
TEST_F(UsageDisplayChecks, AStoreWithoutUsageFailsExactlyTheChecksThatNeedIt) {
  const std::unique_ptr<EventStore> empty = store(false);
  const struct {
    const char* group;
    void (*run)(SelfCheckFailures&, EventStore&, const QString&);
    std::vector<QString> sentences;
  } cases[] = {
      {"snapshots and carousel",
       [](SelfCheckFailures& failures, EventStore& store, const QString&) {
         runUsageSnapshotAndCarouselChecks(failures, store);
       },
       {"usage snapshot missing", "Kilo Code usage snapshot missing",
        "Codex brand should enter usage carousel when Codex CLI is enabled, healthy, and backed by rollout usage",
        "explicit wrapper usage should enter usage carousel"}},
      {"tabs and ticker",
       runUsageTabAndCollapsedTickerChecks,
       {"usage carousel needs two eligible tools for click pinning test"}},
      {"notch and rotation",
       runNotchStatusAndUsageRotationChecks,
       {"collapsed usage ticker should show usage reset as a Resets accessory",
        "usage carousel needs two eligible tools for collapsed auto-rotation test"}},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.group);
    SelfCheckFailures failures;
    testCase.run(failures, *empty, runFolder());
    EXPECT_EQ(test::listed(failures.messages()), test::listed(testCase.sentences));
  }
}

// A bridge file that cannot be written is reported with its sentence, and only the checks that
// read it fail or are skipped.
TEST_F(UsageDisplayChecks, FixturesThatCannotBeWrittenAreReported) {
  const std::unique_ptr<EventStore> base = store(true);
  const struct {
    const char* blocked;  // a folder where the bridge file goes
    void (*run)(SelfCheckFailures&, EventStore&, const QString&);
    std::vector<QString> sentences;  // the failures begin with these
  } cases[] = {
      {"stale-events.jsonl",
       [](SelfCheckFailures& failures, EventStore&, const QString& folder) {
         runUsageEligibilityChecks(failures, folder);
       },
       {"could not write stale usage fixture"}},
      {"cold-start-usage-history-events.jsonl",
       [](SelfCheckFailures& failures, EventStore&, const QString& folder) {
         runUsageEligibilityChecks(failures, folder);
       },
       {"could not write cold-start usage history fixture: "}},
      {"macbook-collapsed-carousel-events.jsonl",
       runNotchStatusAndUsageRotationChecks,
       {"macbook collapsed carousel fixture should be writable",
        "macbook notch status should consume the collapsed message carousel"}},
      {"collapsed-unified-ticker-events.jsonl",
       runUsageTabAndCollapsedTickerChecks,
       {"collapsed unified ticker fixture should be writable",
        "collapsed capsule should build one unified approval/completion/usage ticker queue",
        "collapsed approval ticker should use the approved Need approve copy",
        "collapsed completion ticker should show explicit AI message snippets",
        "collapsed usage ticker should stay in the same unified queue with full used/left labels",
        "collapsed unified ticker should rotate across item kinds"}},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.blocked);
    test::TempHome scratch;
    ASSERT_TRUE(QDir().mkpath(scratch.file(QString::fromLatin1(testCase.blocked))));
    SelfCheckFailures failures;
    testCase.run(failures, *base, scratch.path());
    ASSERT_EQ(failures.messages().size(), testCase.sentences.size()) << test::listed(failures.messages());
    for (std::size_t i = 0; i < testCase.sentences.size(); ++i) {
      EXPECT_TRUE(failures.messages()[i].startsWith(testCase.sentences[i])) << failures.messages()[i].toStdString();
    }
  }
}

}  // namespace
}  // namespace tandrel
