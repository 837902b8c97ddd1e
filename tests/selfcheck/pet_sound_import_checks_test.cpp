#include "selfcheck/checks/pet_sound_import_checks.h"

#include "catalog/paths.h"
#include "events/event_store.h"
#include "listed_failures.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/self_test_runner.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <optional>

namespace tandrel {
namespace {

std::optional<QByteArray> env(const char* name) {
  if (!qEnvironmentVariableIsSet(name)) return std::nullopt;
  return qgetenv(name);
}

class PetSoundImportChecksGui : public ::testing::Test {
 protected:
  PetSoundImportChecksGui() : testEnvironment_(isTestEnvironment()) {
    setTestEnvironment(true);
    home.setEnv("CODEX_HOME", QByteArray("/codex-home"));
    home.setEnv("TANDREL_TEST_CODEX_PETS_AUTHORIZED", std::nullopt);
  }
  ~PetSoundImportChecksGui() override { setTestEnvironment(testEnvironment_); }

  // The group inside the run's scope, as the run calls it.
  SelfCheckFailures run() {
    EventStore store(emptyCheckStoreOptions(home.path(), QStringLiteral("shared")));
    SelfCheckFailures failures;
    const ScopedRestore restore = codexPetsSettingsRestore();
    runPetAndSoundImportChecks(failures, store, home.file(QStringLiteral("run")));
    return failures;
  }

  test::TempHome home;

 private:
  bool testEnvironment_;
};

// The Codex home and its switch come back after the group; the home of pets and sounds stays in
// the run's folder for the rest of the run.
TEST_F(PetSoundImportChecksGui, TheGroupPassesOverItsFakeHomesAndPutsTheCodexHomeBack) {
  const SelfCheckFailures failures = run();
  EXPECT_TRUE(failures.messages().empty()) << test::listed(failures.messages());
  EXPECT_EQ(env("CODEX_HOME"), QByteArray("/codex-home"));
  EXPECT_EQ(env("TANDREL_TEST_CODEX_PETS_AUTHORIZED"), std::nullopt);
  EXPECT_EQ(tandrelHomeURL(), home.file(QStringLiteral("run/.tandrel")));
}

TEST_F(PetSoundImportChecksGui, AHomeThatCannotBeWrittenEndsTheGroupWithOneSentence) {
  ASSERT_TRUE(test::writeFile(home.file(QStringLiteral("run/.tandrel")), "a file where the home goes"));
  const SelfCheckFailures failures = run();
  ASSERT_EQ(failures.messages().size(), 1u) << test::listed(failures.messages());
  EXPECT_TRUE(failures.messages().front().startsWith(QStringLiteral("could not set up CLI pet/sound fixture: ")));
  EXPECT_EQ(env("CODEX_HOME"), QByteArray("/codex-home"));
}

}  // namespace
}  // namespace tandrel
