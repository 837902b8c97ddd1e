#include "island/inbox_hit_test.h"

namespace tandrel::inbox_hit_test {

using inbox_layout::InboxPageLayout;

namespace {
ExpandedClickTarget target(ExpandedClickTarget::Kind kind, const QString& tool = {},
                           std::optional<IslandMessage> message = std::nullopt, const QString& role = {}) {
  ExpandedClickTarget result;
  result.kind = kind;
  result.tool = tool;
  result.message = std::move(message);
  result.role = role;
  return result;
}

int pageSize(const InboxPageLayout& layout) { return static_cast<int>(layout.page().size()); }

struct EnabledOptionHit {
  int pageIndex;
  MessageOption option;
  QRectF rect;
};

// The first enabled option of an open choice card under the point.
std::optional<EnabledOptionHit> enabledChoiceOptionAt(const InboxPageLayout& layout, QPointF point) {
  for (int i = 0; i < pageSize(layout); ++i) {
    for (const auto& [option, rect] : layout.choiceOptionRects(i)) {
      if (!option.disabledReason && rect.contains(point)) {
        return EnabledOptionHit{i, option, rect};
      }
    }
  }
  return std::nullopt;
}
}  // namespace

QRectF settingsPressRect(QSizeF viewSize) { return {viewSize.width() - 72, 0, 72, 42}; }

QRectF petRailPressRect() { return {12, 28, 112, 127}; }

std::optional<int> choiceNoteMessage(const InboxPageLayout& layout, QPointF point) {
  for (int i = 0; i < pageSize(layout); ++i) {
    const std::optional<QRectF> note = layout.choiceNoteRect(i);
    if (note && note->contains(point)) {
      return i;
    }
  }
  return std::nullopt;
}

std::optional<std::pair<int, MessageOption>> choiceAction(const InboxPageLayout& layout, QPointF point) {
  if (std::optional<EnabledOptionHit> hit = enabledChoiceOptionAt(layout, point)) {
    return std::pair{hit->pageIndex, std::move(hit->option)};
  }
  return std::nullopt;
}

std::optional<QRectF> hoverHighlightRect(const InboxPageLayout& layout, const std::optional<QPointF>& point) {
  if (!point) {
    return std::nullopt;
  }
  const std::optional<EnabledOptionHit> hit = enabledChoiceOptionAt(layout, *point);
  return hit ? std::optional(hit->rect) : std::nullopt;
}

bool choiceOptionContains(const InboxPageLayout& layout, QPointF point) {
  for (int i = 0; i < pageSize(layout); ++i) {
    for (const auto& [option, rect] : layout.choiceOptionRects(i)) {
      if (rect.contains(point)) {
        return true;
      }
    }
  }
  return false;
}

std::optional<std::pair<int, QString>> messageAction(const InboxPageLayout& layout, QPointF point) {
  for (int i = 0; i < pageSize(layout); ++i) {
    if (!layout.messageRect(i).contains(point)) {
      continue;
    }
    for (const auto& [button, rect] : layout.actionButtonRects(i)) {
      if (rect.contains(point)) {
        return std::pair{i, button.role};
      }
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<int> choiceCardOrBodyMessage(const InboxPageLayout& layout, QPointF point) {
  for (int i = 0; i < pageSize(layout); ++i) {
    if (layout.page()[static_cast<size_t>(i)].choiceOptions.isEmpty()) {
      continue;
    }
    const std::optional<QRectF> body = layout.choiceBodyRect(i);
    if (layout.messageRect(i).contains(point) || (body && body->contains(point))) {
      return i;
    }
  }
  return std::nullopt;
}

ExpandedClickTarget expandedClickTarget(const InboxPageLayout& layout, QSizeF viewSize, OverlayMode mode,
                                        const std::vector<std::pair<QString, QRectF>>& usageTabs, QPointF point) {
  using Kind = ExpandedClickTarget::Kind;
  if (layout.quitRect().contains(point)) {
    return target(Kind::quit);
  }
  for (const auto& [tool, rect] : usageTabs) {
    if (rect.contains(point)) {
      return target(Kind::usageTool, tool);
    }
  }
  if (mode == OverlayMode::expanded && settingsPressRect(viewSize).contains(point)) {
    return target(Kind::settings);
  }
  if (layout.clearPageRect().contains(point)) {
    return target(Kind::clearPage);
  }
  if (layout.clearAllRect().contains(point)) {
    return target(Kind::clearAll);
  }
  if (const auto option = choiceAction(layout, point)) {
    return target(Kind::messageAction, {}, layout.page()[static_cast<size_t>(option->first)],
                  kChooseOptionPrefix + option->second.id);
  }
  if (const auto action = messageAction(layout, point)) {
    return target(Kind::messageAction, {}, layout.page()[static_cast<size_t>(action->first)], action->second);
  }
  return target(Kind::none);
}

}  // namespace tandrel::inbox_hit_test
