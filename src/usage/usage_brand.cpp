#include "usage/usage_brand.h"

#include "catalog/tool_catalog.h"

#include <array>

namespace tandrel {
namespace {

struct UsageBrand {
  const char* needle;  // what a normalized name contains
  QString name;
  QStringList toolIDs;
};

const std::array<UsageBrand, 5>& usageBrands() {
  static const std::array<UsageBrand, 5> brands{{
      {"claude", QStringLiteral("Claude"), {QStringLiteral("claude-code"), QStringLiteral("claude-app")}},
      {"codex", QStringLiteral("Codex"), {QStringLiteral("codex-cli"), QStringLiteral("codex-app")}},
      {"cursor", QStringLiteral("Cursor"), {QStringLiteral("cursor-ide"), QStringLiteral("cursor-agent-cli")}},
      {"trae", QStringLiteral("Trae"),
       {QStringLiteral("trae-ide"), QStringLiteral("trae-agent-cli"), QStringLiteral("trae-solo")}},
      {"opencode", QStringLiteral("OpenCode"), {QStringLiteral("opencode-cli")}},
  }};
  return brands;
}

const UsageBrand* brandOf(const QString& brandOrTool) {
  const QString normalized = brandOrTool.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
  for (const UsageBrand& brand : usageBrands()) {
    if (!normalized.contains(QLatin1String(brand.needle))) {
      continue;
    }
    // Claude Dev (the old name of Cline) is not Claude.
    if (brand.name == QLatin1String("Claude") && normalized.contains(QLatin1String("claude-dev"))) {
      continue;
    }
    return &brand;
  }
  return nullptr;
}

}  // namespace

QString usageBrandName(const QString& brandOrTool) {
  const UsageBrand* brand = brandOf(brandOrTool);
  return brand ? brand->name : toolDisplayName(brandOrTool);
}

QStringList usageToolIDs(const QString& brandOrTool) {
  const UsageBrand* brand = brandOf(brandOrTool);
  return brand ? brand->toolIDs : QStringList{canonicalToolID(brandOrTool)};
}

}  // namespace tandrel
