#include "platform/global_hot_keys.h"

#include <QStringList>

namespace tandrel {

QString hotKeyText(const HotKey& key) {
  QStringList parts;
  if ((key.modifiers & kHotKeyControl) != 0) parts << QStringLiteral("Ctrl");
  if ((key.modifiers & kHotKeyAlt) != 0) parts << QStringLiteral("Alt");
  if ((key.modifiers & kHotKeySuper) != 0) parts << QStringLiteral("Super");
  if ((key.modifiers & kHotKeyShift) != 0) parts << QStringLiteral("Shift");
  if (key.keysym == 0x20) {
    parts << QStringLiteral("Space");
  } else if (key.keysym > 0x20 && key.keysym < 0x7f) {
    parts << QString(QChar(static_cast<char16_t>(key.keysym))).toUpper();
  } else {
    parts << QStringLiteral("0x%1").arg(key.keysym, 0, 16);
  }
  return parts.join(QLatin1Char('+'));
}

}  // namespace tandrel
