#pragma once

// System-wide keyboard shortcuts: a key with its modifiers that fires while another application
// has the keyboard focus. On X11 (and XWayland) through passive key grabs on the root window of
// the shared connection; a grab that another client holds fails with the key's name, and without
// an X11 display every registration fails with "global hot keys are not available on this
// platform". Main thread only.

#include "base/result.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tandrel {

// Modifier keys of a hot key, as flags. Alt is the key labelled Alt (Option on a Mac keyboard),
// Super the key labelled with the system logo (Command on a Mac keyboard).
enum HotKeyModifier : unsigned {
  kHotKeyControl = 1U << 0,
  kHotKeyAlt = 1U << 1,
  kHotKeyShift = 1U << 2,
  kHotKeySuper = 1U << 3,
};

struct HotKey {
  int id = 0;
  std::uint32_t keysym = 0;  // the X keysym of the unshifted key: 0x20 space, 0x75 "u"
  unsigned modifiers = 0;    // HotKeyModifier flags

  bool operator==(const HotKey&) const = default;
};

// "Ctrl+Alt+Space", "Super+Shift+U": the modifiers in that fixed order, then the key.
QString hotKeyText(const HotKey& key);

class GlobalHotKeys {
 public:
  virtual ~GlobalHotKeys() = default;

  // Why this session has no global hot keys (a Wayland session without XWayland, no display at
  // all); none when keys can be registered.
  virtual std::optional<QString> unavailableReason() const = 0;

  // Grabs `key` for the whole session, whatever the state of Caps Lock and Num Lock. Fails when
  // another application already holds the combination, or when the platform has no global keys.
  virtual Result<void> registerHotKey(const HotKey& key) = 0;
  // Releases every key registered here.
  virtual void unregisterAll() = 0;

  // Runs on the main thread with the id of the hot key that was pressed.
  std::function<void(int id)> onPressed;

  // The hot keys of this session: X11 when the application runs on the xcb platform, else one
  // whose registrations fail.
  static std::unique_ptr<GlobalHotKeys> createForSession();

  static inline const QString kNotAvailable = QStringLiteral("global hot keys are not available on this platform");
  static inline const QString kNotAvailableOnWayland = QStringLiteral(
      "global hot keys are not available on a Wayland session without XWayland: Wayland lets no "
      "application grab keys for the whole desktop");
};

}  // namespace tandrel
