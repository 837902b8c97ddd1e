#pragma once

// The small floating window in which the user types the answer to an agent that waits for text,
// and the limit every typed answer passes through before it is sent to an agent.
//
// The panel only collects text and hands it to callbacks; the caller decides what the text, a
// cancel or a jump mean. Main thread only.

#include <QDialog>
#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>

#include <functional>

namespace tandrel {

class TextInputPanel : public QObject {
  Q_OBJECT

 public:
  // Longest answer handed to an agent, in UTF-8 bytes.
  static constexpr int kMaxInputBytes = 8192;

  struct Truncation {
    QString text;
    bool truncated = false;

    friend bool operator==(const Truncation&, const Truncation&) = default;
  };

  // The longest prefix of `text` of at most kMaxInputBytes UTF-8 bytes that ends on a character
  // boundary, and whether anything was cut.
  static Truncation truncate(const QString& text);

  // The one panel of the application, created on first use.
  static TextInputPanel& shared();

  explicit TextInputPanel(QObject* parent = nullptr);
  ~TextInputPanel() override;

  // Who asks and what it said last, shown above the field: the agent's logo and name, its folder
  // (the home folder as "~"), and its last message (a few lines, scrolled when longer). Parts
  // left empty are not shown; with none, the panel has only its field and buttons.
  struct Context {
    QString agentID;    // whose logo is drawn ("claude_code", "codex")
    QString agentName;  // "Claude Code"
    QString folder;
    QString lastMessage;

    bool isEmpty() const { return agentName.isEmpty() && folder.isEmpty() && lastMessage.isEmpty(); }
  };

  // Closes a panel that is open and shows a new one, titled with the prompt ("Agent needs your
  // input" for none), that stays on top and takes the keyboard. Multi-line: Return inserts a line
  // break and Ctrl+Return submits; single-line: Return submits. Escape, and closing the window,
  // cancel.
  void show(const QString& prompt, bool multiline, const Context& context,
            std::function<void(const QString&)> onSubmit, std::function<void()> onCancel,
            std::function<void()> onJump);

  // The three buttons: Submit hands over the truncated text; each closes the panel.
  void submitClicked();
  void cancelClicked();
  void jumpClicked();

  // The window now shown, its editor (one of the two) and the agent's last message, for tests.
  QDialog* panel() const { return panel_; }
  QPlainTextEdit* lastMessageView() const { return lastMessageView_; }
  QPlainTextEdit* textView() const { return textView_; }
  QLineEdit* textField() const { return textField_; }

 private:
  void closePanel();
  // Closes the panel, then calls `callback` (nothing when no panel is open).
  void closeThen(std::function<void()> callback);

  QPointer<QDialog> panel_;
  QPointer<QPlainTextEdit> textView_;
  QPointer<QLineEdit> textField_;
  QPointer<QPlainTextEdit> lastMessageView_;
  std::function<void(const QString&)> onSubmit_;
  std::function<void()> onCancel_;
  std::function<void()> onJump_;
};

}  // namespace tandrel
