// The built application's island panel and desktop companion on a real X server with a window
// manager (the x11 label: Xvfb and openbox, started by scripts/test), looked at from outside
// through our own connection and driven with xdotool's pointer.
// The server has one monitor, as scripts/test starts it.

#include "app/app_x11_fixture.h"
#include "companion/companion_layout.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tandrel {
namespace {

class OverlayPanelsX11 : public test::AppX11Test {
 protected:
  void TearDown() override {
    AppX11Test::TearDown();
    if (normalWindow != XCB_NONE) {
      xcb_destroy_window(x11->connection(), normalWindow);
      x11->flush();
    }
  }

  // The managed window whose _NET_WM_PID is `pid`; with `overlay`, only one that skips the
  // taskbar (the island panel, not a dialog of the same process).
  xcb_window_t windowOf(qint64 pid, bool overlay = false) const {
    for (const std::uint32_t window : stacking()) {
      const auto pids = x11->property32(window, A::NET_WM_PID, XCB_ATOM_CARDINAL);
      if (!pids || pids->empty() || pids->front() != static_cast<std::uint32_t>(pid)) {
        continue;
      }
      const auto states = x11->property32(window, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
      if (!overlay || std::find(states.begin(), states.end(), x11->atom(A::NET_WM_STATE_SKIP_TASKBAR)) != states.end()) {
        return window;
      }
    }
    return XCB_NONE;
  }

  // The managed window of `pid` that has a taskbar entry: a dialog, not an overlay.
  xcb_window_t dialogOf(qint64 pid) const {
    for (const std::uint32_t window : stacking()) {
      const auto pids = x11->property32(window, A::NET_WM_PID, XCB_ATOM_CARDINAL);
      const auto states = x11->property32(window, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
      if (pids && !pids->empty() && pids->front() == static_cast<std::uint32_t>(pid) &&
          std::find(states.begin(), states.end(), x11->atom(A::NET_WM_STATE_SKIP_TASKBAR)) == states.end()) {
        return window;
      }
    }
    return XCB_NONE;
  }

  bool viewable(xcb_window_t window) const {
    const auto placement = x11->placement(window);
    return placement && placement->viewable;
  }

  void sendToRoot(xcb_window_t window, A type, std::array<std::uint32_t, 5> data) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = x11->atom(type);
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(x11->connection(), 0, x11->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    x11->flush();
  }

  xcb_atom_t internedAtom(const char* name) const {
    const auto cookie = xcb_intern_atom(x11->connection(), 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(x11->connection(), cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
  }

  std::ptrdiff_t stackingIndex(xcb_window_t window) const {
    const auto list = stacking();
    return std::find(list.begin(), list.end(), window) - list.begin();
  }

  // Starts the built application with the environment of the test, less its own switches.
  void startApp() {
    app.setProcessEnvironment(appEnvironment());
    app.start(test::tandrelBinary(), {});
  }

  // Starts the application and waits for its island panel to show; XCB_NONE when it does not.
  xcb_window_t startAppAndWaitForPanel() {
    startApp();
    xcb_window_t panel = XCB_NONE;
    if (app.waitForStarted()) {
      test::waitUntil([&] {
        panel = windowOf(app.processId(), true);
        return panel != XCB_NONE && viewable(panel);
      }, 10000);
    }
    return panel != XCB_NONE && viewable(panel) ? panel : XCB_NONE;
  }

  // The mean of the red, green and blue values (0-255) of a rectangle of the window's contents.
  double meanBrightness(xcb_window_t window, const QRect& rect) const {
    xcb_get_image_cookie_t cookie = xcb_get_image(x11->connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, window,
                                                  static_cast<int16_t>(rect.x()), static_cast<int16_t>(rect.y()),
                                                  static_cast<uint16_t>(rect.width()),
                                                  static_cast<uint16_t>(rect.height()), ~0u);
    xcb_get_image_reply_t* reply = xcb_get_image_reply(x11->connection(), cookie, nullptr);
    if (reply == nullptr) return -1;
    // 24- and 32-bit visuals both come as 4 bytes a pixel, blue first.
    const std::uint8_t* data = xcb_get_image_data(reply);
    const int length = xcb_get_image_data_length(reply);
    double sum = 0;
    int count = 0;
    for (int i = 0; i + 3 < length; i += 4, ++count) sum += (data[i] + data[i + 1] + data[i + 2]) / 3.0;
    std::free(reply);
    return count > 0 ? sum / count : -1;
  }

  // An ordinary application window of this test process.
  void openNormalWindow() {
    xcb_connection_t* c = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    normalWindow = xcb_generate_id(c);
    const uint32_t background = screen->white_pixel;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, normalWindow, x11->root(), 100, 100, 400, 300, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &background);
    x11->setProperty32(normalWindow, A::NET_WM_PID, XCB_ATOM_CARDINAL, {static_cast<std::uint32_t>(::getpid())});
    xcb_map_window(c, normalWindow);
    x11->flush();
  }

  xcb_window_t normalWindow = XCB_NONE;
};

TEST_F(OverlayPanelsX11, TheIslandSitsAboveOtherWindowsOnEveryWorkspaceAndStepsAsideForFullScreen) {
  openNormalWindow();
  ASSERT_TRUE(test::waitUntil([&] { return windowOf(::getpid()) != XCB_NONE && viewable(normalWindow); }));

  const xcb_window_t panel = startAppAndWaitForPanel();
  ASSERT_NE(panel, XCB_NONE) << app.readAllStandardError().constData();

  // At the top centre of the screen, 332 x 32.
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
  const auto placement = x11->placement(panel);
  ASSERT_TRUE(placement);
  EXPECT_EQ(placement->bounds, QRect((screen->width_in_pixels - 332) / 2, 0, 332, 32));

  // Above ordinary windows, skipped by taskbar and pager, on every workspace.
  const auto states = x11->property32(panel, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
  for (const A wanted : {A::NET_WM_STATE_ABOVE, A::NET_WM_STATE_SKIP_TASKBAR, A::NET_WM_STATE_SKIP_PAGER}) {
    EXPECT_NE(std::find(states.begin(), states.end(), x11->atom(wanted)), states.end()) << int(wanted);
  }
  EXPECT_EQ(x11->property32(panel, A::NET_WM_DESKTOP, XCB_ATOM_CARDINAL), std::vector<std::uint32_t>{0xFFFFFFFFu});

  // The normal window comes to the front and takes focus; the panel stays above it, unfocused.
  sendToRoot(normalWindow, A::NET_ACTIVE_WINDOW, {2, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return activeWindow() == normalWindow; }));
  EXPECT_GT(stackingIndex(panel), stackingIndex(normalWindow));
  EXPECT_NE(activeWindow(), panel);

  // Another workspace: the panel is still shown there.
  sendToRoot(x11->root(), A::NET_CURRENT_DESKTOP, {1, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return !viewable(normalWindow); }));
  EXPECT_TRUE(viewable(panel));
  sendToRoot(x11->root(), A::NET_CURRENT_DESKTOP, {0, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return viewable(normalWindow); }));

  // A full-screen window hides the panel within a full-screen check (5 s) and a tick (2 s);
  // it comes back when the window leaves full screen.
  sendToRoot(normalWindow, A::NET_WM_STATE, {1, x11->atom(A::NET_WM_STATE_FULLSCREEN), 0, 1, 0});
  EXPECT_TRUE(test::waitUntil([&] { return !viewable(panel); }, 9000));
  sendToRoot(normalWindow, A::NET_WM_STATE, {0, x11->atom(A::NET_WM_STATE_FULLSCREEN), 0, 1, 0});
  EXPECT_TRUE(test::waitUntil([&] { return viewable(panel); }, 9000));
  EXPECT_NE(activeWindow(), panel);

  // Maximized without decorations, the window covers the whole screen (there are no panels
  // here), but it is no full-screen window: the island stays through the next full-screen check.
  const xcb_atom_t motifHints = internedAtom("_MOTIF_WM_HINTS");
  const std::uint32_t noDecorations[5] = {2, 0, 0, 0, 0};  // flags: decorations; decorations: none
  xcb_change_property(x11->connection(), XCB_PROP_MODE_REPLACE, normalWindow, motifHints, motifHints, 32, 5,
                      noDecorations);
  sendToRoot(normalWindow, A::NET_WM_STATE,
             {1, internedAtom("_NET_WM_STATE_MAXIMIZED_VERT"), internedAtom("_NET_WM_STATE_MAXIMIZED_HORZ"), 1, 0});
  ASSERT_TRUE(test::waitUntil([&] {
    const auto placed = x11->placement(normalWindow);
    return placed && placed->bounds == QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
  })) << "the window manager did not maximize the window over the whole screen";
  EXPECT_FALSE(test::waitUntil([&] { return !viewable(panel); }, 8000));
}

TEST_F(OverlayPanelsX11, ASecondLaunchExpandsTheIslandWithoutTheTray) {
  const xcb_window_t panel = startAppAndWaitForPanel();
  ASSERT_NE(panel, XCB_NONE) << app.readAllStandardError().constData();
  const auto width = [&] {
    const auto placement = x11->placement(panel);
    return placement ? placement->bounds.width() : 0;
  };
  ASSERT_EQ(width(), 332);

  // "Show in Tray" is off (the default): the second launch still shows the island, expanded.
  QProcess second;
  second.setProcessEnvironment(appEnvironment());
  second.start(test::tandrelBinary(), {});
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(test::waitUntil([&] { return width() == 540 && viewable(panel); }, 5000)) << width();
}

TEST_F(OverlayPanelsX11, TheStartUpPromptStaysInFrontOfTheIslandWhenItExpands) {
  // A first launch: the Codex pets folder was never asked about, so the prompt comes up.
  startApp();
  ASSERT_TRUE(app.waitForStarted());
  xcb_window_t panel = XCB_NONE;
  xcb_window_t prompt = XCB_NONE;
  ASSERT_TRUE(test::waitUntil([&] {
    panel = windowOf(app.processId(), true);
    prompt = dialogOf(app.processId());
    return panel != XCB_NONE && viewable(panel) && prompt != XCB_NONE && viewable(prompt);
  }, 10000)) << app.readAllStandardError().constData();

  // The pointer rests on the island: it expands and comes forward, and the prompt stays in front.
  const auto collapsed = x11->placement(panel);
  ASSERT_TRUE(collapsed);
  xcb_warp_pointer(x11->connection(), XCB_NONE, x11->root(), 0, 0, 0, 0,
                   static_cast<std::int16_t>(collapsed->bounds.center().x()), 10);
  x11->flush();
  ASSERT_TRUE(test::waitUntil([&] {
    const auto expanded = x11->placement(panel);
    return expanded && expanded->bounds.height() > 100;
  }, 5000));
  EXPECT_TRUE(test::waitUntil([&] { return stackingIndex(prompt) > stackingIndex(panel); }, 2000));
  EXPECT_TRUE(viewable(prompt));
}

TEST_F(OverlayPanelsX11, TheCompanionStaysAboveWithoutFocusKeepsWhereItWasDraggedAndOpensThePetsTabOnAClick) {
  const QString defaultsFile = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tandrel/defaults.json");
  ASSERT_TRUE(test::writeFile(defaultsFile,
                              R"({"desktopCompanionMode": {"type": "bool", "value": true},
                                  "companionDisplayMode": {"type": "string", "value": "floating"}})"));
  openNormalWindow();
  ASSERT_TRUE(test::waitUntil([&] { return windowOf(::getpid()) != XCB_NONE && viewable(normalWindow); }));
  startApp();
  ASSERT_TRUE(app.waitForStarted());

  // The floating companion, 184 x 152, 24 px from the right and 36 px above the bottom.
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
  const QRect expected(screen->width_in_pixels - 24 - 184, screen->height_in_pixels - 36 - 152, 184, 152);
  xcb_window_t companion = XCB_NONE;
  ASSERT_TRUE(test::waitUntil([&] { return (companion = appWindowAt(expected)) != XCB_NONE; }, 10000))
      << app.readAllStandardError().constData();
  EXPECT_NE(activeWindow(), companion);
  const auto states = x11->property32(companion, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
  for (const A wanted : {A::NET_WM_STATE_ABOVE, A::NET_WM_STATE_SKIP_TASKBAR, A::NET_WM_STATE_SKIP_PAGER}) {
    EXPECT_NE(std::find(states.begin(), states.end(), x11->atom(wanted)), states.end()) << int(wanted);
  }

  // The normal window is raised over the companion's place and takes focus: the companion stays
  // above it and unfocused.
  const std::uint32_t over[] = {static_cast<std::uint32_t>(expected.x() - 100),
                                static_cast<std::uint32_t>(expected.y() - 100)};
  xcb_configure_window(x11->connection(), normalWindow, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, over);
  sendToRoot(normalWindow, A::NET_ACTIVE_WINDOW, {2, XCB_CURRENT_TIME, 0, 0, 0});
  ASSERT_TRUE(test::waitUntil([&] { return activeWindow() == normalWindow; }));
  EXPECT_GT(stackingIndex(companion), stackingIndex(normalWindow));
  EXPECT_NE(activeWindow(), companion);

  // Dragged by the pet (the middle of its square, drawn wherever the pet is), the companion
  // follows the pointer and its new place is remembered.
  const QPoint pet(92, 101);
  const QPoint drag(-400, -300);
  const QPoint from = expected.topLeft() + pet;
  const QPoint to = from + drag;
  ASSERT_NO_FATAL_FAILURE(xdotool({QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y()),
           QStringLiteral("mousedown"), QStringLiteral("1"), QStringLiteral("sleep"), QStringLiteral("0.1"),
           QStringLiteral("mousemove"), QString::number(from.x() - 20), QString::number(from.y() - 10),
           QStringLiteral("sleep"), QStringLiteral("0.1"), QStringLiteral("mousemove"), QString::number(to.x()),
           QString::number(to.y()), QStringLiteral("sleep"), QStringLiteral("0.1"), QStringLiteral("mouseup"),
           QStringLiteral("1")}));
  const QRect moved = expected.translated(drag);
  ASSERT_TRUE(test::waitUntil([&] { return appWindowAt(moved) != XCB_NONE; }))
      << "companion at " << x11->placement(companion).value_or(X11Connection::WindowPlacement{}).bounds.x();
  ASSERT_TRUE(test::waitUntil([&] {
    const QJsonObject stored = QJsonDocument::fromJson(test::readFile(defaultsFile)).object();
    return stored.value(QStringLiteral("companionOriginX")).toObject().value(QStringLiteral("value")).toDouble() ==
               moved.x() &&
           stored.value(QStringLiteral("companionOriginY")).toObject().value(QStringLiteral("value")).toDouble() ==
               moved.y();
  })) << test::readFile(defaultsFile).constData();

  // After a restart the companion comes back where it was left.
  ASSERT_NO_FATAL_FAILURE(stopApp());
  startApp();
  ASSERT_TRUE(app.waitForStarted());
  ASSERT_TRUE(test::waitUntil([&] { return (companion = appWindowAt(moved)) != XCB_NONE; }, 10000))
      << app.readAllStandardError().constData();

  // A click on the pet opens the settings panel on the Pets tab: its sidebar row is the
  // highlighted one.
  const QPoint click = moved.topLeft() + pet;
  ASSERT_NO_FATAL_FAILURE(xdotool({QStringLiteral("mousemove"), QString::number(click.x()),
                                   QString::number(click.y()), QStringLiteral("click"), QStringLiteral("1")}));
  xcb_window_t settings = XCB_NONE;
  ASSERT_TRUE(test::waitUntil([&] {
    settings = appWindow([&](const QRect& bounds) { return bounds.size() == QSize(860, 780); });
    return settings != XCB_NONE && settings != companion;
  }, 10000));
  EXPECT_EQ(appWindowAt(moved), companion);
  const auto rowBrightness = [&](int row) {
    // Right of the row's label, inside the sidebar row (8, 68 + 37.5 row, 131, 36).
    return meanBrightness(settings, QRect(112, 68 + static_cast<int>(37.5 * row) + 12, 20, 12));
  };
  ASSERT_TRUE(test::waitUntil([&] { return rowBrightness(1) > rowBrightness(0) + 4; }))
      << rowBrightness(0) << " " << rowBrightness(1);
  for (const int other : {2, 3, 4}) EXPECT_GT(rowBrightness(1), rowBrightness(other) + 4) << other;
}

TEST_F(OverlayPanelsX11, ARoamingCompanionHoldsStillUnderThePointerAndGoesOnWhenItLeaves) {
  ASSERT_TRUE(test::writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tandrel/defaults.json"),
                              R"({"desktopCompanionMode": {"type": "bool", "value": true},
                                  "companionDisplayMode": {"type": "string", "value": "roaming"}})"));
  startApp();
  ASSERT_TRUE(app.waitForStarted());
  const QSize size = companion::companionSize(CompanionDisplayMode::roaming, 1.0).toSize();
  xcb_window_t companion = XCB_NONE;
  ASSERT_TRUE(test::waitUntil([&] {
    return (companion = appWindow([&](const QRect& bounds) { return bounds.size() == size; })) != XCB_NONE;
  }, 10000)) << app.readAllStandardError().constData();
  const auto bounds = [&] { return x11->placement(companion).value_or(X11Connection::WindowPlacement{}).bounds; };
  const auto pointerTo = [&](QPoint point) {
    xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())});
  };
  const auto movesWithin = [&](int ms) {
    const QRect from = bounds();
    return test::waitUntil([&] { return bounds() != from; }, ms);
  };
  ASSERT_NO_FATAL_FAILURE(pointerTo(QPoint(0, 0)));
  ASSERT_TRUE(movesWithin(2000));

  // The pointer on the pet (the window's drawn part takes it there): the pet stops.
  const QPointF pet =
      companion::companionPetContentRect(QRectF(QPointF(), QSizeF(size)), CompanionDisplayMode::roaming).center();
  ASSERT_NO_FATAL_FAILURE(pointerTo(bounds().topLeft() + pet.toPoint()));
  (void)test::waitUntil([] { return false; }, 400);  // a step already under way lands
  EXPECT_FALSE(movesWithin(1500));
  ASSERT_NO_FATAL_FAILURE(pointerTo(QPoint(0, 0)));
  EXPECT_TRUE(movesWithin(2000));
}

}  // namespace
}  // namespace tandrel
