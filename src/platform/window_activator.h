#pragma once

#include "base/result.h"

#include <QString>
#include <QStringList>

// Bringing another application's window to the front: on X11 (and XWayland) through the window
// manager's _NET_ACTIVE_WINDOW request on the windows it lists in _NET_CLIENT_LIST_STACKING.
// Without an X11 display every operation fails with "window activation is not available on this
// platform". Operations talk to the X server on their own connection and may be called from any
// thread.

namespace tandrel {

class WindowActivator {
 public:
  virtual ~WindowActivator() = default;

  // Activates the top-level window with this X11 id; fails when the window manager does not list it.
  virtual Result<void> activateWindow(quint64 windowID) const = 0;
  // Activates the window whose _NET_WM_PID is the process or its nearest ancestor (the terminal an
  // agent runs in owns the agent's shell, which owns the agent); the topmost when there are several.
  virtual Result<void> activateWindowOfProcess(qint64 pid) const = 0;
  // Activates the topmost window whose WM_CLASS instance or class equals one of `classes`
  // (ignoring case).
  virtual Result<void> activateWindowOfClass(const QStringList& classes) const = 0;

  // The activator of this session.
  static const WindowActivator& system();
};

// The parent of a process as /proc tells it, or 0 when it cannot be read.
qint64 parentProcessID(qint64 pid);

}  // namespace tandrel
