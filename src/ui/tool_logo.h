#pragma once

#include <QImage>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

// The small square logo of an agent tool, wherever the app names a tool (AI Tools rows, the
// island's usage header and capsule, inbox cards): a logo shipped with the app, else the icon of
// the tool's installed application, else a coloured tile with a mark of our own.

namespace tandrel {

class BundledSoftwareLogoCache;
class SoftwareLogoCache;

// The drawn tiles, in the order their tests are tried.
enum class ToolLogoTile {
  tandrel,
  claude,
  codex,
  cursor,
  kilo,
  pi,
  roo,
  cline,
  gemini,
  copilot,
  vscode,
  factory,
  trae,
  opencode,
  kimi,
  neutral,
};

// The tile for a tool id or name: the first of the table's tests that the lower-cased text
// passes ("claude" → claude, "github" → copilot, anything unknown → neutral). The neutral tile
// carries the tool's initials, in its catalogue colour when it has one.
ToolLogoTile toolLogoTile(const QString& tool);

// The base name of the logo shipped for a tool ("claude" for "claude-code" and "claude-app"), or
// nothing for tools without one.
std::optional<QString> toolLogoResourceName(const QString& tool);

// Where the logos come from; the shared caches by default.
struct ToolLogoSources {
  BundledSoftwareLogoCache* bundled = nullptr;
  SoftwareLogoCache* applications = nullptr;
  // Application icons are not looked at (the test environment, so that fixtures do not depend on
  // what is installed).
  bool skipApplicationIcons = false;

  // The shared caches, with application icons skipped in the test environment.
  static ToolLogoSources shared();
};

// The image the logo is drawn from (shipped logo, then application icon), or nothing for a tile.
std::optional<QImage> toolLogoImage(const QString& tool, const ToolLogoSources& sources);

// Draws the logo of `tool` in `rect`: an image clipped to a rounded square, or the tile. Corners
// have radius 3.5 sixteenths of the shorter side; marks sit on a 16 x 16 grid over the rect.
void drawToolLogo(QPainter& painter, const QString& tool, const QRectF& rect,
                  const ToolLogoSources& sources = ToolLogoSources::shared());

// Only the tile, whatever images there are.
void drawToolLogoTile(QPainter& painter, ToolLogoTile tile, const QRectF& rect);

// The letters of the tile drawn for a tool without a mark of its own: the first letters of the
// first two words of its display name ("Some Tool" -> "ST"), or the first two letters of a
// one-word name ("Warp" -> "Wa"); empty for an empty text.
QString toolLogoInitials(const QString& tool);

}  // namespace tandrel
