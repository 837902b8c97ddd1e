// A card of an agent's request follows the request: tied to the socket request waiting behind it
// by the request key, and no longer asking for the user once that request ends, however it ends,
// also after the store is built again from the bridge file.

#include "event_store_test_support.h"

#include "attention/event_reminder_policy.h"
#include "inbox/request_endings.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "requests/agent_reply_marshaller.h"
#include "requests/pending_action_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <map>

namespace tandrel {
namespace {

using namespace std::chrono_literals;
using test::appendBytes;
using test::StoreFixture;

const QString kSession = QStringLiteral("94f5a9c6-c7db-4455-be90-45a99ddfdce5");
const QString kKey = QStringLiteral("ad5969b78071b3049b187847f060b5ab");

// What the installed event writer appends for a Claude Code run that asks to run "touch x"
// (PermissionRequest carries the request key; the transcript paths are shortened).
QByteArray claudeLine(int index) {
  static const char* const lines[] = {
      R"({"source":"claude_code","source_type":"cli_agent","project":"proj","cwd":"/w/proj","event_type":"task_started","severity":"info","title":"Claude Code started","message":"Lifecycle event captured locally.","status":"thinking","session_id":"94f5a9c6-c7db-4455-be90-45a99ddfdce5","transcript_path":"/h/t.jsonl","raw_event_name":"SessionStart","event_id":"claude-0","timestamp":"2027-01-15T08:00:00Z"})",
      R"({"source":"claude_code","source_type":"cli_agent","project":"proj","cwd":"/w/proj","event_type":"task_started","severity":"info","title":"Claude Code received a prompt","message":"Lifecycle event captured locally.","status":"thinking","session_id":"94f5a9c6-c7db-4455-be90-45a99ddfdce5","transcript_path":"/h/t.jsonl","raw_event_name":"UserPromptSubmit","preview":{"user":"make x","agent":null},"event_id":"claude-1","timestamp":"2027-01-15T08:00:02Z"})",
      R"({"source":"claude_code","source_type":"cli_agent","project":"proj","cwd":"/w/proj","event_type":"task_updated","severity":"info","title":"Claude Code running tool","message":"Bash - touch x","tool_name":"Bash","status":"running_tool","session_id":"94f5a9c6-c7db-4455-be90-45a99ddfdce5","transcript_path":"/h/t.jsonl","raw_event_name":"PreToolUse","action":{"kind":"shell","command":"touch x","risk":"low"},"event_id":"claude-2","timestamp":"2027-01-15T08:00:04Z"})",
      R"({"source":"claude_code","source_type":"cli_agent","project":"proj","cwd":"/w/proj","event_type":"permission_request","severity":"warning","title":"Run: touch x","message":"Bash","tool_name":"Bash","status":"waiting_approval","session_id":"94f5a9c6-c7db-4455-be90-45a99ddfdce5","transcript_path":"/h/t.jsonl","raw_event_name":"PermissionRequest","action":{"kind":"shell","command":"touch x","risk":"low"},"request_key":"ad5969b78071b3049b187847f060b5ab","event_id":"claude-3","timestamp":"2027-01-15T08:00:06Z"})",
      R"({"source":"claude_code","source_type":"cli_agent","project":"proj","cwd":"/w/proj","event_type":"task_updated","severity":"info","title":"Claude Code used tool","message":"Bash - touch x","tool_name":"Bash","status":"running_tool","session_id":"94f5a9c6-c7db-4455-be90-45a99ddfdce5","transcript_path":"/h/t.jsonl","raw_event_name":"PostToolUse","action":{"kind":"shell","command":"touch x","risk":"low"},"event_id":"claude-4","timestamp":"2027-01-15T08:00:08Z"})",
      R"({"source":"claude_code","source_type":"cli_agent","project":"proj","cwd":"/w/proj","event_type":"task_completed","severity":"success","title":"Claude Code completed","message":"Lifecycle event captured locally.","status":"completed","session_id":"94f5a9c6-c7db-4455-be90-45a99ddfdce5","transcript_path":"/h/t.jsonl","raw_event_name":"Stop","preview":{"user":null,"agent":"Created x."},"request_key":"f9bdc73f69824400ea03d5f52eb6813e","event_id":"claude-5","timestamp":"2027-01-15T08:00:10Z"})",
  };
  return QByteArray(lines[index]) + '\n';
}

// The socket request the blocking client sends for the same PermissionRequest.
PendingAction claudeRequest(const QString& requestID, const QString& key = kKey) {
  PendingAction action;
  action.requestID = requestID;
  action.agent = QStringLiteral("claude_code");
  action.sessionID = kSession;
  action.agentPID = 4242;
  action.kind = PendingActionKind::permissionRequest;
  action.timeoutSeconds = 120;
  action.payload.tool = QStringLiteral("Bash");
  action.payload.command = QStringLiteral("touch x");
  action.payload.cwd = QStringLiteral("/w/proj");
  action.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("PermissionRequest")},
                                                 {QStringLiteral("request_key"), key}};
  return action;
}

// A store over the bridge file and a pending-action store on the same fake clock, wired as the
// application wires them: the store sees the waiting requests and every change of a request.
struct RequestHarness : StoreFixture {
  FakeProcessExitWatchers watchers;
  PendingActionStore requests{clock, watchers.factory()};
  std::map<QString, std::function<void()>> closedCallbacks;
  std::unique_ptr<EventStore> store;

  RequestHarness() {
    QDir().mkpath(QFileInfo(eventFile).absolutePath());
    store = make(withRequests(options()));
    requests.addObserver([this](const PendingAction& action) { store->pendingActionChanged(action); });
  }

  EventStoreOptions withRequests(EventStoreOptions o) {
    o.waitingRequests = [this] { return requests.waitingActions(); };
    o.socketRequestsWaiting = [this] { return !requests.waitingActions().empty(); };
    return o;
  }

  void append(std::initializer_list<int> lines) {
    for (int line : lines) appendBytes(eventFile, claudeLine(line));
    store->reload(true);
  }

  void insert(PendingAction action) {
    action.createdAt = clock.now();
    const QString id = action.requestID;
    requests.insert(std::move(action), PendingReplySink{[](const HookReply&) {},
                                                        [this, id](std::function<void()> closed) {
                                                          closedCallbacks[id] = std::move(closed);
                                                        }});
  }

  void answer(const QString& id, UserDecision::Verb verb) {
    const PendingAction action = requests.action(id).value();
    requests.complete(id, AgentReplyMarshaller::userReply(action, UserDecision{verb, UserDecision::Mode::once, {}, {}}),
                      PendingActionStatus::answered);
  }
};

const IslandMessage* cardOf(EventStore& store, const QString& eventID) {
  for (const IslandMessage& message : store.allMessages()) {
    if (message.event.id == eventID) return &message;
  }
  return nullptr;
}

QStringList buttonLabels(const IslandMessage& message) {
  QStringList labels;
  for (const IslandButton& button : message.buttons) labels << button.label;
  return labels;
}

// Nothing of the store asks for the user any more: no card waits, the pet has no approval look,
// neither the companion's status nor its ticker names an approval.
void expectNothingWaits(EventStore& store) {
  store.ensureMessageCache();
  EXPECT_EQ(store.cachedApprovalCount(), 0);
  for (const IslandMessage& message : store.allMessages()) {
    EXPECT_FALSE(messageWaitsForUser(message)) << message.event.id.toStdString();
  }
  EXPECT_NE(store.petState(), PetState::approval);
  const std::optional<CompanionStatusItem>& status = store.companionStatus();
  EXPECT_TRUE(!status || status->kind != CompanionStatusKind::approval);
  for (const CompanionStatusItem& item : store.companionTickerItems()) {
    EXPECT_NE(item.kind, CompanionStatusKind::approval);
  }
}

TEST(EventStoreRequestEndings, EveryEndingClearsTheCardAlsoAfterARestart) {
  struct Ending {
    const char* name;
    bool socketRequest;  // false: the app never saw the request (its own prompt took it)
    std::function<void(RequestHarness&)> trigger;
    QString outcome;
  };
  const QString id = QStringLiteral("req-1");
  const std::vector<Ending> endings = {
      {"approved on the card or banner", true, [&](RequestHarness& t) { t.answer(id, UserDecision::Verb::allow); },
       QStringLiteral("Approved in Tandrel")},
      {"denied", true, [&](RequestHarness& t) { t.answer(id, UserDecision::Verb::deny); },
       QStringLiteral("Denied in Tandrel")},
      {"timed out", true, [](RequestHarness& t) { t.clock.advance(120s); },
       QStringLiteral("Timed out \u2014 answered in the terminal")},
      {"agent exited", true, [](RequestHarness& t) { t.watchers.exit(4242); }, QStringLiteral("The agent exited")},
      {"hook dropped", true, [&](RequestHarness& t) { t.closedCallbacks.at(id)(); },
       QStringLiteral("The agent stopped waiting")},
      {"superseded", true,
       [](RequestHarness& t) {
         t.insert(claudeRequest(QStringLiteral("req-2"), QStringLiteral("other-key")));
         t.answer(QStringLiteral("req-2"), UserDecision::Verb::allow);
       },
       QStringLiteral("Replaced by a newer request")},
      {"no socket request: the agent moved on", false, [](RequestHarness&) {}, kAgentMovedOnOutcome},
  };

  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.name);
    RequestHarness t;
    t.append({0, 1, 2, 3});
    if (ending.socketRequest) {
      t.insert(claudeRequest(id));
      // The card is tied to the request waiting behind it and offers its answers.
      const IslandMessage* card = cardOf(*t.store, QStringLiteral("claude-3"));
      ASSERT_NE(card, nullptr);
      ASSERT_TRUE(card->pendingAction.has_value());
      EXPECT_EQ(card->pendingAction->requestID, id);
      EXPECT_EQ(buttonLabels(*card), (QStringList{"Deny", "Approve", "Jump"}));
      EXPECT_EQ(t.store->cachedApprovalCount(), 1);
      EXPECT_EQ(t.store->petState(), PetState::approval);
    }
    ending.trigger(t);
    t.append({4, 5});

    expectNothingWaits(*t.store);
    const IslandMessage* card = cardOf(*t.store, QStringLiteral("claude-3"));
    ASSERT_NE(card, nullptr);  // stays, as an ordinary message saying how it ended
    EXPECT_EQ(card->outcome, ending.outcome);
    EXPECT_FALSE(card->pendingAction.has_value());
    EXPECT_EQ(buttonLabels(*card), (QStringList{"Jump", "Ignore"}));
    EXPECT_TRUE(card->detail.startsWith(ending.outcome));

    // A store built again from the file (a restart: no request waits) sees the same.
    EventStoreOptions fresh = t.options();
    fresh.waitingRequests = [] { return std::vector<PendingAction>{}; };
    fresh.socketRequestsWaiting = [] { return false; };
    std::unique_ptr<EventStore> rebuilt = t.make(std::move(fresh));
    rebuilt->reload(true);
    expectNothingWaits(*rebuilt);
    ASSERT_NE(cardOf(*rebuilt, QStringLiteral("claude-3")), nullptr);
    EXPECT_EQ(cardOf(*rebuilt, QStringLiteral("claude-3"))->outcome, ending.outcome);
  }
}

TEST(EventStoreRequestEndings, AWaitingRequestIsTiedByItsKeyNotByItsSession) {
  RequestHarness t;
  t.append({0, 1, 2, 3});
  t.insert(claudeRequest(QStringLiteral("req-1")));
  // Another record of the session while the request waits does not end it.
  t.append({2});
  ASSERT_NE(cardOf(*t.store, QStringLiteral("claude-3")), nullptr);
  EXPECT_TRUE(cardOf(*t.store, QStringLiteral("claude-3"))->pendingAction.has_value());
  EXPECT_EQ(t.store->cachedApprovalCount(), 1);

  // The next request of the same session and kind follows at once: the first card ends as
  // answered, the new card waits for its own request.
  t.answer(QStringLiteral("req-1"), UserDecision::Verb::allow);
  QByteArray second = claudeLine(3);
  second.replace("claude-3", "claude-6").replace("touch x", "touch y").replace(kKey.toUtf8(), "second-key");
  second.replace("08:00:06", "08:00:20");
  appendBytes(t.eventFile, second);
  t.store->reload(true);
  t.insert(claudeRequest(QStringLiteral("req-2"), QStringLiteral("second-key")));

  const IslandMessage* first = cardOf(*t.store, QStringLiteral("claude-3"));
  const IslandMessage* next = cardOf(*t.store, QStringLiteral("claude-6"));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(first->outcome, QStringLiteral("Approved in Tandrel"));
  ASSERT_TRUE(next->pendingAction.has_value());
  EXPECT_EQ(next->pendingAction->requestID, QStringLiteral("req-2"));
  EXPECT_FALSE(next->outcome.has_value());
  EXPECT_EQ(t.store->cachedApprovalCount(), 1);
  // The ended card is listed after the waiting one.
  EXPECT_EQ(t.store->allMessages().front().event.id, QStringLiteral("claude-6"));
}

TEST(EventStoreRequestEndings, TheEndingRecordIsWrittenOnlyForARequestWithAKey) {
  RequestHarness t;
  t.append({0, 1, 2, 3});
  PendingAction keyless = claudeRequest(QStringLiteral("old-client"));
  keyless.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("PermissionRequest")}};
  t.insert(keyless);
  t.answer(QStringLiteral("old-client"), UserDecision::Verb::allow);
  t.insert(claudeRequest(QStringLiteral("req-1")));
  t.answer(QStringLiteral("req-1"), UserDecision::Verb::deny);

  QFile file(t.eventFile);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(lines.size(), 6);  // four records, one ending, the final line break
  const QJsonObject ending = QJsonDocument::fromJson(lines[4]).object();
  EXPECT_EQ(ending.value(QStringLiteral("event_type")).toString(), kRequestEndedEventType);
  EXPECT_EQ(ending.value(QStringLiteral("request_key")).toString(), kKey);
  EXPECT_EQ(ending.value(QStringLiteral("status")).toString(), QStringLiteral("answered"));
  EXPECT_EQ(ending.value(QStringLiteral("message")).toString(), QStringLiteral("Denied in Tandrel"));
  EXPECT_EQ(ending.value(QStringLiteral("session_id")).toString(), kSession);
  // The ending record itself is no card and no lifecycle record.
  EXPECT_EQ(cardOf(*t.store, QStringLiteral("request-ended-req-1")), nullptr);
  EXPECT_EQ(eventReminderPolicy(t.store->events().back()).kind, EventReminderKind::none);
}

}  // namespace
}  // namespace tandrel
