#include "selfcheck/checks/check_group.h"

#include "catalog/tool_catalog.h"
#include "selfcheck/fixture_builders.h"
#include "selfcheck/harness.h"

namespace tandrel {

void CheckGroup::checkTime(double seconds, double limit, const char* sentence) {
  failures_.checkTiming(seconds, limit,
                        sentenceWithSeconds(QString::fromUtf8(sentence) + QStringLiteral("; took "), seconds));
}

bool CheckGroup::written(const Result<void>& result, const char* fixture) {
  if (!result) {
    failures_.check(false, QStringLiteral("could not write %1: ").arg(QString::fromUtf8(fixture)) + result.error());
  }
  return static_cast<bool>(result);
}

QString CheckGroup::path(const char* name) const { return scratchPath(tempRoot_, QString::fromUtf8(name)); }

std::optional<QString> CheckGroup::freshFolder(const char* name, const char* fixture) {
  std::optional<QString> folder = freshScratchFolder(tempRoot_, QString::fromUtf8(name));
  if (!folder) written(Result<void>::failure(QStringLiteral("cannot empty the folder ") + path(name)), fixture);
  return folder;
}

std::vector<ToolHealth> catalogueToolHealth(
    const std::function<std::optional<HookStatus>(const QString& id)>& installed) {
  std::vector<ToolHealth> health;
  for (const AIToolCatalogItem& item : aiToolCatalog()) {
    const std::optional<HookStatus> status = installed(item.id);
    health.push_back(fixtureToolHealthRow(item.id, status.value_or(HookStatus::missing), status.has_value(), QString(),
                                          std::nullopt));
  }
  return health;
}

QString metricLabel(const std::optional<UsageMetric>& metric) { return metric ? metric->label : QString(); }

QStringList usageRowLabels(const UsageSnapshot& snapshot) {
  QStringList labels;
  for (const auto& [label, metric] : snapshot.rows()) labels << label;
  return labels;
}

}  // namespace tandrel
