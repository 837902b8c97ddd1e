#pragma once

// Whether the desktop asks for dark chrome: the freedesktop settings portal's "color-scheme"
// (1 prefers dark, 2 prefers light, 0 no preference) on the session bus, else the application
// palette's window colour (dark when its lightness is below one half; light without a GUI
// application).

#include <QDBusConnection>
#include <QObject>

#include <optional>

class QDBusMessage;

namespace tandrel {

// The portal's answer on `bus`: true for dark, false for light, none without a preference, a
// portal or a bus. Asks ReadOne, and Read where the portal predates ReadOne.
std::optional<bool> portalPrefersDarkAppearance(const QDBusConnection& bus);

// The portal's answer on the session bus, else the palette's.
bool prefersDarkAppearance();

// Follows the portal's "color-scheme" while it lives: every change the portal announces
// (SettingChanged) is told as dark or light, a change to no preference as the palette's answer.
// Main thread only; without a bus it never tells anything.
class AppearanceWatcher : public QObject {
  Q_OBJECT

 public:
  explicit AppearanceWatcher(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

 Q_SIGNALS:
  void darkAppearanceChanged(bool dark);

 private Q_SLOTS:
  void onSettingChanged(const QDBusMessage& message);
};

}  // namespace tandrel
