#include "platform/window_server.h"

#include "platform/x11_connection.h"

#include <xcb/shape.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>

namespace tandrel {
namespace {

using ReplyDeleter = decltype(&std::free);
template <typename Reply>
std::unique_ptr<Reply, ReplyDeleter> own(Reply* reply) {
  return std::unique_ptr<Reply, ReplyDeleter>(reply, &std::free);
}

// The 32-bit items of a property reply of the given type; empty when it is missing or different.
std::vector<std::uint32_t> items(xcb_get_property_reply_t* reply, xcb_atom_t type) {
  if (reply == nullptr || reply->type != type || reply->format != 32) {
    return {};
  }
  const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
  return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(reply) / 4);
}

bool contains(const std::vector<std::uint32_t>& list, std::uint32_t value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

class X11WindowServer final : public WindowServer, private QAbstractNativeEventFilter {
 public:
  explicit X11WindowServer(X11Connection& x11) : x11_(x11) {}

  std::vector<WindowSnapshot> currentWindowSnapshots() override {
    using A = X11Connection::Atom;
    xcb_connection_t* c = x11_.connection();
    const std::vector<std::uint32_t> windows =
        x11_.property32(x11_.root(), A::NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW).value_or(std::vector<std::uint32_t>{});

    // Every request goes out first and the replies are collected afterwards: one round trip for
    // the whole list instead of seven per window.
    struct Cookies {
      xcb_get_property_cookie_t pid, type, state, opacity;
      xcb_get_window_attributes_cookie_t attributes;
      xcb_get_geometry_cookie_t geometry;
      xcb_translate_coordinates_cookie_t origin;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    auto property = [&](xcb_window_t window, A atom, xcb_atom_t type) {
      return xcb_get_property(c, 0, window, x11_.atom(atom), type, 0, 64);
    };
    for (const xcb_window_t window : windows) {
      cookies.push_back({property(window, A::NET_WM_PID, XCB_ATOM_CARDINAL),
                         property(window, A::NET_WM_WINDOW_TYPE, XCB_ATOM_ATOM),
                         property(window, A::NET_WM_STATE, XCB_ATOM_ATOM),
                         property(window, A::NET_WM_WINDOW_OPACITY, XCB_ATOM_CARDINAL),
                         xcb_get_window_attributes(c, window), xcb_get_geometry(c, window),
                         xcb_translate_coordinates(c, window, x11_.root(), 0, 0)});
    }

    std::vector<WindowSnapshot> snapshots;
    snapshots.reserve(windows.size());
    for (const Cookies& cookie : cookies) {
      auto pid = own(xcb_get_property_reply(c, cookie.pid, nullptr));
      auto type = own(xcb_get_property_reply(c, cookie.type, nullptr));
      auto state = own(xcb_get_property_reply(c, cookie.state, nullptr));
      auto opacity = own(xcb_get_property_reply(c, cookie.opacity, nullptr));
      auto attributes = own(xcb_get_window_attributes_reply(c, cookie.attributes, nullptr));
      auto geometry = own(xcb_get_geometry_reply(c, cookie.geometry, nullptr));
      auto origin = own(xcb_translate_coordinates_reply(c, cookie.origin, nullptr));
      if (!attributes || !geometry || !origin) {
        continue;  // gone while we asked
      }
      WindowSnapshot snapshot;
      const std::vector<std::uint32_t> pids = items(pid.get(), XCB_ATOM_CARDINAL);
      snapshot.ownerPID = pids.empty() ? 0 : static_cast<qint32>(pids.front());
      // A window that names no type is a normal one.
      const std::vector<std::uint32_t> types = items(type.get(), XCB_ATOM_ATOM);
      snapshot.layer = types.empty() || types.front() == x11_.atom(A::NET_WM_WINDOW_TYPE_NORMAL) ? 0 : 1;
      const std::vector<std::uint32_t> opacities = items(opacity.get(), XCB_ATOM_CARDINAL);
      snapshot.alpha = opacities.empty() ? 1.0 : opacities.front() / double(0xFFFFFFFFu);
      const std::vector<std::uint32_t> states = items(state.get(), XCB_ATOM_ATOM);
      snapshot.isOnScreen =
          attributes->map_state == XCB_MAP_STATE_VIEWABLE && !contains(states, x11_.atom(A::NET_WM_STATE_HIDDEN));
      snapshot.fullScreen = contains(states, x11_.atom(A::NET_WM_STATE_FULLSCREEN));
      snapshot.bounds = QRectF(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
      snapshots.push_back(snapshot);
    }
    return snapshots;
  }

  bool supportsFullScreenState() override {
    using A = X11Connection::Atom;
    return contains(x11_.property32(x11_.root(), A::NET_SUPPORTED, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{}),
                    x11_.atom(A::NET_WM_STATE_FULLSCREEN));
  }

  bool hasCompositor() override { return x11_.selectionOwner(X11Connection::Atom::NET_WM_CM_S0) != XCB_NONE; }

  Result<void> prepareOverlayWindow(WId window) override {
    using A = X11Connection::Atom;
    const auto id = static_cast<xcb_window_t>(window);
    addStates(id, {A::NET_WM_STATE_ABOVE, A::NET_WM_STATE_STICKY, A::NET_WM_STATE_SKIP_TASKBAR,
                   A::NET_WM_STATE_SKIP_PAGER});
    x11_.setProperty32(id, A::NET_WM_DESKTOP, XCB_ATOM_CARDINAL, {0xFFFFFFFFu});
    x11_.flush();
    return Result<void>::success();
  }

  Result<void> prepareWindowAboveOthers(WId window) override {
    addStates(static_cast<xcb_window_t>(window), {X11Connection::Atom::NET_WM_STATE_ABOVE});
    x11_.flush();
    return Result<void>::success();
  }

  Result<void> setWindowShape(WId window, const QRegion& region) override {
    if (!hasShapeExtension()) {
      return Result<void>::failure(QStringLiteral("window shapes: the X server has no SHAPE extension"));
    }
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect& rect : region) {
      rectangles.push_back({static_cast<std::int16_t>(rect.x()), static_cast<std::int16_t>(rect.y()),
                            static_cast<std::uint16_t>(rect.width()), static_cast<std::uint16_t>(rect.height())});
    }
    xcb_shape_rectangles(x11_.connection(), XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                         static_cast<xcb_window_t>(window), 0, 0, static_cast<std::uint32_t>(rectangles.size()),
                         rectangles.data());
    x11_.flush();
    return Result<void>::success();
  }

  void setWorkspaceChangedHandler(std::function<void()> handler) override {
    workspaceChanged_ = std::move(handler);
    if (workspaceChanged_ && !filterInstalled_) {
      // Qt already listens to property changes on the root window (for the work area).
      const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
      auto attributes = own(xcb_get_window_attributes_reply(
          x11_.connection(), xcb_get_window_attributes(x11_.connection(), x11_.root()), nullptr));
      const uint32_t events = (attributes ? attributes->your_event_mask : 0) | mask;
      xcb_change_window_attributes(x11_.connection(), x11_.root(), XCB_CW_EVENT_MASK, &events);
      x11_.flush();
      QCoreApplication::instance()->installNativeEventFilter(this);
      filterInstalled_ = true;
    }
  }

 private:
  bool hasShapeExtension() const {
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(x11_.connection(), &xcb_shape_id);
    return shape != nullptr && shape->present != 0;
  }

  // Adds states to a window that is not mapped yet; the window manager reads them when it maps
  // the window. Qt merges its own states (above, for a window that stays on top) into what it
  // finds here when it maps the window.
  void addStates(xcb_window_t id, std::initializer_list<X11Connection::Atom> wanted) {
    using A = X11Connection::Atom;
    std::vector<std::uint32_t> states =
        x11_.property32(id, A::NET_WM_STATE, XCB_ATOM_ATOM).value_or(std::vector<std::uint32_t>{});
    for (const A state : wanted) {
      if (!contains(states, x11_.atom(state))) {
        states.push_back(x11_.atom(state));
      }
    }
    x11_.setProperty32(id, A::NET_WM_STATE, XCB_ATOM_ATOM, states);
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t" || !workspaceChanged_) {
      return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
      if (notify->window == x11_.root() && notify->atom == x11_.atom(X11Connection::Atom::NET_CURRENT_DESKTOP)) {
        workspaceChanged_();
      }
    }
    return false;
  }

  X11Connection& x11_;
  std::function<void()> workspaceChanged_;
  bool filterInstalled_ = false;
};

// Off X11 there are no other windows to see and no overlay properties to set.
class NoWindowServer final : public WindowServer {
 public:
  std::vector<WindowSnapshot> currentWindowSnapshots() override { return {}; }
  bool supportsFullScreenState() override { return false; }
  bool hasCompositor() override { return false; }
  Result<void> prepareOverlayWindow(WId) override {
    return Result<void>::failure(QStringLiteral("overlay window properties: not available on this platform"));
  }
  Result<void> prepareWindowAboveOthers(WId) override {
    return Result<void>::failure(QStringLiteral("window stacking properties: not available on this platform"));
  }
  Result<void> setWindowShape(WId, const QRegion&) override {
    return Result<void>::failure(QStringLiteral("window shapes: not available on this platform"));
  }
  void setWorkspaceChangedHandler(std::function<void()>) override {}
};

}  // namespace

WindowServer& WindowServer::shared() {
  static WindowServer* instance = [] () -> WindowServer* {
    if (X11Connection* x11 = X11Connection::shared()) {
      return new X11WindowServer(*x11);
    }
    return new NoWindowServer();
  }();
  return *instance;
}

}  // namespace tandrel
