#pragma once

// Whether the desktop asks for dark chrome: the freedesktop settings portal's "color-scheme"
// (1 prefers dark, 2 prefers light) on the session bus, else the application palette's window
// colour (dark when its lightness is below one half).

#include <optional>

class QDBusConnection;

namespace tandrel {

// The portal's answer on `bus`: true for dark, false for light, none without a preference, a
// portal or a bus.
std::optional<bool> portalPrefersDarkAppearance(const QDBusConnection& bus);

// The portal's answer on the session bus, else the palette's.
bool prefersDarkAppearance();

}  // namespace tandrel
