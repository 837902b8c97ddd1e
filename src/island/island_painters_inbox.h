#pragma once

// The painters of the expanded island's inbox: the status strip above the cards (unread count,
// banner or approval summary, the two clear buttons), one card with its buttons, an open choice
// card's body with its note field and options, and the empty-inbox line. Each takes the painter,
// the rectangles of inbox_layout.h and the data it draws; `paintInboxPage` runs them in order.

#include "inbox/island_message.h"
#include "island/inbox_layout.h"

#include <QColor>
#include <QDateTime>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>

namespace tandrel {

// Draws a tool's logo into a square; the view hands in the one it has.
using ToolLogoPainter = std::function<void(QPainter& painter, const QString& tool, const QRectF& rect)>;

// What the inbox shows besides the page itself.
struct InboxPaintState {
  int unreadCount = 0;
  int approvalCount = 0;
  std::optional<QString> statusBanner;
  QColor statusBannerColor;
  std::optional<QString> noteFocusedMessageID;
  QString activeChoiceNote;
  std::optional<QPointF> hoverPoint;
  // The time card ages are measured from; none: each card's age as its message was built.
  std::optional<QDateTime> now;
  ToolLogoPainter toolLogo;  // none: the logo squares stay empty
};

// The whole inbox: strip, cards in page order (with open choice bodies), or the empty line.
void paintInboxPage(QPainter& painter, const inbox_layout::InboxPageLayout& layout, qreal viewWidth,
                    const InboxPaintState& state);

void paintInboxStatusStrip(QPainter& painter, const inbox_layout::InboxPageLayout& layout, qreal viewWidth,
                           const InboxPaintState& state);
void paintMessageCard(QPainter& painter, const inbox_layout::InboxPageLayout& layout, int index,
                      const InboxPaintState& state);
void paintCardButton(QPainter& painter, const IslandButton& button, const QRectF& rect, const QColor& accent);
void paintChoiceBody(QPainter& painter, const inbox_layout::InboxPageLayout& layout, int index,
                     const InboxPaintState& state);
// The empty inbox's line, centred in its rectangle.
inline const QString kEmptyInboxText = QStringLiteral("All clear \u00B7 waiting for agent events");
void paintEmptyInbox(QPainter& painter, const QRectF& rect);

// A prefix in the medium weight of `font`'s size, then the text in `font` up to the box's right
// edge.
void drawMessagePreviewLine(QPainter& painter, const QString& prefix, const QString& text, const QRectF& rect,
                            const QFont& font, const QColor& prefixColor, const QColor& textColor);

// The colours a card uses.
namespace card_colors {
inline const QColor kBlue = QColor::fromRgbF(77 / 255.0, 159 / 255.0, 1.0);
inline const QColor kRed = QColor::fromRgbF(1.0, 95 / 255.0, 110 / 255.0);
inline const QColor kAmber = QColor::fromRgbF(1.0, 187 / 255.0, 0.0);
inline const QColor kOrange = QColor::fromRgbF(1.0, 2 / 3.0, 0.0);
inline const QColor kCoral = QColor::fromRgbF(1.0, 1 / 3.0, 1 / 3.0);
inline const QColor kGreen = QColor::fromRgbF(0.0, 214 / 255.0, 163 / 255.0);
inline const QColor kPurple = QColor::fromRgbF(139 / 255.0, 92 / 255.0, 246 / 255.0);
}  // namespace card_colors

// A card's fill and border by its risk ("high", "medium", another or none; any letter case).
struct CardChrome {
  QColor fill;
  QColor border;
};
CardChrome cardChrome(const std::optional<QString>& risk);
// The tint of a card's tool name: Claude purple, Codex and OpenAI green, Cursor and Kimi their
// own, else the tool's colour (lifted towards white when it is too dark to read on the card).
QColor cardTint(const QString& tool, const QColor& toolColor);
// A card button's base colour and symbol by role.
QColor cardButtonColor(const QString& role, const QColor& accent);
QString cardButtonSymbol(const QString& role);

// Where a card's agent runs, for its pill: "iTerm2", a terminal's name, "cmux", "Conductor",
// "VS Code", "app", "IDE" or "CLI".
QString messageSurfaceLabel(const QString& source, const QString& sourceType, const QString& tool,
                            const std::optional<QString>& terminal, const std::optional<JumpTarget>& jumpTarget);
// Lower-cased, "_" and " " made "-", trimmed.
QString normalizedSurfaceField(const QString& field);
// A terminal's short name ("iTerm2", "cmux", "Conductor", "Terminal", else the name trimmed); none
// for none or a blank name.
std::optional<QString> normalizedTerminalSurfaceLabel(const std::optional<QString>& terminal);

}  // namespace tandrel
