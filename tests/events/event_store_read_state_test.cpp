// Read, hidden and clearing state of the store: persistence, clearing a page or the whole inbox,
// the audit lines that clearing writes, the revision rules and wiping the history.

#include "events/event_store.h"
#include "event_store_test_support.h"

#include "platform/append_file.h"
#include "platform/user_defaults.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <functional>

namespace tandrel {
namespace {

using test::appendBytes;
using test::bridgeLine;

QSet<QString> storedSet(const QString& key) {
  const auto list = UserDefaults::standard().stringArray(key);
  return list ? QSet<QString>(list->cbegin(), list->cend()) : QSet<QString>();
}

// A set as a failure message can show it: its ids in order, or their number when there are many.
std::string described(const QSet<QString>& ids) {
  QStringList sorted(ids.cbegin(), ids.cend());
  sorted.sort();
  return (ids.size() > 8 ? QString::number(ids.size()) + QStringLiteral(" ids") : sorted.join(u',')).toStdString();
}

class EventStoreReadStateTest : public ::testing::Test, protected test::StoreFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(eventFile).absolutePath()));
    // Two cards: a permission request, and a task whose two completions fold into one card led by
    // the newer. A working update is no card.
    appendBytes(eventFile,
                bridgeLine(QStringLiteral("ask"),
                           {{"event_type", "permission_request"},
                            {"source", "claude_code"},
                            {"session_id", "s-1"},
                            {"title", "Run tests"},
                            {"project", "api"},
                            {"timestamp", "2027-01-15T07:00:00Z"},
                            {"action", QJsonObject{{"kind", "bash"}, {"decision_file", "/tmp/decision-ask.json"}}}}) +
                    bridgeLine(QStringLiteral("done-1"), {{"event_type", "task_completed"},
                                                          {"source", "codex"},
                                                          {"session_id", "s-2"},
                                                          {"title", "Finished"},
                                                          {"completion_snippet", "Refactored the parser"},
                                                          {"timestamp", "2027-01-15T07:10:00Z"}}) +
                    bridgeLine(QStringLiteral("done-2"), {{"event_type", "task_completed"},
                                                          {"source", "codex"},
                                                          {"session_id", "s-2"},
                                                          {"title", "Finished again"},
                                                          {"project", "web"},
                                                          {"completion_snippet", "Added the tests"},
                                                          {"timestamp", "2027-01-15T07:20:00Z"}}) +
                    bridgeLine(QStringLiteral("work"), {{"event_type", "task_started"},
                                                        {"source", "codex"},
                                                        {"session_id", "s-3"},
                                                        {"timestamp", "2027-01-15T07:30:00Z"}}));
  }

  QString auditFile() const { return home.file(QStringLiteral("data/Tandrel/audit.jsonl")); }

  std::unique_ptr<EventStore> loadedStore(bool testEnvironment = true) {
    auto store = make(options(testEnvironment));
    store->reload(true);
    return store;
  }

  static QStringList cardIDs(EventStore& store) {
    QStringList ids;
    for (const IslandMessage& message : store.allMessages()) {
      ids.push_back(message.event.id);
    }
    return ids;
  }

  const QSet<QString> allCardEvents{"ask", "done-1", "done-2"};
};

// Clearing a page marks every event of every card read; clearing all hides them. Either way the
// inbox is empty, one audit line per card is written, and outside the test environment the sets
// survive into a new store.
TEST_F(EventStoreReadStateTest, ClearPageMarksReadClearAllHidesAndBothPersistOutsideTheTestEnvironment) {
  struct Case {
    const char* name;
    bool clearAll;
    bool testEnvironment;
  };
  const Case cases[] = {
      {"clear page", false, false},
      {"clear all", true, false},
      {"clear page in the test environment", false, true},
      {"clear all in the test environment", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UserDefaults::standard().remove(EventStore::kHiddenEventIDsKey);
    UserDefaults::standard().remove(EventStore::kReadEventIDsKey);
    QFile::remove(auditFile());

    auto store = loadedStore(c.testEnvironment);
    ASSERT_EQ(cardIDs(*store), (QStringList{"ask", "done-2"}));
    const qint64 revision = store->revision();
    const int count =
        c.clearAll ? store->clearAll() : store->clear(store->allMessages(), QStringLiteral("clear_page"));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(store->revision(), revision + 1);
    EXPECT_TRUE(store->allMessages().empty());

    const QSet<QString>& marked = c.clearAll ? store->hiddenIDs() : store->readIDs();
    const QSet<QString>& untouched = c.clearAll ? store->readIDs() : store->hiddenIDs();
    EXPECT_EQ(marked, allCardEvents);
    EXPECT_TRUE(untouched.isEmpty());
    for (const QString& id : allCardEvents) {
      EXPECT_EQ(store->isReadForTests(id), !c.clearAll) << id.toStdString();
    }

    const QString role = c.clearAll ? QStringLiteral("clear_all") : QStringLiteral("clear_page");
    const std::vector<QJsonObject> lines = test::readJsonLines(auditFile());
    ASSERT_EQ(lines.size(), 2);
    // Cards in inbox order: the permission request first, then the completions led by the newer.
    EXPECT_EQ(lines[0], (QJsonObject{{"timestamp", "2027-01-15T08:00:00Z"},
                                     {"role", role},
                                     {"event_id", "ask"},
                                     {"source", "claude_code"},
                                     {"event_type", "permission_request"},
                                     {"title", "Run tests"},
                                     {"project", "api"}}));
    EXPECT_EQ(lines[1].value("event_id"), "done-2");
    EXPECT_EQ(lines[1].value("project"), "web");
    EXPECT_EQ(lines[1].value("collapsed_count"), 2);

    // Outside the test environment both sets are written (the untouched one as empty); inside it
    // nothing reaches the user defaults.
    EXPECT_EQ(UserDefaults::standard().contains(EventStore::kHiddenEventIDsKey), !c.testEnvironment);
    EXPECT_EQ(UserDefaults::standard().contains(EventStore::kReadEventIDsKey), !c.testEnvironment);
    auto next = loadedStore(false);
    if (c.testEnvironment) {
      EXPECT_TRUE(next->hiddenIDs().isEmpty() && next->readIDs().isEmpty());
      EXPECT_EQ(cardIDs(*next), (QStringList{"ask", "done-2"}));
    } else {
      EXPECT_EQ(storedSet(c.clearAll ? EventStore::kHiddenEventIDsKey : EventStore::kReadEventIDsKey), allCardEvents);
      EXPECT_EQ(c.clearAll ? next->hiddenIDs() : next->readIDs(), allCardEvents);
      EXPECT_TRUE(cardIDs(*next).isEmpty());
    }
  }
}

// Only a publish calls onChange; clearing and wiping change the revision quietly, and an empty
// clear changes nothing at all.
TEST_F(EventStoreReadStateTest, RevisionRules) {
  struct Case {
    const char* name;
    std::function<void(EventStore&)> act;
    qint64 revisionDelta;
    int onChangeDelta;
    int auditLines;
  };
  const Case cases[] = {
      {"clear an empty list", [](EventStore& s) { EXPECT_EQ(s.clear({}, QStringLiteral("clear_all")), 0); }, 0, 0, 0},
      {"clear one card",
       [](EventStore& s) { EXPECT_EQ(s.clear({s.allMessages().front()}, QStringLiteral("clear_page")), 1); }, 1, 0, 1},
      {"clear all of an empty inbox",
       [](EventStore& s) {
         s.clearAll();
         EXPECT_EQ(s.clearAll(), 0);
       },
       1, 0, 2},
      {"mark read and persist (a card action's first steps)",
       [](EventStore& s) {
         s.markRead(s.allMessages().front());
         s.persistRead();
       },
       0, 0, 0},
      {"publish", [this](EventStore& s) {
         appendBytes(eventFile, bridgeLine(QStringLiteral("late"), {{"event_type", "task_started"}}));
         s.reload(true);
       },
       1, 1, 0},
      // Last: it removes the bridge file.
      {"wipe the history", [](EventStore& s) { ASSERT_TRUE(s.clearHistory().ok()); }, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(auditFile());
    auto store = loadedStore();
    const int built = (store->ensureMessageCache(), store->messageCacheBuildCountForTests());
    const qint64 revision = store->revision();
    const int changes = this->changes;
    c.act(*store);
    EXPECT_EQ(store->revision(), revision + c.revisionDelta);
    EXPECT_EQ(this->changes, changes + c.onChangeDelta);
    EXPECT_EQ(test::readJsonLines(auditFile()).size(), c.auditLines);
    // A changed revision rebuilds the inbox on its next read, once.
    store->allMessages();
    store->allMessages();
    EXPECT_EQ(store->messageCacheBuildCountForTests(), built + (c.revisionDelta != 0 ? 1 : 0));
  }
}

// A read event stays out of the inbox, and so does the rest of its card; a newer event of the same
// task makes a card of its own.
TEST_F(EventStoreReadStateTest, AReadCardComesBackOnlyWithANewEvent) {
  auto store = loadedStore();
  const IslandMessage done = store->allMessages().back();
  ASSERT_EQ(done.events.size(), 2u);
  store->clear({done}, QStringLiteral("clear_page"));
  EXPECT_EQ(cardIDs(*store), QStringList{"ask"});

  appendBytes(eventFile, bridgeLine(QStringLiteral("done-3"), {{"event_type", "task_completed"},
                                                               {"source", "codex"},
                                                               {"session_id", "s-2"},
                                                               {"completion_snippet", "Shipped"},
                                                               {"timestamp", "2027-01-15T07:40:00Z"}}));
  store->reload(true);
  EXPECT_EQ(cardIDs(*store), (QStringList{"ask", "done-3"}));
  EXPECT_EQ(store->allMessages().back().events.size(), 1u);
}

TEST_F(EventStoreReadStateTest, ClearHistoryRemovesBothFilesAndEveryTrace) {
  UserDefaults::standard().set(EventStore::kHiddenEventIDsKey, QStringList{"old-hidden"});
  auto store = loadedStore(false);
  EXPECT_EQ(store->hiddenIDs(), QSet<QString>{"old-hidden"});
  store->clear({store->allMessages().front()}, QStringLiteral("clear_page"));
  ASSERT_TRUE(QFileInfo::exists(auditFile()));
  const qint64 revision = store->revision();
  ASSERT_TRUE(test::writeFile(store->rotatedBridgeFile(), bridgeLine(QStringLiteral("moved-aside"))));
  ASSERT_TRUE(test::writeFile(rotatedLogPath(auditFile()), "moved-aside\n"));

  ASSERT_TRUE(store->clearHistory().ok());
  EXPECT_FALSE(QFileInfo::exists(eventFile));
  EXPECT_FALSE(QFileInfo::exists(store->rotatedBridgeFile()));
  EXPECT_FALSE(QFileInfo::exists(auditFile()));
  EXPECT_FALSE(QFileInfo::exists(rotatedLogPath(auditFile())));
  EXPECT_TRUE(store->hiddenIDs().isEmpty());
  EXPECT_TRUE(store->readIDs().isEmpty());
  EXPECT_EQ(storedSet(EventStore::kHiddenEventIDsKey), QSet<QString>());
  EXPECT_EQ(storedSet(EventStore::kReadEventIDsKey), QSet<QString>());
  EXPECT_TRUE(store->events().empty());
  EXPECT_FALSE(store->lastEventFileSize().has_value());
  EXPECT_TRUE(store->cachedBridgeActiveTailEvents().empty());
  EXPECT_EQ(store->revision(), revision + 1);
  EXPECT_TRUE(store->allMessages().empty());

  // With neither file present it still succeeds; the same events written again all come back.
  ASSERT_TRUE(store->clearHistory().ok());
  SetUp();
  store->reload(true);
  EXPECT_EQ(cardIDs(*store), (QStringList{"ask", "done-2"}));
}

TEST_F(EventStoreReadStateTest, ClearHistoryStopsAtAFileItCannotRemove) {
  auto store = loadedStore();
  store->clear({store->allMessages().front()}, QStringLiteral("clear_page"));
  // A folder with something in it where the audit file should be cannot be removed as a file.
  QFile::remove(auditFile());
  ASSERT_TRUE(test::writeFile(auditFile() + QStringLiteral("/inside"), "x"));
  const qint64 revision = store->revision();
  const std::size_t events = store->events().size();

  const Result<void> result = store->clearHistory();
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().contains(auditFile())) << result.error().toStdString();
  // The bridge file went first; nothing else changed.
  EXPECT_FALSE(QFileInfo::exists(eventFile));
  EXPECT_EQ(store->readIDs(), QSet<QString>{"ask"});
  EXPECT_EQ(store->events().size(), events);
  EXPECT_EQ(store->revision(), revision);
}

// The audit line: base keys of the lead event, "collapsed_count" from 2 on, extra keys last and
// winning. A file that cannot be opened is left as it is and the clearing still happens.
TEST_F(EventStoreReadStateTest, AuditLines) {
  auto store = loadedStore();
  const TandrelEvent& ask = store->allMessages().front().event;
  struct Case {
    int collapsedCount;
    QJsonObject extra;
    QJsonValue expectedCount;
    QJsonValue expectedTitle;
  };
  const Case cases[] = {
      {1, {}, QJsonValue::Undefined, "Run tests"},
      {2, {}, 2, "Run tests"},
      {3, {{"title", "replaced"}, {"option_id", "a"}}, 3, "replaced"},
  };
  for (const Case& c : cases) {
    QFile::remove(auditFile());
    store->audit(QStringLiteral("mark_read"), ask, c.collapsedCount, c.extra);
    const std::vector<QJsonObject> lines = test::readJsonLines(auditFile());
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].value("role"), "mark_read");
    EXPECT_EQ(lines[0].value("collapsed_count"), c.expectedCount) << c.collapsedCount;
    EXPECT_EQ(lines[0].value("title"), c.expectedTitle) << c.collapsedCount;
    EXPECT_EQ(lines[0].value("option_id"), c.extra.value("option_id"));
  }
  EXPECT_TRUE(test::readFile(auditFile()).endsWith("\n"));

  QFile::remove(auditFile());
  ASSERT_TRUE(QFile::link(auditFile(), auditFile()));
  EXPECT_EQ(store->clearAll(), 2);
  EXPECT_TRUE(store->allMessages().empty());
  EXPECT_TRUE(QFileInfo(auditFile()).isSymLink());
}

// Past the bound a set keeps only what can still be seen: the events the bridge caches hold and
// hot-plug events (their files can come back into the scan). Up to the bound nothing is dropped.
// The launch's read and a later appended line both prune, and what is kept is persisted.
TEST_F(EventStoreReadStateTest, LargeReadAndHiddenSetsKeepOnlyEventsThatCanStillBeSeen) {
  const int bound = EventStore::kReadStateIDsBeforePruning;
  const QString hotplug = QStringLiteral("hotplug-codex-permission-call-1");
  const QStringList gone = test::numberedIDs(QStringLiteral("gone-"), 1, bound);
  struct Case {
    const char* name;
    QStringList stored;
    QSet<QString> keptAtLaunch;
  };
  const QStringList past = gone + QStringList{"ask", hotplug};
  const QStringList within = gone.mid(2) + QStringList{"ask", hotplug};
  const Case cases[] = {
      {"past the bound", past, {"ask", hotplug}},
      {"within the bound", within, QSet<QString>(within.cbegin(), within.cend())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const QString& key : {EventStore::kHiddenEventIDsKey, EventStore::kReadEventIDsKey}) {
      UserDefaults::standard().set(key, c.stored);
    }
    auto store = loadedStore(false);
    EXPECT_EQ(described(store->hiddenIDs()), described(c.keptAtLaunch));
    EXPECT_EQ(described(store->readIDs()), described(c.keptAtLaunch));
    EXPECT_EQ(described(storedSet(EventStore::kHiddenEventIDsKey)), described(c.keptAtLaunch));
    EXPECT_EQ(described(storedSet(EventStore::kReadEventIDsKey)), described(c.keptAtLaunch));
  }

  // While running: a set that grows past the bound is pruned by the next line read.
  auto store = loadedStore(false);
  IslandMessage many;
  for (const QString& id : gone) {
    many.events.push_back(test::event(id));
  }
  store->markRead(many);
  store->persistRead();
  ASSERT_GT(store->readIDs().size(), bound);
  appendBytes(eventFile, bridgeLine(QStringLiteral("late"), {{"event_type", "task_started"}}));
  store->reload(EventStore::BridgeCheck::changed);
  const QSet<QString> kept{"ask", hotplug};
  EXPECT_EQ(described(store->readIDs()), described(kept));
  EXPECT_EQ(described(storedSet(EventStore::kReadEventIDsKey)), described(kept));
}

// Past its size the log is moved aside before the next line (replacing an older part), so the two
// stay bounded; a line is never split between them.
TEST_F(EventStoreReadStateTest, TheAuditLogIsMovedAsideOnceItIsLarge) {
  auto store = loadedStore();
  const TandrelEvent& ask = store->allMessages().front().event;
  const QString moved = rotatedLogPath(auditFile());
  ASSERT_TRUE(test::writeFile(moved, "older part\n"));
  QFile::remove(auditFile());
  store->audit(QStringLiteral("mark_read"), ask, 1);
  const qint64 lineBytes = QFileInfo(auditFile()).size();
  // Sparse: 16 MiB on disk costs nothing.
  QFile log(auditFile());
  ASSERT_TRUE(log.resize(EventStore::kAuditRotateBytes - lineBytes));
  log.close();

  store->audit(QStringLiteral("mark_read"), ask, 1);  // reaches the size, still written here
  EXPECT_EQ(QFileInfo(auditFile()).size(), EventStore::kAuditRotateBytes);
  EXPECT_EQ(test::readFile(moved), "older part\n");
  store->audit(QStringLiteral("jump"), ask, 1);  // the next line begins a new log
  EXPECT_EQ(QFileInfo(moved).size(), EventStore::kAuditRotateBytes);
  const std::vector<QJsonObject> lines = test::readJsonLines(auditFile());
  ASSERT_EQ(lines.size(), 1);
  EXPECT_EQ(lines[0].value("role"), "jump");
}

}  // namespace
}  // namespace tandrel
