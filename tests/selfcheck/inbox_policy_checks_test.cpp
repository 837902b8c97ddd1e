#include "selfcheck/checks/companion_status_checks.h"
#include "selfcheck/checks/decision_action_checks.h"
#include "selfcheck/checks/event_policy_checks.h"
#include "selfcheck/checks/message_module_checks.h"

#include "base_event_store.h"
#include "events/event_store.h"
#include "listed_failures.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/self_test_runner.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>

#include <memory>

namespace tandrel {
namespace {

using test::baseEventStore;

TEST(InboxPolicyChecks, EventPolicyAndCompanionStatusGroupsPassOnTheProduct) {
  SelfCheckFailures failures;
  runEventPolicyChecks(failures);
  runCompanionStatusChecks(failures);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

TEST(InboxPolicyChecks, DecisionActionsAnswerTheDecisionFileAndRefuseTheCommand) {
  test::TempHome home;
  auto store = baseEventStore(home);
  SelfCheckFailures failures;
  runDecisionActionChecks(failures, *store);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_TRUE(test::readFile(home.file(QStringLiteral("run/decision.json"))).contains("\"decision\":\"allow\""));
  // Both answers were audited in the store's own audit file.
  QStringList audited;
  for (const QJsonObject& line : test::readJsonLines(home.file(QStringLiteral("run/audit.jsonl")))) {
    audited << line.value(QStringLiteral("event_id")).toString();
  }
  EXPECT_EQ(audited, QStringList({"decision-file", "decision-fail"}));
}

TEST(InboxPolicyChecks, MessageModuleGroupPassesOnTheBaseEvents) {
  test::TempHome home;
  auto store = baseEventStore(home);
  SelfCheckFailures failures;
  runMessageModuleChecks(failures, *store);
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
}

// Over an empty inbox each group says what it could not find, once, and skips what needs it.
TEST(InboxPolicyChecks, GroupsOverAnEmptyInboxReportTheMissingCards) {
  test::TempHome home;
  const QString eventFile = home.file(QStringLiteral("empty/events.jsonl"));
  ASSERT_TRUE(writeJSONLines({}, eventFile));
  EventStoreOptions options;
  options.eventFile = eventFile;
  options.auditFile = home.file(QStringLiteral("empty/audit.jsonl"));
  EventStore store(options);
  store.reload(false);

  SelfCheckFailures decisions;
  runDecisionActionChecks(decisions, store);
  EXPECT_EQ(decisions.messages(),
            (std::vector<QString>{"event store should load fixture messages", "jump-only message missing",
                                  "decision-file message missing", "decision-fail message missing"}));
  SelfCheckFailures modules;
  runMessageModuleChecks(modules, store);
  EXPECT_EQ(modules.messages(),
            (std::vector<QString>{"Pi events should enter the message module", "Cline events should enter the message module",
                                  "Roo Code events should enter the message module",
                                  "dynamic lifecycle task message missing"}));
  EXPECT_FALSE(QFile::exists(options.auditFile)) << "nothing was performed";
}

}  // namespace
}  // namespace tandrel
