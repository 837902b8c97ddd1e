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
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

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

void showOn(TextInputPanel& panel, Calls& calls, const QString& prompt, bool multiline) {
  panel.show(prompt, multiline, [&calls](const QString& text) { calls.submitted.push_back(text); },
             [&calls] { ++calls.cancelled; }, [&calls] { ++calls.jumped; });
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
      store, banners, panel, [&jumped](const PendingAction& a) { jumped.push_back(a.requestID); }, [] {}});

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
  button(panel.panel(), QStringLiteral("Cancel"))->click();
  EXPECT_TRUE(replies.empty());
  EXPECT_EQ(store.waitingActions().size(), 1u);

  delegate.dispatch(NotificationCategoryRegistrar::kTextInputOpen, QStringLiteral("r-1"), QStringLiteral("waiting_input"));
  panel.textField()->setText(QStringLiteral("main"));
  button(panel.panel(), QStringLiteral("Submit"))->click();
  const UserDecision typed{UserDecision::Verb::input, UserDecision::Mode::once, std::nullopt, QStringLiteral("main")};
  EXPECT_EQ(replies, std::vector<QByteArray>{canonicalJsonLine(toJson(AgentReplyMarshaller::userReply(input, typed)))});
  EXPECT_TRUE(store.waitingActions().empty());
}

}  // namespace
}  // namespace tandrel
