#pragma once

#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace tandrel::test {

// The first key code the X server maps to `keysym` (for a test that grabs a key as another client
// would), or 0 when it maps none.
inline xcb_keycode_t firstKeycode(xcb_connection_t* connection, xcb_keysym_t keysym) {
  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
  xcb_keycode_t* codes = symbols != nullptr ? xcb_key_symbols_get_keycode(symbols, keysym) : nullptr;
  const xcb_keycode_t code = codes != nullptr ? codes[0] : 0;
  std::free(codes);
  if (symbols != nullptr) {
    xcb_key_symbols_free(symbols);
  }
  return code;
}

}  // namespace tandrel::test
