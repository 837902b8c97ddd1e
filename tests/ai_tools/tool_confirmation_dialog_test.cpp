#include "ai_tools/tool_confirmation_dialog.h"

#include "hooks/hook_manager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace tandrel {
namespace {

ToolHealth codex(HookStatus status) {
  ToolHealth tool;
  tool.id = QStringLiteral("codex-cli");
  tool.name = QStringLiteral("Codex CLI");
  tool.status = status;
  return tool;
}

TEST(ToolConfirmationDialogGui, ShowsTheTextsAndThePreview) {
  const QString longLine = QString(200, QLatin1Char('x'));
  const QString preview = QStringLiteral("Bridge scripts:\n+ /home/u/.tandrel/bin/tandrel-event\n") + longLine;
  ToolConfirmationDialog dialog(hookConfirmation(codex(HookStatus::repair), preview));
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(dialog.messageLabel()->text(), "Repair Codex CLI hook?");
  EXPECT_TRUE(dialog.messageLabel()->font().bold());
  EXPECT_EQ(dialog.informativeLabel()->text(), "Review the planned bridge script and config changes below.");
  EXPECT_EQ(dialog.confirmButton()->text(), "Repair");
  EXPECT_EQ(dialog.cancelButton()->text(), "Cancel");

  QPlainTextEdit* view = dialog.previewView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->toPlainText(), preview);
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_EQ(view->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(view->minimumSize(), QSize(620, 260));
  EXPECT_TRUE(QFontInfo(view->font()).fixedPitch());
  EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  dialog.show();
  EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);  // the long line scrolls sideways

  // The text area grows with the dialog, as when it is maximized, and never below its minimum.
  const QSize opened = view->size();
  EXPECT_GE(opened.width(), 620);
  EXPECT_GE(opened.height(), 260);
  dialog.resize(dialog.width() + 400, dialog.height() + 300);
  QCoreApplication::processEvents();
  EXPECT_GE(view->width(), opened.width() + 400);
  EXPECT_GE(view->height(), opened.height() + 300);
  dialog.resize(100, 100);
  QCoreApplication::processEvents();
  EXPECT_GE(view->width(), 620);
  EXPECT_GE(view->height(), 260);

  // An install of a tool without integration yet, and a preview that could not be made.
  const ToolConfirmation install = hookConfirmation(codex(HookStatus::alpha), std::nullopt);
  EXPECT_EQ(install.message, "Install Codex CLI hook?");
  EXPECT_EQ(install.confirmTitle, "Install");
  EXPECT_EQ(install.preview, "Unable to generate preview.");
  // Downloads have no preview.
  EXPECT_EQ(ToolConfirmationDialog(downloadConfirmation(codex(HookStatus::missing))).previewView(), nullptr);
}

TEST(ToolConfirmationDialogGui, AcceptCancelAndEscape) {
  const ToolConfirmation confirmation = hookConfirmation(codex(HookStatus::repair), QStringLiteral("diff"));
  struct Case {
    const char* what;
    std::function<void(ToolConfirmationDialog&)> answer;
    int result;
  };
  const Case cases[] = {
      {"the first button", [](ToolConfirmationDialog& d) { d.confirmButton()->click(); }, QDialog::Accepted},
      {"Return", [](ToolConfirmationDialog& d) {
         QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
         QCoreApplication::sendEvent(&d, &press);
       }, QDialog::Accepted},
      {"Cancel", [](ToolConfirmationDialog& d) { d.cancelButton()->click(); }, QDialog::Rejected},
      {"Escape", [](ToolConfirmationDialog& d) {
         QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QCoreApplication::sendEvent(&d, &press);
       }, QDialog::Rejected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ToolConfirmationDialog dialog(confirmation);
    dialog.setResult(-1);
    dialog.show();
    c.answer(dialog);
    EXPECT_EQ(dialog.result(), c.result);
    EXPECT_FALSE(dialog.isVisible());
  }
}

}  // namespace
}  // namespace tandrel
