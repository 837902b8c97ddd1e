#include "app/overlay_controller.h"

#include "app/overlay_controller_fixture.h"
#include "app/overlay_surface.h"
#include "island/tandrel_view.h"
#include "platform/process_exit_watcher.h"
#include "support/temp_home.h"
#include "support/wait.h"
#include "update/update_installer.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace tandrel {
namespace {

using std::chrono::seconds;

// A reply handle that records what the controller does with it.
struct RecordingHandle {
  std::vector<HookReply> sent;
  int closes = 0;
  std::function<void()> closedCallback;

  SocketReplyHandle handle() {
    return SocketReplyHandle([this](const HookReply& reply, SocketSendCompletion) { sent.push_back(reply); },
                             [this] { ++closes; },
                             [this](std::function<void()> callback) { closedCallback = std::move(callback); });
  }
};

HookRequest request(const QString& id, const QString& kind, std::int64_t timeoutSeconds = 30) {
  HookRequest request;
  request.requestID = id;
  request.agent = QStringLiteral("claude_code");
  request.sessionID = QStringLiteral("session");
  request.agentPID = 4242;
  request.kind = kind;
  request.timeoutSeconds = timeoutSeconds;
  request.payload.command = QStringLiteral("ls");
  return request;
}

QStringList auditRoles(const QString& path) {
  QStringList roles;
  for (const QByteArray& line : test::readFile(path).split('\n')) {
    if (!line.isEmpty()) {
      const QJsonObject object = QJsonDocument::fromJson(line).object();
      roles << object.value("role").toString() + ':' + object.value("status").toString();
    }
  }
  return roles;
}

// A controller over the fixtures of one test.
class OverlayControllerTest : public ::testing::Test, protected test::OverlayControllerFixture {
 protected:
  OverlayControllerOptions options() {
    OverlayControllerOptions options = fixtureOptions();
    // Launching outside the test environment also arms the update check and queues the start-up
    // prompt: keep both to this test (no feed asked, no agent tool needing repair, the pets folder
    // already asked about).
    options.updateCheck = [](const std::function<void(UpdateCheckResult)>&) {};
    options.toolHealth = [] { return std::vector<ToolHealth>(); };
    defaults.set(OverlayController::kDidRequestCodexPetsDirectoryAuthorizationKey, true);
    return options;
  }
};

TEST_F(OverlayControllerTest, SocketRequestsBecomeAuditedPendingActionsAnsweredOnTheirConnection) {
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();

  RecordingHandle timedOut;
  controller.handleSocketRequest(request("r1", "permission_request", 30), timedOut.handle());
  const std::optional<PendingAction> action = pendingActions.action("r1");
  ASSERT_TRUE(action.has_value());
  EXPECT_EQ(action->status, PendingActionStatus::awaitingUser);
  EXPECT_EQ(action->createdAt, clock.now());
  EXPECT_EQ(action->agentPID, 4242);
  EXPECT_EQ(action->payload.command, QStringLiteral("ls"));
  EXPECT_EQ(watchers.livePids(), std::vector<qint32>{4242});

  clock.advance(seconds(30));
  ASSERT_EQ(timedOut.sent.size(), 1u);
  EXPECT_EQ(timedOut.sent[0].decision, QStringLiteral("timed_out"));
  EXPECT_EQ(timedOut.sent[0].requestID, QStringLiteral("r1"));

  // The agent hanging up ends its request without a reply.
  RecordingHandle dropped;
  controller.handleSocketRequest(request("r2", "waiting_input"), dropped.handle());
  ASSERT_TRUE(dropped.closedCallback);
  dropped.closedCallback();
  EXPECT_EQ(pendingActions.action("r2")->status, PendingActionStatus::hookDropped);
  EXPECT_TRUE(dropped.sent.empty());

  EXPECT_EQ(auditRoles(audit.auditFile()),
            (QStringList{"pending_request:", "pending_reply:timedOut", "pending_request:", "pending_reply:hookDropped"}));
}

TEST_F(OverlayControllerTest, TheStoreReadsTheControllersPendingActionsAndDefaults) {
  defaults.set(EventStore::kReadEventIDsKey, QStringList{QStringLiteral("seen")});
  OverlayControllerOptions configured = options();
  configured.store.testEnvironment = false;  // read state comes from the defaults only then
  OverlayController controller(configured);
  EXPECT_TRUE(controller.store().isReadForTests(QStringLiteral("seen")));

  EXPECT_EQ(controller.store().petState(), PetState::idle);
  RecordingHandle handle;
  controller.handleSocketRequest(request("r1", "permission_request", 5), handle.handle());
  ASSERT_TRUE(PendingActionStore::shared().waitingActions().empty());
  EXPECT_EQ(controller.store().petState(), PetState::approval);
  clock.advance(seconds(5));
  EXPECT_EQ(controller.store().petState(), PetState::idle);
}

TEST_F(OverlayControllerTest, UnknownKindClosesTheConnectionAndNothingElse) {
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  RecordingHandle handle;
  controller.handleSocketRequest(request("r1", "approval"), handle.handle());
  EXPECT_EQ(handle.closes, 1);
  EXPECT_TRUE(handle.sent.empty());
  EXPECT_FALSE(pendingActions.action("r1").has_value());
  EXPECT_EQ(watchers.createdCount(), 0);
  EXPECT_FALSE(QFileInfo::exists(audit.auditFile()));
}

TEST_F(OverlayControllerTest, LaunchReconcilesTheAuditLogAndServesTheSocket) {
  // A request a previous run never answered.
  ASSERT_TRUE(test::writeFile(audit.auditFile(),
                              R"({"role":"pending_request","request_id":"old","kind":"permission_request",)"
                              R"("agent":"codex","timestamp":"2027-01-01T00:00:00Z"})"
                              "\n"));
  // Earlier versions left the socket's folder readable by everyone.
  const QString folder = home.file(QStringLiteral(".tandrel"));
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
  OverlayController controller(options());
  EXPECT_EQ(controller.socketServer(), nullptr) << "nothing starts before launch finishes";
  controller.applicationDidFinishLaunching();
  EXPECT_EQ(QFileInfo(folder).permissions() & 0x0077, 0) << "no access for group or others";
  EXPECT_EQ(auditRoles(audit.auditFile()), (QStringList{"pending_request:", "pending_reconcile:dropped_on_restart"}));

  ASSERT_NE(controller.socketServer(), nullptr);
  EXPECT_TRUE(controller.socketServer()->isRunning());
  EXPECT_EQ(controller.socketServer()->socketPath(), options().socketPath);
  EXPECT_TRUE(QFileInfo(options().socketPath).exists());
}

TEST_F(OverlayControllerTest, SocketApprovalSetting) {
  struct Case {
    std::optional<DefaultsValue> stored;
    bool enabled;
  };
  const std::vector<Case> cases = {
      {std::nullopt, true},
      {DefaultsValue(true), true},
      {DefaultsValue(false), false},
      {DefaultsValue(QStringLiteral("false")), true},  // not a flag: on
      {DefaultsValue(qint64{0}), true},
  };
  for (const Case& c : cases) {
    if (c.stored) {
      defaults.set(OverlayController::kUseSocketApprovalEnabledKey, *c.stored);
    } else {
      defaults.remove(OverlayController::kUseSocketApprovalEnabledKey);
    }
    OverlayController controller(options());
    EXPECT_EQ(controller.socketApprovalEnabled(), c.enabled);
    controller.applicationDidFinishLaunching();
    EXPECT_EQ(controller.socketServer() != nullptr, c.enabled);
  }
}

TEST_F(OverlayControllerTest, StartModeAndActivationPolicy) {
  using Policy = ActivationPolicy;
  EXPECT_EQ(OverlayController::activationPolicyFor(false, false, OverlayMode::collapsed), Policy::accessory);
  EXPECT_EQ(OverlayController::activationPolicyFor(false, false, OverlayMode::expanded), Policy::accessory);
  EXPECT_EQ(OverlayController::activationPolicyFor(false, false, OverlayMode::settings), Policy::regular);
  EXPECT_EQ(OverlayController::activationPolicyFor(false, true, OverlayMode::collapsed), Policy::regular);
  EXPECT_EQ(OverlayController::activationPolicyFor(true, false, OverlayMode::collapsed), Policy::regular);

  struct Case {
    const char* startSettings;
    const char* startExpanded;
    OverlayMode mode;
    Policy policy;
  };
  const std::vector<Case> cases = {
      {nullptr, nullptr, OverlayMode::collapsed, Policy::accessory},
      {nullptr, "1", OverlayMode::expanded, Policy::accessory},
      {"1", "1", OverlayMode::settings, Policy::regular},
      {"true", nullptr, OverlayMode::collapsed, Policy::accessory},
  };
  defaults.set(OverlayController::kUseSocketApprovalEnabledKey, false);
  for (const Case& c : cases) {
    home.setEnv("TANDREL_START_SETTINGS",
                c.startSettings ? std::optional<QByteArray>(c.startSettings) : std::nullopt);
    home.setEnv("TANDREL_START_EXPANDED",
                c.startExpanded ? std::optional<QByteArray>(c.startExpanded) : std::nullopt);
    OverlayController controller(options());
    controller.applicationDidFinishLaunching();
    EXPECT_EQ(controller.currentMode(), c.mode);
    EXPECT_EQ(controller.activationPolicy(), c.policy);
  }
}

TEST_F(OverlayControllerTest, ReopenExpandsOnlyWithTheDockSetting) {
  defaults.set(OverlayController::kUseSocketApprovalEnabledKey, false);
  home.setEnv("TANDREL_START_SETTINGS", "1");
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();

  EXPECT_TRUE(controller.applicationShouldHandleReopen());
  EXPECT_EQ(controller.currentMode(), OverlayMode::settings) << "without the Dock setting nothing changes";

  defaults.set(OverlayController::kShowInDockModeKey, true);
  EXPECT_TRUE(controller.applicationShouldHandleReopen());
  EXPECT_EQ(controller.currentMode(), OverlayMode::expanded);
  EXPECT_EQ(controller.activationPolicy(), ActivationPolicy::regular);

  defaults.set(OverlayController::kShowInDockModeKey, false);
  controller.applyActivationPolicy();
  EXPECT_EQ(controller.activationPolicy(), ActivationPolicy::accessory);
}

TEST_F(OverlayControllerTest, ASecondLaunchExpandsTheIslandUnderThePointerWhateverTheTraySetting) {
  defaults.set(OverlayController::kUseSocketApprovalEnabledKey, false);
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("all"));
  struct Case {
    const char* name;
    bool tray;
    bool startInSettings;
    QPoint pointer;
    QString screen;  // the surface that expands
  };
  const std::vector<Case> cases{
      {"tray off, pointer on the second screen", false, false, QPoint(2500, 500), QStringLiteral("Second")},
      {"tray on, pointer on the first screen", true, false, QPoint(100, 100), QStringLiteral("Primary")},
      {"from settings", false, true, QPoint(2500, 500), QStringLiteral("Second")},
      {"pointer off every screen", false, false, QPoint(-5000, -5000), QStringLiteral("Primary")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    defaults.set(OverlayController::kShowInDockModeKey, c.tray);
    home.setEnv("TANDREL_START_SETTINGS", c.startInSettings ? std::optional<QByteArray>("1") : std::nullopt);
    OverlayController controller(options());
    controller.applicationDidFinishLaunching();
    ASSERT_EQ(controller.surfaces().size(), 2u);
    controller.handleSecondLaunch(c.pointer);
    EXPECT_EQ(controller.currentMode(), OverlayMode::expanded);
    ASSERT_NE(controller.activeSurface(), nullptr);
    EXPECT_EQ(controller.activeSurface()->screen.name, c.screen);
    EXPECT_EQ(controller.activeSurface()->view->mode(), OverlayMode::expanded);
    controller.applicationWillTerminate();
  }
}

TEST_F(OverlayControllerTest, ABannersJumpGoesToTheTerminalTheNewestEventOfItsSessionRecorded) {
  const auto line = [this](const char* id, const char* session, const char* pid) {
    return QJsonDocument(QJsonObject{{"event_id", id},
                                     {"event_type", "task_updated"},
                                     {"source", "claude_code"},
                                     {"session_id", session},
                                     {"cwd", home.path()},
                                     {"jump_target", QJsonObject{{"kind", "terminal_window"},
                                                                 {"terminal", "xterm"},
                                                                 {"cwd", home.path()},
                                                                 {"pid", pid}}}})
               .toJson(QJsonDocument::Compact) +
           '\n';
  };
  OverlayControllerOptions configured = options();
  ASSERT_TRUE(test::writeFile(configured.store.eventFile,
                              line("e1", "s1", "100") + line("e2", "s1", "200") + line("e3", "s2", "300")));
  std::vector<QString> opened;
  configured.store.jumpOpener = [&opened](const ResolvedJumpTarget& resolved) {
    opened.push_back(resolved.target.as<JumpTarget::TerminalWindow>()->processID.value_or(QString()));
    return true;
  };
  defaults.set(OverlayController::kUseSocketApprovalEnabledKey, false);
  OverlayController controller(configured);
  controller.applicationDidFinishLaunching();

  PendingAction action;
  action.requestID = QStringLiteral("r-1");
  for (const auto& [session, pid] : std::vector<std::pair<QString, QString>>{{"s1", "200"}, {"s2", "300"}}) {
    action.sessionID = session;
    const std::function<bool()> jump = controller.terminalJump(action);
    ASSERT_TRUE(jump) << session.toStdString();
    EXPECT_TRUE(jump());
    EXPECT_EQ(opened.back(), pid);
  }
  for (const QString& session : {QStringLiteral("s9"), QString()}) {
    action.sessionID = session;
    EXPECT_FALSE(controller.terminalJump(action)) << session.toStdString();
  }
}

TEST_F(OverlayControllerTest, StoreFollowsTheBridgeFileUntilTeardown) {
  OverlayControllerOptions configured = options();
  configured.store.testEnvironment = false;
  configured.store.clock = &Clock::system();
  const QString bridge = configured.store.eventFile;
  ASSERT_TRUE(test::writeFile(bridge, R"({"event_id":"e1","event_type":"task_updated"})" "\n"));
  defaults.set(OverlayController::kUseSocketApprovalEnabledKey, false);

  OverlayController controller(configured);
  controller.applicationDidFinishLaunching();
  ASSERT_EQ(controller.store().events().size(), 1u) << "the first reload happens during launch";
  ASSERT_TRUE(controller.store().bridgeMonitorStateForTests().fileMonitorInstalled);

  const QByteArray line = R"({"event_id":"e2","event_type":"task_updated"})" "\n";
  const int fd = ::open(QFile::encodeName(bridge).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, line.constData(), static_cast<size_t>(line.size())), line.size());
  ::close(fd);
  EXPECT_TRUE(test::waitUntil([&] { return controller.store().events().size() == 2; }));

  controller.applicationWillTerminate();
  controller.prepareForTermination();  // a second teardown does nothing
  EXPECT_TRUE(controller.isPreparingForTermination());
  EXPECT_FALSE(controller.store().bridgeMonitorStateForTests().started);
}

TEST_F(OverlayControllerTest, AStoreChangeSettlesEveryViewsUsageToolAtOnce) {
  const auto usage = [](const char* id, const char* source) {
    return QJsonDocument(QJsonObject{{"event_id", id},
                                     {"event_type", "task_updated"},
                                     {"source", source},
                                     {"notify_policy", "usage_only"},
                                     {"timestamp", "2027-01-15T08:00:00Z"},
                                     {"usage", QJsonObject{{"five_hour_percent", 42}}}})
               .toJson(QJsonDocument::Compact) +
           '\n';
  };
  OverlayControllerOptions configured = options();
  ASSERT_TRUE(test::writeFile(configured.store.eventFile, usage("u1", "claude_code")));
  defaults.set(OverlayController::kUseSocketApprovalEnabledKey, false);
  home.setEnv("TANDREL_START_EXPANDED", "1");
  OverlayController controller(configured);
  controller.applicationDidFinishLaunching();
  ASSERT_FALSE(controller.surfaces().empty());
  for (const auto& surface : controller.surfaces()) {
    surface->view->activeUsageTool = QStringLiteral("Gone");  // a tool that left the list
  }

  ASSERT_TRUE(test::writeFile(configured.store.eventFile, usage("u1", "claude_code") + usage("u2", "codex")));
  const qint64 revision = controller.store().revision();
  controller.store().reload(true);
  ASSERT_GT(controller.store().revision(), revision);
  // Settled by the change itself, before any paint or timer.
  for (const auto& surface : controller.surfaces()) {
    const QStringList& tools = surface->view->enabledUsageTools();
    EXPECT_EQ(surface->view->activeUsageTool, tools.isEmpty() ? QString() : tools.front());
  }
}

TEST_F(OverlayControllerTest, LaunchArmsTheAutomaticUpdateCheckAndShowsALeftInstallFailureOnce) {
  ASSERT_TRUE(test::writeFile(UpdateInstaller::installResultPath(),
                              "status=failed\nversion=1.2\nmessage=could not extract update artifact\nlog=/u/x.log\n"));
  int checks = 0;
  OverlayControllerOptions withCheck = options();
  withCheck.updateCheck = [&](std::function<void(UpdateCheckResult)> done) {
    ++checks;
    done(UpdateClientFailure{QStringLiteral("Update check failed. Try again.")});
  };
  OverlayController controller(withCheck);
  controller.applicationDidFinishLaunching();
  EXPECT_EQ(controller.installFailureAtLaunch(),
            QStringLiteral("Update to v1.2 failed; the previous version was kept: could not extract update "
                           "artifact. Details: /u/x.log"));
  EXPECT_FALSE(QFileInfo::exists(UpdateInstaller::installResultPath()));

  // About shows it, also in the settings page's view, which is made when settings open.
  for (const OverlayMode mode : {OverlayMode::collapsed, OverlayMode::settings}) {
    controller.setMode(mode);
    ASSERT_FALSE(controller.surfaces().empty());
    for (const auto& surface : controller.surfaces()) {
      EXPECT_EQ(surface->view->aboutUpdate().aboutUpdateState(), UpdateState::error(*controller.installFailureAtLaunch()));
    }
  }

  ASSERT_NE(controller.automaticUpdates(), nullptr);
  clock.advance(seconds(29));
  EXPECT_EQ(checks, 0);
  clock.advance(seconds(1));
  EXPECT_EQ(checks, 1);
  EXPECT_TRUE(controller.automaticUpdates()->isArmed());  // the next one, twelve hours on
  controller.prepareForTermination();
  EXPECT_FALSE(controller.automaticUpdates()->isArmed());
}

TEST_F(OverlayControllerTest, AnAutomaticallyFoundUpdateIsAnnouncedOnceAndKeptInViewsMadeLater) {
  UpgradeCheckResponse offer;
  offer.updateAvailable = true;
  offer.latest.version = QStringLiteral("1.3");
  OverlayControllerOptions withCheck = options();
  withCheck.updateCheck = [&](std::function<void(UpdateCheckResult)> done) { done(offer); };
  OverlayController controller(withCheck);
  controller.applicationDidFinishLaunching();
  ASSERT_FALSE(controller.surfaces().empty());
  clock.advance(seconds(30));

  const auto& surfaces = controller.surfaces();
  for (size_t index = 0; index < surfaces.size(); ++index) {
    TandrelView& view = *surfaces[index]->view;
    EXPECT_EQ(view.aboutUpdate().aboutUpdateState(), UpdateState::available(offer));
    // Only the first view shows the reminder.
    EXPECT_EQ(view.statusBanner(), index == 0 ? std::optional<QString>("Tandrel v1.3 available") : std::nullopt);
  }
  EXPECT_EQ(defaults.string(AutomaticUpdateScheduler::kLastNotifiedUpdateVersionKey), QStringLiteral("1.3"));

  controller.setMode(OverlayMode::settings);  // new views
  for (const auto& surface : controller.surfaces()) {
    EXPECT_EQ(surface->view->aboutUpdate().aboutUpdateState(), UpdateState::available(offer));
    EXPECT_EQ(surface->view->statusBanner(), std::nullopt);
  }
  controller.prepareForTermination();
}

}  // namespace
}  // namespace tandrel
