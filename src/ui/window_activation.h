#pragma once

#include <QWidget>
#include <QWindow>

namespace tandrel {

// Whether the window system may give `window` the keyboard focus: our panels that never take it
// (the collapsed island, the companion) say so on their native window.
inline bool takesFocus(const QWidget& window) {
  const QWindow* handle = window.windowHandle();
  const Qt::WindowFlags flags = handle != nullptr ? handle->flags() : window.windowFlags();
  return !flags.testFlag(Qt::WindowDoesNotAcceptFocus);
}

// Asks for the focus of `window` only when it takes focus; asking for one that does not is refused
// by Qt with a warning and changes nothing.
inline void activateIfItTakesFocus(QWidget& window) {
  if (takesFocus(window)) {
    window.activateWindow();
  }
}

}  // namespace tandrel
