#include "platform/linux/xcb_global_hot_keys.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb_keysyms.h>

#include <array>
#include <cstdlib>

namespace tandrel {
namespace {

constexpr xcb_keysym_t kNumLock = 0xff7f;
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr xcb_keysym_t kAltR = 0xffea;
constexpr xcb_keysym_t kMetaL = 0xffe7;
constexpr xcb_keysym_t kSuperL = 0xffeb;
constexpr xcb_keysym_t kSuperR = 0xffec;
constexpr std::uint8_t kBadAccess = 10;

template <typename T>
using Owned = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Owned<T> own(T* pointer) {
  return Owned<T>(pointer, &std::free);
}

// The keycodes that produce `keysym` in any column of the keyboard map.
std::vector<xcb_keycode_t> keycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
  std::vector<xcb_keycode_t> keycodes;
  if (auto found = own(xcb_key_symbols_get_keycode(symbols, keysym))) {
    for (const xcb_keycode_t* code = found.get(); *code != XCB_NO_SYMBOL; ++code) {
      keycodes.push_back(*code);
    }
  }
  return keycodes;
}

}  // namespace

class XcbGlobalHotKeys::EventFilter final : public QAbstractNativeEventFilter {
 public:
  explicit EventFilter(XcbGlobalHotKeys& owner) : owner_(owner) {}
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    return eventType == "xcb_generic_event_t" &&
           owner_.handleEvent(static_cast<const xcb_generic_event_t*>(message));
  }

 private:
  XcbGlobalHotKeys& owner_;
};

XcbGlobalHotKeys::XcbGlobalHotKeys(X11Connection& x11, bool filterQtEvents) : x11_(x11) {
  xcb_connection_t* connection = x11_.connection();
  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
  auto mapping = own(xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
  if (symbols != nullptr && mapping) {
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    // The modifier whose keys include one of `keysyms`; `fallback` when none does.
    auto maskOf = [&](std::initializer_list<xcb_keysym_t> keysyms, std::uint16_t fallback) {
      for (const xcb_keysym_t keysym : keysyms) {
        for (const xcb_keycode_t keycode : keycodesOf(symbols, keysym)) {
          for (int modifier = 3; modifier < 8; ++modifier) {  // Mod1 … Mod5
            for (int i = 0; i < perModifier; ++i) {
              if (codes[modifier * perModifier + i] == keycode) {
                return static_cast<std::uint16_t>(1U << modifier);
              }
            }
          }
        }
      }
      return fallback;
    };
    altMask_ = maskOf({kAltL, kAltR, kMetaL}, XCB_MOD_MASK_1);
    superMask_ = maskOf({kSuperL, kSuperR}, XCB_MOD_MASK_4);
    numLockMask_ = maskOf({kNumLock}, XCB_MOD_MASK_2);
  }
  if (symbols != nullptr) {
    xcb_key_symbols_free(symbols);
  }
  if (filterQtEvents && QCoreApplication::instance() != nullptr) {
    filter_ = std::make_unique<EventFilter>(*this);
    QCoreApplication::instance()->installNativeEventFilter(filter_.get());
  }
}

XcbGlobalHotKeys::~XcbGlobalHotKeys() {
  unregisterAll();
  if (filter_ && QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->removeNativeEventFilter(filter_.get());
  }
}

std::uint16_t XcbGlobalHotKeys::modifierMask(unsigned modifiers) const {
  std::uint16_t mask = 0;
  if ((modifiers & kHotKeyControl) != 0) mask |= XCB_MOD_MASK_CONTROL;
  if ((modifiers & kHotKeyShift) != 0) mask |= XCB_MOD_MASK_SHIFT;
  if ((modifiers & kHotKeyAlt) != 0) mask |= altMask_;
  if ((modifiers & kHotKeySuper) != 0) mask |= superMask_;
  return mask;
}

Result<void> XcbGlobalHotKeys::registerHotKey(const HotKey& key) {
  xcb_connection_t* connection = x11_.connection();
  std::vector<xcb_keycode_t> keycodes;
  if (xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection)) {
    keycodes = keycodesOf(symbols, key.keysym);
    xcb_key_symbols_free(symbols);
  }
  if (keycodes.empty()) {
    return Result<void>::failure(QStringLiteral("%1: the keyboard has no such key").arg(hotKeyText(key)));
  }
  const std::uint16_t base = modifierMask(key.modifiers);
  const std::array<std::uint16_t, 4> locks = {0, XCB_MOD_MASK_LOCK, numLockMask_,
                                              static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLockMask_)};
  std::vector<std::pair<Grab, xcb_void_cookie_t>> requests;
  for (const xcb_keycode_t keycode : keycodes) {
    for (const std::uint16_t lock : locks) {
      const Grab grab{key.id, keycode, static_cast<std::uint16_t>(base | lock)};
      requests.emplace_back(grab, xcb_grab_key_checked(connection, 1, x11_.root(), grab.modifiers, keycode,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
  }
  // Every grab is checked: a combination another client holds answers BadAccess.
  std::vector<Grab> taken;
  bool heldElsewhere = false;
  std::optional<std::uint8_t> otherError;
  for (const auto& [grab, cookie] : requests) {
    if (auto error = own(xcb_request_check(connection, cookie))) {
      if (error->error_code == kBadAccess) {
        heldElsewhere = true;
      } else {
        otherError = error->error_code;
      }
    } else {
      taken.push_back(grab);
    }
  }
  if (heldElsewhere || otherError) {
    for (const Grab& grab : taken) {
      ungrab(grab);
    }
    x11_.flush();
    if (heldElsewhere) {
      return Result<void>::failure(
          QStringLiteral("%1 is already taken by another application").arg(hotKeyText(key)));
    }
    return Result<void>::failure(
        QStringLiteral("%1 could not be grabbed: X error %2").arg(hotKeyText(key)).arg(*otherError));
  }
  grabs_.insert(grabs_.end(), taken.begin(), taken.end());
  return Result<void>::success();
}

void XcbGlobalHotKeys::ungrab(const Grab& grab) {
  xcb_ungrab_key(x11_.connection(), grab.keycode, x11_.root(), grab.modifiers);
}

void XcbGlobalHotKeys::unregisterAll() {
  for (const Grab& grab : grabs_) {
    ungrab(grab);
  }
  if (!grabs_.empty()) {
    x11_.flush();
  }
  grabs_.clear();
}

bool XcbGlobalHotKeys::handleEvent(const xcb_generic_event_t* event) {
  const std::uint8_t type = event->response_type & 0x7f;
  if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
    return false;
  }
  // Key press and release events share one layout.
  const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
  const std::uint16_t significant =
      XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | altMask_ | superMask_;
  for (const Grab& grab : grabs_) {
    if (grab.keycode == key->detail && (grab.modifiers & significant) == (key->state & significant)) {
      if (type == XCB_KEY_PRESS && onPressed) {
        onPressed(grab.id);
      }
      return true;
    }
  }
  return false;
}

namespace {

class NoGlobalHotKeys final : public GlobalHotKeys {
 public:
  explicit NoGlobalHotKeys(QString reason) : reason_(std::move(reason)) {}
  std::optional<QString> unavailableReason() const override { return reason_; }
  Result<void> registerHotKey(const HotKey&) override { return Result<void>::failure(reason_); }
  void unregisterAll() override {}

 private:
  QString reason_;
};

}  // namespace

std::unique_ptr<GlobalHotKeys> GlobalHotKeys::createForSession() {
  if (X11Connection* x11 = X11Connection::shared()) {
    return std::make_unique<XcbGlobalHotKeys>(*x11, true);
  }
  const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  return std::make_unique<NoGlobalHotKeys>(wayland ? kNotAvailableOnWayland : kNotAvailable);
}

}  // namespace tandrel
