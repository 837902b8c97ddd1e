#include "ai_tools/tool_confirmation_dialog.h"

#include "hooks/hook_manager.h"

#include <QFont>
#include <QFontMetricsF>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tandrel {

namespace {

constexpr int kPreviewWidth = 620;
constexpr int kPreviewHeight = 260;

}  // namespace

ToolConfirmation downloadConfirmation(const ToolHealth& tool) {
  return {QStringLiteral("Install ") + tool.name + QStringLiteral("?"),
          QStringLiteral("Tandrel could not find ") + tool.name +
              QStringLiteral(" locally. Open the official download page, install it, then use Refresh in AI Tools."),
          QStringLiteral("Open Download"), std::nullopt};
}

ToolConfirmation hookConfirmation(const ToolHealth& tool, const std::optional<QString>& preview) {
  const bool installed = tool.status == HookStatus::healthy || tool.status == HookStatus::repair;
  const QString verb = installed ? QStringLiteral("Repair") : QStringLiteral("Install");
  return {verb + QStringLiteral(" ") + tool.name + QStringLiteral(" hook?"),
          QStringLiteral("Review the planned bridge script and config changes below."), verb,
          preview.value_or(QStringLiteral("Unable to generate preview."))};
}

QPlainTextEdit* hookInstallPreviewAccessoryView(const QString& preview, QWidget* parent) {
  auto* view = new QPlainTextEdit(parent);
  view->setReadOnly(true);
  view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setWordWrapMode(QTextOption::NoWrap);
  view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(11);
  view->setFont(font);
  view->document()->setDocumentMargin(8);
  view->setPlainText(preview);
  // At least 620 x 260, and as large as its text up to a size that fits a laptop screen; it grows
  // with the dialog.
  view->setMinimumSize(kPreviewWidth, kPreviewHeight);
  view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  const QStringList lines = preview.split(u'\n');
  qsizetype widest = 0;
  for (const QString& line : lines) {
    widest = std::max(widest, line.size());
  }
  const QFontMetricsF metrics(font);
  view->setProperty("preferredSize",
                    QSize(std::clamp(int(widest * metrics.horizontalAdvance(u'x') + 44), kPreviewWidth, 1000),
                          std::clamp(int(lines.size() * metrics.lineSpacing() + 34), kPreviewHeight, 560)));
  return view;
}

ToolConfirmationDialog::ToolConfirmationDialog(const ToolConfirmation& confirmation, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
  setWindowTitle(QStringLiteral("Tandrel"));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  message_ = new QLabel(confirmation.message, this);
  QFont bold = message_->font();
  bold.setBold(true);
  message_->setFont(bold);
  message_->setTextFormat(Qt::PlainText);
  layout->addWidget(message_);

  informative_ = new QLabel(confirmation.informativeText, this);
  informative_->setTextFormat(Qt::PlainText);
  informative_->setWordWrap(true);
  layout->addWidget(informative_);

  if (confirmation.preview) {
    preview_ = hookInstallPreviewAccessoryView(*confirmation.preview, this);
    layout->addWidget(preview_, 1);
  }

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  confirm_ = new QPushButton(confirmation.confirmTitle, this);
  confirm_->setDefault(true);
  confirm_->setAutoDefault(true);
  cancel_->setAutoDefault(false);
  buttons->addWidget(cancel_);
  buttons->addWidget(confirm_);
  layout->addLayout(buttons);

  connect(confirm_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  confirm_->setFocus();
  if (preview_ != nullptr) {
    setSizeGripEnabled(true);
    const QSize extra = preview_->property("preferredSize").toSize() - preview_->minimumSize();
    resize(sizeHint() + extra);
  }
}

bool runToolConfirmationDialog(const ToolConfirmation& confirmation) {
  ToolConfirmationDialog dialog(confirmation);
  dialog.raise();
  dialog.activateWindow();
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace tandrel
