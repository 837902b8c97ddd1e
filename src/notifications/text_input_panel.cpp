#include "notifications/text_input_panel.h"

#include "ui/tool_logo.h"

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

namespace tandrel {

namespace {

constexpr int kWidth = 480;
constexpr int kMultilineHeight = 240;
constexpr int kSingleLineHeight = 140;
constexpr int kFontPixels = 13;
constexpr int kSmallFontPixels = 11;
constexpr int kInset = 16;
constexpr int kLogoSize = 20;
constexpr int kNameRowHeight = 22;
constexpr int kFolderRowHeight = 18;
// About four lines of the last message; longer messages scroll.
constexpr int kLastMessageHeight = 76;

QPixmap logoPixmap(const QString& agentID, qreal ratio) {
  QPixmap pixmap(QSize(kLogoSize, kLogoSize) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  drawToolLogo(painter, agentID, QRectF(0, 0, kLogoSize, kLogoSize));
  return pixmap;
}

// Lays the context out from the top of `dialog` and returns the height it takes (0 for none).
int addContext(QDialog* dialog, const TextInputPanel::Context& context, const QFont& font,
               QPointer<QPlainTextEdit>& lastMessageView) {
  if (context.isEmpty()) {
    return 0;
  }
  const int width = kWidth - 2 * kInset;
  int y = 14;
  if (!context.agentName.isEmpty()) {
    auto* logo = new QLabel(dialog);
    logo->setGeometry(kInset, y + 1, kLogoSize, kLogoSize);
    logo->setPixmap(logoPixmap(context.agentID, dialog->devicePixelRatioF()));
    auto* name = new QLabel(context.agentName, dialog);
    QFont bold = font;
    bold.setBold(true);
    name->setFont(bold);
    name->setGeometry(kInset + kLogoSize + 8, y, width - kLogoSize - 8, kNameRowHeight);
    y += kNameRowHeight + 2;
  }
  if (!context.folder.isEmpty()) {
    auto* folder = new QLabel(dialog);
    QFont small = font;
    small.setPixelSize(kSmallFontPixels);
    folder->setFont(small);
    folder->setForegroundRole(QPalette::PlaceholderText);
    folder->setText(QFontMetrics(small).elidedText(context.folder, Qt::ElideMiddle, width));
    folder->setToolTip(context.folder);
    folder->setGeometry(kInset, y, width, kFolderRowHeight);
    y += kFolderRowHeight;
  }
  if (!context.lastMessage.isEmpty()) {
    auto* message = new QPlainTextEdit(dialog);
    message->setPlainText(context.lastMessage);
    message->setReadOnly(true);
    message->setFont(font);
    message->setFrameShape(QFrame::NoFrame);
    message->setBackgroundRole(QPalette::Window);
    message->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    message->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    message->setFocusPolicy(Qt::ClickFocus);
    message->setGeometry(kInset, y + 6, width, kLastMessageHeight);
    lastMessageView = message;
    y += 6 + kLastMessageHeight;
  }
  return y + 4;
}

}  // namespace

TextInputPanel::Truncation TextInputPanel::truncate(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  if (bytes.size() <= kMaxInputBytes) {
    return {text, false};
  }
  // Step back over continuation bytes (10xxxxxx) so that the cut falls before the character the
  // limit runs into.
  qsizetype cut = kMaxInputBytes;
  while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return {QString::fromUtf8(bytes.constData(), cut), true};
}

TextInputPanel& TextInputPanel::shared() {
  static TextInputPanel* panel = new TextInputPanel(qApp);
  return *panel;
}

TextInputPanel::TextInputPanel(QObject* parent) : QObject(parent) {}

TextInputPanel::~TextInputPanel() { closePanel(); }

void TextInputPanel::show(const QString& prompt, bool multiline, const Context& context,
                          std::function<void(const QString&)> onSubmit, std::function<void()> onCancel,
                          std::function<void()> onJump) {
  closePanel();
  onSubmit_ = std::move(onSubmit);
  onCancel_ = std::move(onCancel);
  onJump_ = std::move(onJump);

  auto* dialog = new QDialog(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                                          Qt::WindowCloseButtonHint);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(prompt.isEmpty() ? QStringLiteral("Agent needs your input") : prompt);
  QFont font = dialog->font();
  font.setPixelSize(kFontPixels);
  lastMessageView_.clear();
  // Who asks and what it said sit above the field; the field and the buttons keep their places
  // from the bottom edge.
  const int height = addContext(dialog, context, font, lastMessageView_) +
                     (multiline ? kMultilineHeight : kSingleLineHeight);
  dialog->resize(kWidth, height);

  // Laid out like the original: editor above, buttons along the bottom (y grows downward here).
  if (multiline) {
    auto* view = new QPlainTextEdit(dialog);
    view->setGeometry(16, height - 56 - 160, 448, 160);
    view->setFont(font);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    textView_ = view;
    textField_.clear();
    // Return stays a line break; Ctrl+Return submits.
    auto* submitShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), dialog);
    connect(submitShortcut, &QShortcut::activated, this, &TextInputPanel::submitClicked);
    view->setFocus();
  } else {
    auto* field = new QLineEdit(dialog);
    field->setGeometry(16, height - 80 - 24, 448, 24);
    field->setFont(font);
    field->setPlaceholderText(QStringLiteral("Type your response"));
    textField_ = field;
    textView_.clear();
    connect(field, &QLineEdit::returnPressed, this, &TextInputPanel::submitClicked);
    field->setFocus();
  }

  auto* submit = new QPushButton(QStringLiteral("Submit"), dialog);
  submit->setGeometry(384, height - 16 - 28, 80, 28);
  submit->setAutoDefault(false);
  auto* jump = new QPushButton(QStringLiteral("Jump"), dialog);
  jump->setGeometry(316, height - 16 - 28, 60, 28);
  jump->setAutoDefault(false);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  cancel->setGeometry(16, height - 16 - 28, 80, 28);
  cancel->setAutoDefault(false);
  connect(submit, &QPushButton::clicked, this, &TextInputPanel::submitClicked);
  connect(jump, &QPushButton::clicked, this, &TextInputPanel::jumpClicked);
  connect(cancel, &QPushButton::clicked, this, &TextInputPanel::cancelClicked);
  // Escape would reject the dialog silently; here it is Cancel.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), dialog);
  connect(escape, &QShortcut::activated, this, &TextInputPanel::cancelClicked);
  // Closing the window is Cancel too: the agent must not wait on a panel nobody sees. The panel's
  // own closing forgets the window first, so it does not come back here.
  connect(dialog, &QDialog::rejected, this, [this, dialog] {
    if (panel_ == dialog) {
      cancelClicked();
    }
  });

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    dialog->move(screen->availableGeometry().center() - dialog->rect().center());
  }
  panel_ = dialog;
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void TextInputPanel::submitClicked() {
  if (!panel_) {
    return;
  }
  const QString text = textView_ ? textView_->toPlainText() : textField_ ? textField_->text() : QString();
  const Truncation limited = truncate(text);
  // The callback may show a new panel; close this one first and keep the callback alive.
  const auto onSubmit = onSubmit_;
  closePanel();
  if (onSubmit) {
    onSubmit(limited.text);
  }
}

void TextInputPanel::cancelClicked() { closeThen(onCancel_); }

void TextInputPanel::jumpClicked() { closeThen(onJump_); }

void TextInputPanel::closeThen(std::function<void()> callback) {
  // A copy: the callback may show a new panel, which replaces the stored callbacks.
  if (!panel_) {
    return;
  }
  closePanel();
  if (callback) {
    callback();
  }
}

void TextInputPanel::closePanel() {
  if (QDialog* dialog = panel_) {
    panel_.clear();
    dialog->close();  // deletes it (WA_DeleteOnClose)
  }
}

}  // namespace tandrel
