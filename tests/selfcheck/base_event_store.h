#pragma once

#include "events/event_store.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/self_test_runner.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>

#include <memory>

namespace tandrel::test {

// A store over the run's base events in the home's "run" folder, its audit beside them.
inline std::unique_ptr<EventStore> baseEventStore(const TempHome& home) {
  const QString folder = home.file(QStringLiteral("run"));
  EventStoreOptions options;
  options.eventFile = QDir(folder).filePath(QStringLiteral("events.jsonl"));
  options.auditFile = QDir(folder).filePath(QStringLiteral("audit.jsonl"));
  EXPECT_TRUE(writeJSONLines(baseEvents(QDir(folder).filePath(QStringLiteral("decision.json"))), options.eventFile));
  auto store = std::make_unique<EventStore>(options);
  store->reload(false);
  return store;
}

}  // namespace tandrel::test
