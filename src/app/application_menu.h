#pragma once

// The application menu: its items as QActions with their key equivalents (Control where a Mac
// keyboard has Command). One ApplicationMenu holds the actions; the settings window takes them
// (so that Ctrl+, / Ctrl+W / Ctrl+Q and the edit keys work while it is in front), and the
// companion's pop-up menu shows a menu built from them. The tray icon has a short menu of its
// own (its actions are held here too): the edit and window commands act on the window in front,
// which a tray menu has none of.
//
// Items that mean nothing on a Linux desktop are left out: "Hide Tandrel", "Hide Others",
// "Show All" (no application hiding), "Zoom" and "Bring All to Front" (the window manager's).

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace tandrel {

// What a menu item does. The application's own operations are the controller's; the edit
// commands go to the widget with the keyboard focus (a text field's undo, cut, paste…), and
// Minimize to the active window.
enum class MenuCommand {
  about,
  showSettings,
  quit,
  showPets,
  closeWindow,
  undo,
  redo,
  cut,
  copy,
  paste,
  selectAll,
  minimize,
  checkForUpdates,
  showHelp,
  showIsland,
};

// One row of the menu: the submenu it sits in, its title (empty for a separator), its command
// and its key equivalent.
struct ApplicationMenuItem {
  QString menu;
  QString title;
  MenuCommand command = MenuCommand::about;
  QKeySequence key;
  bool isSeparator() const { return title.isEmpty(); }
};

// The six submenus ("Tandrel", "File", "Edit", "Window", "About", "Help") and their rows, in order.
const std::vector<ApplicationMenuItem>& applicationMenuItems();
// The tray icon's menu, one level: Show Tandrel, Settings…, About Tandrel, Check for Updates…,
// Quit Tandrel. No keys: they work in the windows, not from the tray.
const std::vector<ApplicationMenuItem>& trayMenuItems();

class ApplicationMenu : public QObject {
  Q_OBJECT

 public:
  // The application's operations; an empty one leaves its item disabled. The edit commands and
  // Minimize need none.
  using Operations = std::map<MenuCommand, std::function<void()>>;

  explicit ApplicationMenu(Operations operations, QObject* parent = nullptr);
  ~ApplicationMenu() override;

  // The action of the first row with this command (each row has its own action: "Settings..."
  // and "Open Settings" both open the settings, with different titles and keys).
  QAction* action(MenuCommand command) const;
  // The actions of applicationMenuItems(), row by row; null for a separator.
  const std::vector<QAction*>& rowActions() const { return rowActions_; }
  // The actions of trayMenuItems(), row by row; null for a separator.
  const std::vector<QAction*>& trayActions() const { return trayActions_; }

  // The menu with its six submenus, for the tray icon and the companion's pop-up menu. The
  // actions stay this object's.
  std::unique_ptr<QMenu> createMenu() const;
  // The tray icon's menu; its actions stay this object's too.
  std::unique_ptr<QMenu> createTrayMenu() const;

  // Gives `window` the actions with a key, so that their keys work while it is the active window.
  void attach(QWidget& window) const;
  // Takes the actions back from `window`.
  void detach(QWidget& window) const;

  // The edit commands on the focused widget: true when it took the command.
  static bool sendToFocusWidget(MenuCommand command);

 private:
  QAction* createAction(const ApplicationMenuItem& item, const Operations& operations);

  std::vector<QAction*> rowActions_;
  std::vector<QAction*> trayActions_;
};

}  // namespace tandrel
