#pragma once

#include "events/event_store.h"
#include "platform/dispatch.h"
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

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
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

// The event of one bridge record with the given fields and identifier.
inline TandrelEvent event(const QString& id, QJsonObject fields = {}) {
  fields.insert(QStringLiteral("event_id"), id);
  auto parsed = TandrelEvent::fromDictionary(fields);
  EXPECT_TRUE(parsed.has_value());
  return parsed.value_or(TandrelEvent{});
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

// Loaders whose results the test sets, counting their runs, the thread they ran on and the
// scanner-cache clears the store asks for. While `holdUsage` is set, the usage loader waits before
// it returns.
struct FakeLoaders {
  std::vector<TandrelEvent> usage;
  std::vector<TandrelEvent> hotplug;
  std::atomic<int> usageRuns{0};
  std::atomic<int> hotplugRuns{0};
  std::atomic<bool> holdUsage{false};
  QString usageThread;
  QString hotplugThread;
  std::optional<QString> usageClaudeRoot;  // the Claude projects root the usage loader was given
  int discoveryClears = 0;
  int fileEventClears = 0;
  std::mutex mutex;

  void install(EventStoreOptions& options) {
    options.localUsageLoader = [this](const auto&, const std::optional<QString>& claude, const auto&) {
      ++usageRuns;
      while (holdUsage) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      std::lock_guard lock(mutex);
      usageThread = SerialQueue::currentLabel();
      usageClaudeRoot = claude;
      return usage;
    };
    options.localHotplugLoader = [this](const auto&, const auto&, const auto&, const auto&) {
      ++hotplugRuns;
      std::lock_guard lock(mutex);
      hotplugThread = SerialQueue::currentLabel();
      return hotplug;
    };
    options.clearDiscoveryCache = [this] { ++discoveryClears; };
    options.clearFileEventCache = [this] { ++fileEventClears; };
  }
};

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
