// The island's card of an agent's request answers the socket request waiting behind it exactly as
// the request's notification does: the same reply bytes reach the waiting client, the same audit
// lines are written, and the card stops asking once the request has ended.

#include "app/overlay_controller.h"

#include "app/overlay_controller_fixture.h"
#include "island/tandrel_view.h"
#include "notifications/tandrel_banners.h"
#include "platform/fake/fake_window_server.h"
#include "requests/socket_frame_codec.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <memory>

namespace tandrel {
namespace {

using R = NotificationCategoryRegistrar;
using test::waitUntil;

const QString kKey = QStringLiteral("0f4c2a9b1e7d4c3a8b6e5d4c3b2a1908");

// The bridge record the event writer appends for the request (risk "low" or "high").
QByteArray requestRecord(const QString& eventType, const QString& risk) {
  QJsonObject record{{"event_id", "card-1"},
                     {"source", "claude_code"},
                     {"event_type", eventType},
                     {"title", "Run: touch x"},
                     {"message", "Bash"},
                     {"tool_name", "Bash"},
                     {"session_id", "s-1"},
                     {"cwd", "/w/proj"},
                     {"raw_event_name", "PermissionRequest"},
                     {"action", QJsonObject{{"kind", "shell"}, {"command", "touch x"}, {"risk", risk}}},
                     {"request_key", kKey},
                     {"timestamp", "2027-01-15T08:00:00Z"}};
  if (eventType == u"waiting_input") {
    record.insert("options", QJsonArray{QJsonObject{{"id", "a"}, {"label", "Alpha"}}});
  }
  return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}

// The request line the blocking client sends for it.
QByteArray requestLine(const QString& kind) {
  HookRequest request;
  request.requestID = QStringLiteral("req-1");
  request.agent = QStringLiteral("claude_code");
  request.sessionID = QStringLiteral("s-1");
  request.agentPID = 4242;
  request.kind = kind;
  request.timeoutSeconds = 120;
  request.payload.tool = QStringLiteral("Bash");
  request.payload.command = QStringLiteral("touch x");
  request.payload.cwd = QStringLiteral("/w/proj");
  if (kind == u"waiting_choice") {
    request.payload.options = QList<HookRequestOption>{{QStringLiteral("a"), QStringLiteral("Alpha"), std::nullopt},
                                                       {QStringLiteral("b"), QStringLiteral("Beta"), std::nullopt}};
  }
  request.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("PermissionRequest")},
                                                  {QStringLiteral("request_key"), kKey}};
  return SocketFrameCodec::encode(request);
}

class OverlayRequestCardsGui : public ::testing::Test, protected test::OverlayControllerFixture {
 protected:
  OverlayRequestCardsGui() { home.setEnv("TANDREL_START_EXPANDED", QByteArray("1")); }

  // One run: the app shows the card, a client waits on the socket, `answer` answers through the
  // card or the banner. Returns the bytes the client read and the audit lines written.
  struct Run {
    QByteArray reply;
    QStringList audit;
    std::optional<QString> outcome;
  };
  Run run(const QString& eventType, const QString& risk, const QString& kind,
          const std::function<void(OverlayController&, TandrelView&, const IslandMessage&)>& answer) {
    // Each run has requests and an audit of its own, as a fresh application would.
    test::TempHome runHome;
    PendingActionStore requests(clock, watchers.factory());
    AuditWriter runAudit(clock, runHome.file(QStringLiteral(".tandrel/audit.jsonl")));
    OverlayControllerOptions options = fixtureOptions();
    options.pendingActions = &requests;
    options.audit = &runAudit;
    options.store.eventFile = runHome.file(QStringLiteral("events.jsonl"));
    options.store.testEnvironment = true;
    options.socketPath = runHome.file(QStringLiteral(".tandrel/tandrel.sock"));
    options.updateCheck = [](const std::function<void(UpdateCheckResult)>&) {};
    options.toolHealth = [] { return std::vector<ToolHealth>(); };
    options.windowServer = &windowServer;
    defaults.set(OverlayController::kDidRequestCodexPetsDirectoryAuthorizationKey, true);
    test::writeFile(options.store.eventFile, requestRecord(eventType, risk));

    OverlayController controller(options);
    controller.applicationDidFinishLaunching();
    QLocalSocket client;
    client.connectToServer(options.socketPath);
    EXPECT_TRUE(client.waitForConnected(2000));
    client.write(requestLine(kind));
    client.flush();
    EXPECT_TRUE(waitUntil([&] { return !requests.waitingActions().empty(); }));

    TandrelView& view = *controller.surfaces().front()->view;
    // A copy: answering makes the store build its cards anew.
    const std::vector<IslandMessage> messages = controller.store().allMessages();
    EXPECT_EQ(messages.size(), 1U);
    if (messages.empty() || !messages.front().pendingAction) {
      ADD_FAILURE() << "the card is not tied to the waiting request";
      return {};
    }
    answer(controller, view, messages.front());

    Run result;
    waitUntil([&] {
      client.waitForReadyRead(10);
      result.reply += client.readAll();
      return result.reply.endsWith('\n');
    });
    for (const QByteArray& line : test::readFile(runAudit.auditFile()).split('\n')) {
      if (line.isEmpty()) continue;
      QJsonObject object = QJsonDocument::fromJson(line).object();
      result.audit << object.value("role").toString() + ':' + object.value("status").toString() + ':' +
                          object.value("decision").toString();
    }
    result.outcome = controller.store().allMessages().front().outcome;
    EXPECT_EQ(controller.store().cachedApprovalCount(), 0);
    return result;
  }

  FakeWindowServer windowServer;
};

TEST_F(OverlayRequestCardsGui, TheCardsAnswersAreTheNotificationsAnswers) {
  struct Case {
    const char* name;
    QString eventType;
    QString kind;
    QString cardRole;      // pressed on the card
    QString notification;  // the banner's action for the same answer
    QString outcome;
  };
  const std::vector<Case> cases = {
      {"approve", "permission_request", "permission_request", "request:approve", R::kApproveOnce,
       "Approved in Tandrel"},
      {"deny", "permission_request", "permission_request", "request:deny", R::kDeny, "Denied in Tandrel"},
      {"a choice", "waiting_input", "waiting_choice", "choose_option:b", "TDChoice.option.b", "Answered in Tandrel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Run card = run(c.eventType, "low", c.kind, [&](OverlayController&, TandrelView& view, const IslandMessage& m) {
      view.performExpandedMessageAction(m, c.cardRole);
    });
    const Run banner = run(c.eventType, "low", c.kind, [&](OverlayController& controller, TandrelView&, const IslandMessage&) {
      controller.notificationDelegate()->dispatch(c.notification, QStringLiteral("req-1"), c.kind);
    });
    EXPECT_FALSE(card.reply.isEmpty());
    EXPECT_EQ(card.reply, banner.reply);
    EXPECT_EQ(card.audit, banner.audit);
    EXPECT_EQ(card.outcome, c.outcome);
    EXPECT_EQ(banner.outcome, c.outcome);
  }
}

TEST_F(OverlayRequestCardsGui, AHighRiskApprovalTakesTwoClicksOnTheCard) {
  const Run run = this->run("permission_request", "high", "permission_request",
                            [](OverlayController& controller, TandrelView& view, const IslandMessage& m) {
                              EXPECT_EQ(m.risk, QStringLiteral("HIGH"));
                              view.performExpandedMessageAction(m, QStringLiteral("request:approve"));
                              EXPECT_EQ(view.statusBanner(), std::optional<QString>(QStringLiteral("Click Approve again to confirm")));
                              EXPECT_EQ(controller.store().cachedApprovalCount(), 1);
                              view.performExpandedMessageAction(m, QStringLiteral("request:approve"));
                            });
  EXPECT_TRUE(run.reply.contains(R"("decision":"allow")"));
  EXPECT_EQ(run.outcome, QStringLiteral("Approved in Tandrel"));
}

}  // namespace
}  // namespace tandrel
