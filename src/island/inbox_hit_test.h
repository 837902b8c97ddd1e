#pragma once

// What a press on the expanded island hits: a toolbar button, a usage tab, a choice option, a card
// button, an open choice card's note field or the card itself. Pure functions of the page layout
// (the rectangles the painters draw) and the point, in the view's y-down coordinates.

#include "inbox/island_message.h"
#include "island/inbox_layout.h"
#include "ui/overlay_mode.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tandrel {

// The result of a hit test of the expanded island, in the order the cases are tested after the
// quit button.
struct ExpandedClickTarget {
  enum class Kind { usageTool, messageAction, quit, settings, clearPage, clearAll, none };
  Kind kind = Kind::none;
  QString tool;                          // usageTool
  std::optional<IslandMessage> message;  // messageAction
  QString role;                          // messageAction: a button's role or "choose_option:<id>"

  bool operator==(const ExpandedClickTarget&) const = default;
};

namespace inbox_hit_test {

inline const QString kChooseOptionPrefix = QStringLiteral("choose_option:");

// The settings gear's press area, larger than the glyph: the top-right 72 x 42.
QRectF settingsPressRect(QSizeF viewSize);
// The pet rail, where a press may start dragging the pet out.
QRectF petRailPressRect();

// The first open choice card (page index) whose note field holds the point.
std::optional<int> choiceNoteMessage(const inbox_layout::InboxPageLayout& layout, QPointF point);
// The first enabled option of an open choice card under the point, with its card's page index.
std::optional<std::pair<int, MessageOption>> choiceAction(const inbox_layout::InboxPageLayout& layout, QPointF point);
// What the island draws highlighted for a pointer at `point`: the enabled choice option under it.
std::optional<QRectF> hoverHighlightRect(const inbox_layout::InboxPageLayout& layout,
                                         const std::optional<QPointF>& point);
// Whether the point is on any option of an open choice card, enabled or not.
bool choiceOptionContains(const inbox_layout::InboxPageLayout& layout, QPointF point);
// The first card holding the point, then the first of its buttons that does: page index and role.
std::optional<std::pair<int, QString>> messageAction(const inbox_layout::InboxPageLayout& layout, QPointF point);
// The first card with choice options whose card or open body holds the point.
std::optional<int> choiceCardOrBodyMessage(const inbox_layout::InboxPageLayout& layout, QPointF point);

// The target of a press: quit, a usage tab (`usageTabs`: tool and rectangle, in order), settings
// (expanded mode only), clear page, clear all, an enabled choice option, a card button, else none.
ExpandedClickTarget expandedClickTarget(const inbox_layout::InboxPageLayout& layout, QSizeF viewSize,
                                        OverlayMode mode, const std::vector<std::pair<QString, QRectF>>& usageTabs,
                                        QPointF point);

}  // namespace inbox_hit_test
}  // namespace tandrel
