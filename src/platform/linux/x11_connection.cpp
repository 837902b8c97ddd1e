#include "platform/x11_connection.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>

namespace tandrel {
namespace {

constexpr std::array<const char*, X11Connection::kAtomCount> kAtomNames = {
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_SUPPORTED",
    "_NET_CLIENT_LIST_STACKING",
    "_NET_CURRENT_DESKTOP",
    "_NET_ACTIVE_WINDOW",
    "_NET_WM_PID",
    "_NET_WM_DESKTOP",
    "_NET_WM_WINDOW_OPACITY",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_STATE",
    "_NET_WM_STATE_HIDDEN",
    "_NET_WM_STATE_FULLSCREEN",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_STATE_STICKY",
    "_NET_WM_STATE_SKIP_TASKBAR",
    "_NET_WM_STATE_SKIP_PAGER",
    "MANAGER",
    "_NET_SYSTEM_TRAY_OPCODE",
    "_NET_WM_CM_S",      // + the screen number
    "_NET_SYSTEM_TRAY_S",  // + the screen number
};

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> own(Reply* reply) {
  return ReplyPtr<Reply>(reply, &std::free);
}

}  // namespace

X11Connection* X11Connection::shared() {
  static X11Connection* instance = [] () -> X11Connection* {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
      return nullptr;
    }
    int screenNumber = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screenNumber) == 0) {
      screenNumber = 0;
    }
    std::free(host);
    return new X11Connection(x11->connection(), screenNumber, false);
  }();
  return instance;
}

std::unique_ptr<X11Connection> X11Connection::connect(const QByteArray& display) {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(display.constData(), &screenNumber);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::unique_ptr<X11Connection>(new X11Connection(connection, screenNumber, true));
}

X11Connection::~X11Connection() {
  if (owned_) {
    xcb_disconnect(connection_);
  }
}

X11Connection::X11Connection(xcb_connection_t* connection, int screenNumber, bool owned)
    : connection_(connection), owned_(owned) {
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; screens.rem > 0; xcb_screen_next(&screens), ++i) {
    if (i == screenNumber || root_ == XCB_NONE) {
      root_ = screens.data->root;
    }
  }
  std::array<xcb_intern_atom_cookie_t, kAtomCount> cookies{};
  for (int i = 0; i < kAtomCount; ++i) {
    // The selections of a screen are named after its number.
    const bool perScreen = i >= static_cast<int>(Atom::NET_WM_CM_S0);
    const QByteArray name = QByteArray(kAtomNames[i]) + (perScreen ? QByteArray::number(screenNumber) : QByteArray());
    cookies[i] = xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.constData());
  }
  for (int i = 0; i < kAtomCount; ++i) {
    if (auto reply = own(xcb_intern_atom_reply(connection_, cookies[i], nullptr))) {
      atoms_[i] = reply->atom;
    }
  }
}

std::optional<std::vector<std::uint32_t>> X11Connection::property32(xcb_window_t window, Atom property,
                                                                    xcb_atom_t type) const {
  auto reply = own(xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, window, atom(property), type, 0, 1 << 16), nullptr));
  if (!reply || reply->type != type || reply->format != 32) {
    return std::nullopt;
  }
  const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

void X11Connection::setProperty32(xcb_window_t window, Atom property, xcb_atom_t type,
                                  const std::vector<std::uint32_t>& values) const {
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, atom(property), type, 32,
                      static_cast<uint32_t>(values.size()), values.data());
}

std::optional<X11Connection::WindowPlacement> X11Connection::placement(xcb_window_t window) const {
  const auto attributesCookie = xcb_get_window_attributes(connection_, window);
  const auto geometryCookie = xcb_get_geometry(connection_, window);
  const auto translateCookie = xcb_translate_coordinates(connection_, window, root_, 0, 0);
  auto attributes = own(xcb_get_window_attributes_reply(connection_, attributesCookie, nullptr));
  auto geometry = own(xcb_get_geometry_reply(connection_, geometryCookie, nullptr));
  auto origin = own(xcb_translate_coordinates_reply(connection_, translateCookie, nullptr));
  if (!attributes || !geometry || !origin) {
    return std::nullopt;
  }
  return WindowPlacement{QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height),
                         attributes->map_state == XCB_MAP_STATE_VIEWABLE};
}

xcb_window_t X11Connection::selectionOwner(Atom selection) const {
  auto reply = own(xcb_get_selection_owner_reply(
      connection_, xcb_get_selection_owner(connection_, atom(selection)), nullptr));
  return reply ? reply->owner : XCB_NONE;
}

void X11Connection::flush() const { xcb_flush(connection_); }

}  // namespace tandrel
