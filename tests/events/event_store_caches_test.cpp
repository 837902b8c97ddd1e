// The store's derived caches: the inbox and the companion candidates are built once per revision
// and never on repeated reads; the status item, the ticker and the pet state read the one
// candidate list; the pet state asks the shared pending-action store whether a socket request waits.

#include "events/event_store.h"
#include "event_store_test_support.h"

#include "requests/pending_action_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace tandrel {
namespace {

using test::appendBytes;
using test::bridgeLine;
using test::idsOf;

QByteArray permissionLine(const QString& id) {
  return bridgeLine(id, {{"event_type", "permission_request"},
                         {"source", "claude_code"},
                         {"session_id", "s-" + id},
                         {"timestamp", "2027-01-15T07:00:00Z"},
                         {"action", QJsonObject{{"decision_file", "/tmp/" + id + ".json"}}}});
}

QByteArray completionLine(const QString& id, const QString& timestamp = QStringLiteral("2027-01-15T07:10:00Z")) {
  return bridgeLine(id, {{"event_type", "task_completed"},
                         {"source", "codex"},
                         {"session_id", "s-" + id},
                         {"completion_snippet", "Done " + id},
                         {"timestamp", timestamp}});
}

QByteArray workingLine(const QString& id, const QString& timestamp = QStringLiteral("2027-01-15T07:20:00Z")) {
  return bridgeLine(id, {{"event_type", "task_started"}, {"source", "codex"}, {"timestamp", timestamp}});
}

class EventStoreCachesTest : public ::testing::Test, protected test::StoreFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(eventFile).absolutePath()));
    EventStore::companionCandidateCacheBuildCountForTests = 0;
  }

  // Clears the events of `ids` from the inbox, as the user does page by page.
  static void markRead(EventStore& store, const QStringList& ids) {
    if (ids.isEmpty()) return;
    IslandMessage message;
    for (const TandrelEvent& event : store.events()) {
      if (ids.contains(event.id)) message.events.push_back(event);
    }
    store.clear({message}, QStringLiteral("clear_page"));
  }

  std::unique_ptr<EventStore> storeWith(const QByteArray& lines) {
    appendBytes(eventFile, lines);
    auto store = make();
    store->reload(true);
    return store;
  }
};

TEST_F(EventStoreCachesTest, MessageCacheIsBuiltOncePerRevisionAndOnlyWhenRead) {
  auto store = storeWith(permissionLine("ask") + completionLine("done") + workingLine("work"));
  ASSERT_EQ(store->revision(), 1);
  EXPECT_EQ(store->messageCacheRevision(), -1) << "a publish builds nothing";
  EXPECT_EQ(store->messageCacheBuildCountForTests(), 0);

  for (int i = 0; i < 3; ++i) {
    store->ensureMessageCache();
    EXPECT_EQ(store->allMessages().size(), 2u);
  }
  EXPECT_EQ(store->messageCacheBuildCountForTests(), 1);
  EXPECT_EQ(store->messageCacheRevision(), 1);
  EXPECT_EQ(idsOf(store->cachedSortedActiveEvents()), (QStringList{"ask", "done"}));
  EXPECT_EQ(store->cachedGroupedActiveEvents().size(), 2u);
  EXPECT_EQ(store->cachedApprovalCount(), 1);
  ASSERT_TRUE(store->cachedLatestEvent().has_value());
  EXPECT_EQ(store->cachedLatestEvent()->id, "work") << "the newest of all events, card or not";

  appendBytes(eventFile, permissionLine("ask-2"));
  store->reload(true);
  EXPECT_EQ(store->messageCacheBuildCountForTests(), 1);
  EXPECT_EQ(store->allMessages().size(), 3u);
  EXPECT_EQ(store->cachedApprovalCount(), 2);
  store->allMessages();
  EXPECT_EQ(store->messageCacheBuildCountForTests(), 2);

  // An empty store builds an empty inbox.
  auto empty = make();
  EXPECT_TRUE(empty->allMessages().empty());
  EXPECT_EQ(empty->cachedApprovalCount(), 0);
  EXPECT_FALSE(empty->cachedLatestEvent().has_value());
  EXPECT_EQ(empty->messageCacheRevision(), 0);
}

// After a reload, reading the candidates twice, then the pet state, the ticker and the status item
// builds the list exactly once; a read or hidden change builds it again, without the cleared
// events.
TEST_F(EventStoreCachesTest, CandidateCacheIsBuiltOncePerRevision) {
  auto store = storeWith(permissionLine("ask") + completionLine("done") + workingLine("work"));
  EXPECT_EQ(EventStore::companionCandidateCacheBuildCountForTests, 0) << "reload fills no candidate list";

  store->ensureCompanionCandidateCache();
  store->ensureCompanionCandidateCache();
  EXPECT_EQ(store->petState(), PetState::approval);
  ASSERT_EQ(store->companionTickerItems().size(), 3u);
  ASSERT_TRUE(store->companionStatus().has_value());
  EXPECT_EQ(EventStore::companionCandidateCacheBuildCountForTests, 1);
  EXPECT_EQ(idsOf(store->cachedCompanionCandidateEvents()), (QStringList{"ask", "done", "work"}));
  EXPECT_EQ(store->companionStatus()->kind, CompanionStatusKind::approval);
  EXPECT_EQ(store->companionTickerItems()[0].kind, CompanionStatusKind::approval);
  EXPECT_EQ(store->companionTickerItems()[1].kind, CompanionStatusKind::working);
  EXPECT_EQ(store->companionTickerItems()[2].kind, CompanionStatusKind::finished);

  // The approval card is cleared: one more build, and everything follows it.
  store->clear({store->allMessages().front()}, QStringLiteral("clear_page"));
  store->ensureCompanionCandidateCache();
  EXPECT_EQ(store->companionStatus()->kind, CompanionStatusKind::working) << "the work began after the completion";
  EXPECT_EQ(store->companionTickerItems().size(), 2u);
  EXPECT_EQ(store->petState(), PetState::working);
  EXPECT_EQ(EventStore::companionCandidateCacheBuildCountForTests, 2);
  EXPECT_EQ(idsOf(store->cachedCompanionCandidateEvents()), (QStringList{"done", "work"}));

  // Another store counts in the same process-wide counter.
  auto other = storeWith({});
  other->ensureCompanionCandidateCache();
  EXPECT_EQ(EventStore::companionCandidateCacheBuildCountForTests, 3);
}

// A socket request waiting in the shared pending-action store makes the pet ask for approval
// whatever the events say; otherwise the events of the first 200 candidates and the latest usage
// reading decide.
TEST_F(EventStoreCachesTest, PetStateWithAndWithoutAWaitingPendingAction) {
  // 200 completions sort before the working event (priority 4 before 5), which the pet then never
  // sees.
  QByteArray manyCompletions;
  for (int i = 0; i < 200; ++i) {
    manyCompletions += completionLine(QStringLiteral("done-%1").arg(i));
  }
  const QByteArray blockedUsage =
      bridgeLine("usage", {{"source", "codex"},
                           {"notify_policy", "usage_only"},
                           {"timestamp", "2027-01-15T07:30:00Z"},
                           {"usage", QJsonObject{{"total_tokens", 10}, {"rate_limit_blocked", true}}}});

  struct Case {
    const char* name;
    QByteArray lines;
    QStringList readIDs;  // marked read before asking, so only the usage caches see them
    PetState withoutPending;
  };
  const Case cases[] = {
      {"no events", {}, {}, PetState::idle},
      {"a working event", workingLine("work"), {}, PetState::working},
      {"a read working event", workingLine("work"), {"work"}, PetState::idle},
      {"a working event past the first 200 candidates", manyCompletions + workingLine("work"), {}, PetState::done},
      {"a blocked usage reading that is no candidate", workingLine("work") + blockedUsage, {"usage"}, PetState::tired},
  };

  PendingActionStore& pending = PendingActionStore::shared();
  ASSERT_TRUE(pending.waitingActions().empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(eventFile);
    auto store = storeWith(c.lines);
    markRead(*store, c.readIDs);
    EXPECT_EQ(store->petState(), c.withoutPending);

    PendingAction action;
    action.requestID = QStringLiteral("pet-state-request");
    action.agent = QStringLiteral("claude_code");
    action.sessionID = QStringLiteral("s-pet");
    action.agentPID = static_cast<std::int32_t>(::getpid());
    action.createdAt = QDateTime::currentDateTimeUtc();
    action.timeoutSeconds = 3600;
    pending.insert(action, PendingReplySink{});
    EXPECT_EQ(store->petState(), PetState::approval);
    pending.fail(action.requestID, PendingActionStatus::agentDied);
    ASSERT_TRUE(pending.waitingActions().empty());
    EXPECT_EQ(store->petState(), c.withoutPending);
  }
}

// A record of a wrapped run: `type` in session `session` of `source` at minute `minute`.
QByteArray runLine(const QString& id, const QString& type, const QString& session, int minute,
                   const QString& source = QStringLiteral("gemini")) {
  QJsonObject fields{{"event_type", type},
                     {"source", source},
                     {"message", "gemini -p hi"},
                     {"timestamp", QStringLiteral("2027-01-15T07:%1:00Z").arg(minute, 2, 10, QChar(u'0'))}};
  if (!session.isEmpty()) fields.insert("session_id", session);
  if (type == u"task_failed") fields.insert("severity", "critical");
  return bridgeLine(id, fields);
}

// A session's working record and its failure last only until a newer record of the same session
// (same source and session id); the pet, the companion's status and its ticker agree.
TEST_F(EventStoreCachesTest, NewerRecordOfASessionEndsItsWorkAndItsFailure) {
  const QByteArray usageOnly = bridgeLine("reading", {{"source", "gemini"},
                                                      {"session_id", "run-1"},
                                                      {"notify_policy", "usage_only"},
                                                      {"timestamp", "2027-01-15T07:30:00Z"},
                                                      {"usage", QJsonObject{{"total_tokens", 10}}}});
  struct Case {
    const char* name;
    QByteArray lines;
    QStringList readIDs;
    PetState pet;
    bool companionWorking;
  };
  const Case cases[] = {
      {"started, then completed", runLine("a", "task_started", "run-1", 1) + runLine("b", "task_completed", "run-1", 2),
       {}, PetState::idle, false},
      {"the completion read", runLine("a", "task_started", "run-1", 1) + runLine("b", "task_completed", "run-1", 2),
       {"b"}, PetState::idle, false},
      {"a failure, then a success", runLine("a", "task_failed", "run-1", 1) + runLine("b", "task_completed", "run-1", 2),
       {}, PetState::idle, false},
      {"a failure, then work again", runLine("a", "task_failed", "run-1", 1) + runLine("b", "task_started", "run-1", 2),
       {}, PetState::working, true},
      {"the completion written first but older", runLine("b", "task_completed", "run-1", 2) + runLine("a", "task_started", "run-1", 1),
       {}, PetState::idle, false},
      {"a completion, then a new turn", runLine("a", "task_completed", "run-1", 1) + runLine("b", "task_started", "run-1", 2),
       {}, PetState::working, true},
      {"a usage reading after a failure", runLine("a", "task_failed", "run-1", 1) + usageOnly, {}, PetState::error, false},
      {"the completion of another session", runLine("a", "task_started", "run-1", 1) + runLine("b", "task_completed", "run-2", 2),
       {}, PetState::working, true},
      {"the same session id of another tool",
       runLine("a", "task_started", "run-1", 1) + runLine("b", "task_completed", "run-1", 2, "kimi"), {}, PetState::working,
       true},
      {"records without a session", runLine("a", "task_failed", "", 1) + runLine("b", "task_completed", "", 2), {},
       PetState::error, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(eventFile);
    auto store = storeWith(c.lines);
    markRead(*store, c.readIDs);
    EXPECT_EQ(store->petState(), c.pet);
    const auto& status = store->companionStatus();
    EXPECT_EQ(status && status->kind == CompanionStatusKind::working, c.companionWorking);
    bool tickerWorking = false;
    for (const CompanionStatusItem& item : store->companionTickerItems()) {
      tickerWorking = tickerWorking || item.kind == CompanionStatusKind::working;
    }
    EXPECT_EQ(tickerWorking, c.companionWorking);
  }
}

}  // namespace
}  // namespace tandrel
