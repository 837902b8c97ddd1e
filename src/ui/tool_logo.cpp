#include "ui/tool_logo.h"

#include "catalog/paths.h"
#include "catalog/software_logo_cache.h"
#include "catalog/tool_catalog.h"
#include "ui/island_geometry.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegularExpression>

#include <algorithm>
#include <initializer_list>

namespace tandrel {

namespace {

QColor rgb(int red, int green, int blue) { return QColor(red, green, blue); }
QColor white(qreal alpha) { return QColor::fromRgbF(1, 1, 1, static_cast<float>(alpha)); }

// A point of the 16 x 16 grid spread over the rect.
class Grid {
 public:
  explicit Grid(const QRectF& rect) : rect_(rect) {}

  QPointF at(qreal a, qreal b) const {
    return {rect_.left() + rect_.width() * a / 16, rect_.top() + rect_.height() * b / 16};
  }
  QRectF rect(qreal a, qreal b, qreal width, qreal height) const { return {at(a, b), at(a + width, b + height)}; }
  QPolygonF polygon(std::initializer_list<QPointF> points) const {
    QPolygonF out;
    for (const QPointF& point : points) {
      out << at(point.x(), point.y());
    }
    return out;
  }
  // A length in grid units, on the shorter side.
  qreal units(qreal value) const { return std::min(rect_.width(), rect_.height()) * value / 16; }

 private:
  QRectF rect_;
};

void fillPolygon(QPainter& painter, const QPolygonF& polygon, const QColor& color) {
  QPainterPath path;
  path.addPolygon(polygon);
  path.closeSubpath();
  painter.fillPath(path, color);
}

void strokeLine(QPainter& painter, const QPointF& from, const QPointF& to, const QColor& color, qreal width) {
  QPen pen(color, width, Qt::SolidLine, Qt::RoundCap);
  painter.setPen(pen);
  painter.drawLine(from, to);
  painter.setPen(Qt::NoPen);
}

void fillRoundedRect(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  painter.fillPath(path, color);
}

void drawLetters(QPainter& painter, const QString& letters, const QRectF& rect, qreal unit) {
  QFont font = islandFont(std::max<qreal>(1, (letters.size() == 1 ? 10 : 7) * unit), QFont::Black);
  painter.setFont(font);
  painter.setPen(white(0.95));
  painter.drawText(rect.adjusted(1, 2, -1, -2), Qt::AlignCenter, letters);
  painter.setPen(Qt::NoPen);
}

QColor tileColor(ToolLogoTile tile) {
  switch (tile) {
    case ToolLogoTile::tandrel: return rgb(255, 111, 84);
    case ToolLogoTile::claude: return rgb(204, 120, 92);
    case ToolLogoTile::codex: return QColor::fromRgbF(0.1f, 0.1f, 0.1f);
    case ToolLogoTile::cursor: return rgb(26, 26, 46);
    case ToolLogoTile::kilo: return rgb(12, 13, 16);
    case ToolLogoTile::pi: return rgb(9, 9, 11);
    case ToolLogoTile::roo:
    case ToolLogoTile::cline: return white(0.94);
    case ToolLogoTile::gemini: return rgb(142, 117, 178);
    case ToolLogoTile::copilot: return rgb(24, 23, 23);
    case ToolLogoTile::vscode: return rgb(0, 122, 204);
    case ToolLogoTile::factory: return rgb(255, 159, 67);
    case ToolLogoTile::trae: return rgb(28, 126, 214);
    case ToolLogoTile::opencode: return rgb(0, 180, 216);
    case ToolLogoTile::kimi: return rgb(0, 0, 0);
    case ToolLogoTile::neutral: break;
  }
  return white(0.15);
}

void drawMark(QPainter& painter, ToolLogoTile tile, const QRectF& rect, const Grid& g, qreal unit) {
  const QColor mark = white(0.95);
  switch (tile) {
    case ToolLogoTile::tandrel:
      drawLetters(painter, QStringLiteral("Tandrel").left(1).toUpper(), rect, unit);
      break;
    case ToolLogoTile::claude:
      drawLetters(painter, QStringLiteral("Cl"), rect, unit);
      break;
    case ToolLogoTile::codex:
      drawLetters(painter, QStringLiteral("Cx"), rect, unit);
      break;
    case ToolLogoTile::factory:
      drawLetters(painter, QStringLiteral("F"), rect, unit);
      break;
    case ToolLogoTile::cursor:  // a pointer arrow
      fillPolygon(painter, g.polygon({{4, 2}, {4, 13}, {7, 10}, {9, 14.5}, {11, 13.5}, {9, 9.5}, {13, 9.5}}), mark);
      break;
    case ToolLogoTile::kilo: {  // a blocky K beside a column of dots
      const QColor grey = rgb(108, 112, 126);
      for (const QRectF& r : {g.rect(3, 3, 2, 10), g.rect(5, 7, 2, 2), g.rect(7, 5, 2, 2), g.rect(9, 3, 2, 2),
                              g.rect(7, 9, 2, 2), g.rect(9, 11, 2, 2), g.rect(12, 3, 1.5, 1.5), g.rect(12, 5.5, 1.5, 1.5),
                              g.rect(12, 8, 1.5, 1.5), g.rect(12, 10.5, 1.5, 1.5), g.rect(12, 13, 1.5, 1.5)}) {
        painter.fillRect(r, grey);
      }
      break;
    }
    case ToolLogoTile::pi:  // π
      for (const QRectF& r : {g.rect(3, 4, 10, 2), g.rect(5, 6, 2, 7), g.rect(9.5, 6, 2, 6), g.rect(11.5, 11, 1.5, 2)}) {
        painter.fillRect(r, Qt::white);
      }
      break;
    case ToolLogoTile::roo:  // a kangaroo
      fillPolygon(painter,
                  g.polygon({{3, 13},
                             {5, 9},
                             {7, 7},
                             {9, 6.5},
                             {10, 4},
                             {11, 2.5},
                             {12, 3.5},
                             {12.5, 5.5},
                             {11.5, 7},
                             {11, 10},
                             {13.5, 13.5},
                             {11, 13.5},
                             {9, 11},
                             {6, 12},
                             {4.5, 13.5}}),
                  rgb(116, 83, 219));
      break;
    case ToolLogoTile::cline: {  // a robot's head
      const QColor ink = rgb(36, 41, 47);
      QPainterPath antenna;
      antenna.addEllipse(g.rect(6.75, 1.25, 2.5, 2.5));
      painter.fillPath(antenna, ink);
      fillRoundedRect(painter, g.rect(3, 4.5, 10, 8), g.units(2.2), ink);
      fillRoundedRect(painter, g.rect(5.5, 12.5, 5, 2), g.units(1), ink);
      strokeLine(painter, g.at(6, 7.5), g.at(6, 10), white(0.94), g.units(1.3));
      strokeLine(painter, g.at(10, 7.5), g.at(10, 10), white(0.94), g.units(1.3));
      break;
    }
    case ToolLogoTile::gemini: {  // a four-pointed star
      QPainterPath star(g.at(8, 1.5));
      star.cubicTo(g.at(8.5, 6), g.at(10, 7.5), g.at(14.5, 8));
      star.cubicTo(g.at(10, 8.5), g.at(8.5, 10), g.at(8, 14.5));
      star.cubicTo(g.at(7.5, 10), g.at(6, 8.5), g.at(1.5, 8));
      star.cubicTo(g.at(6, 7.5), g.at(7.5, 6), g.at(8, 1.5));
      star.closeSubpath();
      painter.fillPath(star, white(0.94));
      break;
    }
    case ToolLogoTile::copilot: {  // goggles over a smile
      fillRoundedRect(painter, g.rect(2.5, 5, 11, 7.5), g.units(3), white(0.94));
      QPainterPath eyes;
      eyes.addEllipse(g.rect(4.5, 7, 3, 3));
      eyes.addEllipse(g.rect(8.5, 7, 3, 3));
      painter.fillPath(eyes, QColor::fromRgbF(0, 0, 0, 0.78f));
      strokeLine(painter, g.at(5, 14), g.at(11, 14), Qt::white, g.units(1.2));
      break;
    }
    case ToolLogoTile::vscode:  // a ribbon folded into "<|"
      fillPolygon(painter, g.polygon({{11.5, 1.5}, {14, 2.8}, {14, 13.2}, {11.5, 14.5}, {5, 9.8}, {2, 12}, {2, 4}, {5, 6.2}}),
                  mark);
      break;
    case ToolLogoTile::trae:  // a bevelled corner block
      fillPolygon(painter, g.polygon({{3, 3}, {13, 3}, {13, 13}, {10, 13}, {10, 6}, {5.5, 6}, {3, 8.5}}), mark);
      break;
    case ToolLogoTile::opencode:  // a prompt ">_"
      strokeLine(painter, g.at(4, 4.5), g.at(8, 8), Qt::white, g.units(1.6));
      strokeLine(painter, g.at(8, 8), g.at(4, 11.5), Qt::white, g.units(1.6));
      strokeLine(painter, g.at(9, 12), g.at(13, 12), Qt::white, g.units(1.6));
      break;
    case ToolLogoTile::kimi:  // K
      strokeLine(painter, g.at(4.5, 3), g.at(4.5, 13), Qt::white, g.units(1.6));
      strokeLine(painter, g.at(4.5, 8.5), g.at(11, 3), Qt::white, g.units(1.6));
      strokeLine(painter, g.at(7, 7), g.at(11.5, 13), Qt::white, g.units(1.6));
      break;
    case ToolLogoTile::neutral:
      break;
  }
}

bool containsAny(const QString& text, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(), [&text](const char* word) { return text.contains(QLatin1String(word)); });
}

}  // namespace

ToolLogoTile toolLogoTile(const QString& tool) {
  const QString lower = tool.toLower();
  if (lower.contains(QLatin1String("tandrel"))) return ToolLogoTile::tandrel;
  if (lower.contains(QLatin1String("claude"))) return ToolLogoTile::claude;
  if (lower.contains(QLatin1String("codex"))) return ToolLogoTile::codex;
  if (lower.contains(QLatin1String("cursor"))) return ToolLogoTile::cursor;
  if (lower.contains(QLatin1String("kilo"))) return ToolLogoTile::kilo;
  if (isPiToolSource(lower)) return ToolLogoTile::pi;
  if (lower.contains(QLatin1String("roo"))) return ToolLogoTile::roo;
  if (lower.contains(QLatin1String("cline"))) return ToolLogoTile::cline;
  if (lower.contains(QLatin1String("gemini"))) return ToolLogoTile::gemini;
  if (containsAny(lower, {"copilot", "github"})) return ToolLogoTile::copilot;
  if (containsAny(lower, {"vscode", "vs code"})) return ToolLogoTile::vscode;
  if (containsAny(lower, {"factory", "droid"})) return ToolLogoTile::factory;
  if (lower.contains(QLatin1String("trae"))) return ToolLogoTile::trae;
  if (lower.contains(QLatin1String("opencode"))) return ToolLogoTile::opencode;
  if (lower.contains(QLatin1String("kimi"))) return ToolLogoTile::kimi;
  return ToolLogoTile::neutral;
}

std::optional<QString> toolLogoResourceName(const QString& tool) {
  struct Entry {
    const char* name;
    std::initializer_list<const char*> ids;
  };
  static const Entry kEntries[] = {
      {"claude", {"claude-app", "claude-code"}},
      {"codex", {"codex-app", "codex-cli"}},
      {"cursor", {"cursor-ide", "cursor-glass", "cursor-agent-cli"}},
      {"trae-solo", {"trae-solo"}},
      {"trae", {"trae-ide", "trae-agent-cli"}},
      {"vscode", {"vscode-host"}},
  };
  const QString id = canonicalToolID(tool);
  for (const Entry& entry : kEntries) {
    if (std::any_of(entry.ids.begin(), entry.ids.end(), [&id](const char* known) { return id == QLatin1String(known); })) {
      return QString::fromLatin1(entry.name);
    }
  }
  return std::nullopt;
}

ToolLogoSources ToolLogoSources::shared() {
  return {&BundledSoftwareLogoCache::shared(), &SoftwareLogoCache::shared(), isTestEnvironment()};
}

std::optional<QImage> toolLogoImage(const QString& tool, const ToolLogoSources& sources) {
  if (const auto name = toolLogoResourceName(tool); name && sources.bundled != nullptr) {
    if (auto image = sources.bundled->lookup(*name)) {
      return image;
    }
  }
  if (sources.skipApplicationIcons || sources.applications == nullptr) {
    return std::nullopt;
  }
  const auto appPath = softwareLogoAppPath(tool);
  return appPath ? sources.applications->logo(*appPath) : std::nullopt;
}

void drawToolLogoTile(QPainter& painter, ToolLogoTile tile, const QRectF& rect) {
  const Grid grid(rect);
  const qreal unit = grid.units(1);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  fillRoundedRect(painter, rect, 3.5 * unit, tileColor(tile));
  drawMark(painter, tile, rect, grid, unit);
  painter.restore();
}

QString toolLogoInitials(const QString& tool) {
  if (tool.trimmed().isEmpty()) {
    return {};
  }
  QStringList words = toolDisplayName(tool).split(QRegularExpression(QStringLiteral("[^\\p{L}\\p{N}]+")),
                                                   Qt::SkipEmptyParts);
  if (words.isEmpty()) {
    return {};
  }
  if (words.size() == 1) {
    const QString& word = words.first();
    return word.left(1).toUpper() + word.mid(1, 1).toLower();
  }
  return (words[0].left(1) + words[1].left(1)).toUpper();
}

void drawToolLogo(QPainter& painter, const QString& tool, const QRectF& rect, const ToolLogoSources& sources) {
  if (const auto image = toolLogoImage(tool, sources)) {
    const qreal radius = 3.5 * std::min(rect.width(), rect.height()) / 16;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(rect, radius, radius);
    painter.setClipPath(clip, Qt::IntersectClip);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(rect, *image);
    painter.restore();
    return;
  }
  const ToolLogoTile tile = toolLogoTile(tool);
  const QString initials = tile == ToolLogoTile::neutral ? toolLogoInitials(tool) : QString();
  if (initials.isEmpty()) {
    drawToolLogoTile(painter, tile, rect);
    return;
  }
  // A tool without a mark of ours: its initials, on its own colour where the catalogue has one.
  const AIToolCatalogItem* item = catalogItemForSource(tool);
  const QColor colour = item != nullptr ? item->color : tileColor(ToolLogoTile::neutral);
  const Grid grid(rect);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  fillRoundedRect(painter, rect, 3.5 * grid.units(1), colour);
  drawLetters(painter, initials, rect, grid.units(1));
  painter.restore();
}

}  // namespace tandrel
