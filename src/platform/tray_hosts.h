#pragma once

// Whether a system tray runs on this desktop, and when that changes. A tray host is either an
// XEmbed tray (the owner of the "_NET_SYSTEM_TRAY_S<screen>" selection on X11: tint2, trayer,
// xfce4-panel) or a StatusNotifierItem host ("org.kde.StatusNotifierWatcher" on the session bus:
// KDE, lxqt-panel, waybar). Panels usually start after the applications of a session, and may
// be restarted, so the answer is watched rather than asked once. Main thread only.

#include <QObject>

#include <memory>

namespace tandrel {

class TrayHosts : public QObject {
  Q_OBJECT

 public:
  // The kinds of tray host that run now.
  struct Running {
    bool xembed = false;
    bool statusNotifier = false;
    bool any() const { return xembed || statusNotifier; }
    bool operator==(const Running&) const = default;
  };

  virtual Running running() const = 0;

  // The watcher of this session: the X11 selection when the application runs on the xcb
  // platform, and the session bus's name when there is a session bus.
  static std::unique_ptr<TrayHosts> createForSession();

 Q_SIGNALS:
  // A host appeared or went away (the value of running() differs from the one before).
  void changed();
};

}  // namespace tandrel
