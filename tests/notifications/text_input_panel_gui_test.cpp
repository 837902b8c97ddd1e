#include "notifications/tandrel_un_delegate.h"
#include "notifications/text_input_panel.h"

#include "base/canonical_json.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "requests/agent_reply_marshaller.h"
#include "support/fake_notification_server.h"
#include "support/private_session_bus.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace tandrel {
namespace {

QPushButton* button(QDialog* dialog, const QString& title) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->text() == title) return b;
  }
  return nullptr;
}

struct Calls {
  std::vector<QString> submitted;
  int cancelled = 0;
  int jumped = 0;
};

void showOn(TextInputPanel& panel, Calls& calls, const QString& prompt, bool multiline,
            const TextInputPanel::Context& context = {}) {
  panel.show(prompt, multiline, context, [&calls](const QString& text) { calls.submitted.push_back(text); },
             [&calls] { ++calls.cancelled; }, [&calls] { ++calls.jumped; });
}

QLabel* labelWithText(QDialog* dialog, const QString& text) {
  for (QLabel* label : dialog->findChildren<QLabel*>()) {
    if (label->text() == text) return label;
  }
  return nullptr;
}

TEST(TextInputPanelGui, BuildsTheEditorOfItsModeAndTitle) {
  TextInputPanel panel;
  Calls calls;
  showOn(panel, calls, QString(), false);
  ASSERT_NE(panel.panel(), nullptr);
  EXPECT_EQ(panel.panel()->windowTitle(), QStringLiteral("Agent needs your input"));
  EXPECT_TRUE(panel.panel()->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(panel.panel()->size(), QSize(480, 140));
  ASSERT_NE(panel.textField(), nullptr);
  EXPECT_EQ(panel.textView(), nullptr);
  EXPECT_EQ(panel.textField()->placeholderText(), QStringLiteral("Type your response"));
  for (const char* title : {"Submit", "Jump", "Cancel"}) {
    EXPECT_NE(button(panel.panel(), QString::fromLatin1(title)), nullptr) << title;
  }

  showOn(panel, calls, QStringLiteral("Describe the fix"), true);
  EXPECT_EQ(panel.panel()->windowTitle(), QStringLiteral("Describe the fix"));
  EXPECT_EQ(panel.panel()->size(), QSize(480, 240));
  ASSERT_NE(panel.textView(), nullptr);
  EXPECT_EQ(panel.textField(), nullptr);
  // One window at a time.
  QCoreApplication::processEvents();
  int open = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) open += qobject_cast<QDialog*>(w) && w->isVisible() ? 1 : 0;
  EXPECT_EQ(open, 1);
}

TEST(TextInputPanelGui, ButtonsAndKeysCallTheirCallbackOnceAndClose) {
  TextInputPanel panel;
  Calls first;
  Calls second;
  showOn(panel, first, QStringLiteral("One"), false);
  showOn(panel, second, QStringLiteral("Two"), false);  // replaces the first panel and its callbacks
  panel.textField()->setText(QString(9000, QLatin1Char('x')));
  button(panel.panel(), QStringLiteral("Submit"))->click();
  EXPECT_EQ(second.submitted, std::vector<QString>{QString(8192, QLatin1Char('x'))});
  EXPECT_TRUE(first.submitted.empty());
  EXPECT_EQ(panel.panel(), nullptr);

  showOn(panel, second, QStringLiteral("Two"), false);
  button(panel.panel(), QStringLiteral("Cancel"))->click();
  showOn(panel, second, QStringLiteral("Two"), false);
  button(panel.panel(), QStringLiteral("Jump"))->click();
  EXPECT_EQ(second.cancelled, 1);
  EXPECT_EQ(second.jumped, 1);
  EXPECT_EQ(second.submitted.size(), 1u);
  // Closing the window cancels too, once; the panel closing itself (Submit, a new panel) does not.
  showOn(panel, second, QStringLiteral("Two"), false);
  panel.panel()->close();
  EXPECT_EQ(second.cancelled, 2);
  EXPECT_EQ(panel.panel(), nullptr);
  showOn(panel, second, QStringLiteral("Two"), false);
  showOn(panel, second, QStringLiteral("Two"), false);
  EXPECT_EQ(second.cancelled, 2);

  // Single line: Return submits. Multi-line: Return is a line break, Ctrl+Return submits.
  showOn(panel, second, QStringLiteral("Two"), false);
  panel.textField()->setText(QStringLiteral("yes"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(panel.textField(), &enter);
  EXPECT_EQ(second.submitted.back(), QStringLiteral("yes"));

  showOn(panel, second, QStringLiteral("Two"), true);
  panel.panel()->activateWindow();
  panel.textView()->setFocus();
  ASSERT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == panel.panel(); }));
  panel.textView()->insertPlainText(QStringLiteral("line one"));
  QKeyEvent newline(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(panel.textView(), &newline);
  panel.textView()->insertPlainText(QStringLiteral("line two"));
  EXPECT_EQ(second.submitted.size(), 2u);
  QKeyEvent submit(QEvent::ShortcutOverride, Qt::Key_Return, Qt::ControlModifier);
  QKeyEvent submitPress(QEvent::KeyPress, Qt::Key_Return, Qt::ControlModifier);
  QApplication::sendEvent(panel.textView(), &submit);
  QApplication::sendEvent(panel.textView(), &submitPress);
  EXPECT_EQ(second.submitted.back(), QStringLiteral("line one\nline two"));
}

TEST(TextInputPanelGui, WhoAsksAndWhatItSaidLastStandAboveTheField) {
  TextInputPanel panel;
  Calls calls;
  const QString message = QStringLiteral("Line one\nLine two\nLine three\nLine four\nLine five\nLine six\nLine seven");
  for (const bool multiline : {false, true}) {
    SCOPED_TRACE(multiline);
    showOn(panel, calls, QString(), multiline,
           {QStringLiteral("claude_code"), QStringLiteral("Claude Code"), QStringLiteral("~/work/api"), message});
    QDialog* dialog = panel.panel();
    ASSERT_NE(dialog, nullptr);
    dialog->adjustSize();
    QLabel* name = labelWithText(dialog, QStringLiteral("Claude Code"));
    QLabel* folder = labelWithText(dialog, QStringLiteral("~/work/api"));
    ASSERT_NE(name, nullptr);
    ASSERT_NE(folder, nullptr);
    ASSERT_NE(panel.lastMessageView(), nullptr);
    EXPECT_EQ(panel.lastMessageView()->toPlainText(), message);
    EXPECT_TRUE(panel.lastMessageView()->isReadOnly());
    // The logo sits left of the name; name, folder and message come in that order above the
    // field, which keeps its size; the panel grows by what stands above.
    QWidget* editor = multiline ? static_cast<QWidget*>(panel.textView()) : panel.textField();
    ASSERT_NE(editor, nullptr);
    EXPECT_LT(name->geometry().bottom(), folder->geometry().top());
    EXPECT_LT(folder->geometry().bottom(), panel.lastMessageView()->geometry().top());
    EXPECT_LT(panel.lastMessageView()->geometry().bottom(), editor->geometry().top());
    EXPECT_EQ(editor->height(), multiline ? 160 : 24);
    EXPECT_GT(dialog->height(), multiline ? 240 : 140);
    // Seven lines do not fit: they scroll rather than push the field away.
    EXPECT_LT(panel.lastMessageView()->height(), 7 * panel.lastMessageView()->fontMetrics().lineSpacing());
    EXPECT_GT(panel.lastMessageView()->verticalScrollBar()->maximum(), 0);
  }
  // Without a last message or folder, only the name row is added.
  showOn(panel, calls, QString(), false, {QStringLiteral("codex"), QStringLiteral("Codex"), {}, {}});
  EXPECT_NE(labelWithText(panel.panel(), QStringLiteral("Codex")), nullptr);
  EXPECT_EQ(panel.lastMessageView(), nullptr);
  EXPECT_LT(panel.panel()->height(), 140 + 50);
}

TEST(TextInputPanelGui, TheOpenActionAnswersWithTheTypedTextOrJumps) {
  FakeClock clock;
  FakeProcessExitWatchers watchers;
  test::PrivateSessionBus privateBus;
  test::FakeNotificationServer server({QStringLiteral("actions"), QStringLiteral("body")}, privateBus.address());
  ASSERT_TRUE(server.registered()) << "the private bus or the fake server did not start";
  DesktopNotifications bus(privateBus.connection(), server.service());
  PendingActionStore store(clock, watchers.factory());
  TandrelBanners banners(bus);
  TextInputPanel panel;
  std::vector<QString> jumped;
  TandrelUNDelegate delegate(TandrelUNDelegate::Services{
      store, banners, panel, [&jumped](const PendingAction& a) { jumped.push_back(a.requestID); }, [] {}, {}});

  PendingAction input;
  input.requestID = QStringLiteral("r-1");
  input.agent = QStringLiteral("codex");
  input.kind = PendingActionKind::waitingInput;
  input.timeoutSeconds = 60;
  input.payload.prompt = QStringLiteral("Which branch?");
  input.payload.multiline = false;
  std::vector<QByteArray> replies;
  store.insert(input, [&replies](const HookReply& reply) { replies.push_back(canonicalJsonLine(toJson(reply))); });

  delegate.dispatch(NotificationCategoryRegistrar::kTextInputOpen, QStringLiteral("r-1"), QStringLiteral("waiting_input"));
  ASSERT_NE(panel.panel(), nullptr);
  EXPECT_EQ(panel.panel()->windowTitle(), QStringLiteral("Which branch?"));
  button(panel.panel(), QStringLiteral("Jump"))->click();
  delegate.drainJumps();
  EXPECT_EQ(jumped, std::vector<QString>{QStringLiteral("r-1")});
  EXPECT_TRUE(replies.empty());

  delegate.dispatch(NotificationCategoryRegistrar::kTextInputOpen, QStringLiteral("r-1"), QStringLiteral("waiting_input"));
  panel.textField()->setText(QStringLiteral("main"));
  button(panel.panel(), QStringLiteral("Submit"))->click();
  const UserDecision typed{UserDecision::Verb::input, UserDecision::Mode::once, std::nullopt, QStringLiteral("main")};
  EXPECT_EQ(replies, std::vector<QByteArray>{canonicalJsonLine(toJson(AgentReplyMarshaller::userReply(input, typed)))});
  EXPECT_TRUE(store.waitingActions().empty());

  // Cancel lets the agent go at once with no decision.
  replies.clear();
  input.requestID = QStringLiteral("r-2");
  store.insert(input, [&replies](const HookReply& reply) { replies.push_back(canonicalJsonLine(toJson(reply))); });
  delegate.dispatch(NotificationCategoryRegistrar::kTextInputOpen, QStringLiteral("r-2"), QStringLiteral("waiting_input"));
  button(panel.panel(), QStringLiteral("Cancel"))->click();
  EXPECT_EQ(replies, std::vector<QByteArray>{canonicalJsonLine(toJson(noDecisionReply(QStringLiteral("r-2"))))});
  EXPECT_TRUE(store.waitingActions().empty());
}

}  // namespace
}  // namespace tandrel
