#pragma once

// What the overlay asks of the display server: the windows of other applications (to step aside
// for full-screen ones), whether a compositor blends translucent windows, the overlay properties
// of our own panels, and workspace switches. The Linux implementation speaks EWMH over the
// shared X11 connection; without X11 (offscreen, tests) every query answers "nothing" and
// preparing a window fails with "not available on this platform".

#include "base/result.h"

#include <QRectF>
#include <QRegion>
#include <QWindow>

#include <functional>
#include <vector>

namespace tandrel {

// One window of any application, as the window list reports it.
struct WindowSnapshot {
  qint32 ownerPID = 0;    // _NET_WM_PID; 0 when the window does not say
  int layer = 0;          // 0 for normal application windows, 1 for every other window type
  double alpha = 1.0;     // _NET_WM_WINDOW_OPACITY as a share of 1
  bool isOnScreen = false;  // viewable and not hidden (minimised)
  QRectF bounds;          // in root-window coordinates (X11 pixels)
  bool fullScreen = false;  // _NET_WM_STATE holds _NET_WM_STATE_FULLSCREEN

  bool operator==(const WindowSnapshot&) const = default;
};

class WindowServer {
 public:
  virtual ~WindowServer() = default;

  // The top-level windows the window manager lists, bottom of the stack first. Empty when there
  // is no window manager or the list cannot be read.
  virtual std::vector<WindowSnapshot> currentWindowSnapshots() = 0;

  // True when the window manager marks full-screen windows: it lists _NET_WM_STATE_FULLSCREEN in
  // _NET_SUPPORTED.
  virtual bool supportsFullScreenState() = 0;

  // True when a compositing manager owns the compositor selection of the screen.
  virtual bool hasCompositor() = 0;

  // Marks a native window that is not shown yet as an overlay: above ordinary windows, on every
  // workspace, without taskbar or pager entry.
  virtual Result<void> prepareOverlayWindow(WId window) = 0;

  // Marks a native window that is not shown yet to stay above ordinary windows, in the overlays'
  // layer, so that raising it brings it in front of them (a dialog the overlays must not hide).
  virtual Result<void> prepareWindowAboveOthers(WId window) = 0;

  // Cuts a native window to `region`, given in the window server's pixels (device pixels, so that
  // a shape drawn at twice the scale keeps its finer steps). Fails off X11 or without the shape
  // extension.
  virtual Result<void> setWindowShape(WId window, const QRegion& region) = 0;

  // `handler` runs on the main thread whenever the current workspace changes (replacing the
  // previous handler; an empty function removes it).
  virtual void setWorkspaceChangedHandler(std::function<void()> handler) = 0;

  // The server of this process: X11 when the application runs on the xcb platform, else one that
  // has nothing to report.
  static WindowServer& shared();
};

}  // namespace tandrel
