#include "pets/island_pet_state.h"

#include <gtest/gtest.h>

#include "events/event_store.h"
#include "pets/pet_test_files.h"
#include "support/temp_home.h"

namespace tandrel {
namespace {

class IslandPetStateTest : public ::testing::Test {
 protected:
  IslandPetStateTest() {
    EventStoreOptions options;
    options.eventFile = home.file("events.jsonl");
    options.testEnvironment = true;
    store = std::make_unique<EventStore>(options);
  }
  // A working Claude Code event and, newer, a failed Codex task.
  void writeEvents() {
    ASSERT_TRUE(test::writeFile(home.file("events.jsonl"), test::workingAndFailedEventLines()));
    store->reload(false);
  }
  test::TempHome home;
  std::unique_ptr<EventStore> store;
};

TEST_F(IslandPetStateTest, EventsOfDisabledToolsDoNotMoveThePet) {
  writeEvents();
  EXPECT_EQ(resolveIslandPetState(*store, {}, {}, false), PetState::error);
  EXPECT_EQ(resolveIslandPetState(*store, {"codex-cli"}, {}, false), PetState::working);
  EXPECT_EQ(resolveIslandPetState(*store, {"codex-cli", "claude-code"}, {}, false), PetState::idle);
  EXPECT_EQ(resolveIslandPetState(*store, {"codex-cli", "claude-code"}, {}, true), PetState::approval);
}

TEST_F(IslandPetStateTest, TheStateIsComputedOnlyWhenOneOfTheFiveKeysChanges) {
  writeEvents();
  IslandPetStateCache cache;
  IslandPetStateKeys keys{store->revision(), {}, "health", true, false};
  QSet<QString> disabled;
  const auto resolve = [&] { return resolveIslandPetState(*store, disabled, {}, keys.hasPendingApprovals); };
  EXPECT_EQ(cache.state(keys, resolve), PetState::error);
  EXPECT_EQ(cache.state(keys, resolve), PetState::error);
  EXPECT_EQ(cache.resolveCountForTests, 1);

  const std::vector<std::function<void(IslandPetStateKeys&)>> changes = {
      [](IslandPetStateKeys& k) { ++k.storeRevision; },
      [&](IslandPetStateKeys& k) { k.disabledToolIDs = disabled = {"codex-cli"}; },
      [](IslandPetStateKeys& k) { k.healthSignature = "other"; },
      [](IslandPetStateKeys& k) { k.wrapperReady = false; },
      [](IslandPetStateKeys& k) { k.hasPendingApprovals = true; },
  };
  int expected = 1;
  for (const auto& change : changes) {
    change(keys);
    cache.state(keys, resolve);
    cache.state(keys, resolve);
    EXPECT_EQ(cache.resolveCountForTests, ++expected);
  }
  EXPECT_EQ(cache.state(keys, resolve), PetState::approval);
  cache.invalidate();
  cache.state(keys, resolve);
  EXPECT_EQ(cache.resolveCountForTests, expected + 1);
}

}  // namespace
}  // namespace tandrel
