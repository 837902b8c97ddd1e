#include "selfcheck/functional/inbox_functional_tests.h"
#include "selfcheck/functional/message_action_functional_tests.h"
#include "selfcheck/functional/message_functional_tests.h"

#include "catalog/paths.h"
#include "events/event_store.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <functional>

namespace tandrel {
namespace {

// As in a self-test run: the test environment, where read and hidden cards are not persisted.
class MessageFunctionalTests : public ::testing::Test {
 protected:
  void SetUp() override { setTestEnvironment(true); }
  void TearDown() override { setTestEnvironment(previous_); }

 private:
  bool previous_ = isTestEnvironment();
};

TEST_F(MessageFunctionalTests, EachPassesOnTheProductInOneScratchFolder) {
  test::TempHome home;
  const QString tempRoot = home.file(QStringLiteral("run"));
  ASSERT_TRUE(QDir().mkpath(tempRoot));
  const struct {
    const char* name;
    std::function<bool()> run;
  } tests[] = {
      {"message event parsing", [] { return messageEventParsingFunctionalTest(); }},
      {"pet state runtime mapping", [&] { return messagePetStateRuntimeMappingFunctionalTest(tempRoot); }},
      {"message normalizer", [] { return messageNormalizerFunctionalTest(); }},
      {"companion candidate cache", [&] { return companionCandidateCacheFunctionalTest(tempRoot); }},
      {"message action dispatcher", [&] { return messageActionDispatcherFunctionalTest(tempRoot); }},
      {"store choice message", [&] { return eventStoreChoiceMessageFunctionalTest(tempRoot); }},
      {"store choice dispatch", [&] { return eventStoreChoiceDispatchFunctionalTest(tempRoot); }},
      {"response receipt ingestion", [&] { return responseReceiptIngestionFunctionalTest(tempRoot); }},
      {"read and ignore state", [&] { return eventStoreReadIgnoreStateFunctionalTest(tempRoot); }},
      {"reminder admission", [&] { return eventStoreMessageReminderAdmissionFunctionalTest(tempRoot); }},
  };
  for (const auto& test : tests) {
    EXPECT_TRUE(test.run()) << test.name;
  }
  // Run twice over what the first run left: each starts from its own fixtures again.
  for (const auto& test : tests) {
    EXPECT_TRUE(test.run()) << test.name << " (again)";
  }
  EXPECT_FALSE(QFileInfo::exists(QDir(tempRoot).filePath(QStringLiteral("command-response-ran"))));
}

}  // namespace
}  // namespace tandrel
