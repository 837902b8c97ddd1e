// The built application's tray icon on a real X server with a window manager (the x11 label),
// with trays of the test's own making that start after the application: an XEmbed tray that
// takes the "_NET_SYSTEM_TRAY_S0" selection and docks the icons it is asked to, and a
// StatusNotifierItem watcher on a private session bus. Quitting through the tray's menu is clicked
// as a user would, with xdotool.

#include "app/app_x11_fixture.h"
#include "support/private_session_bus.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStringList>

#include <array>
#include <cstdlib>
#include <optional>

namespace tandrel {
namespace {

// An XEmbed tray: a small window at the bottom right of the screen that owns the tray selection,
// announces itself and docks every icon that asks. Its own connection, read as the test waits.
class FakeXEmbedTray {
 public:
  FakeXEmbedTray() : x11_(X11Connection::connect(qgetenv("DISPLAY"))) {
    xcb_connection_t* c = x11_->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window_ = xcb_generate_id(c);
    const std::array<std::uint32_t, 3> values = {screen->black_pixel, 1, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, x11_->root(),
                      static_cast<std::int16_t>(screen->width_in_pixels - 64), static_cast<std::int16_t>(screen->height_in_pixels - 40),
                      64, 40, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values.data());
    xcb_map_window(c, window_);
    const xcb_atom_t selection = x11_->atom(X11Connection::Atom::NET_SYSTEM_TRAY_S0);
    xcb_set_selection_owner(c, window_, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t manager{};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = x11_->root();
    manager.type = x11_->atom(X11Connection::Atom::MANAGER);
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = window_;
    xcb_send_event(c, 0, x11_->root(), XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&manager));
    x11_->flush();
  }

  // Quits: the window and with it the selection go.
  ~FakeXEmbedTray() {
    xcb_destroy_window(x11_->connection(), window_);
    x11_->flush();
  }

  // Takes in what arrived: each dock request docks its icon. Returns the icons docked so far.
  const std::vector<xcb_window_t>& poll() {
    xcb_connection_t* c = x11_->connection();
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
      if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (message->type == x11_->atom(X11Connection::Atom::NET_SYSTEM_TRAY_OPCODE) &&
            message->data.data32[1] == 0 /* SYSTEM_TRAY_REQUEST_DOCK */) {
          const xcb_window_t icon = message->data.data32[2];
          xcb_reparent_window(c, icon, window_, 20, 9);
          xcb_map_window(c, icon);
          x11_->flush();
          docked_.push_back(icon);
        }
      }
      std::free(event);
    }
    return docked_;
  }

 private:
  std::unique_ptr<X11Connection> x11_;
  xcb_window_t window_ = XCB_NONE;
  std::vector<xcb_window_t> docked_;
};

// The StatusNotifierItem watcher of a panel: it takes the items that register.
class FakeStatusNotifierWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

 public:
  explicit FakeStatusNotifierWatcher(QDBusConnection bus) : bus_(std::move(bus)) {
    bus_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    bus_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  }
  ~FakeStatusNotifierWatcher() override {
    bus_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    bus_.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
  }

  bool hostRegistered() const { return true; }
  int protocolVersion() const { return 0; }
  QStringList items() const { return items_; }

 public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString& service) { items_ << service; }
  void RegisterStatusNotifierHost(const QString&) {}

 private:
  QDBusConnection bus_;
  QStringList items_;
};

class TrayX11 : public test::AppX11Test {
 protected:
  // Starts the application with "Show in Tray" on and nothing to prompt about.
  void startApp(const QString& busAddress = {}) {
    ASSERT_TRUE(test::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tandrel/defaults.json"),
                                R"({"showInDockMode": {"type": "bool", "value": true},
                                    "didRequestCodexPetsDirectoryAuthorization": {"type": "bool", "value": true}})"));
    QProcessEnvironment environment = appEnvironment();
    if (!busAddress.isEmpty()) {
      environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    }
    app.setProcessEnvironment(environment);
    app.start(test::tandrelBinary(), {});
    ASSERT_TRUE(app.waitForStarted());
    // The island shows: the application is up and found no tray.
    ASSERT_TRUE(test::waitUntil([&] { return appWindow([](const QRect& r) { return r.height() == 32; }) != XCB_NONE; },
                                10000))
        << app.readAllStandardError().constData();
  }

  // The application's shown pop-up menu (override-redirect, so not in the window manager's list).
  std::optional<QRect> shownMenu() const {
    xcb_connection_t* c = x11->connection();
    auto tree = std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)>(
        xcb_query_tree_reply(c, xcb_query_tree(c, x11->root()), nullptr), &std::free);
    if (!tree) return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      const auto placement = x11->placement(children[i]);
      // The menu is taller than the island (32) and narrower than the expanded one.
      if (isAppWindow(children[i]) && placement && placement->viewable && placement->bounds.height() > 60 &&
          placement->bounds.width() < 400) {
        return placement->bounds;
      }
    }
    return std::nullopt;
  }

  static void click(QPoint point, int button) {
    xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y()),
             QStringLiteral("click"), QString::number(button)});
  }
};

TEST_F(TrayX11, AnXEmbedTrayThatStartsLaterGetsTheIconAndGetsItAgainWhenItComesBack) {
  startApp();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    FakeXEmbedTray tray;
    ASSERT_TRUE(test::waitUntil([&] { return !tray.poll().empty(); }, 5000))
        << app.readAllStandardError().constData();
  }
}

TEST_F(TrayX11, AStatusNotifierWatcherThatStartsLaterGetsTheIconAndGetsItAgainWhenItComesBack) {
  test::PrivateSessionBus bus;
  ASSERT_FALSE(bus.address().isEmpty());
  startApp(bus.address());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    FakeStatusNotifierWatcher watcher(bus.connection());
    ASSERT_TRUE(test::waitUntil([&] { return !watcher.items().isEmpty(); }, 5000))
        << app.readAllStandardError().constData();
  }
}

// Quit Tandrel clicked in the tray icon's menu: the menu is still handling the click while the
// application tears down. Run repeatedly (a use of freed memory there crashed one quit in
// three), and under the sanitizers in the sanitizer build.
TEST_F(TrayX11, QuitFromTheTrayMenuEndsTheApplicationCleanlyEveryTime) {
  const int runs = qEnvironmentVariableIntValue("TANDREL_TRAY_QUIT_RUNS") > 0
                       ? qEnvironmentVariableIntValue("TANDREL_TRAY_QUIT_RUNS")
                       : 2;
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE(run);
    FakeXEmbedTray tray;
    startApp();
    ASSERT_TRUE(test::waitUntil([&] { return !tray.poll().empty(); }, 5000));
    const xcb_window_t icon = tray.poll().back();
    std::optional<QRect> menu;
    ASSERT_TRUE(test::waitUntil([&] {
      const auto placement = x11->placement(icon);
      if (placement && placement->viewable && !menu) {
        click(placement->bounds.center(), 3);
      }
      return (menu = shownMenu()).has_value();
    }, 5000));
    // "Quit Tandrel" is the last row.
    click(QPoint(menu->center().x(), menu->bottom() - 8), 1);
    ASSERT_TRUE(app.waitForFinished(10000));
    const QByteArray errors = app.readAllStandardError();
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << errors.constData();
    EXPECT_EQ(app.exitCode(), 0) << errors.constData();
    EXPECT_FALSE(errors.contains("shared QObject")) << errors.constData();
    EXPECT_FALSE(errors.contains("Sanitizer")) << errors.constData();
  }
}

}  // namespace
}  // namespace tandrel

#include "tray_x11_test.moc"
