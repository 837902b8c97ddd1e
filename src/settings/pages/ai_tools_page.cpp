#include "settings/pages/ai_tools_page.h"

#include "ai_tools/ai_tools_model.h"
#include "ai_tools/ai_tools_tab.h"
#include "settings/settings_paint.h"
#include "ui/island_geometry.h"
#include "ui/island_paint.h"
#include "ui/tool_logo.h"
#include "usage/usage_eligibility.h"

#include <QFontDatabase>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tandrel {

namespace {

using island_paint::white;

const QColor kActionBlue = QColor::fromRgbF(77 / 255.0, 159 / 255.0, 1);
const QColor kRepairTint = QColor::fromRgbF(1, 1 / 3.0, 1 / 3.0, 0.05);

QFont badgeTextFont() { return islandFont(9); }
QFont badgeSymbolFont() { return islandFont(8, QFont::Bold); }

qreal roundedUpWidth(const QString& text, const QFont& font) { return std::ceil(island_paint::textWidth(text, font)); }

QFont pathFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(10);
  return font;
}

void drawDisabledToggle(QPainter& painter, qreal top) {
  QPainterPath track;
  track.addRoundedRect(QRectF(804, top + 24, 36, 20), 10, 10);
  painter.fillPath(track, white(0.06));
  QPainterPath knob;
  knob.addEllipse(QRectF(806, top + 26, 16, 16));
  painter.fillPath(knob, white(0.30));
}

void drawRow(QPainter& painter, const ToolHealth& tool, qreal top, bool last, const QSet<QString>& disabledToolIDs) {
  using island_paint::drawText;
  const bool installed = settingsToolIsDetected(tool);
  if (tool.status == HookStatus::repair) {
    painter.fillRect(QRectF(168, top, 680, 68), kRepairTint);
  }

  painter.save();
  if (!tool.detected) {
    painter.setOpacity(0.4);
  }
  drawToolLogo(painter, tool.id, QRectF(184, top + 12, 20, 20));
  painter.restore();

  const QFont nameFont = islandFont(13);
  drawText(painter, tool.name, QRectF(218, top + 11, 146, 16), nameFont, white(tool.detected ? 0.80 : 0.30));
  const qreal nameWidth = std::min<qreal>(roundedUpWidth(tool.name, nameFont), 146);

  const ToolSettingsBadge status = toolStatusBadge(tool);
  const QRectF statusRect(218 + nameWidth + 8, top + 10, toolSettingsBadgeWidth(status.text, status.symbol), 18);
  drawToolSettingsBadge(painter, status.text, status.symbol, statusRect, status.color, status.muted);
  const QRectF surfaceRect(statusRect.right() + 6, top + 10, toolSettingsBadgeWidth(tool.surface, QString()), 18);
  drawToolSettingsBadge(painter, tool.surface, QString(), surfaceRect, white(0.42), true);

  const QRectF detailBox(218, top + 31, 470, 12);
  if (const auto attention = toolAttentionLine(tool)) {
    drawText(painter, *attention, detailBox, islandFont(10), island_paint::withAlpha(status.color, 0.85));
  } else {
    const QString detail = tool.integration + QStringLiteral(" · ") + usageSourceClass(tool) + QStringLiteral(" · ") +
                           usageReason(tool);
    drawText(painter, detail, detailBox, islandFont(10), white(0.34));
  }

  const QString path = installed ? tool.path : QStringLiteral("—");
  const bool faint = !installed || path.isEmpty();
  drawText(painter, path, QRectF(218, top + 45, 470, 12), pathFont(), white(faint ? 0.18 : 0.28));

  const QRectF row(168, top, 680, 68);
  if (const auto title = settingsToolActionTitle(tool)) {
    settings_paint::drawSmallButton(painter, *title, toolActionButtonRect(row), kActionBlue);
  }
  if (installed) {
    const QRectF toggle = toolEnableToggleRect(row);
    settings_paint::drawToggle(painter, toggle.x(), toggle.y(), !disabledToolIDs.contains(tool.id));
  } else {
    drawDisabledToggle(painter, top);
  }
  if (!last) {
    painter.fillRect(QRectF(168, top + 67, 680, 1), white(0.06));
  }
}

}  // namespace

qreal toolSettingsBadgeWidth(const QString& text, const QString& symbol) {
  qreal width = roundedUpWidth(text, badgeTextFont());
  if (!symbol.isEmpty()) {
    width += roundedUpWidth(symbol, badgeSymbolFont()) + 3;
  }
  return std::max<qreal>(width + 12, 26);
}

void drawToolSettingsBadge(QPainter& painter, const QString& text, const QString& symbol, const QRectF& rect,
                           const QColor& color, bool muted) {
  const QRectF badge(rect.x(), rect.y(), rect.width(), 18);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  island_paint::fillAndStrokeRoundedRect(painter, badge, 5,
                                         muted ? white(0.035) : island_paint::withAlpha(color, 0.08),
                                         muted ? white(0.08) : island_paint::withAlpha(color, 0.22));
  const qreal textWidth = roundedUpWidth(text, badgeTextFont());
  const qreal symbolWidth = symbol.isEmpty() ? 0 : roundedUpWidth(symbol, badgeSymbolFont());
  const qreal contentWidth = textWidth + (symbol.isEmpty() ? 0 : symbolWidth + 3);
  const qreal half = (badge.width() - contentWidth) / 2;
  qreal x = badge.x() + (half < 6 ? 6 : half);
  if (!symbol.isEmpty()) {
    island_paint::drawText(painter, symbol, QRectF(x, badge.y() + 4, symbolWidth + 1, 10), badgeSymbolFont(), color);
    x += symbolWidth + 3;
  }
  island_paint::drawText(painter, text, QRectF(x, badge.y() + 4, textWidth + 1, 10), badgeTextFont(), color);
  painter.restore();
}

qreal drawAIToolsPage(QPainter& painter, const std::vector<ToolHealth>& toolHealth,
                      const QSet<QString>& disabledToolIDs, qreal viewWidth) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  island_paint::drawText(painter,
                         QStringLiteral("Tandrel injects hooks into AI tool configs to monitor status and approvals."),
                         168, 72, viewWidth, islandFont(11), white(0.30));
  settings_paint::drawSmallButton(painter, QStringLiteral("Refresh"), aiToolsRefreshButtonRect(viewWidth), white(0.60));

  const AIToolsPageLayout layout = aiToolsPageLayout(toolHealth);
  for (const AIToolsGroupFrame& group : layout.groups) {
    settings_paint::drawSectionTitle(painter, group.product, group.titleY);
    settings_paint::drawRoundedPanel(painter, group.panel);
    for (std::size_t i = 0; i < group.rows.size(); ++i) {
      drawRow(painter, group.rows[i].tool, group.rows[i].rect.top(), i + 1 == group.rows.size(), disabledToolIDs);
    }
  }
  painter.restore();
  return layout.contentHeight;
}

void AIToolsPage::draw(SettingsPageCanvas& canvas) {
  canvas.reach(drawAIToolsPage(canvas.painter, context_.toolHealth(), context_.settings().values().disabledToolIDs,
                               canvas.viewWidth));
}

std::vector<SettingsClickRoute> AIToolsPage::routes() {
  const std::vector<ToolHealth>& toolHealth = context_.toolHealth();
  std::vector<SettingsClickRoute> out;
  out.push_back({aiToolsRefreshButtonRect(viewWidth()), [this] {
                   tab_().refreshAIToolsHealth(true, [this](bool changed) {
                     context_.normalizeActiveUsageTool();
                     if (changed) {
                       context_.showBanner(QStringLiteral("AI Tools refreshed"), settings_paint::kSuccessGreen);
                     } else {
                       context_.showBanner(QStringLiteral("AI Tools already up to date"),
                                           settings_paint::kInformationBlue);
                     }
                   });
                 }});
  for (const ToolHealth& tool : toolHealth) {
    const auto frame = toolRowFrame(toolHealth, tool.id);
    if (frame && settingsToolPrimaryAction(tool) != SettingsToolPrimaryAction::none) {
      out.push_back({toolActionButtonRect(*frame), [this, tool] { tab_().performAIToolPrimaryAction(tool); }});
    }
  }
  for (const ToolHealth& tool : toolHealth) {
    const auto frame = toolRowFrame(toolHealth, tool.id);
    if (!frame || !settingsToolIsDetected(tool)) {
      continue;  // the switch of a tool that is not installed does nothing
    }
    out.push_back({toolEnableToggleRect(*frame), [this, tool] {
                     const bool hidden = context_.settings().values().disabledToolIDs.contains(tool.id);
                     context_.settings().change([&tool, hidden](UserSettings& settings) {
                       if (hidden) {
                         settings.disabledToolIDs.remove(tool.id);
                       } else {
                         settings.disabledToolIDs.insert(tool.id);
                       }
                     });
                     if (hidden) {
                       context_.showBanner(tool.name + QStringLiteral(" enabled in Tandrel"),
                                           settings_paint::kSuccessGreen);
                     } else {
                       context_.showBanner(tool.name + QStringLiteral(" hidden from Tandrel until re-enabled"),
                                           settings_paint::kWarningAmber);
                     }
                     context_.normalizeActiveUsageTool();
                   }});
  }
  return out;
}

}  // namespace tandrel
