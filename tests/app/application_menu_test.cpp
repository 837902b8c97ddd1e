#include "app/application_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>

#include <algorithm>

#include "support/wait.h"

namespace tandrel {
namespace {

// "Menu|Title|Key" for each row, "Menu|-" for a separator, as the built menu shows them.
QStringList rows(const QMenu& menu) {
  QStringList rows;
  for (QAction* top : menu.actions()) {
    if (top->menu() == nullptr) {
      rows << top->text() + QStringLiteral("|no submenu");
      continue;
    }
    for (QAction* item : top->menu()->actions()) {
      rows << (item->isSeparator() ? top->text() + QStringLiteral("|-")
                                   : top->text() + '|' + item->text() + '|' + item->shortcut().toString());
    }
  }
  return rows;
}

TEST(ApplicationMenuGui, ItemsTitlesAndKeysWithControlForCommand) {
  ApplicationMenu menu({});
  const std::unique_ptr<QMenu> built = menu.createMenu();
  EXPECT_EQ(built->title(), "Main Menu");
  EXPECT_EQ(rows(*built), QStringList({
                              "Tandrel|About Tandrel|",
                              "Tandrel|-",
                              "Tandrel|Settings...|Ctrl+,",
                              "Tandrel|-",
                              "Tandrel|Quit Tandrel|Ctrl+Q",
                              "File|Open Settings|",
                              "File|Open Pets|",
                              "File|-",
                              "File|Close Window|Ctrl+W",
                              "Edit|Undo|Ctrl+Z",
                              "Edit|Redo|Ctrl+Shift+Z",
                              "Edit|-",
                              "Edit|Cut|Ctrl+X",
                              "Edit|Copy|Ctrl+C",
                              "Edit|Paste|Ctrl+V",
                              "Edit|Select All|Ctrl+A",
                              "Window|Minimize|Ctrl+M",
                              "About|About Tandrel|",
                              "About|Check for Updates...|",
                              "Help|Tandrel Help|Ctrl+?",
                          }));
  // The same menu twice: the actions are shared, each menu has its own submenus.
  const std::unique_ptr<QMenu> second = menu.createMenu();
  EXPECT_EQ(rows(*second), rows(*built));
  EXPECT_EQ(second->actions()[0]->menu()->actions()[0], built->actions()[0]->menu()->actions()[0]);
}

TEST(ApplicationMenuGui, EachItemRunsItsOperationAndOneWithoutOperationIsDisabled) {
  std::vector<MenuCommand> ran;
  ApplicationMenu::Operations operations;
  for (MenuCommand command : {MenuCommand::about, MenuCommand::showSettings, MenuCommand::quit, MenuCommand::showPets,
                              MenuCommand::closeWindow, MenuCommand::checkForUpdates}) {
    operations[command] = [&ran, command] { ran.push_back(command); };
  }
  ApplicationMenu menu(operations);
  std::vector<MenuCommand> expected;
  const std::vector<ApplicationMenuItem>& items = applicationMenuItems();
  ASSERT_EQ(menu.rowActions().size(), items.size());
  for (std::size_t row = 0; row < items.size(); ++row) {
    QAction* action = menu.rowActions()[row];
    ASSERT_EQ(action == nullptr, items[row].isSeparator()) << row;
    if (action == nullptr || operations.count(items[row].command) == 0) {
      continue;
    }
    EXPECT_EQ(action->text(), items[row].title);
    action->trigger();
    expected.push_back(items[row].command);
  }
  // Both About rows show About; "Settings..." and "Open Settings" open the settings.
  EXPECT_EQ(ran, expected);
  EXPECT_EQ(std::count(ran.begin(), ran.end(), MenuCommand::about), 2);
  EXPECT_EQ(std::count(ran.begin(), ran.end(), MenuCommand::showSettings), 2);
  EXPECT_FALSE(menu.action(MenuCommand::showHelp)->isEnabled());
  EXPECT_TRUE(menu.action(MenuCommand::copy)->isEnabled());
}

TEST(ApplicationMenuGui, EditCommandsGoToTheFocusedTextField) {
  ApplicationMenu menu({});
  QLineEdit field;
  field.setText(QStringLiteral("hello"));
  field.show();
  field.activateWindow();
  field.setFocus();
  ASSERT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == &field; }));

  menu.action(MenuCommand::selectAll)->trigger();
  EXPECT_EQ(field.selectedText(), "hello");
  menu.action(MenuCommand::cut)->trigger();
  EXPECT_EQ(field.text(), "");
  menu.action(MenuCommand::undo)->trigger();
  EXPECT_EQ(field.text(), "hello");
  menu.action(MenuCommand::redo)->trigger();
  EXPECT_EQ(field.text(), "");
  menu.action(MenuCommand::paste)->trigger();
  EXPECT_EQ(field.text(), "hello");

  // A focused widget without the command takes nothing (and nothing is called on it).
  field.clearFocus();
  QWidget plain;
  plain.setFocusPolicy(Qt::StrongFocus);
  plain.show();
  plain.activateWindow();
  plain.setFocus();
  ASSERT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == &plain; }));
  EXPECT_FALSE(ApplicationMenu::sendToFocusWidget(MenuCommand::copy));
  EXPECT_FALSE(ApplicationMenu::sendToFocusWidget(MenuCommand::about));
}

TEST(ApplicationMenuGui, AWindowTakesTheActionsSoTheirKeysWorkThere) {
  ApplicationMenu menu({{MenuCommand::closeWindow, [] {}}});
  QWidget window;
  menu.attach(window);
  QStringList keys;
  for (QAction* action : window.actions()) {
    EXPECT_EQ(action->shortcutContext(), Qt::WindowShortcut);
    if (!action->shortcut().isEmpty()) {
      keys << action->shortcut().toString();
    }
  }
  keys.sort();
  EXPECT_EQ(keys, QStringList({"Ctrl+,", "Ctrl+?", "Ctrl+A", "Ctrl+C", "Ctrl+M", "Ctrl+Q", "Ctrl+Shift+Z", "Ctrl+V",
                               "Ctrl+W", "Ctrl+X", "Ctrl+Z"}));
}

}  // namespace
}  // namespace tandrel
