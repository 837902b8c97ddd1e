// Against a real notification server: Debian's dunst, started on a bus of the test's own. A
// waiting request's banner is displayed, dunst's context menu (through a dmenu stand-in that
// picks "Approve") answers it, and the reply reaches the client still waiting on the socket.

#include "notifications/tandrel_banners.h"
#include "notifications/tandrel_un_delegate.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "requests/socket_frame_codec.h"
#include "requests/socket_server.h"
#include "support/private_session_bus.h"
#include "support/temp_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>

namespace tandrel {
namespace {

class NotificationBannersX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));
    const QString dmenu = home.file(QStringLiteral("dmenu.sh"));
    ASSERT_TRUE(test::writeFile(dmenu, "#!/bin/sh\ngrep -m1 'Approve'\n"));
    QFile::setPermissions(dmenu, QFile::ReadOwner | QFile::ExeOwner);
    const QString config = home.file(QStringLiteral("dunstrc"));
    ASSERT_TRUE(test::writeFile(config, "[global]\n    dmenu = " + dmenu.toUtf8() + "\n"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    dunst.setProcessEnvironment(environment);
    dunst.start(QStringLiteral("dunst"), {QStringLiteral("-config"), config});
    ASSERT_TRUE(dunst.waitForStarted()) << "dunst is not installed";
    ASSERT_TRUE(test::waitUntil([&] {
      return connection.interface()->isServiceRegistered(DesktopNotifications::kService).value();
    })) << dunst.readAllStandardError().toStdString();
  }
  void TearDown() override {
    dunst.terminate();
    if (!dunst.waitForFinished(3000)) {
      dunst.kill();
      dunst.waitForFinished(3000);
    }
  }

  // Runs dunstctl on the test's bus and returns its output.
  QString dunstctl(const QStringList& arguments) {
    QProcess control;
    control.setProcessEnvironment(environment);
    control.start(QStringLiteral("dunstctl"), arguments);
    control.waitForFinished(5000);
    return QString::fromUtf8(control.readAllStandardOutput()).trimmed();
  }

  test::TempHome home;
  test::PrivateSessionBus bus;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  QProcess dunst;
  QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("x11-banner-client"));
};

TEST_F(NotificationBannersX11, DunstShowsTheBannerAndItsApproveAnswersTheWaitingClient) {
  FakeClock clock;
  FakeProcessExitWatchers watchers;
  PendingActionStore store(clock, watchers.factory());
  DesktopNotifications notifications(connection);
  TandrelBanners banners(notifications);
  TextInputPanel panel;
  TandrelUNDelegate delegate(TandrelUNDelegate::Services{store, banners, panel, [](const PendingAction&) {}, [] {}, {}});
  NotificationCategoryRegistrar::registerCategories(notifications, banners);
  delegate.respondTo(banners);
  showBannersForRequests(store, banners);

  const QString socketPath = home.file(QStringLiteral("tandrel.sock"));
  SocketServer server(socketPath, [&store](const HookRequest& request, const SocketReplyHandle& reply) {
    if (auto action = PendingAction::fromRequest(request, QDateTime::currentDateTimeUtc())) {
      store.insert(std::move(*action), PendingReplySink{[reply](const HookReply& answer) { reply.send(answer); },
                                                        [reply](std::function<void()> closed) {
                                                          reply.onClosed(std::move(closed));
                                                        }});
    }
  });
  ASSERT_FALSE(server.start().has_value());

  HookRequest request;
  request.requestID = QStringLiteral("x11-1");
  request.agent = QStringLiteral("claude_code");
  request.sessionID = QStringLiteral("s");
  request.agentPID = 4242;
  request.kind = QStringLiteral("permission_request");
  request.timeoutSeconds = 60;
  request.payload.command = QStringLiteral("make test");
  QLocalSocket client;
  client.connectToServer(socketPath);
  ASSERT_TRUE(client.waitForConnected(2000));
  client.write(SocketFrameCodec::encode(request));
  client.flush();

  ASSERT_TRUE(test::waitUntil([&] { return dunstctl({QStringLiteral("count"), QStringLiteral("displayed")}) == "1"; }));
  EXPECT_TRUE(test::waitUntil([&] { return banners.shownIdentifiers() == QStringList{QStringLiteral("tandrel.x11-1")}; }));

  dunstctl({QStringLiteral("context")});
  ASSERT_TRUE(test::waitUntil([&] { return client.canReadLine(); }));
  const QJsonObject reply = QJsonDocument::fromJson(client.readLine()).object();
  EXPECT_EQ(reply.value(QStringLiteral("request_id")).toString(), QStringLiteral("x11-1"));
  EXPECT_EQ(reply.value(QStringLiteral("decision")).toString(), QStringLiteral("allow"));
  EXPECT_EQ(reply.value(QStringLiteral("mode")).toString(), QStringLiteral("once"));
  EXPECT_EQ(store.action(QStringLiteral("x11-1"))->status, PendingActionStatus::answered);
  EXPECT_TRUE(test::waitUntil([&] { return dunstctl({QStringLiteral("count"), QStringLiteral("displayed")}) == "0"; }));
}

}  // namespace
}  // namespace tandrel
