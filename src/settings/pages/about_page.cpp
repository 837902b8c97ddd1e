#include "settings/pages/about_page.h"

#include "catalog/paths.h"
#include "settings/pages/about_layout.h"
#include "settings/settings_paint.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "update/update_client.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace tandrel {
namespace {

using namespace about_layout;
using island_paint::drawText;
using island_paint::TextAlignment;
using island_paint::textWidth;
using island_paint::white;
using island_paint::withAlpha;
using Kind = UpdateState::Kind;

const QString kDescription = QStringLiteral(
    "Your AI agents at a glance, at the top of your screen. Follows Claude, Codex, Cursor & more "
    "\u2014 everything stays on this machine.");

// One line of `text` centred vertically on `box`'s middle, aligned within its width.
void drawLine(QPainter& painter, const QString& text, const QRectF& box, const QFont& font, const QColor& color,
              TextAlignment alignment) {
  const qreal lineHeight = QFontMetricsF(font).height();
  drawText(painter, text, QRectF(box.x(), box.center().y() - lineHeight / 2, box.width(), lineHeight), font, color,
           alignment);
}

void fillRounded(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  painter.fillPath(path, color);
}

void strokeRounded(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  painter.strokePath(path, QPen(color, 1));
}

// `text` wrapped at word boundaries inside `box`, lines `spacing` apart.
void drawWrapped(QPainter& painter, const QString& text, const QRectF& box, const QFont& font, const QColor& color,
                 qreal spacing) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  qreal y = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(box.width());
    line.setPosition(QPointF(0, y));
    y += line.height() + spacing;
  }
  layout.endLayout();
  painter.save();
  painter.setPen(color);
  painter.setClipRect(box);
  layout.draw(&painter, box.topLeft());
  painter.restore();
}

// A 108 x 34 status control: fill, border and its text centred.
void drawStatusControl(QPainter& painter, const StatusBadge& control, const QRectF& rect) {
  fillRounded(painter, rect, 9, control.fill.value_or(Qt::transparent));
  strokeRounded(painter, rect.adjusted(0.5, 0.5, -0.5, -0.5), 8.5, control.border.value_or(Qt::transparent));
  drawLine(painter, control.text, rect.adjusted(7, 10, -7, -10), islandFont(12, QFont::DemiBold), control.color,
           TextAlignment::center);
}

void drawTrailingControl(QPainter& painter, const UpdateState& state) {
  const TrailingControl control = trailingControl(state);
  if (control.isButton) {
    settings_paint::drawSmallButton(painter, control.badge.text, kStatusControlRect, control.badge.color);
  } else {
    drawStatusControl(painter, control.badge, kStatusControlRect);
  }
}

void drawHeader(QPainter& painter, const UpdateState& state, bool hasFeed, qreal viewWidth) {
  settings_paint::drawRoundedPanel(painter, kHeaderCardRect, white(0.03), white(0.08));
  about_page::drawApplicationIcon(painter, kIconRect);
  drawText(painter, QStringLiteral("Tandrel"), 266, 84, viewWidth, islandFont(17, QFont::DemiBold), white(0.90));
  drawWrapped(painter, kDescription, QRectF(266, 108, 564, 34), islandFont(11), white(0.45), 5);

  const QString version = QStringLiteral("v") + applicationVersion();
  const QRectF pill = versionPillRect(version);
  fillRounded(painter, pill, 8.5, withAlpha(kDeepBlue, 0.20));
  strokeRounded(painter, pill, 8.5, withAlpha(kDeepBlue, 0.30));
  drawText(painter, version, pill.adjusted(6, 2, -6, -2), islandFont(11), kBlue);

  const QString released = QStringLiteral("Released ") + QLatin1String(kReleaseDate);
  const QFont smallFont = islandFont(10);
  const qreal labelX = pill.right() + 10;
  drawText(painter, released, labelX, 157, viewWidth, smallFont, white(0.28));

  const StatusBadge badge = headerStatusBadge(state, hasFeed);
  const QRectF badgeRect(labelX + std::ceil(textWidth(released, smallFont)) + 22, 155,
                         std::ceil(textWidth(badge.text, smallFont)) + 14, 18);
  if (badge.fill) {
    fillRounded(painter, badgeRect, 9, *badge.fill);
  }
  strokeRounded(painter, badgeRect.adjusted(0.5, 0.5, -0.5, -0.5), 8.5,
                badge.border.value_or(withAlpha(badge.color, 0.28)));
  drawText(painter, badge.text, badgeRect.adjusted(7, 3, -7, -3), smallFont, badge.color);
}

void drawAvailablePanel(QPainter& painter, const UpgradeCheckResponse& response, const QRectF& panel) {
  settings_paint::drawRoundedPanel(painter, panel, withAlpha(kAmber, 0.05), withAlpha(kAmber, 0.22));
  const QString title = QStringLiteral("v") + response.latest.version;
  const QFont titleFont = islandFont(13);
  drawText(painter, title, QRectF(panel.x() + 20, panel.y() + 15, panel.width() - 160, 18), titleFont, kLightAmber);
  if (response.artifact) {
    const qreal x = panel.x() + 20 + std::ceil(textWidth(title, titleFont)) + 10;
    drawText(painter, humanReadableByteSize(response.artifact->sizeBytes), QRectF(x, panel.y() + 17, 120, 14),
             islandFont(10), white(0.28));
  }
  const QRectF button = updatePanelActionRect(UpdateState::available(response));
  fillRounded(painter, button, 8, withAlpha(kAmber, 0.15));
  strokeRounded(painter, button.adjusted(0.5, 0.5, -0.5, -0.5), 7.5, withAlpha(kAmber, 0.38));
  drawLine(painter, QStringLiteral("\u2193  Download"), button.adjusted(7, 9, -7, -9), islandFont(12, QFont::DemiBold),
           kLightAmber, TextAlignment::center);

  QStringList notes = response.latest.releaseNotes.mid(0, 4);
  if (notes.isEmpty()) {
    notes = {QStringLiteral("No release notes for this update.")};
  }
  for (int i = 0; i < notes.size(); ++i) {
    const qreal y = panel.y() + 43 + 16.5 * i;
    drawText(painter, QStringLiteral("\u25CF"), QRectF(panel.x() + 22, y + 1, 12, 12), islandFont(8), white(0.2));
    drawText(painter, notes.at(i), QRectF(panel.x() + 36, y, panel.width() - 172, 15), islandFont(11), white(0.5));
  }
}

void drawDownloadingPanel(QPainter& painter, const UpdateState& state, const QRectF& panel) {
  settings_paint::drawRoundedPanel(painter, panel, withAlpha(kDeepBlue, 0.05), withAlpha(kDeepBlue, 0.2));
  const UpgradeCheckResponse& response = *state.response;
  const qreal progress = std::clamp(state.progress, 0.0, 1.0);
  drawText(painter, QStringLiteral("\u2193"), QRectF(panel.x() + 20, panel.y() + 16, 16, 16),
           islandFont(12, QFont::DemiBold), kBlue);
  drawText(painter, QStringLiteral("Downloading v%1...").arg(response.latest.version),
           QRectF(panel.x() + 42, panel.y() + 15, panel.width() - 250, 16), islandFont(12), kBlue);
  if (response.artifact) {
    const qint64 size = response.artifact->sizeBytes;
    const QString bytes = humanReadableByteSize(static_cast<qint64>(progress * static_cast<double>(size))) +
                          QStringLiteral(" / ") + humanReadableByteSize(size);
    drawText(painter, bytes, QRectF(panel.right() - 180, panel.y() + 17, 160, 14), islandFont(11), white(0.32),
             TextAlignment::right);
  }
  const QRectF track(panel.x() + 20, panel.y() + 48, panel.width() - 40, 5);
  fillRounded(painter, track, 2.5, white(0.07));
  if (progress > 0) {
    fillRounded(painter, QRectF(track.topLeft(), QSizeF(track.width() * progress, track.height())), 2.5, kDeepBlue);
  }
  drawText(painter, QStringLiteral("%1%").arg(static_cast<int>(progress * 100)),
           QRectF(panel.right() - 60, panel.y() + 61, 40, 12), islandFont(10), kBlue, TextAlignment::right);
}

void drawRestartPanel(QPainter& painter, const UpdateState& state, const QRectF& panel) {
  const QRectF button = updatePanelActionRect(state);
  QLinearGradient gradient(button.topLeft(), button.topRight());
  gradient.setColorAt(0, withAlpha(kDeepBlue, 0.22));
  gradient.setColorAt(1, withAlpha(kGreen, 0.14));
  QPainterPath clip;
  clip.addRoundedRect(button, 12, 12);
  painter.fillPath(clip, gradient);
  strokeRounded(painter, button.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, withAlpha(kDeepBlue, 0.45));
  drawLine(painter, QStringLiteral("\u27F3  Restart to Update"), button.adjusted(8, 16, -8, -16),
           islandFont(13, QFont::DemiBold), kBlue, TextAlignment::center);
  drawText(painter, QStringLiteral("Tandrel will restart and install v") + state.response->latest.version,
           QRectF(panel.x(), panel.y() + 55, panel.width(), 13), islandFont(10), white(0.22), TextAlignment::center);
}

void drawErrorPanel(QPainter& painter, const QString& message, const QRectF& panel) {
  settings_paint::drawRoundedPanel(painter, panel, withAlpha(kRed, 0.05), withAlpha(kRed, 0.22));
  drawText(painter, QStringLiteral("!"), QRectF(panel.x() + 20, panel.y() + 18, 12, 16),
           islandFont(12, QFont::DemiBold), kLightRed);
  drawText(painter, message, QRectF(panel.x() + 42, panel.y() + 17, panel.width() - 62, 18), islandFont(12),
           white(0.58));
}

void drawUpdatePanel(QPainter& painter, const UpdateState& state) {
  const std::optional<QRectF> panel = updatePanelRect(state);
  if (!panel) {
    return;
  }
  switch (state.kind) {
    case Kind::available:
      drawAvailablePanel(painter, *state.response, *panel);
      break;
    case Kind::downloading:
      drawDownloadingPanel(painter, state, *panel);
      break;
    case Kind::verified:
    case Kind::readyToRestart:
      drawRestartPanel(painter, state, *panel);
      break;
    case Kind::error:
      drawErrorPanel(painter, state.message, *panel);
      break;
    default:
      break;
  }
}

void drawAppLog(QPainter& painter, qreal titleY, qreal viewWidth) {
  settings_paint::drawSectionTitle(painter, QStringLiteral("App Log"), titleY);
  const QStringList notes = releaseNotes();
  const QRectF card = logCardRect(titleY, static_cast<int>(notes.size()));
  settings_paint::drawRoundedPanel(painter, card, withAlpha(kDeepBlue, 0.06), withAlpha(kDeepBlue, 0.18));
  const qreal p = card.y() + 16;
  const QFont labelFont = islandFont(10);
  const QString version = QStringLiteral("v") + applicationVersion();
  const QFont versionFont = islandFont(11);
  drawText(painter, QStringLiteral("Version"), 188, p, viewWidth, labelFont, white(0.28));
  drawText(painter, version, 284, p, viewWidth, versionFont, kBlue);
  const QRectF tag(284 + std::ceil(textWidth(version, versionFont)) + 10, p, 38, 14);
  fillRounded(painter, tag, 7, withAlpha(kDeepBlue, 0.25));
  strokeRounded(painter, tag.adjusted(0.5, 0.5, -0.5, -0.5), 6.5, withAlpha(kDeepBlue, 0.6));
  drawLine(painter, QStringLiteral("Latest"), tag, islandFont(9), kBlue, TextAlignment::center);
  drawText(painter, QStringLiteral("Released"), 188, p + 20, viewWidth, labelFont, white(0.28));
  drawText(painter, QLatin1String(kReleaseDate), 284, p + 20, viewWidth, labelFont, white(0.55));
  for (int i = 0; i < notes.size(); ++i) {
    const qreal y = card.y() + 64 + 20.5 * i;
    drawText(painter, QStringLiteral("\u25CF"), 192, y, viewWidth, islandFont(8), white(0.20));
    drawText(painter, notes.at(i), 206, y, viewWidth, islandFont(11), white(0.55));
  }
}

}  // namespace

void AboutPage::draw(SettingsPageCanvas& canvas) {
  QPainter& painter = canvas.painter;
  const UpdateState& state = flow_().aboutUpdateState();
  const bool hasFeed = flow_().hasUpdateFeed();
  drawHeader(painter, state, hasFeed, canvas.viewWidth);
  settings_paint::drawSectionTitle(painter, QStringLiteral("Updates"), 212);
  settings_paint::drawSettingRow(painter, canvas.viewWidth, kUpdateRowRect.y(), QStringLiteral("Check for updates"),
                                 updateRowSubtitle(hasFeed), std::nullopt);
  drawTrailingControl(painter, state);
  drawUpdatePanel(painter, state);
  drawAppLog(painter, appLogTitleY(state), canvas.viewWidth);
  // The page fits the panel: it never scrolls.
}

std::vector<SettingsClickRoute> AboutPage::routes() {
  auto primary = [this] { flow_().performAboutUpdatePrimaryAction(); };
  return {
      {updatePanelActionRect(flow_().aboutUpdateState()), primary},
      {kUpdateRowRect, primary},
  };
}

namespace about_page {

void drawApplicationIcon(QPainter& painter, const QRectF& rect) {
  QImage image(resourcesDirectory() + QStringLiteral("/AppIcon.png"));
  if (image.isNull() && !QGuiApplication::windowIcon().isNull()) {
    image = QGuiApplication::windowIcon().pixmap(256).toImage();
  }
  QPainterPath rounded;
  rounded.addRoundedRect(rect, 16, 16);
  if (!image.isNull()) {
    painter.save();
    painter.setClipPath(rounded);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(aspectFitRect(QSizeF(image.size()), rect), image);
    painter.restore();
    strokeRounded(painter, rect.adjusted(0.5, 0.5, -0.5, -0.5), 16, white(0.1));
    return;
  }
  painter.fillPath(rounded, white(0.04));
  drawLine(painter, QStringLiteral("T"), rect.adjusted(0, 18, 0, -18), islandFont(24, QFont::Black), white(0.75),
           TextAlignment::center);
}

}  // namespace about_page

}  // namespace tandrel
