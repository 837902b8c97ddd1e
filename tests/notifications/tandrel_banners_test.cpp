#include "notifications/tandrel_banners.h"

#include "base/canonical_json.h"
#include "notifications/tandrel_un_delegate.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "requests/agent_reply_marshaller.h"
#include "support/fake_notification_server.h"
#include "support/private_session_bus.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDir>

#include <map>

namespace tandrel {
namespace {

using R = NotificationCategoryRegistrar;
using test::FakeNotificationServer;
using test::waitUntil;

PendingAction action(const QString& requestID, PendingActionKind kind, HookRequestPayload payload = {},
                     const QString& agent = QStringLiteral("claude_code"), const QString& session = QStringLiteral("s1")) {
  PendingAction a;
  a.requestID = requestID;
  a.agent = agent;
  a.sessionID = session;
  a.agentPID = 4242;
  a.kind = kind;
  a.createdAt = QDateTime::fromSecsSinceEpoch(1'800'000'000);
  a.timeoutSeconds = 60;
  a.payload = std::move(payload);
  return a;
}

TEST(TandrelBannersTest, TheBodyFirstNamesTheAgentAndItsFolder) {
  const QString home = QDir::homePath();
  ASSERT_FALSE(home.isEmpty() || home == QLatin1String("/"));
  const std::vector<std::pair<QString, QString>> cases{
      {home + QStringLiteral("/work/api"), QString::fromUtf8("Codex CLI \u00B7 ~/work/api")},
      {home, QString::fromUtf8("Codex CLI \u00B7 ~")},
      {home + QStringLiteral("-other/api"), QString::fromUtf8("Codex CLI \u00B7 ") + home + QStringLiteral("-other/api")},
      {QStringLiteral("/srv/api"), QString::fromUtf8("Codex CLI \u00B7 /srv/api")},
  };
  for (const auto& [cwd, origin] : cases) {
    HookRequestPayload payload;
    payload.cwd = cwd;
    payload.command = QStringLiteral("make");
    const PendingAction a = action("r", PendingActionKind::permissionRequest, payload, QStringLiteral("codex"));
    EXPECT_EQ(TandrelBanners::origin(a), origin) << cwd.toStdString();
    EXPECT_EQ(TandrelBanners::content(a).body, origin + QStringLiteral("\nRun: make")) << cwd.toStdString();
  }
}

TEST(TandrelBannersTest, ContentFollowsTheKindAndPayload) {
  const auto with = [](std::optional<QString> command, std::optional<QString> prompt) {
    HookRequestPayload payload;
    payload.command = std::move(command);
    payload.prompt = std::move(prompt);
    return payload;
  };
  using K = PendingActionKind;
  using C = TandrelBanners::Content;
  const std::vector<std::pair<PendingAction, C>> cases{
      {action("a", K::permissionRequest, with(QStringLiteral("ls"), std::nullopt)), C{"Approval needed", "Claude Code\nRun: ls", "TDPermissionRequest"}},
      {action("b", K::permissionRequest, with(QString(), std::nullopt)), C{"Approval needed", "Claude Code\nRun: ", "TDPermissionRequest"}},
      {action("c", K::permissionRequest), C{"Approval needed", "Claude Code\nAgent requested permission", "TDPermissionRequest"}},
      {action("d", K::waitingChoice, with(std::nullopt, QStringLiteral("Pick one")), QStringLiteral("codex")), C{"Choice needed", "Codex CLI\nPick one", "TDChoice"}},
      {action("e", K::waitingChoice), C{"Choice needed", "Claude Code\nAgent is waiting for a choice", "TDChoice"}},
      {action("f", K::waitingInput), C{"Input needed", "Claude Code\nAgent is waiting for your text", "TDTextInput"}},
  };
  for (const auto& [a, content] : cases) {
    EXPECT_EQ(TandrelBanners::content(a), content) << a.requestID.toStdString();
  }
  EXPECT_EQ(TandrelBanners::identifier(QStringLiteral("r-17")), QStringLiteral("tandrel.r-17"));
}

// A pending-action store whose requests show banners on a fake server, answered by a delegate
// whose Jump and activation are recorded. Replies are kept per request, as the wire bytes. Server
// and client meet on a bus of their own, so that the test needs no session bus.
struct NotificationFixture {
  explicit NotificationFixture(QStringList capabilities = {QStringLiteral("actions"), QStringLiteral("body")})
      : server(std::move(capabilities), privateBus.address()),
        bus(privateBus.connection(), server.service()),
        store(clock, watchers.factory()),
        banners(bus),
        delegate(TandrelUNDelegate::Services{store, banners, panel,
                                              [this](const PendingAction& a) { jumped.push_back(a.requestID); },
                                              [this] { ++activations; }, {}}) {
    EXPECT_TRUE(!privateBus.address().isEmpty() && server.registered()) << "the private bus or the fake server did not start";
    R::registerCategories(bus, banners);
    delegate.respondTo(banners);
    showBannersForRequests(store, banners);
  }

  // Inserts a request and waits for its banner; returns the server's id.
  quint32 insert(const PendingAction& a) {
    const std::size_t before = server.posted().size();
    store.insert(a, PendingReplySink{[this, id = a.requestID](const HookReply& reply) {
                                       replies[id].push_back(canonicalJsonLine(toJson(reply)));
                                     },
                                     [this, id = a.requestID](std::function<void()> closed) { hangUps[id] = std::move(closed); }});
    // Shown once the server's id came back to the banners.
    EXPECT_TRUE(waitUntil([&] {
      return server.posted().size() > before && banners.shownIdentifiers().contains(TandrelBanners::identifier(a.requestID));
    }));
    return server.posted().empty() ? 0 : server.posted().back().id;
  }
  bool closedOnServer(quint32 id) {
    return waitUntil([&] {
      const auto closed = server.closed();
      return std::find(closed.begin(), closed.end(), id) != closed.end();
    });
  }

  test::PrivateSessionBus privateBus;
  FakeClock clock;
  FakeProcessExitWatchers watchers;
  FakeNotificationServer server;
  DesktopNotifications bus;
  PendingActionStore store;
  TandrelBanners banners;
  TextInputPanel panel;
  TandrelUNDelegate delegate;
  std::map<QString, std::vector<QByteArray>> replies;
  std::map<QString, std::function<void()>> hangUps;
  std::vector<QString> jumped;
  int activations = 0;
};

TEST(NotificationBannersTest, APostedBannerCarriesItsButtonsAndUserInformation) {
  NotificationFixture f;
  ASSERT_TRUE(f.server.registered());
  ASSERT_TRUE(waitUntil([&] { return f.banners.actionsSupported(); }));
  HookRequestPayload payload;
  payload.command = QStringLiteral("rm -rf build");
  f.insert(action(QStringLiteral("r-1"), PendingActionKind::permissionRequest, payload));

  const auto posted = f.server.posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].appName, QStringLiteral("Tandrel"));
  EXPECT_EQ(posted[0].summary, QStringLiteral("Approval needed"));
  EXPECT_EQ(posted[0].body, QStringLiteral("Claude Code\nRun: rm -rf build"));
  EXPECT_EQ(posted[0].hints.value(QStringLiteral("resident")), QVariant(true));
  EXPECT_EQ(posted[0].actions, (QStringList{"default", "", "TDPermissionRequest.approve_once", "Approve",
                                            "TDPermissionRequest.approve_always", "Always", "TDPermissionRequest.deny",
                                            "Deny", "TDAction.jump", "Jump"}));
  EXPECT_EQ(posted[0].timeout, 0);  // stays until the request ends
  EXPECT_EQ(f.banners.shownIdentifiers(), QStringList{QStringLiteral("tandrel.r-1")});
  EXPECT_EQ(TandrelBanners::userInfo(action(QStringLiteral("r-1"), PendingActionKind::waitingChoice)),
            (QVariantMap{{"request_id", "r-1"}, {"kind", "waiting_choice"}, {"agent", "claude_code"}, {"session_id", "s1"}}));

  f.insert(action(QStringLiteral("r-2"), PendingActionKind::waitingChoice, {}, QStringLiteral("codex"), QStringLiteral("s2")));
  EXPECT_EQ(f.server.posted().back().actions,
            (QStringList{"default", "", "TDChoice.more", QString::fromUtf8("More\u2026"), "TDAction.jump", "Jump"}));
}

TEST(NotificationBannersTest, ABodyIsEscapedOnlyForAServerThatReadsMarkup) {
  const QString command = QStringLiteral("echo '<b>&</b>' > out.txt");
  const std::vector<std::pair<QStringList, QString>> cases{
      {{QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")},
       QStringLiteral("Claude Code \u00B7 /srv/app\nRun: echo '&lt;b&gt;&amp;&lt;/b&gt;' &gt; out.txt")},
      {{QStringLiteral("actions"), QStringLiteral("body")}, QStringLiteral("Claude Code \u00B7 /srv/app\nRun: ") + command},
  };
  for (const auto& [capabilities, body] : cases) {
    SCOPED_TRACE(capabilities.join(QLatin1Char(' ')).toStdString());
    NotificationFixture f(capabilities);
    ASSERT_TRUE(waitUntil([&] { return f.banners.bodyMarkup() == capabilities.contains(QStringLiteral("body-markup")) &&
                                       f.banners.actionsSupported(); }));
    HookRequestPayload payload;
    payload.command = command;
    payload.cwd = QStringLiteral("/srv/app");
    f.insert(action(QStringLiteral("r-1"), PendingActionKind::permissionRequest, payload));
    EXPECT_EQ(f.server.posted().back().body, body);
    EXPECT_EQ(f.server.posted().back().hints.value(QStringLiteral("resident")), QVariant(true));
  }
}

TEST(NotificationBannersTest, AServerWithoutActionsGetsBannersWithoutButtons) {
  NotificationFixture f({QStringLiteral("body")});
  ASSERT_TRUE(waitUntil([&] { return !f.banners.actionsSupported(); }));
  f.insert(action(QStringLiteral("r-1"), PendingActionKind::waitingInput));
  EXPECT_TRUE(f.server.posted().back().actions.isEmpty());
}

TEST(NotificationBannersTest, EveryActionReachesTheAgentAsItsReply) {
  using K = PendingActionKind;
  using V = UserDecision::Verb;
  using M = UserDecision::Mode;
  struct Case {
    const char* name;
    PendingActionKind kind;
    QString actionID;
    std::optional<UserDecision> decision;  // none: the request keeps waiting
    bool jumps = false;
    bool activates = false;
  };
  const std::vector<Case> cases{
      {"approve once", K::permissionRequest, R::kApproveOnce, UserDecision{V::allow, M::once, {}, {}}},
      {"always", K::permissionRequest, R::kApproveAlways, UserDecision{V::allow, M::always, {}, {}}},
      {"deny", K::permissionRequest, R::kDeny, UserDecision{V::deny, M::once, {}, {}}},
      {"deny text", K::waitingInput, R::kTextInputDeny, UserDecision{V::deny, M::once, {}, {}}},
      {"option", K::waitingChoice, QStringLiteral("TDChoice.option.opt-2"), UserDecision{V::choice, M::once, QStringLiteral("opt-2"), {}}},
      {"jump", K::permissionRequest, R::kJump, std::nullopt, true, false},
      {"more", K::waitingChoice, R::kChoiceMore, std::nullopt, false, true},
      {"banner clicked", K::permissionRequest, R::kDefaultAction, std::nullopt, false, true},
      {"unknown action", K::permissionRequest, QStringLiteral("TDSomething.else"), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NotificationFixture f;
    const PendingAction a = action(QStringLiteral("r-1"), c.kind);
    const quint32 id = f.insert(a);
    f.server.invokeAction(id, c.actionID);
    if (c.decision) {
      ASSERT_TRUE(waitUntil([&] { return !f.replies[a.requestID].empty(); }));
      EXPECT_EQ(f.replies[a.requestID],
                std::vector<QByteArray>{canonicalJsonLine(toJson(AgentReplyMarshaller::userReply(a, *c.decision)))});
      EXPECT_TRUE(f.closedOnServer(id));
      EXPECT_EQ(f.store.action(a.requestID)->status, PendingActionStatus::answered);
    } else {
      ASSERT_TRUE(waitUntil([&] { return (c.jumps ? !f.jumped.empty() : true) && (c.activates ? f.activations > 0 : true); }));
      QCoreApplication::processEvents();
      EXPECT_EQ(f.store.action(a.requestID)->status, PendingActionStatus::awaitingUser);
      EXPECT_TRUE(f.replies[a.requestID].empty());
      EXPECT_EQ(f.banners.shownIdentifiers(), QStringList{QStringLiteral("tandrel.r-1")});
    }
    f.delegate.drainJumps();
    EXPECT_EQ(f.jumped.size(), c.jumps ? 1u : 0u);
    EXPECT_EQ(f.activations, c.activates ? 1 : 0);
  }
}

TEST(NotificationBannersTest, AJumpTriesTheAgentsOwnTerminalBeforeTheRouter) {
  struct Case {
    const char* name;
    std::optional<bool> terminalOpens;  // none: no terminal Jump is known
    std::vector<QString> expected;
  };
  const std::vector<Case> cases{
      {"the terminal opens", true, {"terminal r-1"}},
      {"the terminal fails", false, {"terminal r-1", "router r-1"}},
      {"no terminal known", std::nullopt, {"router r-1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NotificationFixture f;
    f.insert(action(QStringLiteral("r-1"), PendingActionKind::permissionRequest));
    std::vector<QString> tried;  // written on the jump thread, read after the drain
    TandrelUNDelegate delegate(TandrelUNDelegate::Services{
        f.store, f.banners, f.panel, [&tried](const PendingAction& a) { tried.push_back("router " + a.requestID); }, [] {},
        [&tried, &c](const PendingAction& a) -> std::function<bool()> {
          if (!c.terminalOpens) {
            return {};
          }
          return [&tried, id = a.requestID, opens = *c.terminalOpens] {
            tried.push_back("terminal " + id);
            return opens;
          };
        }});
    delegate.dispatch(R::kJump, QStringLiteral("r-1"), QStringLiteral("permission_request"));
    delegate.drainJumps();
    EXPECT_EQ(tried, c.expected);
    EXPECT_EQ(f.store.action(QStringLiteral("r-1"))->status, PendingActionStatus::awaitingUser);
  }
}

TEST(NotificationBannersTest, AnAnswerIsMarshalledForTheStoredRequestNotTheBanner) {
  NotificationFixture f;
  const PendingAction input = action(QStringLiteral("r-1"), PendingActionKind::waitingInput);
  f.insert(input);
  // The banner's user information says permission_request; the stored request waits for text.
  f.delegate.dispatch(R::kApproveOnce, QStringLiteral("r-1"), QStringLiteral("permission_request"));
  const UserDecision allow{UserDecision::Verb::allow, UserDecision::Mode::once, {}, {}};
  EXPECT_EQ(f.replies["r-1"], std::vector<QByteArray>{canonicalJsonLine(toJson(AgentReplyMarshaller::userReply(input, allow)))});
  PendingAction asPermission = input;
  asPermission.kind = PendingActionKind::permissionRequest;
  EXPECT_NE(f.replies["r-1"].front(), canonicalJsonLine(toJson(AgentReplyMarshaller::userReply(asPermission, allow))));

  // Unknown kinds and request ids are ignored.
  f.delegate.dispatch(R::kDeny, QStringLiteral("r-1"), QStringLiteral("bogus"));
  f.delegate.dispatch(R::kDeny, QStringLiteral("r-404"), QStringLiteral("permission_request"));
  EXPECT_EQ(f.replies["r-1"].size(), 1u);
  EXPECT_TRUE(f.replies["r-404"].empty());
}

TEST(NotificationBannersTest, TheBannerIsWithdrawnWhenTheRequestEndsInAnyWay) {
  struct Case {
    const char* name;
    std::function<void(NotificationFixture&, const PendingAction&)> end;
    PendingActionStatus status;
  };
  const std::vector<Case> cases{
      {"answered on the island",
       [](NotificationFixture& f, const PendingAction& a) {
         f.store.complete(a.requestID, AgentReplyMarshaller::userReply(a, UserDecision{}), PendingActionStatus::answered);
       },
       PendingActionStatus::answered},
      {"time-out", [](NotificationFixture& f, const PendingAction&) { f.clock.advance(std::chrono::seconds(61)); },
       PendingActionStatus::timedOut},
      {"agent exit", [](NotificationFixture& f, const PendingAction& a) { f.watchers.exit(a.agentPID); },
       PendingActionStatus::agentDied},
      {"hook hang-up", [](NotificationFixture& f, const PendingAction& a) { f.hangUps[a.requestID](); },
       PendingActionStatus::hookDropped},
      {"superseded",
       [](NotificationFixture& f, const PendingAction& a) {
         PendingAction newer = a;
         newer.requestID = QStringLiteral("r-2");
         f.insert(newer);
       },
       PendingActionStatus::superseded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NotificationFixture f;
    const PendingAction a = action(QStringLiteral("r-1"), PendingActionKind::permissionRequest);
    const quint32 id = f.insert(a);
    c.end(f, a);
    EXPECT_EQ(f.store.action(a.requestID)->status, c.status);
    EXPECT_TRUE(f.closedOnServer(id));
    EXPECT_FALSE(f.banners.shownIdentifiers().contains(QStringLiteral("tandrel.r-1")));
    // A late tap on the withdrawn banner sends nothing more.
    const std::size_t sent = f.replies[a.requestID].size();
    f.delegate.dispatch(R::kApproveOnce, a.requestID, QStringLiteral("permission_request"));
    EXPECT_EQ(f.replies[a.requestID].size(), sent);
  }
}

TEST(NotificationBannersTest, ARequestEndingBeforeItsBannerIsConfirmedStillLosesIt) {
  NotificationFixture f;
  const PendingAction a = action(QStringLiteral("r-1"), PendingActionKind::permissionRequest);
  f.store.insert(a, [](const HookReply&) {});
  f.clock.advance(std::chrono::seconds(61));  // ends before the server's reply arrives
  ASSERT_TRUE(waitUntil([&] { return f.server.posted().size() == 1 && f.server.closed().size() == 1; }));
  EXPECT_EQ(f.server.closed().front(), f.server.posted().front().id);
  EXPECT_TRUE(f.banners.shownIdentifiers().isEmpty());
}

TEST(NotificationBannersTest, DismissingAChoiceBannerBringsTheAppForwardOthersDoNothing) {
  NotificationFixture f;
  const quint32 choice = f.insert(action(QStringLiteral("r-1"), PendingActionKind::waitingChoice));
  const quint32 permission =
      f.insert(action(QStringLiteral("r-2"), PendingActionKind::permissionRequest, {}, QStringLiteral("codex"), QStringLiteral("s2")));
  f.server.closeByUser(permission);
  f.server.closeByUser(choice);
  ASSERT_TRUE(waitUntil([&] { return f.activations == 1; }));
  EXPECT_TRUE(waitUntil([&] { return f.banners.shownIdentifiers().isEmpty(); }));
  EXPECT_EQ(f.activations, 1);
  EXPECT_EQ(f.store.waitingActions().size(), 2u);
}

TEST(NotificationBannersTest, WithoutANotificationServerPostingFailsQuietly) {
  // A bus on which nobody serves notifications, and no bus at all (the connection never opened).
  test::PrivateSessionBus privateBus;
  ASSERT_TRUE(privateBus.connection().isConnected()) << "the private bus did not start";
  const std::vector<std::pair<const char*, QDBusConnection>> connections{
      {"no server", privateBus.connection()},
      {"no bus", QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tandrel-test-bus"),
                                               QStringLiteral("tandrel-test-no-bus"))},
  };
  for (const auto& [label, connection] : connections) {
    SCOPED_TRACE(label);
    FakeClock clock;
    FakeProcessExitWatchers watchers;
    PendingActionStore store(clock, watchers.factory());
    DesktopNotifications nobody(connection, QStringLiteral("org.tandrel.test.Nobody"));
    TandrelBanners banners(nobody);
    std::optional<QStringList> capabilities;
    R::registerCategories(nobody, banners);
    nobody.capabilities([&capabilities](const QStringList& list) { capabilities = list; });
    std::vector<bool> posted;
    banners.onPosted = [&posted](const QString&, bool ok) { posted.push_back(ok); };
    showBannersForRequests(store, banners);
    std::vector<HookReply> replies;
    for (const QString& id : {QStringLiteral("r-1"), QStringLiteral("r-2"), QStringLiteral("r-3")}) {
      store.insert(action(id, PendingActionKind::permissionRequest, {}, QStringLiteral("claude_code"), id),
                   [&replies](const HookReply& reply) { replies.push_back(reply); });
    }
    store.fail(QStringLiteral("r-3"), PendingActionStatus::agentDied);
    // Every post is reported, so that nothing of it is kept waiting for an answer that never comes.
    ASSERT_TRUE(waitUntil([&] { return posted.size() == 3 && capabilities.has_value(); }));
    EXPECT_EQ(posted, std::vector<bool>(3, false));
    EXPECT_TRUE(capabilities->isEmpty());
    EXPECT_FALSE(banners.actionsSupported());
    EXPECT_TRUE(banners.shownIdentifiers().isEmpty());
    EXPECT_EQ(store.waitingActions().size(), 2u);
    EXPECT_EQ(replies.size(), 1u);
  }
}

}  // namespace
}  // namespace tandrel
