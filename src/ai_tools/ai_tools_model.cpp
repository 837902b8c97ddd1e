#include "ai_tools/ai_tools_model.h"

#include "catalog/tool_catalog.h"
#include "jump/jump_openers.h"
#include "platform/app_locator.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace tandrel {

namespace {

bool isApplicationSurface(const QString& surface) {
  return surface == QLatin1String("App") || surface == QLatin1String("IDE") ||
         surface == QLatin1String("App/Web") || surface == QLatin1String("App/Cloud");
}

bool hasJumpCapability(const ToolHealth& tool) {
  return std::any_of(tool.capabilities.begin(), tool.capabilities.end(), [](const QString& capability) {
    return capability.contains(QLatin1String("jump"), Qt::CaseInsensitive);
  });
}

std::size_t catalogPosition(const QString& id) {
  const auto& catalog = aiToolCatalog();
  const auto it = std::find_if(catalog.begin(), catalog.end(),
                               [&id](const AIToolCatalogItem& item) { return item.id == id; });
  return it == catalog.end() ? std::numeric_limits<std::size_t>::max()
                             : static_cast<std::size_t>(it - catalog.begin());
}

// A file a desktop would run rather than show: programs, desktop entries and AppImages.
bool isRunnableFile(const QString& path, const AppLocator& locator) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return locator.isExecutableFile(path) || suffix == QLatin1String("desktop") ||
         suffix == QLatin1String("appimage");
}

}  // namespace

std::vector<AIToolGroup> settingsAIToolGroups(const std::vector<ToolHealth>& rows) {
  std::vector<AIToolGroup> groups;
  for (const AIToolCatalogItem& item : aiToolCatalog()) {
    if (std::any_of(groups.begin(), groups.end(),
                    [&item](const AIToolGroup& group) { return group.product == item.product; })) {
      continue;
    }
    AIToolGroup group{item.product, {}};
    for (const ToolHealth& row : rows) {
      if (row.product == item.product) {
        group.tools.push_back(row);
      }
    }
    if (group.tools.empty()) {
      continue;
    }
    std::stable_sort(group.tools.begin(), group.tools.end(), [](const ToolHealth& a, const ToolHealth& b) {
      return catalogPosition(a.id) < catalogPosition(b.id);
    });
    groups.push_back(std::move(group));
  }
  return groups;
}

bool settingsToolIsDetected(const ToolHealth& tool) {
  return tool.detected && tool.status != HookStatus::missing;
}

bool settingsToolIsJumpAction(const ToolHealth& tool) {
  const QString integration = tool.integration.toLower();
  if (integration == QLatin1String("jump only")) {
    return true;
  }
  if (integration.contains(QLatin1String("jump"))) {
    return isApplicationSurface(tool.surface);
  }
  return hasJumpCapability(tool) && isApplicationSurface(tool.surface);
}

bool settingsToolAwaitsTrust(const ToolHealth& tool) {
  return tool.id == QLatin1String("codex-cli") && tool.status == HookStatus::alpha &&
         tool.detail == codexAwaitingTrustDetail();
}

SettingsToolPrimaryAction settingsToolPrimaryAction(const ToolHealth& tool) {
  if (!settingsToolIsDetected(tool)) {
    return tool.jumpTarget && tool.jumpTarget->toLower().startsWith(QLatin1String("http"))
               ? SettingsToolPrimaryAction::download
               : SettingsToolPrimaryAction::none;
  }
  if (tool.status == HookStatus::repair) {
    return SettingsToolPrimaryAction::repair;
  }
  if (settingsToolIsJumpAction(tool)) {
    return SettingsToolPrimaryAction::jump;
  }
  if (tool.status == HookStatus::alpha && tool.integration.contains(QLatin1String("wrapper"), Qt::CaseInsensitive)) {
    return SettingsToolPrimaryAction::bridge;
  }
  return SettingsToolPrimaryAction::none;
}

std::optional<QString> settingsToolActionTitle(const ToolHealth& tool) {
  switch (settingsToolPrimaryAction(tool)) {
    case SettingsToolPrimaryAction::download: return QStringLiteral("Download");
    case SettingsToolPrimaryAction::repair: return QStringLiteral("Repair");
    case SettingsToolPrimaryAction::jump: return QStringLiteral("Jump");
    case SettingsToolPrimaryAction::bridge: return QStringLiteral("Bridge");
    case SettingsToolPrimaryAction::none: break;
  }
  return std::nullopt;
}

QString settingsToolOpenedStatus(const ToolHealth& tool) {
  if (!settingsToolIsDetected(tool)) {
    return QStringLiteral("Opened ") + tool.name + QStringLiteral(" download");
  }
  if (settingsToolIsJumpAction(tool)) {
    return QStringLiteral("Opened ") + tool.name;
  }
  return QStringLiteral("Opened ") + tool.name + QStringLiteral(" setup");
}

QString settingsToolOpenFailedStatus(const ToolHealth& tool) {
  return settingsToolIsDetected(tool) ? QStringLiteral("Could not open ") + tool.name
                                      : QStringLiteral("Could not open ") + tool.name + QStringLiteral(" download");
}

ToolSettingsBadge toolStatusBadge(const ToolHealth& tool) {
  if (!settingsToolIsDetected(tool)) {
    return {QStringLiteral("Not installed"), QString(), QColor::fromRgbF(1, 1, 1, 0.26f), true};
  }
  if (settingsToolAwaitsTrust(tool)) {
    return {QStringLiteral("Needs trust"), QStringLiteral("!"), ai_tools_colors::kWarning, false};
  }
  switch (tool.status) {
    case HookStatus::healthy:
      return {QStringLiteral("Healthy"), QStringLiteral("✓"), ai_tools_colors::kSuccess, false};
    case HookStatus::repair:
      return {QStringLiteral("Error"), QStringLiteral("!"), QColor::fromRgbF(1.0f, 0.5333f, 0.5333f), false};
    case HookStatus::alpha:
    case HookStatus::missing:  // not reached: a missing row is not installed
      break;
  }
  return {QStringLiteral("Installed"), QStringLiteral("✓"), ai_tools_colors::kSuccess, false};
}

std::optional<QString> toolAttentionLine(const ToolHealth& tool) {
  const bool inError = settingsToolIsDetected(tool) && tool.status == HookStatus::repair;
  if ((inError || settingsToolAwaitsTrust(tool)) && !tool.detail.isEmpty()) {
    return tool.detail;
  }
  return std::nullopt;
}

AIToolsPageLayout aiToolsPageLayout(const std::vector<ToolHealth>& rows) {
  using namespace ai_tools_layout;
  AIToolsPageLayout layout;
  qreal y = kFirstGroupY;
  for (AIToolGroup& group : settingsAIToolGroups(rows)) {
    AIToolsGroupFrame frame;
    frame.product = group.product;
    frame.titleY = y;
    const qreal rowsTop = y + kTitleToRows;
    const auto count = static_cast<qreal>(std::max<std::size_t>(group.tools.size(), 1));
    frame.panel = QRectF(kPanelX, rowsTop, kPanelWidth, kRowHeight * count);
    for (std::size_t i = 0; i < group.tools.size(); ++i) {
      frame.rows.push_back(
          {std::move(group.tools[i]), QRectF(kPanelX, rowsTop + kRowHeight * static_cast<qreal>(i), kPanelWidth, kRowHeight)});
    }
    y = frame.panel.bottom() + kGroupGap;
    layout.groups.push_back(std::move(frame));
  }
  if (!layout.groups.empty()) {
    layout.contentHeight = y + 24;
  }
  return layout;
}

std::optional<QRectF> toolRowFrame(const std::vector<ToolHealth>& rows, const QString& id) {
  for (const AIToolsGroupFrame& group : aiToolsPageLayout(rows).groups) {
    for (const AIToolsRowFrame& row : group.rows) {
      if (row.tool.id == id) {
        return row.rect;
      }
    }
  }
  return std::nullopt;
}

QRectF aiToolsRefreshButtonRect(qreal width) { return QRectF(width - 132, 66, 112, 28); }

QRectF toolActionButtonRect(const QRectF& row) { return QRectF(700, row.top() + 20, 84, 28); }

QRectF toolEnableToggleRect(const QRectF& row) { return QRectF(804, row.top() + 24, 36, 20); }

std::optional<QUrl> toolWebSearchURL(const QString& name) {
  // The characters a URL query may hold unencoded.
  static const QByteArray kQueryAllowed = QByteArrayLiteral("!$&'()*+,-./:;=?@_~");
  const QString query = QString::fromLatin1(QUrl::toPercentEncoding(name, kQueryAllowed));
  const QUrl url(QStringLiteral("https://www.google.com/search?q=") + query, QUrl::StrictMode);
  if (!url.isValid()) {
    return std::nullopt;
  }
  return url;
}

ToolOpenPlan toolOpenPlan(const ToolHealth& tool, const AppLocator& locator) {
  ToolOpenPlan plan;
  if (!tool.jumpTarget) {
    return plan;
  }
  const QString& target = *tool.jumpTarget;
  if (target.startsWith(QLatin1String("http"))) {
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
      plan.kind = ToolOpenPlan::Kind::url;
      plan.url = url;
      return plan;
    }
  }
  if (QFileInfo(target).isAbsolute() && locator.fileExists(target)) {
    plan.kind = ToolOpenPlan::Kind::url;
    plan.url = QUrl::fromLocalFile(isRunnableFile(target, locator) ? QFileInfo(target).absolutePath() : target);
    return plan;
  }
  // An application named the way the tool ships it elsewhere ("/Applications/Trae.app").
  const auto entry = target.endsWith(QLatin1String(".app"), Qt::CaseInsensitive)
                         ? locator.desktopEntryForApp(target)
                         : std::nullopt;
  if (entry) {
    if (auto command = JumpOpeners::desktopEntryCommand(*entry, std::nullopt)) {
      const auto program = command->program.contains(QLatin1Char('/'))
                               ? (locator.isExecutableFile(command->program) ? std::optional(command->program)
                                                                             : std::nullopt)
                               : locator.executableInPath(command->program);
      if (program) {
        command->program = *program;
        plan.kind = ToolOpenPlan::Kind::launch;
        plan.command = *command;
        return plan;
      }
    }
  }
  if (const auto search = toolWebSearchURL(tool.name)) {
    plan.kind = ToolOpenPlan::Kind::url;
    plan.url = *search;
  }
  return plan;
}

}  // namespace tandrel
