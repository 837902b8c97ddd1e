// The controller's three hot keys (pressed through the fake hot keys), its application menu and
// its tray icon, on the offscreen platform's two screens (see tests/support/test_main.cpp).

#include "app/application_menu.h"
#include "app/hot_keys.h"
#include "app/overlay_controller.h"

#include "app/overlay_controller_fixture.h"
#include "island/tandrel_view.h"
#include "platform/fake/fake_global_hot_keys.h"
#include "platform/fake/fake_tray_hosts.h"
#include "platform/fake/fake_window_server.h"
#include "settings/pages/general_page.h"
#include "support/log_capture.h"
#include "support/wait.h"

#include "update/update_client.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <mutex>

namespace tandrel {
namespace {

using std::chrono::seconds;

constexpr int kToggle = static_cast<int>(HotKeyOperation::toggle);
constexpr int kLatest = static_cast<int>(HotKeyOperation::jumpToLatestPending);
constexpr int kCycle = static_cast<int>(HotKeyOperation::cycleToNextPending);

// Receives the addresses QDesktopServices would hand to the browser.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QStringList opened;

 public Q_SLOTS:
  void open(const QUrl& url) { opened << url.toString(); }
};

class OverlayKeysAndMenuGui : public ::testing::Test, protected test::OverlayControllerFixture {
 protected:
  OverlayKeysAndMenuGui() {
    defaults.set(OverlayController::kUseSocketApprovalEnabledKey, false);
    QCursor::setPos(QPoint(10, 10));
  }

  OverlayControllerOptions options() {
    OverlayControllerOptions options = fixtureOptions();
    options.store.testEnvironment = true;
    options.windowServer = &windowServer;
    options.hotKeys = &hotKeys;
    options.trayHosts = &trayHosts;
    options.jumpToAgent = [this](const PendingAction& action) {
      std::lock_guard guard(mutex);
      jumps << action.payload.cwd.value_or(QString());
    };
    return options;
  }

  // A waiting request from its own session, a second after the previous one.
  void wait(const QString& id) {
    clock.advance(seconds(1));
    PendingAction action;
    action.requestID = id;
    action.agent = QStringLiteral("claude_code");
    action.sessionID = id;
    action.createdAt = clock.now();
    action.timeoutSeconds = 600;
    action.payload.cwd = QStringLiteral("/work/") + id;
    pendingActions.insert(action, [](const HookReply&) {});
  }

  // Presses a hot key and waits for what it started.
  void press(OverlayController& controller, int id) {
    ASSERT_TRUE(hotKeys.press(id));
    QCoreApplication::sendPostedEvents();
    controller.notificationDelegate()->drainJumps();
  }

  static int actionsWithKey(const QWidget& window, const QString& key) {
    int count = 0;
    for (QAction* action : window.actions()) {
      count += action->shortcut().toString() == key ? 1 : 0;
    }
    return count;
  }

  QStringList takeJumps() {
    std::lock_guard guard(mutex);
    return std::exchange(jumps, {});
  }

  FakeWindowServer windowServer;
  FakeGlobalHotKeys hotKeys;
  FakeTrayHosts trayHosts;
  std::mutex mutex;
  QStringList jumps;
};

TEST_F(OverlayKeysAndMenuGui, LaunchRegistersTheThreeKeysAndTerminationReleasesThem) {
  hotKeys.heldElsewhere = {kCycle};
  test::LogCapture log;
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  ASSERT_EQ(hotKeys.registered.size(), 2U);
  EXPECT_EQ(hotKeys.registered[0], kApplicationHotKeys[0]);
  EXPECT_EQ(hotKeys.registered[1], kApplicationHotKeys[1]);
  // The key another application holds is logged and reported, not ignored.
  EXPECT_EQ(controller.unavailableHotKeys(),
            std::vector<QString>{QStringLiteral("Ctrl+Super+U is already taken by another application")});
  EXPECT_EQ(log.count(QStringLiteral("[Tandrel] hot key not registered: Ctrl+Super+U is already taken")), 1);

  controller.prepareForTermination();
  EXPECT_EQ(hotKeys.unregisterCalls, 1);
  EXPECT_TRUE(hotKeys.registered.empty());
  EXPECT_FALSE(hotKeys.onPressed);
}

TEST_F(OverlayKeysAndMenuGui, ASessionWithoutGlobalKeysSaysSoOnce) {
  hotKeys.unavailable = GlobalHotKeys::kNotAvailableOnWayland;
  test::LogCapture log;
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  EXPECT_EQ(log.count(QStringLiteral("[Tandrel] ") + GlobalHotKeys::kNotAvailableOnWayland), 1);
  EXPECT_EQ(log.count(QStringLiteral("hot key not registered")), 0);
  EXPECT_TRUE(controller.unavailableHotKeys().empty());
}

TEST_F(OverlayKeysAndMenuGui, ToggleExpandsOnThePolicyScreenAndCollapsesAlsoFromSettings) {
  defaults.set(OverlayController::kDisplayPolicyKey, QStringLiteral("mouse"));
  QCursor::setPos(QPoint(2000, 10));  // on the second screen
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  ASSERT_EQ(controller.currentMode(), OverlayMode::collapsed);

  press(controller, kToggle);
  EXPECT_EQ(controller.currentMode(), OverlayMode::expanded);
  ASSERT_EQ(controller.surfaces().size(), 1U);
  EXPECT_EQ(controller.activeSurfaceID(), controller.surfaces().front()->id);
  EXPECT_EQ(controller.surfaces().front()->screen.geometry, QRect(1920, 0, 1280, 1024));
  EXPECT_TRUE(controller.surfaces().front()->panel->isVisible());

  press(controller, kToggle);
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);

  controller.setMode(OverlayMode::settings);
  ASSERT_EQ(controller.activationPolicy(), ActivationPolicy::regular);
  press(controller, kToggle);
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);
  EXPECT_EQ(controller.activationPolicy(), ActivationPolicy::accessory);
  EXPECT_EQ(controller.surfaces().front()->panel->style(), PanelStyle::island);
  EXPECT_TRUE(takeJumps().isEmpty());
}

TEST_F(OverlayKeysAndMenuGui, JumpToLatestGoesToTheNewestOrTogglesWhenNothingWaits) {
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();

  press(controller, kLatest);
  EXPECT_EQ(controller.currentMode(), OverlayMode::expanded) << "nothing waits: the island toggles";
  EXPECT_TRUE(takeJumps().isEmpty());

  wait(QStringLiteral("a"));
  wait(QStringLiteral("b"));
  press(controller, kLatest);
  press(controller, kLatest);
  EXPECT_EQ(takeJumps(), QStringList({"/work/b", "/work/b"}));
  EXPECT_EQ(controller.currentMode(), OverlayMode::expanded) << "a Jump leaves the island as it is";
  EXPECT_EQ(controller.lastCycledRequestID(), std::nullopt);
}

TEST_F(OverlayKeysAndMenuGui, CycleReachesEachWaitingRequestInTurn) {
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();

  press(controller, kCycle);
  EXPECT_TRUE(takeJumps().isEmpty());
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed) << "nothing waits: nothing happens";
  EXPECT_EQ(controller.lastCycledRequestID(), std::nullopt);

  wait(QStringLiteral("a"));
  wait(QStringLiteral("b"));
  wait(QStringLiteral("c"));
  for (int i = 0; i < 4; ++i) {
    press(controller, kCycle);
  }
  EXPECT_EQ(takeJumps(), QStringList({"/work/a", "/work/b", "/work/c", "/work/a"}));

  // The last one reached is answered: the cycle starts again at the oldest remaining.
  press(controller, kCycle);  // b
  ASSERT_TRUE(pendingActions.complete(QStringLiteral("b"), HookReply{}, PendingActionStatus::answered));
  press(controller, kCycle);
  EXPECT_EQ(takeJumps(), QStringList({"/work/b", "/work/a"}));
  EXPECT_EQ(controller.lastCycledRequestID(), QStringLiteral("a"));
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);
}

TEST_F(OverlayKeysAndMenuGui, SettingsWindowTakesTheMenuOnceAndItsCloseWindowClosesOnlySettings) {
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  ASSERT_NE(controller.applicationMenu(), nullptr);
  QAction* close = controller.applicationMenu()->action(MenuCommand::closeWindow);

  close->trigger();  // outside settings mode: nothing
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);
  EXPECT_EQ(actionsWithKey(*controller.surfaces().front()->panel, "Ctrl+W"), 0) << "island panels take no keys";

  controller.applicationMenu()->action(MenuCommand::showPets)->trigger();
  EXPECT_EQ(controller.currentMode(), OverlayMode::settings);
  EXPECT_EQ(controller.activationPolicy(), ActivationPolicy::regular);
  const TandrelOverlayPanel& settings = *controller.activeSurface()->panel;
  EXPECT_EQ(settings.style(), PanelStyle::settings);
  EXPECT_EQ(controller.activeSurface()->view->activeSettingsTab(), SettingsTab::pets);
  EXPECT_EQ(actionsWithKey(settings, "Ctrl+W"), 1);

  // Installing again replaces the menu: the window holds one set of actions, the new ones.
  controller.installApplicationMenu();
  EXPECT_EQ(actionsWithKey(*controller.activeSurface()->panel, "Ctrl+W"), 1);
  EXPECT_EQ(actionsWithKey(*controller.activeSurface()->panel, "Ctrl+Q"), 1);
  EXPECT_TRUE(controller.activeSurface()->panel->actions().contains(
      controller.applicationMenu()->action(MenuCommand::closeWindow)));

  controller.applicationMenu()->action(MenuCommand::closeWindow)->trigger();
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);
  EXPECT_EQ(controller.activationPolicy(), ActivationPolicy::accessory);
}

TEST_F(OverlayKeysAndMenuGui, SettingsAndCheckForUpdatesOpenTheirTabsAlsoWithoutScreens) {
  {
    OverlayController controller(options());
    controller.applicationDidFinishLaunching();
    home.setEnv("TANDREL_UPDATE_RESPONSE_FILE", std::nullopt);
    home.setEnv("TANDREL_UPDATE_MANIFEST_URL", std::nullopt);
    home.setEnv("TANDREL_UPDATE_ENDPOINT", std::nullopt);
    home.setEnv("TANDREL_DISABLE_DEFAULT_UPDATE_FEED", "1");
    controller.applicationMenu()->action(MenuCommand::checkForUpdates)->trigger();
    EXPECT_EQ(controller.currentMode(), OverlayMode::settings);
    EXPECT_EQ(controller.activeSurface()->view->activeSettingsTab(), SettingsTab::about);
    // The check ran in the About tab: without a feed it reports the local build.
    EXPECT_EQ(controller.activeSurface()->view->statusBanner(),
              "Checked local build: v" + applicationVersion() + ". No remote update feed is configured.");
    controller.applicationMenu()->action(MenuCommand::showSettings)->trigger();
    EXPECT_EQ(controller.activeSurface()->view->activeSettingsTab(), SettingsTab::general);
  }
  OverlayControllerOptions noScreens = options();
  noScreens.screens = [] { return std::vector<ScreenInfo>{}; };
  OverlayController controller(noScreens);
  controller.applicationDidFinishLaunching();
  ASSERT_FALSE(controller.hasSurfacesForTests());
  controller.checkForUpdatesFromMenu();
  EXPECT_EQ(controller.currentMode(), OverlayMode::settings);
  controller.closeSettingsFromMenu();  // no active surface: nothing
  EXPECT_EQ(controller.currentMode(), OverlayMode::settings);
}

TEST_F(OverlayKeysAndMenuGui, HelpOpensOnlyAWebAddress) {
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
  for (const char* address : {"https://docs.example.org/tandrel", "", "not an address", "file:///etc/passwd",
                              "https://"}) {
    OverlayControllerOptions withHelp = options();
    withHelp.helpAddress = QString::fromLatin1(address);
    OverlayController controller(withHelp);
    controller.installApplicationMenu();
    controller.applicationMenu()->action(MenuCommand::showHelp)->trigger();
  }
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(recorder.opened, QStringList({"https://docs.example.org/tandrel"}));
}

TEST_F(OverlayKeysAndMenuGui, TheGeneralTabsTraySwitchShowsTheTrayIconAndKeepsTheAppRegular) {
  trayHosts.setXEmbed(true);
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  ASSERT_EQ(controller.trayIcon(), nullptr);
  for (const bool on : {true, false}) {
    SCOPED_TRACE(on);
    controller.openSettings(SettingsTab::general);
    TandrelView* view = controller.activeSurface()->view;
    ASSERT_EQ(view->mode(), OverlayMode::settings);
    // A click on the switch where the page draws it (content y 85, 20 below the view's top).
    view->settingsMouseDown(QPointF(view->width() - 50, 85 + 20 + 5), false);
    EXPECT_EQ(defaults.storedAs<bool>(OverlayController::kShowInDockModeKey), on);
    EXPECT_EQ(controller.trayIcon() != nullptr, on);
    controller.closeSettings(view);
    EXPECT_EQ(controller.activationPolicy(), on ? ActivationPolicy::regular : ActivationPolicy::accessory);
  }
}

TEST_F(OverlayKeysAndMenuGui, TrayIconCarriesTheMenuWhileShowInDockIsOnAndAHostRuns) {
  const struct {
    bool showInDock;
    bool host;
    bool tray;
  } cases[] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "dock " << c.showInDock << " host " << c.host);
    defaults.set(OverlayController::kShowInDockModeKey, c.showInDock);
    trayHosts.setXEmbed(c.host);
    OverlayController controller(options());
    controller.applicationDidFinishLaunching();
    ASSERT_EQ(controller.trayIcon() != nullptr, c.tray);
    if (c.tray) {
      QMenu* menu = controller.trayIcon()->contextMenu();
      ASSERT_NE(menu, nullptr);
      // One level, no edit or window commands; the actions are the application menu's.
      QStringList titles;
      for (QAction* item : menu->actions()) {
        titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
        EXPECT_EQ(item->menu(), nullptr) << item->text().toStdString();
        EXPECT_TRUE(item->shortcut().isEmpty()) << item->text().toStdString();
      }
      EXPECT_EQ(titles, QStringList({"Show Tandrel", "-", "Settings\u2026", "About Tandrel",
                                     "Check for Updates\u2026", "-", "Quit Tandrel"}));
      EXPECT_EQ(menu->actions().last()->parent(), controller.applicationMenu());
      // A fresh menu keeps the tray, with the new actions.
      controller.installApplicationMenu();
      ASSERT_NE(controller.trayIcon()->contextMenu(), nullptr);
      EXPECT_EQ(controller.trayIcon()->contextMenu()->actions().last(),
                controller.applicationMenu()->trayActions().back());
      // Turning the setting off takes the icon away; quitting does too.
      defaults.set(OverlayController::kShowInDockModeKey, false);
      controller.settingsDidChange();
      EXPECT_EQ(controller.trayIcon(), nullptr);
      defaults.set(OverlayController::kShowInDockModeKey, true);
      controller.settingsDidChange();
      EXPECT_NE(controller.trayIcon(), nullptr);
      controller.prepareForTermination();
      EXPECT_EQ(controller.trayIcon(), nullptr);
    }
  }
}


TEST_F(OverlayKeysAndMenuGui, QuitFromTheIslandOrAnyMenuEndsTheApplicationOnceTheClickIsHandled) {
  defaults.set(OverlayController::kShowInDockModeKey, true);
  trayHosts.setXEmbed(true);
  const struct {
    const char* name;
    std::function<void(OverlayController&)> quit;
  } cases[] = {
      {"power button",
       [](OverlayController& controller) {
         TandrelView* view = controller.activeSurface()->view;
         // The power button sits 33 points in from the right edge and 25 up from the bottom, 20 wide.
         view->mousePressed(QPointF(view->width() - 23, view->height() - 15), QPointF());
       }},
      {"tray menu", [](OverlayController& controller) { controller.trayIcon()->contextMenu()->actions().last()->trigger(); }},
      {"application menu",
       [](OverlayController& controller) { controller.applicationMenu()->action(MenuCommand::quit)->trigger(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OverlayController controller(options());
    controller.applicationDidFinishLaunching();
    press(controller, kToggle);
    ASSERT_EQ(controller.currentMode(), OverlayMode::expanded);
    ASSERT_NE(controller.trayIcon(), nullptr);
    QPointer<QMenu> trayMenu = controller.trayIcon()->contextMenu();
    c.quit(controller);
    // The click runs inside the menu's or the view's own handler, which the teardown deletes: it
    // waits for the next turn of the event loop.
    EXPECT_TRUE(controller.hasSurfacesForTests());
    EXPECT_NE(controller.trayIcon(), nullptr);
    // A panel whose close is taken over (the settings close button) must not hold the quit back.
    QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(controller.hasSurfacesForTests());
    EXPECT_TRUE(hotKeys.registered.empty());
    // The tray's icon and menu went on a later turn, not inside the click.
    EXPECT_EQ(controller.trayIcon(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(trayMenu.isNull());
  }
}

TEST_F(OverlayKeysAndMenuGui, ATrayThatStartsLaterGetsTheIconAndOneThatComesBackGetsItAgain) {
  defaults.set(OverlayController::kShowInDockModeKey, true);
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  EXPECT_FALSE(controller.trayHostRuns());
  EXPECT_EQ(controller.trayIcon(), nullptr);
  const TandrelView& view = *controller.activeSurface()->view;
  const QString noTray = QStringLiteral("This desktop shows no tray icon now: no system tray is running");
  EXPECT_EQ(general_page::trayRowDetail(view.settings().values(), view.controller), noTray);
  QPointer<QSystemTrayIcon> first;
  // XEmbed and StatusNotifierItem hosts alike, one after the other.
  for (const TrayHosts::Running host : {TrayHosts::Running{true, false}, TrayHosts::Running{false, true}}) {
    trayHosts.set(host);
    EXPECT_TRUE(controller.trayHostRuns());
    EXPECT_NE(general_page::trayRowDetail(view.settings().values(), view.controller), noTray);
    ASSERT_NE(controller.trayIcon(), nullptr);
    EXPECT_TRUE(controller.trayIcon()->isVisible());
    EXPECT_NE(controller.trayIcon(), first.data());
    first = controller.trayIcon();
    trayHosts.set({});
    EXPECT_FALSE(controller.trayHostRuns());
    EXPECT_EQ(general_page::trayRowDetail(view.settings().values(), view.controller), noTray);
    EXPECT_EQ(controller.trayIcon(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
  }
  // With the switch off, a tray that starts gets nothing.
  defaults.set(OverlayController::kShowInDockModeKey, false);
  controller.settingsDidChange();
  trayHosts.setXEmbed(true);
  EXPECT_EQ(controller.trayIcon(), nullptr);
  trayHosts.set({});
  EXPECT_NE(general_page::trayRowDetail(view.settings().values(), view.controller), noTray);
}

TEST_F(OverlayKeysAndMenuGui, AboutFromTheTrayShowsAPanelWideEnoughForItsTitle) {
  OverlayController controller(options());
  controller.installApplicationMenu();
  QAction* about = controller.applicationMenu()->trayActions().at(3);
  ASSERT_EQ(about->text(), "About Tandrel");
  about->trigger();
  ASSERT_NE(controller.aboutPanel(), nullptr);
  EXPECT_EQ(controller.aboutPanel()->windowTitle(), "About Tandrel");
  ASSERT_TRUE(test::waitUntil([&] { return controller.aboutPanel()->isVisible(); }));
  EXPECT_GE(controller.aboutPanel()->width(), OverlayController::kAboutPanelMinimumWidth);
  controller.aboutPanel()->close();
}

TEST_F(OverlayKeysAndMenuGui, EscapeInTheSettingsWindowLeavesSettings) {
  OverlayController controller(options());
  controller.applicationDidFinishLaunching();
  controller.setMode(OverlayMode::settings);
  ASSERT_EQ(controller.currentMode(), OverlayMode::settings);
  TandrelOverlayPanel& panel = *controller.activeSurface()->panel;
  ASSERT_EQ(panel.style(), PanelStyle::settings);
  EXPECT_EQ(panel.windowTitle(), "Tandrel");
  ASSERT_NE(panel.windowHandle(), nullptr);
  // Sent as the window system sends it: to the window, which hands it to its focus widget.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(panel.windowHandle(), &escape);
  EXPECT_EQ(controller.currentMode(), OverlayMode::collapsed);
}

}  // namespace
}  // namespace tandrel

#include "overlay_keys_and_menu_test.moc"
