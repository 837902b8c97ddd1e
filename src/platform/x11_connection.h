#pragma once

// The application's one connection to the X server, shared by everything that talks X11 beside
// Qt: window properties of our own panels, the window list of other applications, and later key
// grabs, the tray and window activation. It is Qt's own connection when the application runs on
// the xcb platform, so that events for our windows and grabs arrive through Qt's event loop
// (a QAbstractNativeEventFilter sees them). The atoms below are interned once, in one round trip.
// Main thread only.

#include <xcb/xcb.h>

#include <QByteArray>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tandrel {

class X11Connection {
 public:
  enum class Atom {
    NET_SUPPORTING_WM_CHECK,
    NET_SUPPORTED,
    NET_CLIENT_LIST_STACKING,
    NET_CURRENT_DESKTOP,
    NET_ACTIVE_WINDOW,
    NET_WM_PID,
    NET_WM_DESKTOP,
    NET_WM_WINDOW_OPACITY,
    NET_WM_WINDOW_TYPE,
    NET_WM_WINDOW_TYPE_NORMAL,
    NET_WM_STATE,
    NET_WM_STATE_HIDDEN,
    NET_WM_STATE_FULLSCREEN,
    NET_WM_STATE_ABOVE,
    NET_WM_STATE_STICKY,
    NET_WM_STATE_SKIP_TASKBAR,
    NET_WM_STATE_SKIP_PAGER,
    MANAGER,                    // a selection manager announcing itself on the root window
    NET_SYSTEM_TRAY_OPCODE,     // the tray's requests (a tray icon asking to be docked)
    NET_WM_CM_S0,               // the compositing-manager selection of the default screen
    NET_SYSTEM_TRAY_S0,         // the system tray selection of the default screen
  };
  static constexpr int kAtomCount = static_cast<int>(Atom::NET_SYSTEM_TRAY_S0) + 1;

  // The connection of the running Qt application when it runs on X11; none otherwise (offscreen,
  // Wayland). Created on first use.
  static X11Connection* shared();
  // A connection of its own to `display` (":0"), closed with the object; none when the server
  // cannot be reached. For tools and tests that look at the desktop from outside the application.
  static std::unique_ptr<X11Connection> connect(const QByteArray& display);
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  xcb_window_t root() const { return root_; }
  xcb_atom_t atom(Atom atom) const { return atoms_[static_cast<int>(atom)]; }

  // A property read whole as 32-bit items (CARDINAL, ATOM or WINDOW lists); none when it is
  // missing, of another type or not 32 bits wide.
  std::optional<std::vector<std::uint32_t>> property32(xcb_window_t window, Atom property,
                                                       xcb_atom_t type) const;
  // Replaces a 32-bit property.
  void setProperty32(xcb_window_t window, Atom property, xcb_atom_t type,
                     const std::vector<std::uint32_t>& values) const;

  // The window's rectangle in root coordinates and whether it is viewable; none when the
  // window is gone.
  struct WindowPlacement {
    QRect bounds;
    bool viewable = false;
  };
  std::optional<WindowPlacement> placement(xcb_window_t window) const;

  // The window owning the selection, or XCB_NONE.
  xcb_window_t selectionOwner(Atom selection) const;

  void flush() const;

 private:
  X11Connection(xcb_connection_t* connection, int screenNumber, bool owned);

  xcb_connection_t* connection_;
  bool owned_;
  xcb_window_t root_ = XCB_NONE;
  std::array<xcb_atom_t, kAtomCount> atoms_{};
};

}  // namespace tandrel
