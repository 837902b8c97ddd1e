#include "selfcheck/checks/message_cache_checks.h"

#include "catalog/paths.h"
#include "listed_failures.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(MessageCacheChecksGui, PassOnTheRealStoreAndViewAndPutTheHomeBack) {
  test::TempHome home;
  const QByteArray ownHome = qgetenv("TANDREL_HOME");
  SelfCheckFailures failures;
  runMessageCacheAndReloadThrottleChecks(failures, home.path());
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_EQ(qgetenv("TANDREL_HOME"), ownHome);
}

TEST(MessageCacheChecksGui, FixturesThatCannotBeWrittenAreReportedOnceEach) {
  const struct {
    const char* blocked;  // a folder where a fixture file goes, or a file where its folder goes
    bool folder;
    const char* sentence;
  } cases[] = {
      {"message-cache-events.jsonl", true, "could not write message cache fixture: "},
      {"bridge-hot-loop-events.jsonl", true, "could not write bridge reload hot-loop fixture: "},
      {"disk-refresh-hot-loop", false, "could not write disk refresh hot-loop fixture: "},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.blocked);
    test::TempHome home;
    const QString inTheWay = home.file(testCase.blocked);
    ASSERT_TRUE(testCase.folder ? test::writeFile(inTheWay + "/inside", "in the way") : test::writeFile(inTheWay, "in the way"));
    SelfCheckFailures failures;
    runMessageCacheAndReloadThrottleChecks(failures, home.path());
    ASSERT_EQ(failures.messages().size(), 1u) << test::listed(failures.messages());
    EXPECT_TRUE(failures.messages()[0].startsWith(QString::fromUtf8(testCase.sentence)))
        << failures.messages()[0].toStdString();
  }
}

}  // namespace
}  // namespace tandrel
