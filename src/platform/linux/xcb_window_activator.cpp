// Window activation through the X server: the window manager's client list, each window's
// _NET_WM_PID and WM_CLASS, and a _NET_ACTIVE_WINDOW request to the root window.

#include "platform/window_activator.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

qint64 parentProcessID(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) {
    return 0;
  }
  // "pid (comm) state ppid …"; the command name may hold spaces and parentheses.
  const QByteArray text = stat.readAll();
  const qsizetype close = text.lastIndexOf(')');
  if (close < 0) {
    return 0;
  }
  const QList<QByteArray> fields = text.mid(close + 2).split(' ');
  return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

namespace {

const QString kNotAvailable = QStringLiteral("window activation is not available on this platform");

struct ConnectionCloser {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

struct Session {
  Connection connection;
  xcb_window_t root = 0;
};

std::optional<Session> openSession() {
  if (std::getenv("DISPLAY") == nullptr) {
    return std::nullopt;
  }
  int screenNumber = 0;
  Connection connection(xcb_connect(nullptr, &screenNumber));
  if (!connection || xcb_connection_has_error(connection.get())) {
    return std::nullopt;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  if (screens.rem == 0) {
    return std::nullopt;
  }
  return Session{std::move(connection), screens.data->root};
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
  const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The raw value of a property, or empty.
QByteArray property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
  const auto cookie = xcb_get_property(connection, 0, window, name, type, 0, 4096);
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  if (!reply) {
    return {};
  }
  const int length = xcb_get_property_value_length(reply.get());
  return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
}

// The managed windows, bottom first.
std::vector<xcb_window_t> clientWindows(const Session& session) {
  xcb_connection_t* connection = session.connection.get();
  QByteArray list = property(connection, session.root, atom(connection, "_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
  if (list.isEmpty()) {
    list = property(connection, session.root, atom(connection, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
  }
  std::vector<xcb_window_t> windows(static_cast<std::size_t>(list.size()) / sizeof(xcb_window_t));
  std::memcpy(windows.data(), list.constData(), windows.size() * sizeof(xcb_window_t));
  return windows;
}

qint64 windowPID(const Session& session, xcb_window_t window) {
  xcb_connection_t* connection = session.connection.get();
  const QByteArray value = property(connection, window, atom(connection, "_NET_WM_PID"), XCB_ATOM_CARDINAL);
  if (value.size() < static_cast<qsizetype>(sizeof(uint32_t))) {
    return 0;
  }
  uint32_t pid = 0;
  std::memcpy(&pid, value.constData(), sizeof pid);
  return pid;
}

Result<void> activate(const Session& session, xcb_window_t window) {
  xcb_connection_t* connection = session.connection.get();
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom(connection, "_NET_ACTIVE_WINDOW");
  event.data.data32[0] = 2;  // the request comes from a pager-like tool, which window managers honour
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(connection, 0, session.root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  // A round trip makes sure the request reached the server before the connection closes.
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  if (xcb_connection_has_error(connection)) {
    return Result<void>::failure(QStringLiteral("the X server connection failed"));
  }
  return Result<void>::success();
}

class XcbWindowActivator final : public WindowActivator {
 public:
  Result<void> activateWindow(quint64 windowID) const override {
    const auto session = openSession();
    if (!session) {
      return Result<void>::failure(kNotAvailable);
    }
    for (xcb_window_t window : clientWindows(*session)) {
      if (window == windowID) {
        return activate(*session, window);
      }
    }
    return Result<void>::failure(QStringLiteral("window %1 is not open").arg(windowID));
  }

  Result<void> activateWindowOfProcess(qint64 pid) const override {
    const auto session = openSession();
    if (!session) {
      return Result<void>::failure(kNotAvailable);
    }
    const std::vector<xcb_window_t> windows = clientWindows(*session);
    std::vector<qint64> owners;
    owners.reserve(windows.size());
    for (xcb_window_t window : windows) {
      owners.push_back(windowPID(*session, window));
    }
    // Nearest ancestor first; init (1) owns no terminal window.
    for (qint64 current = pid, depth = 0; current > 1 && depth < 64; current = parentProcessID(current), ++depth) {
      for (std::size_t i = windows.size(); i-- > 0;) {
        if (owners[i] == current) {
          return activate(*session, windows[i]);
        }
      }
    }
    return Result<void>::failure(QStringLiteral("no window belongs to process %1 or its parents").arg(pid));
  }

  Result<void> activateWindowOfClass(const QStringList& classes) const override {
    const auto session = openSession();
    if (!session) {
      return Result<void>::failure(kNotAvailable);
    }
    const std::vector<xcb_window_t> windows = clientWindows(*session);
    for (std::size_t i = windows.size(); i-- > 0;) {
      // WM_CLASS is "instance\0class\0".
      const QList<QByteArray> names =
          property(session->connection.get(), windows[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
      for (const QByteArray& name : names) {
        if (!name.isEmpty() && classes.contains(QString::fromUtf8(name), Qt::CaseInsensitive)) {
          return activate(*session, windows[i]);
        }
      }
    }
    return Result<void>::failure(QStringLiteral("no window of %1 is open").arg(classes.join(QStringLiteral(", "))));
  }
};

}  // namespace

const WindowActivator& WindowActivator::system() {
  static const XcbWindowActivator activator;
  return activator;
}

}  // namespace tandrel
