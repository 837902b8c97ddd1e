#include "settings/pages/ai_tools_page.h"

#include "ai_tools/ai_tools_model.h"
#include "ai_tools/tool_rows.h"
#include "ui/island_geometry.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tandrel {
namespace {

ToolHealth row(const QString& id, const QString& product, HookStatus status, bool detected) {
  ToolHealth tool = test::toolRow(id, product, status, detected);
  tool.path = QStringLiteral("/home/me/.config");
  return tool;
}

TEST(AIToolsPageGui, BadgeWidths) {
  ASSERT_TRUE(QFontInfo(islandFont(9)).family() == "Inter" || QFontInfo(islandFont(9)).family() == "DejaVu Sans");
  const qreal plain = toolSettingsBadgeWidth("Healthy", "");
  const qreal symbol = std::ceil(QFontMetricsF(islandFont(8, QFont::Bold)).horizontalAdvance("✓"));
  EXPECT_EQ(plain, std::ceil(QFontMetricsF(islandFont(9)).horizontalAdvance("Healthy")) + 12);
  EXPECT_EQ(toolSettingsBadgeWidth("Healthy", "✓"), plain + symbol + 3);
  EXPECT_EQ(toolSettingsBadgeWidth("", ""), 26);
  EXPECT_EQ(toolSettingsBadgeWidth("I", ""), 26);
}

TEST(AIToolsPageGui, RowsShowInstallStateAndTheirSwitch) {
  // Three Codex rows: installed but hidden, installed and shown, not installed (a Claude row
  // needing repair in a group of its own).
  std::vector<ToolHealth> rows{
      row("codex-app", "OpenAI Codex", HookStatus::alpha, true),
      row("codex-cli", "OpenAI Codex", HookStatus::healthy, true),
      row("claude-code", "Claude", HookStatus::repair, true),
      row("gemini-cli", "Gemini", HookStatus::missing, true),  // detected, status missing: not installed
  };
  rows[2].detail = QStringLiteral("Install or repair Claude Code hooks");
  QImage image(860, 700, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(18, 18, 20));
  QPainter painter(&image);
  const qreal height = drawAIToolsPage(painter, rows, {"codex-app"}, 860);
  painter.end();
  EXPECT_EQ(height, aiToolsPageLayout(rows).contentHeight);

  const auto knobCentre = [](const QRectF& toggle, bool on) {
    return QPoint(static_cast<int>(toggle.x() + (on ? 26 : 10)), static_cast<int>(toggle.y() + 10));
  };
  const QRectF hidden = toolEnableToggleRect(*toolRowFrame(rows, "codex-app"));
  const QRectF shown = toolEnableToggleRect(*toolRowFrame(rows, "codex-cli"));
  const QRectF absent = toolEnableToggleRect(*toolRowFrame(rows, "gemini-cli"));
  EXPECT_EQ(image.pixelColor(knobCentre(hidden, false)), QColor(Qt::white));
  EXPECT_NE(image.pixelColor(knobCentre(hidden, true)), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(knobCentre(shown, true)), QColor(Qt::white));
  // The inert switch of a tool that is not installed: a grey knob on the left.
  const QColor inert = image.pixelColor(knobCentre(absent, false));
  EXPECT_LT(inert.red(), 110);
  EXPECT_GT(inert.red(), 70);

  // The repair row is tinted red; a healthy row is not.
  const QRectF repair = *toolRowFrame(rows, "claude-code");
  const QRectF healthy = *toolRowFrame(rows, "codex-cli");
  const QColor tinted = image.pixelColor(QPoint(static_cast<int>(repair.x() + 100), static_cast<int>(repair.y() + 62)));
  const QColor plain = image.pixelColor(QPoint(static_cast<int>(healthy.x() + 100), static_cast<int>(healthy.y() + 62)));
  EXPECT_GT(tinted.red() - tinted.green(), plain.red() - plain.green());

  // The repair row's second line is its reason, in the red of its badge; a healthy row's is grey.
  const auto reddestInDetailLine = [&image](const QRectF& row) {
    int reddest = -255;
    for (int y = static_cast<int>(row.y() + 31); y < static_cast<int>(row.y() + 43); ++y) {
      for (int x = 218; x < 688; ++x) {
        const QColor c = image.pixelColor(x, y);
        reddest = std::max(reddest, c.red() - c.green());
      }
    }
    return reddest;
  };
  EXPECT_GT(reddestInDetailLine(repair), 60);
  EXPECT_LT(reddestInDetailLine(healthy), 10);
}

TEST(AIToolsPageGui, AnEmptyPageDoesNotScroll) {
  QImage image(860, 300, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  EXPECT_EQ(drawAIToolsPage(painter, {}, {}, 860), 129.5);
}

}  // namespace
}  // namespace tandrel
