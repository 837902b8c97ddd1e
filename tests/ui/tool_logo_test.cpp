#include "ui/tool_logo.h"

#include "catalog/software_logo_cache.h"
#include "catalog/tool_catalog.h"
#include "platform/fake/fake_app_locator.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QSet>

namespace tandrel {
namespace {

TEST(ToolLogoTest, TilePerTool) {
  using T = ToolLogoTile;
  const std::pair<const char*, ToolLogoTile> cases[] = {
      {"Tandrel", T::tandrel},         {"claude-code", T::claude},  {"Claude App", T::claude},
      {"codex", T::codex},             {"codex-app", T::codex},     {"cursor-agent-cli", T::cursor},
      {"kilo-code", T::kilo},          {"PI", T::pi},               {"pi-coding-agent", T::pi},
      {"roo-code", T::roo},            {"cline", T::cline},         {"gemini-cli", T::gemini},
      {"GitHub", T::copilot},          {"copilot-cli", T::copilot}, {"vscode-host", T::vscode},
      {"VS Code Host", T::vscode},     {"droid", T::factory},       {"factory-droid", T::factory},
      {"trae-solo", T::trae},          {"opencode-cli", T::opencode}, {"kimi-app-web", T::kimi},
      {"windsurf", T::neutral},        {"", T::neutral},             {"pipeline", T::neutral},
  };
  for (const auto& [tool, tile] : cases) {
    EXPECT_EQ(toolLogoTile(QString::fromUtf8(tool)), tile) << tool;
  }
}

TEST(ToolLogoTest, ResourceNames) {
  const std::pair<const char*, std::optional<QString>> cases[] = {
      {"claude-code", "claude"},     {"claude_app", "claude"},    {"codex", "codex"},
      {"cursor-glass", "cursor"},    {"trae-solo", "trae-solo"},  {"TRAE SOLO CN", "trae-solo"},
      {"trae-agent-cli", "trae"},    {"vscode-host", "vscode"},   {"kimi-cli", std::nullopt},
  };
  for (const auto& [tool, name] : cases) {
    EXPECT_EQ(toolLogoResourceName(QString::fromUtf8(tool)), name) << tool;
  }
}

QImage square(QColor color) {
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(color);
  return image;
}

TEST(ToolLogoTest, ImagesBeforeTiles) {
  BundledSoftwareLogoCache bundled([](const QString&) { return std::nullopt; });
  bundled.images.insert(QStringLiteral("claude"), square(Qt::red), 4096);
  FakeAppLocator locator;
  locator.files = {"/Applications/Kimi.app"};
  SoftwareLogoCache apps(locator, [](const QString&) { return std::optional(square(Qt::green)); });

  ToolLogoSources sources{&bundled, &apps, false};
  EXPECT_EQ(toolLogoImage("claude-code", sources)->pixelColor(4, 4), QColor(Qt::red));
  EXPECT_EQ(toolLogoImage("claude-app", sources)->pixelColor(4, 4), QColor(Qt::red));
  EXPECT_EQ(toolLogoImage("kimi-cli", sources)->pixelColor(4, 4), QColor(Qt::green));
  EXPECT_EQ(toolLogoImage("codex-cli", sources), std::nullopt);  // Codex is not installed
  EXPECT_EQ(toolLogoImage("gemini-cli", sources), std::nullopt);

  // In the test environment installed applications do not count.
  sources.skipApplicationIcons = true;
  EXPECT_EQ(toolLogoImage("kimi-cli", sources), std::nullopt);
  EXPECT_TRUE(toolLogoImage("claude-code", sources).has_value());
}

QImage render(const QString& tool, QSize size, const ToolLogoSources& sources) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  drawToolLogo(painter, tool, QRectF(QPointF(0, 0), size), sources);
  return image;
}

TEST(ToolLogoGui, TilesFillTheRectWithRoundedCorners) {
  const ToolLogoSources none{nullptr, nullptr, true};
  // Kimi: a black tile with white strokes; the corner is cut by the rounding.
  const QImage kimi = render("kimi-cli", QSize(32, 32), none);
  EXPECT_EQ(kimi.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(kimi.pixelColor(28, 28), QColor(0, 0, 0));
  EXPECT_EQ(kimi.pixelColor(9, 16), QColor(255, 255, 255));  // the upright of its K at grid x 4.5

  // A wide rect: the tile spans it, radius from the shorter side, the mark stretched.
  const QImage wide = render("trae-ide", QSize(64, 16), none);
  EXPECT_GT(wide.pixelColor(32, 4).red(), 230);  // the mark's top bar, grid y 3 to 6
  EXPECT_EQ(wide.pixelColor(62, 8), QColor(28, 126, 214));
  EXPECT_EQ(wide.pixelColor(0, 0).alpha(), 0);
  EXPECT_GT(wide.pixelColor(4, 0).alpha(), 0);  // 3.5 units of 1 pixel: only the very corner is cut

  // No tool at all: a faint white tile with nothing on it.
  const QImage unknown = render("", QSize(16, 16), none);
  EXPECT_EQ(unknown.pixelColor(8, 8), unknown.pixelColor(3, 12));
  EXPECT_NEAR(unknown.pixelColor(8, 8).alphaF(), 0.15, 0.01);

  // A shipped or installed image is drawn clipped to the same rounded square.
  BundledSoftwareLogoCache bundled([](const QString&) { return std::nullopt; });
  bundled.images.insert(QStringLiteral("codex"), square(Qt::blue), 4096);
  const QImage codex = render("codex-cli", QSize(32, 32), ToolLogoSources{&bundled, nullptr, true});
  EXPECT_EQ(codex.pixelColor(16, 16), QColor(Qt::blue));
  EXPECT_EQ(codex.pixelColor(0, 0).alpha(), 0);
}

TEST(ToolLogoTest, InitialsOfToolsWithoutAMark) {
  const std::pair<const char*, const char*> cases[] = {
      {"warp", "Wa"}, {"windsurf", "Wi"}, {"Some Tool", "ST"}, {"qwen-code", "QC"}, {"", ""}, {"  ", ""},
  };
  for (const auto& [tool, initials] : cases) {
    EXPECT_EQ(toolLogoInitials(QString::fromUtf8(tool)), QString::fromUtf8(initials)) << tool;
  }
}

// The number of distinct colours in the middle of an image, where a mark or letters sit.
int coloursInTheMiddle(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y) {
    for (int x = image.width() / 4; x < image.width() * 3 / 4; ++x) {
      colours.insert(image.pixel(x, y));
    }
  }
  return static_cast<int>(colours.size());
}

TEST(ToolLogoGui, EveryCatalogueToolGetsAMarkOrItsInitials) {
  const ToolLogoSources none{nullptr, nullptr, true};
  for (const AIToolCatalogItem& row : aiToolCatalog()) {
    SCOPED_TRACE(row.id.toStdString());
    const QImage logo = render(row.id, QSize(40, 40), none);
    EXPECT_GT(coloursInTheMiddle(logo), 2) << "an empty tile";
  }
  // Warp in its own colour, with letters on it.
  const QImage warp = render("warp", QSize(40, 40), none);
  EXPECT_EQ(warp.pixelColor(3, 20), QColor(120, 90, 220));
}

}  // namespace
}  // namespace tandrel
