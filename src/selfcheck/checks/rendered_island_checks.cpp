#include "selfcheck/checks/rendered_island_checks.h"

#include "events/event_store.h"
#include "island/inbox_layout.h"
#include "island/tandrel_view.h"
#include "island/usage_header.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/fixture_renderer.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/island_renders.h"
#include "selfcheck/pixel_measures.h"

#include <QDir>
#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <functional>
#include <optional>
#include <set>

namespace tandrel {
namespace {

using namespace pixel_measures;

// The Codex CLI installed with its hooks healthy, so that the finished task's usage shows.
std::vector<ToolHealth> installedCodexCLI() {
  return {fixtureToolHealthRow(QStringLiteral("codex-cli"), HookStatus::healthy, true, QStringLiteral("~/.codex/config.toml"),
                               std::nullopt)};
}

// What the island draws where, from the view's own layout at the island's size.
struct DrawnIsland {
  inbox_layout::InboxPageLayout page;
  std::vector<UsageMeterRow> meters;
  std::optional<TopStatusMeter> topMeter;
};

DrawnIsland drawnIsland(EventStore& store) {
  const QSizeF size = fixtureFrame({"expanded-check", {island::kExpandedWidth, kExpandedHeightForMessages},
                                    OverlayMode::expanded},
                                   store);
  TandrelView view(QSize(static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))), store);
  view.setMode(OverlayMode::expanded);
  view.toolHealth = installedCodexCLI();
  view.normalizeActiveUsageTool();
  DrawnIsland drawn{view.pageLayout(), {}, std::nullopt};
  if (const std::optional<UsageSnapshot> snapshot = view.usageSnapshotForTool(view.activeUsageTool)) {
    drawn.meters = usageMeterRows(*snapshot, view.activeUsageTool, size.width(),
                                  static_cast<int>(view.enabledUsageTools().size()));
    drawn.topMeter = expandedTopStatusMeter(*snapshot, drawn.page.topSettingsRect(),
                                            QFontMetricsF(islandFont(10, QFont::Bold)).horizontalAdvance(kTopStatusMeterWidestText));
  }
  return drawn;
}

// The pixels of `image` under `rect` at or above `minimumLuminance`, by pixel column: whether
// they form one stroke (one connected shape, one run down each column), as a single check mark
// does and a double one or a box does not.
bool singleStroke(const QImage& image, const QRectF& rect, double minimumLuminance) {
  const qreal ratio = image.devicePixelRatio();
  const QRect pixels = QRect(QPoint(std::floor(rect.left() * ratio), std::floor(rect.top() * ratio)),
                             QPoint(std::ceil(rect.right() * ratio) - 1, std::ceil(rect.bottom() * ratio) - 1))
                           .intersected(image.rect());
  std::set<std::pair<int, int>> lit;
  for (int x = pixels.left(); x <= pixels.right(); ++x) {
    int runs = 0;
    bool inRun = false;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
      const bool on = luminance(image.pixelColor(x, y)) >= minimumLuminance;
      if (on) {
        lit.insert({x, y});
      }
      runs += on && !inRun ? 1 : 0;
      inRun = on;
    }
    if (runs > 1) {
      return false;
    }
  }
  if (lit.empty()) {
    return false;
  }
  // One shape: every lit pixel reached from the first through lit neighbours.
  std::set<std::pair<int, int>> reached{*lit.begin()};
  std::vector<std::pair<int, int>> open{*lit.begin()};
  while (!open.empty()) {
    const auto [x, y] = open.back();
    open.pop_back();
    for (int dx = -1; dx <= 1; ++dx) {
      for (int dy = -1; dy <= 1; ++dy) {
        const std::pair<int, int> next{x + dx, y + dy};
        if (lit.contains(next) && reached.insert(next).second) {
          open.push_back(next);
        }
      }
    }
  }
  return reached.size() == lit.size();
}

// How many pixels under `rect` read as amber: red × alpha at least 0.44, green × alpha at least
// 0.26, blue × alpha at most 0.24.
int amberPixels(const QImage& image, const QRectF& rect) {
  const qreal ratio = image.devicePixelRatio();
  int count = 0;
  for (int y = std::max(0, int(std::floor(rect.top() * ratio))); y < std::min(image.height(), int(std::ceil(rect.bottom() * ratio))); ++y) {
    for (int x = std::max(0, int(std::floor(rect.left() * ratio))); x < std::min(image.width(), int(std::ceil(rect.right() * ratio))); ++x) {
      const QColor c = image.pixelColor(x, y);
      count += c.redF() * c.alphaF() >= 0.44 && c.greenF() * c.alphaF() >= 0.26 && c.blueF() * c.alphaF() <= 0.24 ? 1 : 0;
    }
  }
  return count;
}

bool near(QPointF a, QPointF b, qreal tolerance) {
  return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

}  // namespace

void runRenderedExpandedIslandChecks(SelfCheckFailures& failures, const QString& eventFile) {
  if (auto written = writeJSONLines(fixtureRecords(), eventFile); !written) {
    failures.check(false, QStringLiteral("visual fixture setup failed: ") + written.error());
    return;
  }
  EventStore store(storeOptionsWithoutAgentFolders(eventFile, QFileInfo(eventFile).absoluteDir().filePath(QStringLiteral("visual-fixture-audit.jsonl"))));
  store.reload(false);
  store.ensureMessageCache();
  const DrawnIsland drawn = drawnIsland(store);
  const inbox_layout::InboxPageLayout& page = drawn.page;

  // Every row holds at 1× and at 2×.
  const auto atEachRatio = [&store](const std::function<bool(const QImage&)>& holds) {
    for (const qreal ratio : {1.0, 2.0}) {
      const Result<QImage> image = renderExpandedIsland(store, ratio, installedCodexCLI());
      if (!image || !holds(*image)) {
        return false;
      }
    }
    return true;
  };
  const auto check = [&](bool condition, const char* message) { failures.check(condition, QString::fromUtf8(message)); };

  const bool hasCard = !page.page().empty();
  const QRectF card = hasCard ? page.messageRect(0) : QRectF();
  // Just below the first card's source badge, above its first preview line, where a taller badge
  // would still draw.
  const QRectF belowBadge(card.left() + 74, card.top() + 23, 62, 3);
  check(hasCard && atEachRatio([&](const QImage& image) { return maxLuminance(image, belowBadge) <= 0.08; }),
        "message labels should use compact badge height");

  const auto buttons = hasCard ? page.actionButtonRects(0) : decltype(page.actionButtonRects(0)){};
  QRectF buttonRow;
  for (const auto& [button, rect] : buttons) {
    buttonRow = buttonRow.united(rect);
  }
  // A band as wide as the buttons, 22 above their row, clear of the preview lines.
  const QRectF aboveButtons(buttonRow.left(), buttonRow.top() - 4, buttonRow.width(), 3);
  check(!buttons.empty() && atEachRatio([&](const QImage& image) { return maxLuminance(image, aboveButtons) <= 0.08; }),
        "message action buttons should shrink vertically");
  check(!buttons.empty() && atEachRatio([&](const QImage& image) {
          for (const auto& [button, rect] : buttons) {
            if (button.role != QLatin1String("ignore")) {
              QRectF probe(0, 0, 18, 18);
              probe.moveCenter(rect.center());
              if (maxSaturation(image, probe) >= 0.18) {
                return true;
              }
            }
          }
          return false;
        }),
        "message action buttons should render distinct role colors");

  const QRectF markRead = page.clearPageRect();
  const QRectF trash = page.clearAllRect();
  check(atEachRatio([&](const QImage& image) {
          const std::optional<QRectF> glyph = visibleBounds(image, markRead, 0.08);
          const std::optional<QRectF> can = coloredBounds(image, trash, 0.12);
          return glyph && near(glyph->center(), markRead.center(), 4) && maxSaturation(image, markRead) <= 0.16 && can &&
                 near(can->center(), trash.center(), 4) && amberPixels(image, *can) < 5;
        }),
        "message clear toolbar should use prototype mark-read and trash buttons");
  const QRectF checkArea(markRead.left() + 4, markRead.top() + 4, 14, 14);
  check(atEachRatio([&](const QImage& image) {
          return visibleBounds(image, checkArea, 0.12) && singleStroke(image, checkArea, 0.12);
        }),
        "message clear toolbar mark-read button should render one checkmark");

  check(drawn.meters.size() == 3 && atEachRatio([&](const QImage& image) {
          std::vector<QColor> colours;
          for (const UsageMeterRow& row : drawn.meters) {
            const std::optional<QRectF> bar = coloredBounds(image, row.trackRect.adjusted(-1, -2, 1, 2), 0.12);
            if (!bar || bar->height() < 3) {
              return false;
            }
            colours.push_back(image.pixelColor((bar->center() * image.devicePixelRatio()).toPoint()));
          }
          // Told apart by hue, at least 30 degrees apart.
          for (size_t i = 0; i < colours.size(); ++i) {
            for (size_t j = i + 1; j < colours.size(); ++j) {
              const int apart = std::abs(colours[i].hsvHue() - colours[j].hsvHue()) % 360;
              if (std::min(apart, 360 - apart) < 30) {
                return false;
              }
            }
          }
          return true;
        }),
        "usage rows should render three differently colored thick progress bars");

  check(drawn.meters.size() == 3 && atEachRatio([&](const QImage& image) {
          std::vector<qreal> rights;
          for (const UsageMeterRow& row : drawn.meters) {
            const std::optional<QRectF> value = coloredBounds(image, QRectF(row.valueRect.topLeft(), QSizeF(row.valueRect.width(), 14)), 0.08);
            if (!value) {
              return false;
            }
            rights.push_back(value->right());
          }
          const auto [low, high] = std::minmax_element(rights.begin(), rights.end());
          // The first row's suffix (the context window's share left) begins just right of the
          // values' column.
          const UsageMeterRow& first = drawn.meters.front();
          const std::optional<QRectF> suffix =
              visibleBounds(image, QRectF(*high + 1, first.suffixRect.top(), first.suffixRect.right() - *high - 1, 14), 0.14);
          return *high - *low <= 2 && suffix && suffix->left() - *high <= 24;
        }),
        "usage row values should sit near the right-side suffix column");

  const QRectF settings = page.topSettingsRect();
  check(drawn.topMeter && atEachRatio([&](const QImage& image) {
          const QRectF probe(drawn.topMeter->textRect.left(), 6, settings.left() - drawn.topMeter->textRect.left(), 22);
          const std::optional<QRectF> percent = coloredBounds(image, probe, 0.12);
          return percent && std::abs(percent->center().y() - settings.center().y()) <= 4 &&
                 percent->right() <= settings.left() && settings.left() - percent->right() <= 8 + 4;
        }),
        "expanded top-row percentage should align with the settings button column");
}

}  // namespace tandrel
