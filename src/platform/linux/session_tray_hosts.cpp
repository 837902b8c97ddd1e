// The tray hosts of the session: the XEmbed tray's selection on the shared X11 connection and the
// StatusNotifierItem watcher's name on the session bus.

#include "platform/tray_hosts.h"

#include "platform/x11_connection.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include <cstdlib>
#include <memory>

namespace tandrel {
namespace {

const QString kStatusNotifierWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

class SessionTrayHosts final : public TrayHosts, private QAbstractNativeEventFilter {
 public:
  SessionTrayHosts() : x11_(X11Connection::shared()), bus_(QDBusConnection::sessionBus()) {
    if (x11_ != nullptr) {
      // A tray that starts announces itself with a MANAGER message to the root window's
      // structure listeners.
      listenToStructure(x11_->root());
      QCoreApplication::instance()->installNativeEventFilter(this);
      watchTrayOwner();
    }
    if (bus_.isConnected()) {
      watcher_ = std::make_unique<QDBusServiceWatcher>(
          kStatusNotifierWatcher, bus_,
          QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
      connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered, this, [this] { recheck(); });
      connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] { recheck(); });
    }
    running_ = current();
  }

  ~SessionTrayHosts() override {
    if (x11_ != nullptr && QCoreApplication::instance() != nullptr) {
      QCoreApplication::instance()->removeNativeEventFilter(this);
    }
  }

  Running running() const override { return running_; }

 private:
  Running current() const {
    Running now;
    now.xembed = trayOwner_ != XCB_NONE;
    now.statusNotifier = bus_.isConnected() && bus_.interface() != nullptr &&
                         bus_.interface()->isServiceRegistered(kStatusNotifierWatcher).value();
    return now;
  }

  // Adds structure events of `window` to what this connection hears of it: Qt shares the
  // connection and listens to the same windows (the root, the tray), so its mask is kept.
  void listenToStructure(xcb_window_t window) const {
    xcb_connection_t* connection = x11_->connection();
    auto attributes = std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)>(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr),
        &std::free);
    if (attributes) {
      const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
      xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
    }
  }

  // Reads the tray's owner and listens for its window's end (the tray quitting).
  void watchTrayOwner() {
    trayOwner_ = x11_->selectionOwner(X11Connection::Atom::NET_SYSTEM_TRAY_S0);
    if (trayOwner_ != XCB_NONE) {
      listenToStructure(trayOwner_);
      // The owner may have gone between the two requests.
      trayOwner_ = x11_->selectionOwner(X11Connection::Atom::NET_SYSTEM_TRAY_S0);
    }
  }

  void recheck() {
    const Running now = current();
    if (now == running_) {
      return;
    }
    running_ = now;
    Q_EMIT changed();
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t") {
      return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
      case XCB_CLIENT_MESSAGE: {
        const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (client->window == x11_->root() && client->type == x11_->atom(X11Connection::Atom::MANAGER) &&
            client->data.data32[1] == x11_->atom(X11Connection::Atom::NET_SYSTEM_TRAY_S0)) {
          watchTrayOwner();
          recheck();
        }
        break;
      }
      case XCB_DESTROY_NOTIFY: {
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (trayOwner_ != XCB_NONE && destroyed->window == trayOwner_) {
          watchTrayOwner();
          recheck();
        }
        break;
      }
      default:
        break;
    }
    return false;  // Qt's own tray code listens to the same messages
  }

  X11Connection* x11_;
  QDBusConnection bus_;
  std::unique_ptr<QDBusServiceWatcher> watcher_;
  xcb_window_t trayOwner_ = XCB_NONE;
  Running running_;
};

}  // namespace

std::unique_ptr<TrayHosts> TrayHosts::createForSession() { return std::make_unique<SessionTrayHosts>(); }

}  // namespace tandrel
