#include "island/island_painters_inbox.h"

#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/island_symbols.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace tandrel {

using namespace island_paint;
using namespace card_colors;
using inbox_layout::InboxPageLayout;
using inbox_layout::cardAgeRect;
using inbox_layout::cardOutcomeRect;

namespace {

constexpr qreal kCardRadius = 8;
constexpr qreal kNameMaxWidth = 96;
constexpr qreal kPillHeight = 14;

bool roleIs(const QString& role, const char* name) { return role == QLatin1String(name); }

// The room a focused note keeps after its text for the caret.
constexpr qreal kCaretRoom = 3;

// The focused note's text cursor: a 1-wide bar at `x` as high as the font's line, in the typed
// text's colour.
void paintNoteCaret(QPainter& painter, const QRectF& textBox, qreal x, const QFont& font) {
  const QFontMetricsF metrics(font, painter.device());
  painter.fillRect(QRectF(std::round(x), textBox.top(), 1, std::ceil(metrics.ascent() + metrics.descent())),
                   white(0.84));
}

}  // namespace

CardChrome cardChrome(const std::optional<QString>& risk) {
  if (!risk) {
    return {white(0.03), white(0.06)};
  }
  const QString level = risk->toLower();
  if (level == QLatin1String("high")) {
    return {withAlpha(kCoral, 0.05), white(0.25)};
  }
  if (level == QLatin1String("medium")) {
    return {withAlpha(kOrange, 0.05), white(0.2)};
  }
  return {withAlpha(kOrange, 0.035), white(0.14)};
}

QColor cardTint(const QString& tool, const QColor& toolColor) {
  const QString name = tool.toLower();
  if (name.contains(QLatin1String("claude"))) {
    return kPurple;
  }
  if (name.contains(QLatin1String("codex")) || name.contains(QLatin1String("openai"))) {
    return kGreen;
  }
  if (name.contains(QLatin1String("cursor"))) {
    return QColor::fromRgbF(0, 107 / 255.0, 1.0);
  }
  if (name.contains(QLatin1String("kimi"))) {
    return QColor::fromRgbF(1.0, 107 / 255.0, 53 / 255.0);
  }
  // A brand colour close to black (GitHub Copilot, Pi, Cline) would write the tool's name black
  // on the black card: it is taken 60% of the way to white, which keeps a hint of its hue.
  const double luminance = 0.2126 * toolColor.redF() + 0.7152 * toolColor.greenF() + 0.0722 * toolColor.blueF();
  if (luminance < 0.2) {
    const auto lifted = [](float component) { return component + (1.0F - component) * 0.6F; };
    return QColor::fromRgbF(lifted(toolColor.redF()), lifted(toolColor.greenF()), lifted(toolColor.blueF()),
                            toolColor.alphaF());
  }
  return toolColor;
}

QColor cardButtonColor(const QString& role, const QColor& accent) {
  if (roleIs(role, "authorize") || roleIs(role, "jump")) {
    return kBlue;
  }
  if (roleIs(role, "reject") || roleIs(role, "delete")) {
    return kRed;
  }
  if (roleIs(role, "mark_read")) {
    return kGreen;
  }
  if (roleIs(role, "configure")) {
    return kAmber;
  }
  return accent;
}

QString cardButtonSymbol(const QString& role) {
  static const std::pair<const char*, const char*> symbols[] = {
      {"authorize", "shield"}, {"reject", "xmark"},           {"ignore", "eye.slash"},    {"mark_read", "checkmark"},
      {"delete", "trash"},     {"jump", "arrow.up.forward"}, {"configure", "gearshape"},
  };
  for (const auto& [name, symbol] : symbols) {
    if (roleIs(role, name)) {
      return QString::fromLatin1(symbol);
    }
  }
  return QStringLiteral("circle");
}

QString normalizedSurfaceField(const QString& field) {
  // Trimmed first, so that a blank field is empty rather than a run of "-".
  QString text = field.trimmed().toLower();
  return text.replace(QLatin1Char('_'), QLatin1Char('-')).replace(QLatin1Char(' '), QLatin1Char('-'));
}

std::optional<QString> normalizedTerminalSurfaceLabel(const std::optional<QString>& terminal) {
  if (!terminal) {
    return std::nullopt;
  }
  const QString normalized = normalizedSurfaceField(*terminal);
  if (normalized.isEmpty()) {
    return std::nullopt;
  }
  if (normalized.contains(QLatin1String("iterm"))) {
    return QStringLiteral("iTerm2");
  }
  if (normalized.contains(QLatin1String("cmux"))) {
    return QStringLiteral("cmux");
  }
  if (normalized.contains(QLatin1String("conductor"))) {
    return QStringLiteral("Conductor");
  }
  if (normalized.contains(QLatin1String("terminal"))) {
    return QStringLiteral("Terminal");
  }
  return terminal->trimmed();
}

QString messageSurfaceLabel(const QString& source, const QString& sourceType, const QString& tool,
                            const std::optional<QString>& terminal, const std::optional<JumpTarget>& jumpTarget) {
  const std::optional<QString> t = normalizedTerminalSurfaceLabel(terminal);
  const QString fields[] = {normalizedSurfaceField(source), normalizedSurfaceField(sourceType),
                            normalizedSurfaceField(tool)};
  const auto anyContains = [&fields](const char* needle) {
    return std::any_of(std::begin(fields), std::end(fields),
                       [needle](const QString& field) { return field.contains(QLatin1String(needle)); });
  };
  if (t == QLatin1String("iTerm2")) {
    return *t;
  }
  if (jumpTarget) {
    if (const auto* window = jumpTarget->as<JumpTarget::TerminalWindow>()) {
      return normalizedTerminalSurfaceLabel(window->terminal).value_or(QStringLiteral("Terminal"));
    }
    if (jumpTarget->as<JumpTarget::Cmux>() != nullptr) {
      return QStringLiteral("cmux");
    }
  }
  if (anyContains("conductor")) {
    return QStringLiteral("Conductor");
  }
  if (anyContains("cmux")) {
    return QStringLiteral("cmux");
  }
  if (t) {
    return *t;
  }
  if (anyContains("iterm")) {
    return QStringLiteral("iTerm2");
  }
  if (anyContains("vscode") || anyContains("vs-code")) {
    return QStringLiteral("VS Code");
  }
  if (anyContains("app")) {
    return QStringLiteral("app");
  }
  if (fields[1].contains(QLatin1String("ide")) || fields[2].contains(QLatin1String("ide"))) {
    return QStringLiteral("IDE");
  }
  return QStringLiteral("CLI");
}

void drawMessagePreviewLine(QPainter& painter, const QString& prefix, const QString& text, const QRectF& rect,
                            const QFont& font, const QColor& prefixColor, const QColor& textColor) {
  QFont prefixFont = font;
  prefixFont.setWeight(QFont::Medium);
  const qreal prefixWidth = std::ceil(QFontMetricsF(prefixFont, painter.device()).horizontalAdvance(prefix)) + 5;
  drawText(painter, prefix, QRectF(rect.left(), rect.top(), prefixWidth, rect.height()), prefixFont, prefixColor);
  const qreal x = rect.left() + prefixWidth;
  drawText(painter, text, QRectF(x, rect.top(), std::max<qreal>(rect.right() - x, 0), rect.height()), font,
           textColor);
}

void paintInboxStatusStrip(QPainter& painter, const InboxPageLayout& layout, qreal viewWidth,
                           const InboxPaintState& state) {
  drawText(painter, QString::number(state.unreadCount) + QStringLiteral(" unread"), 13, 167, viewWidth,
           islandFont(9, QFont::Medium), white(0.28));
  const QRectF clearPage = layout.clearPageRect();
  if (state.statusBanner) {
    drawText(painter, *state.statusBanner, QRectF(13, 166, viewWidth - 26, 16), islandFont(9, QFont::Bold),
             state.statusBannerColor, TextAlignment::center);
  } else if (state.approvalCount > 0) {
    const qreal right = clearPage.left() - 10;
    const qreal left = std::max<qreal>(right - 150, 186);
    drawText(painter, QStringLiteral("\u26A1 %1 need approval").arg(state.approvalCount),
             QRectF(left, 166, right - left, 16), islandFont(9, QFont::Medium), kAmber, TextAlignment::right);
  }
  if (state.unreadCount > 0) {
    drawClearToolbarButton(painter, QStringLiteral("mark_read_all"), clearPage, false);
    drawClearToolbarButton(painter, QStringLiteral("trash"), layout.clearAllRect(), true);
  }
}

void paintCardButton(QPainter& painter, const IslandButton& button, const QRectF& rect, const QColor& accent) {
  const bool ignore = roleIs(button.role, "ignore");
  const QColor base = cardButtonColor(button.role, accent);
  const QColor fill = ignore ? white(0.045) : withAlpha(base, 0.11);
  const QColor stroke = ignore ? white(0.12) : withAlpha(base, 0.34);
  const QColor label = ignore ? white(0.58) : withAlpha(base, 0.92);
  fillAndStrokeRoundedRect(painter, rect, rect.height() / 2, fill, stroke);

  const bool semibold = roleIs(button.role, "authorize") || roleIs(button.role, "configure");
  const QFont font = islandFont(9, semibold ? QFont::DemiBold : QFont::Medium);
  const qreal labelWidth = std::ceil(QFontMetricsF(font, painter.device()).horizontalAdvance(button.label));
  const qreal groupWidth = labelWidth + 14;
  const qreal groupLeft = rect.center().x() - groupWidth / 2;
  drawSymbol(painter, cardButtonSymbol(button.role), QRectF(groupLeft, rect.center().y() - 5, 10, 10), label, 9);
  drawText(painter, button.label, QRectF(groupLeft + 14, rect.top() + 3, labelWidth + 2, rect.height() - 6), font,
           label);
}

void paintMessageCard(QPainter& painter, const InboxPageLayout& layout, int index, const InboxPaintState& state) {
  const IslandMessage& message = layout.page()[static_cast<size_t>(index)];
  const QRectF card = layout.messageRect(index);
  const CardChrome chrome = cardChrome(message.risk);
  fillAndStrokeRoundedRect(painter, card, kCardRadius, chrome.fill, chrome.border);

  const QColor tint = cardTint(message.tool, message.toolColor);
  const qreal top = card.top() + 7;
  if (state.toolLogo) {
    state.toolLogo(painter, message.tool, QRectF(card.left() + 8, card.top() + 8, 16, 16));
  }
  const qreal nameWidth = std::min<qreal>(message.tool.size() * 5.7 + 6, kNameMaxWidth);
  drawText(painter, message.tool, QRectF(card.left() + 32, top, nameWidth, 14), islandFont(11, QFont::Medium), tint);

  const QString surface = messageSurfaceLabel(message.event.source, message.sourceType, message.tool,
                                              message.event.terminal, message.event.typedJumpTarget);
  const QRectF pill(card.left() + 32 + nameWidth + 7, card.top() + 8, surface.size() * 4.8 + 10, kPillHeight);
  fillAndStrokeRoundedRect(painter, pill, 4, withAlpha(kGreen, 0.15), withAlpha(kGreen, 0.3));
  drawText(painter, surface, pill.adjusted(3, 1, -3, 0), islandFont(8, QFont::Medium), kGreen, TextAlignment::center);

  const QString age =
      state.now ? relativeTime(message.event.rawTimestamp, message.event.timestamp, *state.now) : message.time;
  drawText(painter, age, cardAgeRect(card), islandFont(11), white(0.36), TextAlignment::right);

  const qreal previewWidth = card.width() - 40;
  drawMessagePreviewLine(painter, QStringLiteral("User:"), message.preview.user,
                         QRectF(card.left() + 32, card.top() + 27, previewWidth, 16), islandFont(11), white(0.34),
                         white(0.84));
  const QString agentPrefix = message.tool.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty) + u':';
  drawMessagePreviewLine(painter, agentPrefix, message.preview.agent,
                         QRectF(card.left() + 32, card.top() + 47, previewWidth, 12), islandFont(10.5), white(0.28),
                         white(0.55));

  const std::vector<std::pair<IslandButton, QRectF>> buttons = layout.actionButtonRects(index);
  for (const auto& [button, rect] : buttons) {
    paintCardButton(painter, button, rect, message.accent);
  }
  if (message.outcome) {
    drawText(painter, *message.outcome, cardOutcomeRect(card, buttons), islandFont(10.5, QFont::Medium), white(0.62));
  }
  if (layout.isChoiceExpanded(message)) {
    paintChoiceBody(painter, layout, index, state);
  }
}

void paintChoiceBody(QPainter& painter, const InboxPageLayout& layout, int index, const InboxPaintState& state) {
  const IslandMessage& message = layout.page()[static_cast<size_t>(index)];
  const std::optional<QRectF> body = layout.choiceBodyRect(index);
  if (!body) {
    return;
  }
  fillAndStrokeRoundedRect(painter, *body, 8, white(0.025), white(0.075));

  if (const std::optional<QRectF> note = layout.choiceNoteRect(index)) {
    const bool focused = state.noteFocusedMessageID == message.event.id;
    fillAndStrokeRoundedRect(painter, *note, 6, focused ? withAlpha(message.accent, 0.1) : white(0.04),
                             focused ? withAlpha(message.accent, 0.32) : white(0.1));
    const QRectF textBox = note->adjusted(8, 5, -8, -5);
    const QFont font = islandFont(10.5);
    qreal caretX = textBox.left();
    if (!state.activeChoiceNote.isEmpty()) {
      // While typing, a note too long for the field shows its end, where the caret is.
      const QString shown = focused ? elidedLine(state.activeChoiceNote, font, textBox.width() - kCaretRoom,
                                                 painter.device(), true)
                                    : state.activeChoiceNote;
      drawText(painter, shown, textBox, font, white(0.84));
      caretX += QFontMetricsF(font, painter.device()).horizontalAdvance(shown) + 1;
    } else {
      const QString placeholder = inbox_layout::choiceNote(message).placeholder;
      drawText(painter, placeholder.isEmpty() ? QStringLiteral("Add context") : placeholder, textBox, font,
               white(0.35));
    }
    if (focused) {
      paintNoteCaret(painter, textBox, std::min(caretX, textBox.right() - 1), font);
    }
  }

  for (const auto& [option, rect] : layout.choiceOptionRects(index)) {
    QColor color = message.accent;
    if (option.risk == MessageRisk::low) {
      color = kBlue;
    } else if (option.risk == MessageRisk::medium) {
      color = kAmber;
    } else if (option.risk == MessageRisk::high) {
      color = kRed;
    }
    const bool disabled = option.disabledReason.has_value();
    const bool hovered = !disabled && state.hoverPoint && rect.contains(*state.hoverPoint);
    if (disabled) {
      fillAndStrokeRoundedRect(painter, rect, 6, white(0.025), white(0.065));
      drawText(painter, *option.disabledReason, QRectF(rect.right() - 124, rect.top() + 5, 116, 12), islandFont(8.5),
               white(0.24), TextAlignment::right);
    } else {
      fillAndStrokeRoundedRect(painter, rect, 6, withAlpha(color, hovered ? 0.16 : 0.1),
                               withAlpha(color, hovered ? 0.42 : 0.28));
    }
    const qreal labelWidth = std::max<qreal>(rect.width() - (disabled ? 146 : 16), 40);
    drawText(painter, option.label, QRectF(rect.left() + 8, rect.top() + 4, labelWidth, 14),
             islandFont(10.5, QFont::Medium), disabled ? white(0.3) : white(0.88));
  }
}

void paintEmptyInbox(QPainter& painter, const QRectF& rect) {
  drawText(painter, kEmptyInboxText, rect, islandFont(12), white(0.28),
           TextAlignment::center);
}

void paintInboxPage(QPainter& painter, const InboxPageLayout& layout, qreal viewWidth, const InboxPaintState& state) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  paintInboxStatusStrip(painter, layout, viewWidth, state);
  for (int i = 0; i < static_cast<int>(layout.page().size()); ++i) {
    paintMessageCard(painter, layout, i, state);
  }
  if (layout.page().empty()) {
    paintEmptyInbox(painter, layout.emptyInboxRect());
  }
  painter.restore();
}

}  // namespace tandrel
