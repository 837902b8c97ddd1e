// The built application on a real X server: a click on the Approve button of the island's card
// answers the agent's request waiting on the socket, and the card's request is recorded as ended.

#include "app/app_x11_fixture.h"
#include "inbox/island_message.h"
#include "island/inbox_layout.h"
#include "requests/socket_frame_codec.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QThread>

namespace tandrel {
namespace {

const QString kKey = QStringLiteral("5e1d0c9b8a7f6e5d4c3b2a1908f7e6d5");

class RequestCardAppX11 : public test::AppX11Test {};

TEST_F(RequestCardAppX11, ClickingApproveOnTheCardAnswersTheWaitingAgent) {
  const QString bridge = QString::fromLocal8Bit(qgetenv("TANDREL_EVENT_FILE"));
  ASSERT_TRUE(test::writeFile(
      bridge, QJsonDocument(QJsonObject{{"event_id", "x11-card"},
                                        {"source", "claude_code"},
                                        {"event_type", "permission_request"},
                                        {"title", "Run: touch x"},
                                        {"message", "Bash"},
                                        {"session_id", "s-x11"},
                                        {"action", QJsonObject{{"kind", "shell"}, {"command", "touch x"}, {"risk", "low"}}},
                                        {"request_key", kKey}})
                      .toJson(QJsonDocument::Compact) +
                  '\n'));

  QProcessEnvironment environment = appEnvironment();
  environment.insert(QStringLiteral("TANDREL_TEST_MODE"), QStringLiteral("1"));
  environment.insert(QStringLiteral("TANDREL_START_EXPANDED"), QStringLiteral("1"));
  app.setProcessEnvironment(environment);
  app.start(test::tandrelBinary(), {});
  ASSERT_TRUE(app.waitForStarted());

  QLocalSocket client;
  const QString socketPath = home.file(QStringLiteral(".tandrel/tandrel.sock"));
  ASSERT_TRUE(test::waitUntil(
      [&] {
        client.connectToServer(socketPath);
        return client.waitForConnected(100);
      },
      10000))
      << app.readAllStandardError().constData();
  HookRequest request;
  request.requestID = QStringLiteral("x11-req");
  request.agent = QStringLiteral("claude_code");
  request.sessionID = QStringLiteral("s-x11");
  request.agentPID = static_cast<std::int32_t>(QCoreApplication::applicationPid());
  request.kind = QStringLiteral("permission_request");
  request.timeoutSeconds = 60;
  request.payload.tool = QStringLiteral("Bash");
  request.payload.command = QStringLiteral("touch x");
  request.payload.extras = QMap<QString, QString>{{QStringLiteral("hook_event_name"), QStringLiteral("PermissionRequest")},
                                                  {QStringLiteral("request_key"), kKey}};
  client.write(SocketFrameCodec::encode(request));
  ASSERT_TRUE(client.waitForBytesWritten(2000));
  // The request is accepted once its audit line is written; the card is then tied to it.
  const QString audit = home.file(QStringLiteral(".tandrel/audit.jsonl"));
  ASSERT_TRUE(test::waitUntil([&] { return test::readFile(audit).contains("x11-req"); }, 10000));

  xcb_window_t island = XCB_NONE;
  ASSERT_TRUE(test::waitUntil(
      [&] {
        island = appWindow([](const QRect& bounds) { return bounds.width() == 540; });
        return island != XCB_NONE;
      },
      10000));
  const QRect bounds = x11->placement(island)->bounds;
  // Where the card draws Approve: the card's buttons are Deny, Approve and Jump.
  IslandMessage card;
  card.event.id = QStringLiteral("x11-card");
  card.buttons = {{QStringLiteral("Deny"), QStringLiteral("request:deny")},
                  {QStringLiteral("Approve"), QStringLiteral("request:approve")},
                  {QStringLiteral("Jump"), QStringLiteral("request:jump")}};
  const inbox_layout::InboxPageLayout layout(QSizeF(bounds.size()), OverlayMode::expanded, {card}, std::nullopt);
  QRectF approve;
  for (const auto& [button, rect] : layout.actionButtonRects(0)) {
    if (button.role == u"request:approve") approve = rect;
  }
  ASSERT_FALSE(approve.isNull());
  QThread::msleep(300);  // the card's new buttons are painted
  const QPoint click = bounds.topLeft() + approve.center().toPoint();
  xdotool({QStringLiteral("mousemove"), QString::number(click.x()), QString::number(click.y())});
  xdotool({QStringLiteral("click"), QStringLiteral("1")});

  QByteArray reply;
  ASSERT_TRUE(test::waitUntil(
      [&] {
        client.waitForReadyRead(20);
        reply += client.readAll();
        return reply.endsWith('\n');
      },
      10000))
      << app.readAllStandardError().constData();
  const QJsonObject answer = QJsonDocument::fromJson(reply).object();
  EXPECT_EQ(answer.value("request_id").toString(), QStringLiteral("x11-req"));
  EXPECT_EQ(answer.value("decision").toString(), QStringLiteral("allow"));
  EXPECT_EQ(answer.value("raw_agent_payload").toString(),
            QStringLiteral(R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"));
  // The ending is recorded in the bridge file, so the card stays cleared after a restart.
  EXPECT_TRUE(test::waitUntil([&] { return test::readFile(bridge).contains("Approved in Tandrel"); }, 5000));
}

}  // namespace
}  // namespace tandrel
