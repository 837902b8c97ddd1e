// An agent that ends its turn asks, through its Stop hook, whether the user has more to say. It is
// held only while "holdFinishedTurns" is on; every way of letting it go answers it at once.
#include "app/overlay_controller.h"

#include "app/overlay_controller_fixture.h"
#include "island/tandrel_view.h"
#include "platform/fake/fake_window_server.h"
#include "notifications/text_input_panel.h"
#include "requests/socket_frame_codec.h"
#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPushButton>

#include <chrono>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {
namespace {

// A Stop request as the Claude Code hook client sends it.
HookRequest finishedTurn(const QString& id) {
  HookRequest request;
  request.requestID = id;
  request.agent = QStringLiteral("claude_code");
  request.sessionID = QStringLiteral("s-1");
  request.agentPID = 4242;
  request.kind = QStringLiteral("waiting_input");
  request.timeoutSeconds = 120;
  request.payload.cwd = QStringLiteral("/srv/api");
  request.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("Stop")},
                                                  {QStringLiteral("last_assistant_message"), QStringLiteral("Done.")}};
  return request;
}

// A hook-like client on the controller's socket.
class HookClient {
 public:
  explicit HookClient(const QString& socketPath) {
    socket_.connectToServer(socketPath);
    connected_ = socket_.waitForConnected(2000);
  }

  bool send(const HookRequest& request) {
    socket_.write(SocketFrameCodec::encode(request));
    return socket_.waitForBytesWritten(2000);
  }

  // The reply's fields, once a whole line has come within `timeoutMs` (the event loop runs
  // meanwhile, so the app answers).
  std::optional<QJsonObject> reply(int timeoutMs = 2000) {
    const bool arrived = test::waitUntil(
        [this] {
          socket_.waitForReadyRead(1);
          return socket_.canReadLine();
        },
        timeoutMs);
    if (!arrived) {
      return std::nullopt;
    }
    return QJsonDocument::fromJson(socket_.readLine()).object();
  }

  bool connected() const { return connected_; }

 private:
  QLocalSocket socket_;
  bool connected_ = false;
};

QStringList auditLines(const QString& path) {
  QStringList lines;
  for (const QJsonObject& line : test::readJsonLines(path)) {
    lines << line.value("role").toString() + ':' + line.value("status").toString() + ':' +
                 line.value("decision").toString();
  }
  return lines;
}

class FinishedTurnTest : public ::testing::Test, protected test::OverlayControllerFixture {
 protected:
  void launch(bool hold) {
    defaults.set(QStringLiteral("holdFinishedTurns"), hold);
    defaults.set(OverlayController::kDidRequestCodexPetsDirectoryAuthorizationKey, true);
    OverlayControllerOptions options = fixtureOptions();
    options.updateCheck = [](const std::function<void(UpdateCheckResult)>&) {};
    options.toolHealth = [] { return std::vector<ToolHealth>(); };
    controller.emplace(options);
    controller->applicationDidFinishLaunching();
    ASSERT_NE(controller->socketServer(), nullptr);
  }

  ~FinishedTurnTest() override {
    if (TextInputPanel::shared().panel() != nullptr) {
      TextInputPanel::shared().cancelClicked();
    }
  }

  std::optional<OverlayController> controller;
};

TEST_F(FinishedTurnTest, WithTheSwitchOffAFinishedTurnIsLetGoAtOnceAndAudited) {
  launch(false);
  HookClient client(fixtureOptions().socketPath);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send(finishedTurn(QStringLiteral("r-1"))));
  const std::optional<QJsonObject> reply = client.reply();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->value("request_id").toString(), "r-1");
  EXPECT_EQ(reply->value("decision").toString(), "no_decision");
  EXPECT_EQ(reply->value("raw_agent_payload").toString(), "{}");
  // Nothing waits, so nothing shows: no pending action, and so no banner or card.
  EXPECT_FALSE(pendingActions.action(QStringLiteral("r-1")).has_value());
  EXPECT_TRUE(pendingActions.waitingActions().empty());
  EXPECT_EQ(auditLines(audit.auditFile()), (QStringList{"pending_request::", "pending_reply:answered:no_decision"}));

  // Requests that are not finished turns still wait.
  HookClient permission(fixtureOptions().socketPath);
  HookRequest request = finishedTurn(QStringLiteral("r-2"));
  request.kind = QStringLiteral("permission_request");
  request.payload.extras->insert(QStringLiteral("hook_event_name"), QStringLiteral("PermissionRequest"));
  ASSERT_TRUE(permission.send(request));
  ASSERT_TRUE(test::waitUntil([&] { return pendingActions.action(QStringLiteral("r-2")).has_value(); }));
  EXPECT_EQ(pendingActions.action(QStringLiteral("r-2"))->status, PendingActionStatus::awaitingUser);
}

TEST_F(FinishedTurnTest, WithTheSwitchOnAFinishedTurnWaitsUntilItsTimeOut) {
  launch(true);
  HookClient client(fixtureOptions().socketPath);
  ASSERT_TRUE(client.send(finishedTurn(QStringLiteral("r-1"))));
  ASSERT_TRUE(test::waitUntil([&] { return pendingActions.action(QStringLiteral("r-1")).has_value(); }));
  EXPECT_FALSE(client.reply(200).has_value()) << "the agent is held";
  clock.advance(std::chrono::seconds(120));
  const std::optional<QJsonObject> reply = client.reply();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->value("decision").toString(), "timed_out");
}

TEST_F(FinishedTurnTest, TurningTheSwitchOffLetsGoOfTheTurnsAlreadyWaiting) {
  launch(true);
  std::vector<std::unique_ptr<HookClient>> turns;
  for (const char* id : {"r-1", "r-2"}) {
    turns.push_back(std::make_unique<HookClient>(fixtureOptions().socketPath));
    HookRequest request = finishedTurn(QString::fromLatin1(id));
    request.sessionID = QString::fromLatin1(id);  // requests of one session would supersede each other
    ASSERT_TRUE(turns.back()->send(request));
  }
  HookClient permission(fixtureOptions().socketPath);
  HookRequest request = finishedTurn(QStringLiteral("p-1"));
  request.kind = QStringLiteral("permission_request");
  request.payload.extras->insert(QStringLiteral("hook_event_name"), QStringLiteral("PermissionRequest"));
  ASSERT_TRUE(permission.send(request));
  ASSERT_TRUE(test::waitUntil([&] { return pendingActions.waitingActions().size() == 3; }));

  // A change that leaves the switch on holds them.
  controller->settings().change([](UserSettings& s) { s.muted = !s.muted; });
  EXPECT_FALSE(turns.front()->reply(100).has_value());
  EXPECT_EQ(pendingActions.waitingActions().size(), 3U);

  controller->settings().change([](UserSettings& s) { s.holdFinishedTurns = false; });
  for (size_t i = 0; i < turns.size(); ++i) {
    SCOPED_TRACE(i);
    const std::optional<QJsonObject> reply = turns[i]->reply();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->value("decision").toString(), "no_decision");
    EXPECT_EQ(reply->value("raw_agent_payload").toString(), "{}");
  }
  EXPECT_EQ(pendingActions.action(QStringLiteral("r-1"))->status, PendingActionStatus::answered);
  // Only finished turns are let go: a permission request still waits for the user.
  ASSERT_EQ(pendingActions.waitingActions().size(), 1U);
  EXPECT_EQ(pendingActions.waitingActions().front().requestID, QStringLiteral("p-1"));
  EXPECT_FALSE(permission.reply(100).has_value());
}

TEST_F(FinishedTurnTest, CancelAnEmptyAnswerAndClosingThePanelEachLetTheAgentGoAtOnce) {
  const struct {
    const char* name;
    std::function<void(TextInputPanel&)> act;
  } cases[] = {
      {"Cancel", [](TextInputPanel& panel) { panel.cancelClicked(); }},
      {"empty answer",
       [](TextInputPanel& panel) {
         panel.textField()->setText(QStringLiteral("  "));
         panel.submitClicked();
       }},
      {"window closed", [](TextInputPanel& panel) { panel.panel()->close(); }},
  };
  launch(true);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString id = QStringLiteral("r-%1").arg(++n);
    HookClient client(fixtureOptions().socketPath);
    HookRequest request = finishedTurn(id);
    request.sessionID = id;  // requests of one session would supersede each other
    ASSERT_TRUE(client.send(request));
    ASSERT_TRUE(test::waitUntil([&] { return pendingActions.action(id).has_value(); }));
    controller->notificationDelegate()->dispatch(NotificationCategoryRegistrar::kTextInputOpen, id,
                                                 QStringLiteral("waiting_input"));
    TextInputPanel& panel = TextInputPanel::shared();
    ASSERT_NE(panel.panel(), nullptr);
    c.act(panel);
    const std::optional<QJsonObject> reply = client.reply();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->value("decision").toString(), "no_decision");
    EXPECT_EQ(reply->value("raw_agent_payload").toString(), "{}");
    EXPECT_EQ(pendingActions.action(id)->status, PendingActionStatus::answered);
    EXPECT_EQ(panel.panel(), nullptr);
  }
  const QStringList lines = auditLines(audit.auditFile());
  EXPECT_EQ(lines.filter(QStringLiteral("pending_reply:answered:")).size(), 3) << lines.join(' ').toStdString();
  EXPECT_TRUE(lines.filter(QStringLiteral("timedOut")).isEmpty());
}

TEST_F(FinishedTurnTest, TheCardOfAWaitingTurnOffersReplyAndLetItStopWhichLetsTheAgentGoAtOnce) {
  // The Stop's bridge record and its request carry one request key, which ties the card to it.
  const QString key = QStringLiteral("5c1f0e2d3b4a59687766554433221100");
  home.setEnv("TANDREL_START_EXPANDED", QByteArray("1"));
  ASSERT_TRUE(test::writeFile(
      fixtureOptions().store.eventFile,
      QJsonDocument(QJsonObject{{"event_id", "stop-1"},
                                {"source", "claude_code"},
                                {"event_type", "task_completed"},
                                {"title", "Done"},
                                {"completion_snippet", "Tests pass."},
                                {"session_id", "s-1"},
                                {"cwd", "/srv/api"},
                                {"raw_event_name", "Stop"},
                                {"request_key", key},
                                {"timestamp", "2027-01-15T08:00:00Z"}})
              .toJson(QJsonDocument::Compact) +
          '\n'));
  FakeWindowServer windowServer;
  defaults.set(QStringLiteral("holdFinishedTurns"), true);
  defaults.set(OverlayController::kDidRequestCodexPetsDirectoryAuthorizationKey, true);
  OverlayControllerOptions options = fixtureOptions();
  options.store.testEnvironment = true;
  options.windowServer = &windowServer;
  options.updateCheck = [](const std::function<void(UpdateCheckResult)>&) {};
  options.toolHealth = [] { return std::vector<ToolHealth>(); };
  controller.emplace(options);
  controller->applicationDidFinishLaunching();

  HookClient client(options.socketPath);
  HookRequest request = finishedTurn(QStringLiteral("r-1"));
  request.payload.extras->insert(QStringLiteral("request_key"), key);
  ASSERT_TRUE(client.send(request));
  ASSERT_TRUE(test::waitUntil([&] { return !pendingActions.waitingActions().empty(); }));
  const std::vector<IslandMessage> messages = controller->store().allMessages();
  ASSERT_EQ(messages.size(), 1U);
  ASSERT_TRUE(messages.front().pendingAction.has_value()) << "the card is not tied to the waiting turn";
  QStringList labels;
  for (const IslandButton& button : messages.front().buttons) {
    labels << button.label;
  }
  EXPECT_EQ(labels, (QStringList{QString::fromUtf8("Reply\u2026"), "Let it stop", "Jump"}));

  controller->surfaces().front()->view->performExpandedMessageAction(messages.front(), QStringLiteral("request:let_stop"));
  const std::optional<QJsonObject> reply = client.reply();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->value("decision").toString(), "no_decision");
  EXPECT_EQ(reply->value("raw_agent_payload").toString(), "{}");
  EXPECT_EQ(pendingActions.action(QStringLiteral("r-1"))->status, PendingActionStatus::answered);
  EXPECT_TRUE(auditLines(audit.auditFile()).filter(QStringLiteral("timedOut")).isEmpty());
}

// Speed checks stay out of the sanitizer run (the "slow" label).
class FinishedTurnSlow : public FinishedTurnTest {};

TEST_F(FinishedTurnSlow, WithTheSwitchOffTheAgentHasItsAnswerWithin50Ms) {
  launch(false);
  // The fastest of three turns: a busy test machine may stall any one of them, while an answer
  // that waited for anything (a card, a time-out) would be slow every time.
  qint64 fastest = std::numeric_limits<qint64>::max();
  for (const char* id : {"r-1", "r-2", "r-3"}) {
    HookClient client(fixtureOptions().socketPath);
    ASSERT_TRUE(client.connected());
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(client.send(finishedTurn(QString::fromLatin1(id))));
    ASSERT_TRUE(client.reply().has_value());
    fastest = std::min(fastest, elapsed.elapsed());
  }
  EXPECT_LT(fastest, 50);
}

}  // namespace
}  // namespace tandrel
