#include "app/application_menu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

namespace tandrel {
namespace {

const char* editSlot(MenuCommand command) {
  switch (command) {
    case MenuCommand::undo: return "undo";
    case MenuCommand::redo: return "redo";
    case MenuCommand::cut: return "cut";
    case MenuCommand::copy: return "copy";
    case MenuCommand::paste: return "paste";
    case MenuCommand::selectAll: return "selectAll";
    default: return nullptr;
  }
}

}  // namespace

const std::vector<ApplicationMenuItem>& applicationMenuItems() {
  using C = MenuCommand;
  static const std::vector<ApplicationMenuItem> items = {
      {"Tandrel", "About Tandrel", C::about, {}},
      {"Tandrel", {}, C::about, {}},
      {"Tandrel", "Settings...", C::showSettings, QKeySequence(QStringLiteral("Ctrl+,"))},
      {"Tandrel", {}, C::about, {}},
      {"Tandrel", "Quit Tandrel", C::quit, QKeySequence(QStringLiteral("Ctrl+Q"))},
      {"File", "Open Settings", C::showSettings, {}},
      {"File", "Open Pets", C::showPets, {}},
      {"File", {}, C::about, {}},
      {"File", "Close Window", C::closeWindow, QKeySequence(QStringLiteral("Ctrl+W"))},
      {"Edit", "Undo", C::undo, QKeySequence(QStringLiteral("Ctrl+Z"))},
      {"Edit", "Redo", C::redo, QKeySequence(QStringLiteral("Ctrl+Shift+Z"))},
      {"Edit", {}, C::about, {}},
      {"Edit", "Cut", C::cut, QKeySequence(QStringLiteral("Ctrl+X"))},
      {"Edit", "Copy", C::copy, QKeySequence(QStringLiteral("Ctrl+C"))},
      {"Edit", "Paste", C::paste, QKeySequence(QStringLiteral("Ctrl+V"))},
      {"Edit", "Select All", C::selectAll, QKeySequence(QStringLiteral("Ctrl+A"))},
      {"Window", "Minimize", C::minimize, QKeySequence(QStringLiteral("Ctrl+M"))},
      {"About", "About Tandrel", C::about, {}},
      {"About", "Check for Updates...", C::checkForUpdates, {}},
      {"Help", "Tandrel Help", C::showHelp, QKeySequence(QStringLiteral("Ctrl+?"))},
  };
  return items;
}

const std::vector<ApplicationMenuItem>& trayMenuItems() {
  using C = MenuCommand;
  static const std::vector<ApplicationMenuItem> items = {
      {"Tray", "Show Tandrel", C::showIsland, {}},
      {"Tray", {}, C::about, {}},
      {"Tray", "Settings\u2026", C::showSettings, {}},
      {"Tray", "About Tandrel", C::about, {}},
      {"Tray", "Check for Updates\u2026", C::checkForUpdates, {}},
      {"Tray", {}, C::about, {}},
      {"Tray", "Quit Tandrel", C::quit, {}},
  };
  return items;
}

ApplicationMenu::ApplicationMenu(Operations operations, QObject* parent) : QObject(parent) {
  for (const ApplicationMenuItem& item : applicationMenuItems()) {
    rowActions_.push_back(item.isSeparator() ? nullptr : createAction(item, operations));
  }
  for (const ApplicationMenuItem& item : trayMenuItems()) {
    trayActions_.push_back(item.isSeparator() ? nullptr : createAction(item, operations));
  }
}

QAction* ApplicationMenu::createAction(const ApplicationMenuItem& item, const Operations& operations) {
  auto* action = new QAction(item.title, this);
  action->setShortcut(item.key);
  // Window shortcuts: the keys work in whichever window holds the actions while it is active.
  action->setShortcutContext(Qt::WindowShortcut);
  const MenuCommand command = item.command;
  if (editSlot(command) != nullptr) {
    connect(action, &QAction::triggered, this, [command] { sendToFocusWidget(command); });
  } else if (command == MenuCommand::minimize) {
    connect(action, &QAction::triggered, this, [] {
      if (QWidget* window = QApplication::activeWindow()) {
        window->showMinimized();
      }
    });
  } else if (auto found = operations.find(command); found != operations.end() && found->second) {
    connect(action, &QAction::triggered, this, [operation = found->second] { operation(); });
  } else {
    action->setEnabled(false);
  }
  return action;
}

ApplicationMenu::~ApplicationMenu() = default;

QAction* ApplicationMenu::action(MenuCommand command) const {
  const std::vector<ApplicationMenuItem>& items = applicationMenuItems();
  for (std::size_t row = 0; row < items.size(); ++row) {
    if (!items[row].isSeparator() && items[row].command == command) {
      return rowActions_[row];
    }
  }
  return nullptr;
}

std::unique_ptr<QMenu> ApplicationMenu::createMenu() const {
  auto menu = std::make_unique<QMenu>(QStringLiteral("Main Menu"));
  QMenu* submenu = nullptr;
  const std::vector<ApplicationMenuItem>& items = applicationMenuItems();
  for (std::size_t row = 0; row < items.size(); ++row) {
    if (submenu == nullptr || submenu->title() != items[row].menu) {
      submenu = menu->addMenu(items[row].menu);
    }
    if (items[row].isSeparator()) {
      submenu->addSeparator();
    } else {
      submenu->addAction(rowActions_[row]);
    }
  }
  return menu;
}

std::unique_ptr<QMenu> ApplicationMenu::createTrayMenu() const {
  auto menu = std::make_unique<QMenu>(QStringLiteral("Tandrel"));
  for (QAction* action : trayActions_) {
    if (action == nullptr) {
      menu->addSeparator();
    } else {
      menu->addAction(action);
    }
  }
  return menu;
}

void ApplicationMenu::attach(QWidget& window) const {
  for (QAction* action : rowActions_) {
    if (action != nullptr && !action->shortcut().isEmpty()) {
      window.addAction(action);
    }
  }
}

void ApplicationMenu::detach(QWidget& window) const {
  for (QAction* action : rowActions_) {
    if (action != nullptr) {
      window.removeAction(action);
    }
  }
}

bool ApplicationMenu::sendToFocusWidget(MenuCommand command) {
  const char* slot = editSlot(command);
  QWidget* focus = QApplication::focusWidget();
  if (slot == nullptr || focus == nullptr ||
      focus->metaObject()->indexOfMethod(QByteArray(slot).append("()").constData()) < 0) {
    return false;
  }
  return QMetaObject::invokeMethod(focus, slot);
}

}  // namespace tandrel
