#pragma once

#include "events/event_store.h"
#include "platform/clock.h"
#include "platform/fake/fake_clock.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace tandrel::test {

// One bridge line as the hooks write it: a compact JSON object and a line break.
inline QByteArray bridgeLine(const QString& id, QJsonObject fields = {}) {
  fields.insert(QStringLiteral("event_id"), id);
  if (!fields.contains(QStringLiteral("event_type"))) {
    fields.insert(QStringLiteral("event_type"), QStringLiteral("task_updated"));
  }
  return QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
}

// A usage-only reading of `source` (which decides the snapshot's tool).
inline QByteArray usageLine(const QString& id, const QString& source, int tokens = 1000,
                            const QString& timestamp = QStringLiteral("2027-01-15T08:00:00Z")) {
  return bridgeLine(id, {{QStringLiteral("source"), source},
                         {QStringLiteral("notify_policy"), QStringLiteral("usage_only")},
                         {QStringLiteral("timestamp"), timestamp},
                         {QStringLiteral("usage"), QJsonObject{{QStringLiteral("total_tokens"), tokens}}}});
}

// Appends with one write on an O_APPEND descriptor, the way the hooks do.
inline void appendBytes(const QString& path, const QByteArray& bytes) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
  ::close(fd);
}

inline QStringList idsOf(const std::vector<TandrelEvent>& events) {
  QStringList ids;
  for (const auto& event : events) {
    ids.push_back(event.id);
  }
  return ids;
}

inline QStringList numberedIDs(const QString& prefix, int from, int to) {
  QStringList ids;
  for (int i = from; i <= to; ++i) {
    ids.push_back(prefix + QString::number(i));
  }
  return ids;
}

// A store over a bridge file in a temporary home, in the test environment, without data roots,
// on a fake clock; counts its change calls.
struct StoreFixture {
  TempHome home;
  FakeClock clock;
  QString eventFile = home.file(QStringLiteral("data/Tandrel/events.jsonl"));
  int changes = 0;

  EventStoreOptions options(bool testEnvironment = true) {
    EventStoreOptions o;
    o.testEnvironment = testEnvironment;
    o.eventFile = eventFile;
    o.auditFile = home.file(QStringLiteral("data/Tandrel/audit.jsonl"));
    o.codexSessionsRoot = std::nullopt;
    o.claudeProjectsRoot = std::nullopt;
    o.traeTrajectoryRoot = std::nullopt;
    o.cursorProjectsRoot = std::nullopt;
    o.traeLogsRoot = std::nullopt;
    o.clock = &clock;
    return o;
  }

  std::unique_ptr<EventStore> make(EventStoreOptions o) {
    auto store = std::make_unique<EventStore>(std::move(o));
    store->onChange = [this] { ++changes; };
    return store;
  }
  std::unique_ptr<EventStore> make() { return make(options()); }
};

}  // namespace tandrel::test
