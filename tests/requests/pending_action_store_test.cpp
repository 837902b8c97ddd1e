#include "requests/pending_action_store.h"

#include "platform/child_process.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "requests/pending_card_action.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <map>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using Status = PendingActionStatus;

PendingAction makeAction(const QString& id, const QString& agent = QStringLiteral("claude_code"),
                         const QString& session = QStringLiteral("s"),
                         PendingActionKind kind = PendingActionKind::permissionRequest,
                         std::int32_t pid = 4242, std::int64_t timeoutSeconds = 120) {
  PendingAction action;
  action.requestID = id;
  action.agent = agent;
  action.sessionID = session;
  action.agentPID = pid;
  action.kind = kind;
  action.timeoutSeconds = timeoutSeconds;
  action.payload.tool = QStringLiteral("Bash");
  action.payload.command = QStringLiteral("ls");
  return action;
}

HookReply userReply(const QString& id, const QString& decision = QStringLiteral("allow")) {
  HookReply reply;
  reply.requestID = id;
  reply.decision = decision;
  reply.mode = QStringLiteral("once");
  reply.rawAgentPayload = QStringLiteral(R"({"hookSpecificOutput":{}})");
  return reply;
}

// A store on a fake clock and fake process watchers that records every reply per request and
// every observer notification, and keeps each request's "connection closed" callback.
struct StoreHarness {
  StoreHarness() {
    store.addObserver([this](const PendingAction& action) {
      seen.emplace_back(action.requestID, action.status);
    });
  }

  PendingAction insert(PendingAction action) {
    action.createdAt = clock.now();
    const QString id = action.requestID;
    return store.insert(std::move(action),
                        PendingReplySink{[this, id](const HookReply& reply) {
                                           replies[id].push_back(reply);
                                         },
                                         [this, id](std::function<void()> closed) {
                                           closedCallbacks[id] = std::move(closed);
                                         }});
  }

  Status statusOf(const QString& id) const { return store.action(id).value().status; }

  FakeClock clock;
  FakeProcessExitWatchers watchers;
  PendingActionStore store{clock, watchers.factory()};
  std::map<QString, std::vector<HookReply>> replies;
  std::map<QString, std::function<void()>> closedCallbacks;
  std::vector<std::pair<QString, Status>> seen;
};

class PendingActionStoreTest : public ::testing::Test, public StoreHarness {};

TEST_F(PendingActionStoreTest, CompleteAnswersOnceAndRefusesLateAnswers) {
  const PendingAction stored = insert(makeAction(QStringLiteral("r1")));
  EXPECT_EQ(stored.status, Status::awaitingUser);
  EXPECT_EQ(statusOf(QStringLiteral("r1")), Status::awaitingUser);

  const HookReply reply = userReply(QStringLiteral("r1"));
  EXPECT_TRUE(store.complete(QStringLiteral("r1"), reply, Status::answered));
  EXPECT_FALSE(store.complete(QStringLiteral("r1"), userReply(QStringLiteral("r1"), "deny"),
                              Status::answered));
  EXPECT_FALSE(store.complete(QStringLiteral("unknown"), reply, Status::answered));

  ASSERT_EQ(replies[QStringLiteral("r1")].size(), 1U);
  EXPECT_EQ(replies[QStringLiteral("r1")][0], reply) << "the reply goes out unchanged";
  EXPECT_EQ(statusOf(QStringLiteral("r1")), Status::answered);
  EXPECT_EQ((std::vector<std::pair<QString, Status>>{{"r1", Status::awaitingUser},
                                                     {"r1", Status::answered}}),
            seen);
  EXPECT_FALSE(store.action(QStringLiteral("unknown")).has_value());
}

// Each way an action can end: exactly one reply (none when the agent hung up), the right
// decision, nothing left armed, and no later trigger changes anything.
TEST_F(PendingActionStoreTest, EveryEndingAnswersAtMostOnceAndDisarmsEverything) {
  struct Ending {
    const char* name;
    std::function<void(StoreHarness&, const QString&)> trigger;
    Status status;
    std::optional<QString> decision;  // nothing: no reply
  };
  const std::vector<Ending> endings = {
      {"answered",
       [](StoreHarness& t, const QString& id) {
         t.store.complete(id, userReply(id), Status::answered);
       },
       Status::answered, QStringLiteral("allow")},
      {"timed out", [](StoreHarness& t, const QString&) { t.clock.advance(120s); },
       Status::timedOut, QStringLiteral("timed_out")},
      {"agent died", [](StoreHarness& t, const QString&) { t.watchers.exit(4242); },
       Status::agentDied, QStringLiteral("agentDied")},
      {"superseded",
       [](StoreHarness& t, const QString& id) {
         t.insert(makeAction(id + QStringLiteral("-newer")));
       },
       Status::superseded, QStringLiteral("superseded")},
      {"hook dropped",
       [](StoreHarness& t, const QString& id) { t.closedCallbacks.at(id)(); },
       Status::hookDropped, std::nullopt},
  };

  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.name);
    const QString id = QString::fromUtf8(ending.name);
    insert(makeAction(id));
    seen.clear();
    ending.trigger(*this, id);

    EXPECT_EQ(statusOf(id), ending.status);
    const std::vector<HookReply>& sent = replies[id];
    if (ending.decision) {
      ASSERT_EQ(sent.size(), 1U);
      EXPECT_EQ(sent[0].requestID, id);
      EXPECT_EQ(sent[0].decision, *ending.decision);
      EXPECT_EQ(sent[0].mode, QStringLiteral("once"));
      if (ending.status != Status::answered) {
        EXPECT_EQ(sent[0].rawAgentPayload, QStringLiteral("{}"));
      }
    } else {
      EXPECT_TRUE(sent.empty());
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0], std::make_pair(id, ending.status));
    EXPECT_TRUE(store.waitingActions().empty() ||
                store.waitingActions().front().requestID != id);

    // Every other trigger afterwards is a no-op for this action.
    EXPECT_FALSE(store.complete(id, userReply(id), Status::answered));
    clock.advance(200s);
    watchers.exit(4242);
    store.fail(id, Status::agentDied);
    store.connectionClosed(id);
    if (closedCallbacks.count(id) != 0) {
      closedCallbacks[id]();
    }
    EXPECT_EQ(statusOf(id), ending.status);
    EXPECT_EQ(replies[id].size(), ending.decision ? 1U : 0U);

    // Clear the stage for the next ending.
    for (const PendingAction& waiting : store.waitingActions()) {
      store.complete(waiting.requestID, userReply(waiting.requestID), Status::answered);
    }
    EXPECT_EQ(watchers.liveCount(), 0);
    EXPECT_EQ(clock.pendingCount(), 0);
    EXPECT_EQ(store.activeWatcherCount(), 0);
    EXPECT_EQ(store.armedTimeoutCount(), 0);
  }
}

TEST_F(PendingActionStoreTest, ANewerRequestSupersedesOnlyTheSameAgentSessionAndKind) {
  struct Case {
    const char* name;
    PendingAction newer;
    bool supersedes;
  };
  const Case cases[] = {
      {"same agent, session and kind", makeAction(QStringLiteral("n")), true},
      {"other agent", makeAction(QStringLiteral("n"), QStringLiteral("codex")), false},
      {"other session", makeAction(QStringLiteral("n"), QStringLiteral("claude_code"), QStringLiteral("t")),
       false},
      {"other kind",
       makeAction(QStringLiteral("n"), QStringLiteral("claude_code"), QStringLiteral("s"),
                  PendingActionKind::waitingInput),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StoreHarness t;
    t.insert(makeAction(QStringLiteral("o")));
    t.seen.clear();
    t.insert(c.newer);

    EXPECT_EQ(t.statusOf(QStringLiteral("n")), Status::awaitingUser);
    if (c.supersedes) {
      EXPECT_EQ(t.statusOf(QStringLiteral("o")), Status::superseded);
      ASSERT_EQ(t.replies[QStringLiteral("o")].size(), 1U);
      EXPECT_EQ(t.replies[QStringLiteral("o")][0].decision, QStringLiteral("superseded"));
      // The older action's change is seen before the newer action.
      EXPECT_EQ((std::vector<std::pair<QString, Status>>{{"o", Status::superseded},
                                                         {"n", Status::awaitingUser}}),
                t.seen);
      EXPECT_EQ(t.watchers.livePids(), std::vector<qint32>{4242});
    } else {
      EXPECT_EQ(t.statusOf(QStringLiteral("o")), Status::awaitingUser);
      EXPECT_TRUE(t.replies[QStringLiteral("o")].empty());
      EXPECT_EQ(t.store.waitingActions().size(), 2U);
    }
  }
}

TEST_F(PendingActionStoreTest, ARepeatedRequestIDEndsTheOlderActionFirst) {
  // Same id, but another session: only the id ties the two together.
  insert(makeAction(QStringLiteral("dup"), QStringLiteral("claude_code"), QStringLiteral("s"),
                    PendingActionKind::permissionRequest, 100, 5));
  std::vector<HookReply> newerReplies;
  PendingAction newer = makeAction(QStringLiteral("dup"), QStringLiteral("claude_code"),
                                   QStringLiteral("other"), PendingActionKind::permissionRequest,
                                   200, 60);
  newer.createdAt = clock.now();
  store.insert(newer, [&](const HookReply& reply) { newerReplies.push_back(reply); });

  ASSERT_EQ(replies[QStringLiteral("dup")].size(), 1U);
  EXPECT_EQ(replies[QStringLiteral("dup")][0].decision, QStringLiteral("superseded"));
  EXPECT_EQ(seen.size(), 3U);
  EXPECT_EQ(seen[1], std::make_pair(QStringLiteral("dup"), Status::superseded));

  // Nothing armed for the older action reaches the newer one.
  clock.advance(10s);
  EXPECT_EQ(watchers.exit(100), 0);
  closedCallbacks.at(QStringLiteral("dup"))();
  EXPECT_EQ(statusOf(QStringLiteral("dup")), Status::awaitingUser);
  EXPECT_TRUE(newerReplies.empty());

  // The newer action keeps its own time-out and watcher.
  EXPECT_EQ(watchers.exit(200), 1);
  EXPECT_EQ(statusOf(QStringLiteral("dup")), Status::agentDied);
  ASSERT_EQ(newerReplies.size(), 1U);
  EXPECT_EQ(newerReplies[0].decision, QStringLiteral("agentDied"));
  EXPECT_EQ(replies[QStringLiteral("dup")].size(), 1U);

  // An id whose action has ended may come again and waits afresh.
  insert(makeAction(QStringLiteral("dup")));
  EXPECT_EQ(statusOf(QStringLiteral("dup")), Status::awaitingUser);
}

TEST_F(PendingActionStoreTest, TimeOutsFollowTheClock) {
  insert(makeAction(QStringLiteral("zero"), QStringLiteral("a"), QStringLiteral("s"),
                    PendingActionKind::permissionRequest, 1, 0));
  insert(makeAction(QStringLiteral("neg"), QStringLiteral("b"), QStringLiteral("s"),
                    PendingActionKind::permissionRequest, 1, -5));
  insert(makeAction(QStringLiteral("two"), QStringLiteral("c"), QStringLiteral("s"),
                    PendingActionKind::permissionRequest, 1, 2));
  insert(makeAction(QStringLiteral("huge"), QStringLiteral("d"), QStringLiteral("s"),
                    PendingActionKind::permissionRequest, 1, std::int64_t{1} << 40));
  EXPECT_EQ(statusOf(QStringLiteral("zero")), Status::awaitingUser) << "not inside insert";

  clock.advance(0ms);
  EXPECT_EQ(statusOf(QStringLiteral("zero")), Status::timedOut);
  EXPECT_EQ(statusOf(QStringLiteral("neg")), Status::timedOut);
  clock.advance(1999ms);
  EXPECT_EQ(statusOf(QStringLiteral("two")), Status::awaitingUser);
  clock.advance(1ms);
  EXPECT_EQ(statusOf(QStringLiteral("two")), Status::timedOut);
  clock.advance(24h);
  EXPECT_EQ(statusOf(QStringLiteral("huge")), Status::awaitingUser) << "no overflow into the past";
}

TEST_F(PendingActionStoreTest, OnlyTheNewestEndedActionsAreKeptAndWaitingOnesNeverGo) {
  constexpr int kKept = static_cast<int>(PendingActionStore::kEndedActionsKept);
  insert(makeAction(QStringLiteral("waiting"), QStringLiteral("codex")));
  // An id that ended and then came again: forgetting its old ending must not take the new one.
  insert(makeAction(QStringLiteral("reused")));
  store.complete(QStringLiteral("reused"), userReply(QStringLiteral("reused")), Status::answered);
  insert(makeAction(QStringLiteral("reused"), QStringLiteral("claude_code"), QStringLiteral("other")));
  for (int i = 0; i < kKept + 5; ++i) {
    const QString id = QStringLiteral("r%1").arg(i);
    insert(makeAction(id));
    store.complete(id, userReply(id), Status::answered);
  }
  // 1 + kKept + 5 endings: the oldest six ("reused" once, r0…r4) are forgotten.
  EXPECT_FALSE(store.action(QStringLiteral("r0")).has_value());
  EXPECT_FALSE(store.action(QStringLiteral("r4")).has_value());
  EXPECT_EQ(statusOf(QStringLiteral("r5")), Status::answered);
  EXPECT_EQ(statusOf(QStringLiteral("r%1").arg(kKept + 4)), Status::answered);
  EXPECT_EQ(statusOf(QStringLiteral("reused")), Status::awaitingUser);
  EXPECT_EQ(statusOf(QStringLiteral("waiting")), Status::awaitingUser);
  EXPECT_EQ(store.waitingActions().size(), 2u);
  EXPECT_FALSE(store.complete(QStringLiteral("r0"), userReply(QStringLiteral("r0")), Status::answered));
  EXPECT_EQ(replies[QStringLiteral("r0")].size(), 1u);
}

TEST_F(PendingActionStoreTest, EndedActionsAreForgottenTenMinutesAfterTheyEnded) {
  const auto keptFor = std::chrono::duration_cast<std::chrono::milliseconds>(
      PendingActionStore::kEndedActionsKeptFor);
  insert(makeAction(QStringLiteral("old"), QStringLiteral("a")));
  store.complete(QStringLiteral("old"), userReply(QStringLiteral("old")), Status::answered);
  // Ended, then inserted again: the new action waits whatever the age of the old ending.
  insert(makeAction(QStringLiteral("again"), QStringLiteral("b")));
  store.fail(QStringLiteral("again"), Status::agentDied);
  clock.advance(keptFor - 1ms);
  EXPECT_EQ(statusOf(QStringLiteral("old")), Status::answered);
  insert(makeAction(QStringLiteral("again"), QStringLiteral("b"), QStringLiteral("s"),
                    PendingActionKind::permissionRequest, 4242, 24 * 3600));
  insert(makeAction(QStringLiteral("newer"), QStringLiteral("c")));
  store.complete(QStringLiteral("newer"), userReply(QStringLiteral("newer")), Status::answered);

  clock.advance(1ms);
  EXPECT_FALSE(store.action(QStringLiteral("old")).has_value()) << "ten minutes after its end";
  EXPECT_EQ(statusOf(QStringLiteral("newer")), Status::answered);
  EXPECT_EQ(statusOf(QStringLiteral("again")), Status::awaitingUser);
  EXPECT_FALSE(store.complete(QStringLiteral("old"), userReply(QStringLiteral("old")), Status::answered));

  // The next ending forgets the expired ones for good; the waiting action stays.
  clock.advance(keptFor);
  insert(makeAction(QStringLiteral("last"), QStringLiteral("d")));
  store.complete(QStringLiteral("last"), userReply(QStringLiteral("last")), Status::answered);
  EXPECT_FALSE(store.action(QStringLiteral("newer")).has_value());
  EXPECT_EQ(statusOf(QStringLiteral("again")), Status::awaitingUser);
  EXPECT_EQ(statusOf(QStringLiteral("last")), Status::answered);
  EXPECT_EQ(store.waitingActions().size(), 1u);
  EXPECT_EQ(replies[QStringLiteral("old")].size(), 1u);
}

TEST(PendingActionStoreSystemClockTest, AZeroTimeOutEndsOnTheNextMainLoopTurn) {
  FakeProcessExitWatchers watchers;
  PendingActionStore store(Clock::system(), watchers.factory());
  std::vector<HookReply> sent;
  store.insert(makeAction(QStringLiteral("r"), QStringLiteral("claude_code"), QStringLiteral("s"),
                          PendingActionKind::permissionRequest, 1, 0),
               [&](const HookReply& reply) { sent.push_back(reply); });
  EXPECT_EQ(store.action(QStringLiteral("r"))->status, Status::awaitingUser);
  ASSERT_TRUE(test::waitUntil([&] { return !sent.empty(); }, 2000));
  EXPECT_EQ(sent[0].decision, QStringLiteral("timed_out"));
  EXPECT_EQ(store.action(QStringLiteral("r"))->status, Status::timedOut);
}

TEST_F(PendingActionStoreTest, WaitingActionsListsOnlyAwaitingOnesOldestFirst) {
  const QDateTime start = clock.now();
  for (const char* id : {"c", "a", "b", "d"}) {
    clock.advance(1s);
    insert(makeAction(QString::fromUtf8(id), QString::fromUtf8(id)));
  }
  // Inserted at the same time as "d": insertion order breaks the tie.
  insert(makeAction(QStringLiteral("e"), QStringLiteral("e")));
  store.complete(QStringLiteral("a"), userReply(QStringLiteral("a")), Status::answered);

  std::vector<QString> ids;
  for (const PendingAction& action : store.waitingActions()) {
    ids.push_back(action.requestID);
  }
  EXPECT_EQ(ids, (std::vector<QString>{"c", "b", "d", "e"}));
  EXPECT_EQ(store.waitingActions().front().createdAt, start.addSecs(1));
}

TEST_F(PendingActionStoreTest, CallbacksDoNothingOnceTheStoreIsGone) {
  std::function<void()> closed;
  std::vector<HookReply> sent;
  {
    PendingActionStore shortLived(clock, watchers.factory());
    shortLived.insert(makeAction(QStringLiteral("r")),
                      PendingReplySink{[&](const HookReply& reply) { sent.push_back(reply); },
                                       [&](std::function<void()> callback) {
                                         closed = std::move(callback);
                                       }});
  }
  EXPECT_EQ(watchers.liveCount(), 0);
  EXPECT_EQ(clock.pendingCount(), 0);
  closed();
  clock.advance(1000s);
  EXPECT_TRUE(sent.empty());
}

TEST_F(PendingActionStoreTest, AnObserverMayAnswerFromInsideItsNotification) {
  store.addObserver([this](const PendingAction& action) {
    if (action.status == Status::awaitingUser && action.requestID == QStringLiteral("auto")) {
      store.complete(action.requestID, userReply(action.requestID), Status::answered);
    }
  });
  insert(makeAction(QStringLiteral("auto")));
  EXPECT_EQ(statusOf(QStringLiteral("auto")), Status::answered);
  EXPECT_EQ(replies[QStringLiteral("auto")].size(), 1U);
  EXPECT_EQ(watchers.liveCount(), 0);
  EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(PendingActionStoreProcessTest, ARealAgentThatExitsEndsItsRequestEvenAsAZombie) {
  FakeClock clock;
  PendingActionStore store(clock, systemProcessExitWatcherFactory());
  test::ChildProcess agent("/bin/sleep", {"30"});
  ASSERT_GT(agent.pid(), 0);
  std::vector<HookReply> sent;
  store.insert(makeAction(QStringLiteral("ra"), QStringLiteral("claude_code"), QStringLiteral("s"),
                          PendingActionKind::permissionRequest, agent.pid(), 60),
               [&](const HookReply& reply) { sent.push_back(reply); });
  EXPECT_EQ(store.activeWatcherCount(), 1);

  agent.kill();  // not reaped: a zombie
  ASSERT_TRUE(test::waitUntil([&] { return !sent.empty(); }));
  EXPECT_TRUE(agent.isZombie());
  EXPECT_EQ(store.action(QStringLiteral("ra"))->status, Status::agentDied);
  EXPECT_EQ(sent[0].decision, QStringLiteral("agentDied"));
  EXPECT_EQ(sent[0].rawAgentPayload, QStringLiteral("{}"));
  EXPECT_EQ(store.activeWatcherCount(), 0);
  EXPECT_EQ(clock.pendingCount(), 0);

  // An agent that is already gone when its request arrives.
  agent.reap();
  store.insert(makeAction(QStringLiteral("rb"), QStringLiteral("claude_code"), QStringLiteral("t"),
                          PendingActionKind::permissionRequest, agent.pid(), 60),
               [&](const HookReply& reply) { sent.push_back(reply); });
  ASSERT_TRUE(test::waitUntil([&] { return sent.size() == 2; }));
  EXPECT_EQ(store.action(QStringLiteral("rb"))->status, Status::agentDied);
}

TEST(PendingActionStoreProcessTest, TenThousandEndedActionsKeepNoDescriptorOrTimer) {
  FakeClock clock;
  PendingActionStore store(clock, systemProcessExitWatcherFactory());
  const auto self = static_cast<std::int32_t>(::getpid());
  const int before = test::openDescriptorCount();
  int replies = 0;
  for (int i = 0; i < 10000; ++i) {
    const QString id = QStringLiteral("r%1").arg(i);
    // Alternate the two common endings: the user's answer and a supersession.
    store.insert(makeAction(id, QStringLiteral("claude_code"), QStringLiteral("s%1").arg(i / 2),
                            PendingActionKind::permissionRequest, self, 120),
                 [&](const HookReply&) { ++replies; });
    if (i % 2 == 1) {
      store.complete(id, userReply(id), Status::answered);
    }
  }
  EXPECT_EQ(replies, 10000);
  EXPECT_TRUE(store.waitingActions().empty());
  EXPECT_EQ(store.activeWatcherCount(), 0);
  EXPECT_EQ(store.armedTimeoutCount(), 0);
  EXPECT_EQ(clock.pendingCount(), 0);
  EXPECT_EQ(test::openDescriptorCount(), before);
}

TEST(PendingActionTest, RawValuesAndConstructionFromARequest) {
  const std::pair<Status, const char*> statuses[] = {
      {Status::awaitingUser, "awaitingUser"},   {Status::answered, "answered"},
      {Status::timedOut, "timedOut"},           {Status::agentDied, "agentDied"},
      {Status::superseded, "superseded"},       {Status::hookDropped, "hookDropped"},
      {Status::appliedAfterCrash, "appliedAfterCrash"}, {Status::droppedOnRestart, "droppedOnRestart"},
  };
  for (const auto& [status, raw] : statuses) {
    EXPECT_EQ(rawValue(status), QString::fromUtf8(raw));
    EXPECT_EQ(pendingActionStatusFromRaw(QString::fromUtf8(raw)), status);
  }

  HookRequest request;
  request.requestID = QStringLiteral("id-1");
  request.agent = QStringLiteral("codex");
  request.sessionID = QStringLiteral("sess");
  request.agentPID = 321;
  request.kind = QStringLiteral("waiting_choice");
  request.timeoutSeconds = 90;
  request.payload.prompt = QStringLiteral("Pick one");
  request.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("Stop")}};
  const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

  const std::optional<PendingAction> action = PendingAction::fromRequest(request, now);
  ASSERT_TRUE(action.has_value());
  EXPECT_EQ(action->requestID, QStringLiteral("id-1"));
  EXPECT_EQ(action->agent, QStringLiteral("codex"));
  EXPECT_EQ(action->sessionID, QStringLiteral("sess"));
  EXPECT_EQ(action->agentPID, 321);
  EXPECT_EQ(action->kind, PendingActionKind::waitingChoice);
  EXPECT_EQ(action->createdAt, now);
  EXPECT_EQ(action->timeoutSeconds, 90);
  EXPECT_EQ(action->payload, request.payload);
  EXPECT_EQ(action->status, Status::awaitingUser);
  EXPECT_EQ(action->hookEventName(), QStringLiteral("Stop"));

  for (const char* kind : {"permission", "", "WAITING_INPUT"}) {
    request.kind = QString::fromUtf8(kind);
    EXPECT_FALSE(PendingAction::fromRequest(request, now).has_value()) << kind;
  }
}

TEST(PendingCardActionTest, CardActionsAndCountdownLabels) {
  using A = PendingCardAction;
  const struct {
    PendingActionKind kind;
    bool agentCanAlways;
    std::vector<A> actions;
  } cards[] = {
      {PendingActionKind::permissionRequest, true, {A::deny, A::always, A::approve, A::jump}},
      {PendingActionKind::permissionRequest, false, {A::deny, A::approve, A::jump}},
      {PendingActionKind::waitingChoice, true, {A::choice, A::jump}},
      {PendingActionKind::waitingInput, false, {A::openInput, A::jump}},
  };
  for (const auto& card : cards) {
    EXPECT_EQ(pendingCardActions(card.kind, card.agentCanAlways), card.actions)
        << rawValue(card.kind).toStdString() << " " << card.agentCanAlways;
  }
  EXPECT_EQ(rawValue(A::openInput), QStringLiteral("open_input"));
  EXPECT_EQ(rawValue(A::letStop), QStringLiteral("let_stop"));

  // A finished turn (raised by the agent's Stop hook, whatever its kind) offers a reply, letting
  // it stop, and Jump; other requests what their kind offers.
  const struct {
    PendingActionKind kind;
    const char* event;
    std::vector<A> actions;
  } requests[] = {
      {PendingActionKind::waitingInput, "Stop", {A::openInput, A::letStop, A::jump}},
      {PendingActionKind::waitingChoice, "stop", {A::openInput, A::letStop, A::jump}},
      {PendingActionKind::waitingInput, "UserPromptSubmit", {A::openInput, A::jump}},
      {PendingActionKind::permissionRequest, "PermissionRequest", {A::deny, A::approve, A::jump}},
  };
  for (const auto& r : requests) {
    PendingAction action;
    action.kind = r.kind;
    action.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QString::fromUtf8(r.event)}};
    EXPECT_EQ(pendingCardActions(action, false), r.actions) << r.event;
  }

  const std::pair<std::int64_t, const char*> labels[] = {
      {-5, "0s"}, {0, "0s"}, {1, "1s"}, {42, "42s"}, {120, "120s"}, {86400, "86400s"}};
  for (const auto& [seconds, label] : labels) {
    EXPECT_EQ(countdownLabel(seconds), QString::fromUtf8(label)) << seconds;
  }
}

}  // namespace
}  // namespace tandrel
