// Tool identity: source words to identifiers, names, models and colours, and where a tool's
// application or executable is installed.
#include "catalog/paths.h"
#include "catalog/tool_catalog.h"
#include "platform/app_locator.h"

namespace tandrel {

namespace {

bool has(const QString& text, const char* part) { return text.contains(QLatin1String(part)); }

}  // namespace

const AIToolCatalogItem* catalogItem(const QString& id) {
  for (const AIToolCatalogItem& item : aiToolCatalog()) {
    if (item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

const AIToolCatalogItem* catalogItemForSource(const QString& source) {
  const QString canonical = canonicalToolID(source);
  for (const AIToolCatalogItem& item : aiToolCatalog()) {
    if (item.id == canonical || item.name.compare(source, Qt::CaseInsensitive) == 0) {
      return &item;
    }
  }
  return nullptr;
}

bool isPiToolSource(const QString& source) {
  QString value = source;
  value.replace(QLatin1Char('_'), QLatin1Char('-'));
  value.replace(QLatin1Char('/'), QLatin1Char('-'));
  return value == QLatin1String("pi") || value == QLatin1String("pi-coding-agent") ||
         has(value, "@earendil-works-pi") || has(value, "earendil-works-pi-coding-agent");
}

QString canonicalToolID(const QString& source) {
  const QString lower = source.toLower();
  QString dashed = lower;
  dashed.replace(QLatin1Char('_'), QLatin1Char('-'));
  dashed.replace(QLatin1Char(' '), QLatin1Char('-'));
  if (phaseOneToolIDs().contains(dashed)) {
    return dashed;
  }
  QString spaced = lower;
  spaced.replace(QLatin1Char('_'), QLatin1Char(' '));
  spaced.replace(QLatin1Char('-'), QLatin1Char(' '));

  if (has(spaced, "claude app")) return QStringLiteral("claude-app");
  if (has(lower, "claude-dev")) return QStringLiteral("cline");
  if (has(lower, "claude")) return QStringLiteral("claude-code");
  if (has(spaced, "codex app")) return QStringLiteral("codex-app");
  if (has(lower, "codex")) return QStringLiteral("codex-cli");
  if (has(spaced, "cursor agent")) return QStringLiteral("cursor-agent-cli");
  if (has(lower, "cursor")) return QStringLiteral("cursor-ide");
  if (has(lower, "kilo")) return QStringLiteral("kilo-code");
  if (isPiToolSource(lower)) return QStringLiteral("pi");
  if (has(lower, "roo")) return QStringLiteral("roo-code");
  if (has(lower, "cline")) return QStringLiteral("cline");
  if (has(lower, "factory") || has(lower, "droid")) return QStringLiteral("factory-droid");
  if (has(spaced, "trae agent") || has(lower, "trae-agent") || has(lower, "trae-cli")) {
    return QStringLiteral("trae-agent-cli");
  }
  if (has(spaced, "trae solo")) return QStringLiteral("trae-solo");
  if (has(lower, "trae")) return QStringLiteral("trae-ide");
  if (has(lower, "gemini")) return QStringLiteral("gemini-cli");
  if (has(lower, "opencode")) return QStringLiteral("opencode-cli");
  if (has(lower, "copilot")) {
    if (has(lower, "vscode") || has(lower, "extension")) {
      return QStringLiteral("copilot-vscode-extension");
    }
    if (has(lower, "agent")) return QStringLiteral("copilot-coding-agent");
    return QStringLiteral("copilot-cli");
  }
  if (has(lower, "vs code") || has(lower, "vscode")) return QStringLiteral("vscode-host");
  if (has(lower, "kimi")) {
    return has(lower, "cli") ? QStringLiteral("kimi-cli") : QStringLiteral("kimi-app-web");
  }
  QString fallback = lower;
  fallback.replace(QLatin1Char(' '), QLatin1Char('-'));
  return fallback;
}

QString toolDisplayName(const QString& source) {
  const QString lower = source.toLower();
  for (const AIToolCatalogItem& item : aiToolCatalog()) {
    QString underscored = item.id;
    underscored.replace(QLatin1Char('-'), QLatin1Char('_'));
    if (item.id == lower || underscored == lower) {
      return item.name;
    }
  }
  if (has(lower, "kilo")) return QStringLiteral("Kilo Code");
  if (isPiToolSource(lower)) return QStringLiteral("Pi");
  if (has(lower, "roo")) return QStringLiteral("Roo Code");
  if (has(lower, "cline") || has(lower, "claude-dev")) return QStringLiteral("Cline");
  if (has(lower, "claude")) {
    return has(lower, "app") ? QStringLiteral("Claude App") : QStringLiteral("Claude Code");
  }
  if (has(lower, "codex")) {
    return has(lower, "app") ? QStringLiteral("Codex App") : QStringLiteral("Codex CLI");
  }
  if (has(lower, "cursor")) {
    return has(lower, "agent") || has(lower, "cli") ? QStringLiteral("Cursor Agent CLI")
                                                    : QStringLiteral("Cursor IDE");
  }
  if (has(lower, "factory") || has(lower, "droid")) return QStringLiteral("Factory Droid");
  if (has(lower, "gemini")) return QStringLiteral("Gemini CLI");
  if (has(lower, "trae")) {
    if (has(lower, "agent") || has(lower, "cli")) return QStringLiteral("Trae Agent CLI");
    if (has(lower, "solo")) return QStringLiteral("Trae SOLO");
    return QStringLiteral("Trae IDE");
  }
  if (has(lower, "copilot")) {
    if (has(lower, "vscode") || has(lower, "extension")) {
      return QStringLiteral("Copilot VS Code Extension");
    }
    if (has(lower, "agent")) return QStringLiteral("Copilot Coding Agent");
    return QStringLiteral("Copilot CLI");
  }
  if (has(lower, "opencode")) return QStringLiteral("OpenCode CLI");
  if (has(lower, "windsurf")) return QStringLiteral("Windsurf");
  if (has(lower, "vscode") || has(lower, "vs code")) return QStringLiteral("VS Code Host");
  if (has(lower, "kimi")) {
    return has(lower, "cli") ? QStringLiteral("Kimi CLI") : QStringLiteral("Kimi App / Web");
  }
  return source.isEmpty() ? QStringLiteral("Agent") : source;
}

QString defaultModel(const QString& id) {
  static const std::vector<std::pair<QStringList, QString>> table = {
      {{QStringLiteral("claude"), QStringLiteral("claude-code")}, QStringLiteral("Sonnet 4.5")},
      {{QStringLiteral("claude-app")}, QStringLiteral("Claude default")},
      {{QStringLiteral("codex"), QStringLiteral("codex-cli"), QStringLiteral("codex-app")},
       QStringLiteral("GPT-5.5-Codex")},
      {{QStringLiteral("cursor"), QStringLiteral("cursor-ide"), QStringLiteral("cursor-agent-cli")},
       QStringLiteral("GPT-4o")},
      {{QStringLiteral("cline"), QStringLiteral("roo-code"), QStringLiteral("opencode-cli")},
       QStringLiteral("Configured model")},
      {{QStringLiteral("gemini-cli")}, QStringLiteral("Gemini 2.5 Pro")},
      {{QStringLiteral("warp")}, QStringLiteral("Warp AI")},
      {{QStringLiteral("windsurf")}, QStringLiteral("Windsurf default")},
  };
  for (const auto& [ids, label] : table) {
    if (ids.contains(id)) {
      return label;
    }
  }
  return QStringLiteral("Auto");
}

QColor toolColor(const QString& source) {
  if (const AIToolCatalogItem* item = catalogItemForSource(source)) {
    return item->color;
  }
  const QString lower = source.toLower();
  if (has(lower, "qwen")) return QColor::fromRgb(98, 82, 255);
  if (has(lower, "qoder")) return QColor::fromRgb(92, 126, 255);
  if (has(lower, "codebuddy") || has(lower, "code buddy")) return QColor::fromRgb(31, 185, 129);
  return QColor::fromRgbF(1.0F, 1.0F, 1.0F, 0.48F);
}

std::optional<QString> executableInPath(const QString& name) {
  return executableInPath(name, AppLocator::system());
}

std::optional<QString> executableInPath(const QString& name, const AppLocator& locator) {
  return locator.executableInPath(name);
}

std::optional<QString> preferredExistingAppPath(const QStringList& candidates) {
  const AppLocator& locator = AppLocator::system();
  return preferredExistingAppPath(
      candidates, [&locator](const QString& path) { return locator.appExists(path); });
}

std::optional<QString> preferredExistingAppPath(const QStringList& candidates,
                                                const PathPredicate& appExists) {
  if (candidates.isEmpty()) {
    return std::nullopt;
  }
  QStringList expanded;
  expanded.reserve(candidates.size());
  for (const QString& candidate : candidates) {
    expanded.append(candidate.startsWith(QLatin1String("~/")) ? tilde(candidate.mid(2))
                                                              : candidate);
  }
  for (const QString& path : expanded) {
    if (appExists(path)) {
      return path;
    }
  }
  return expanded.first();
}

std::optional<QString> bundleIdentifierAt(const QString& path) {
  return bundleIdentifierAt(path, AppLocator::system());
}

std::optional<QString> bundleIdentifierAt(const QString& path, const AppLocator& locator) {
  const auto entry = locator.desktopEntryForApp(path);
  if (!entry || entry->id.isEmpty()) {
    return std::nullopt;
  }
  return entry->id;
}

std::optional<QString> softwareLogoAppPath(const QString& tool) {
  const AppLocator& locator = AppLocator::system();
  return softwareLogoAppPath(tool,
                             [&locator](const QString& path) { return locator.appExists(path); });
}

std::optional<QString> softwareLogoAppPath(const QString& tool, const PathPredicate& appExists) {
  const QString id = canonicalToolID(tool);
  if (id == QLatin1String("claude-app") || id == QLatin1String("claude-code")) {
    return QStringLiteral("/Applications/Claude.app");
  }
  if (id == QLatin1String("codex-app") || id == QLatin1String("codex-cli")) {
    return QStringLiteral("/Applications/Codex.app");
  }
  if (id == QLatin1String("cursor-ide") || id == QLatin1String("cursor-agent-cli")) {
    return QStringLiteral("/Applications/Cursor.app");
  }
  if (id == QLatin1String("cursor-glass")) {
    return preferredExistingAppPath({QStringLiteral("/Applications/Cursor Glass.app"),
                                     QStringLiteral("/Applications/Cursor.app")},
                                    appExists);
  }
  if (id == QLatin1String("trae-ide") || id == QLatin1String("trae-agent-cli")) {
    return preferredExistingAppPath(
        {QStringLiteral("/Applications/Trae.app"), QStringLiteral("/Applications/Trae CN.app")},
        appExists);
  }
  if (id == QLatin1String("trae-solo")) {
    return preferredExistingAppPath({QStringLiteral("/Applications/TRAE SOLO CN.app"),
                                     QStringLiteral("/Applications/Trae SOLO.app")},
                                    appExists);
  }
  if (id == QLatin1String("kimi-app-web") || id == QLatin1String("kimi-cli")) {
    return QStringLiteral("/Applications/Kimi.app");
  }
  return std::nullopt;
}

}  // namespace tandrel
