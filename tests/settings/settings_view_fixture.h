#pragma once

#include "events/event_store.h"
#include "island/tandrel_view.h"
#include "platform/fake/fake_clock.h"
#include "platform/user_defaults.h"
#include "support/temp_home.h"
#include "ui/settings_model.h"

#include <gtest/gtest.h>

#include <memory>

namespace tandrel::test {

// A temporary home with its own defaults file, the settings model over it, an empty store and a
// fake clock; views made with `makeView` share that model, as the controller's views do.
class SettingsViewFixture : public ::testing::Test {
 protected:
  SettingsViewFixture() {
    home.setEnv("TANDREL_SETTINGS_TAB", std::nullopt);
    home.setEnv("TANDREL_LOCK_EXPANDED", std::nullopt);
    EventStoreOptions options;
    options.eventFile = home.file(QStringLiteral("events.jsonl"));
    options.testEnvironment = true;
    store = std::make_unique<EventStore>(options);
  }

  std::unique_ptr<TandrelView> makeView(QSize size) {
    return std::make_unique<TandrelView>(size, *store, settings, clock);
  }

  TempHome home;
  UserDefaults defaults{home.file(QStringLiteral("defaults.json"))};
  SettingsModel settings{defaults};
  FakeClock clock;
  std::unique_ptr<EventStore> store;
};

}  // namespace tandrel::test
