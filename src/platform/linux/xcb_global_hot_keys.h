#pragma once

// Global hot keys as passive key grabs on the root window. Each hot key is grabbed four times,
// with and without Caps Lock and Num Lock, so that it fires whatever their state. The modifier
// bits of Alt, Super and Num Lock are read from the server's modifier mapping (Mod1, Mod4 and
// Mod2 on most keyboards). On the application's shared connection a native event filter takes
// the key presses out of Qt's event stream; on a connection of its own the owner feeds events to
// handleEvent.

#include "platform/global_hot_keys.h"
#include "platform/x11_connection.h"

#include <xcb/xcb.h>

#include <memory>
#include <vector>

namespace tandrel {

class XcbGlobalHotKeys final : public GlobalHotKeys {
 public:
  // With `filterQtEvents` the key presses are taken from Qt's native event stream (only for the
  // connection Qt itself uses).
  XcbGlobalHotKeys(X11Connection& x11, bool filterQtEvents);
  ~XcbGlobalHotKeys() override;

  std::optional<QString> unavailableReason() const override { return std::nullopt; }
  Result<void> registerHotKey(const HotKey& key) override;
  void unregisterAll() override;

  // An event of the connection: true when it is the press or release of a registered hot key
  // (a press calls onPressed).
  bool handleEvent(const xcb_generic_event_t* event);

 private:
  class EventFilter;
  struct Grab {
    int id = 0;
    xcb_keycode_t keycode = 0;
    std::uint16_t modifiers = 0;
  };
  std::uint16_t modifierMask(unsigned modifiers) const;
  void ungrab(const Grab& grab);

  X11Connection& x11_;
  std::uint16_t altMask_ = XCB_MOD_MASK_1;
  std::uint16_t superMask_ = XCB_MOD_MASK_4;
  std::uint16_t numLockMask_ = XCB_MOD_MASK_2;
  std::vector<Grab> grabs_;
  std::unique_ptr<EventFilter> filter_;
};

}  // namespace tandrel
