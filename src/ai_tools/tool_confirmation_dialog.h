#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The confirmations of the AI Tools tab: before opening a download page, and before installing
// or repairing an integration, with the planned changes shown in full.

namespace tandrel {

struct ToolHealth;

// What one confirmation asks.
struct ToolConfirmation {
  QString message;          // the question, in bold
  QString informativeText;  // the explanation below it
  QString confirmTitle;     // the first button; the second is "Cancel"
  std::optional<QString> preview;  // the planned changes, for installs and repairs

  bool operator==(const ToolConfirmation&) const = default;
};

// "Install <name>?" with "Open Download".
ToolConfirmation downloadConfirmation(const ToolHealth& tool);
// "<verb> <name> hook?" with the verb as button: "Repair" for a healthy or broken integration,
// else "Install". `preview` is the installation preview, or nothing when it could not be made.
ToolConfirmation hookConfirmation(const ToolHealth& tool, const std::optional<QString>& preview);

// The read-only view of an installation preview: monospaced, not wrapped (long lines scroll
// sideways), both scroll bars always shown, at least 620 x 260 and growing with its dialog (which
// opens large enough for the text, within a laptop screen).
QPlainTextEdit* hookInstallPreviewAccessoryView(const QString& preview, QWidget* parent = nullptr);

// The dialog: stays on top of every window, Return confirms, Escape and "Cancel" cancel.
class ToolConfirmationDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit ToolConfirmationDialog(const ToolConfirmation& confirmation, QWidget* parent = nullptr);

  QLabel* messageLabel() const { return message_; }
  QLabel* informativeLabel() const { return informative_; }
  QPlainTextEdit* previewView() const { return preview_; }
  QPushButton* confirmButton() const { return confirm_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  QLabel* message_ = nullptr;
  QLabel* informative_ = nullptr;
  QPlainTextEdit* preview_ = nullptr;
  QPushButton* confirm_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Shows the dialog modally; true when the first button was chosen.
bool runToolConfirmationDialog(const ToolConfirmation& confirmation);

}  // namespace tandrel
