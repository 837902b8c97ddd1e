#pragma once

#include "hooks/hook_manager.h"
#include "jump/terminal_launchers.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

// The AI Tools tab without drawing: which tools it lists and in what order, what a row's one
// button does, the banner texts, what opening a tool means on this desktop, and where each row
// sits on the page (the drawing and the click routing share these rectangles).

namespace tandrel {

class AppLocator;

// One product of the catalogue with its rows, in catalogue order.
struct AIToolGroup {
  QString product;
  std::vector<ToolHealth> tools;
};

// The rows grouped by product, products in catalogue order (each once); inside a group the rows
// follow the catalogue position of their id (unknown ids last, ties keep their given order).
// Rows of a product that is not in the catalogue are left out.
std::vector<AIToolGroup> settingsAIToolGroups(const std::vector<ToolHealth>& rows);

// Detected and its status is not missing: the tab calls every other row "not installed".
bool settingsToolIsDetected(const ToolHealth& tool);
// The row's button brings the tool forward: "jump only" integrations, or a jump integration or
// capability on an application surface ("App", "IDE", "App/Web", "App/Cloud").
bool settingsToolIsJumpAction(const ToolHealth& tool);
// Codex has our hooks but skips them until the user trusts them in Codex.
bool settingsToolAwaitsTrust(const ToolHealth& tool);

// The one button a row can show.
enum class SettingsToolPrimaryAction { download, repair, jump, bridge, none };

SettingsToolPrimaryAction settingsToolPrimaryAction(const ToolHealth& tool);
// "Download", "Repair", "Jump", "Bridge"; nothing for no button.
std::optional<QString> settingsToolActionTitle(const ToolHealth& tool);

// Banner texts after opening a tool, and after failing to.
QString settingsToolOpenedStatus(const ToolHealth& tool);
QString settingsToolOpenFailedStatus(const ToolHealth& tool);

// Banner colours of the tab.
namespace ai_tools_colors {
inline const QColor kSuccess = QColor::fromRgbF(0.0f, 214.0f / 255, 163.0f / 255);
inline const QColor kInfo = QColor::fromRgbF(77.0f / 255, 159.0f / 255, 1.0f);
inline const QColor kWarning = QColor::fromRgbF(1.0f, 187.0f / 255, 0.0f);
inline const QColor kFailure = QColor::fromRgbF(1.0f, 85.0f / 255, 85.0f / 255);
}  // namespace ai_tools_colors

// The status badge of a row: its text, the symbol before it (may be empty), its colour, and
// whether it is drawn muted.
struct ToolSettingsBadge {
  QString text;
  QString symbol;
  QColor color;
  bool muted = false;

  bool operator==(const ToolSettingsBadge&) const = default;
};

ToolSettingsBadge toolStatusBadge(const ToolHealth& tool);

// The row's second line when the row needs the user: the health's reason for an installed row in
// error (its usage text would read as ready) and what to do for a Codex row waiting for trust;
// otherwise nothing (the page then shows the integration and usage texts). Drawn in the colour of
// the row's status badge.
std::optional<QString> toolAttentionLine(const ToolHealth& tool);

// Where things sit on the page, in content coordinates of the settings panel.
namespace ai_tools_layout {
constexpr qreal kFirstGroupY = 105.5;
constexpr qreal kPanelX = 168;
constexpr qreal kPanelWidth = 680;
constexpr qreal kRowHeight = 68;
constexpr qreal kTitleToRows = 16;
constexpr qreal kGroupGap = 16;
// Content height of a page without groups.
constexpr qreal kEmptyContentHeight = 129.5;
}  // namespace ai_tools_layout

struct AIToolsRowFrame {
  ToolHealth tool;
  QRectF rect;
};

struct AIToolsGroupFrame {
  QString product;
  qreal titleY = 0;
  QRectF panel;
  std::vector<AIToolsRowFrame> rows;
};

struct AIToolsPageLayout {
  std::vector<AIToolsGroupFrame> groups;
  qreal contentHeight = ai_tools_layout::kEmptyContentHeight;
};

AIToolsPageLayout aiToolsPageLayout(const std::vector<ToolHealth>& rows);
// The row rectangle of the row with this id in the grouping of `rows`; nothing when none has it.
std::optional<QRectF> toolRowFrame(const std::vector<ToolHealth>& rows, const QString& id);
// The page's Refresh button for a view `width` wide, and a row's button and enable toggle.
QRectF aiToolsRefreshButtonRect(qreal width);
QRectF toolActionButtonRect(const QRectF& row);
QRectF toolEnableToggleRect(const QRectF& row);

// The web search for a tool's name: "/search" with the name as "q".
std::optional<QUrl> toolWebSearchURL(const QString& name);

// What opening a tool comes down to.
struct ToolOpenPlan {
  enum class Kind { nothing, url, launch };
  Kind kind = Kind::nothing;
  QUrl url;               // Kind::url: a web address or a local file or folder
  LaunchCommand command;  // Kind::launch: an installed application, started detached

  bool operator==(const ToolOpenPlan&) const = default;
};

// The row's jump target, in this order: nothing without one; a web address that parses; a file
// or folder that exists (a program, desktop entry or AppImage gives its folder, so that opening
// never runs it); the desktop entry of an installed application, its program found on PATH;
// otherwise a web search for the tool's name. Reads the disk through `locator`: call it off the
// main thread.
ToolOpenPlan toolOpenPlan(const ToolHealth& tool, const AppLocator& locator);

}  // namespace tandrel
