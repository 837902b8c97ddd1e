#pragma once

// What the check groups written as classes share: the run's failure list and folder, the ways a
// group records a check, a timing or a fixture it could not write, and a store that reads only the
// files a group gives it.

#include "base/result.h"
#include "events/event_store.h"
#include "hooks/hook_manager.h"
#include "selfcheck/functional/check_store.h"
#include "selfcheck/self_check.h"
#include "usage/usage_snapshot.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace tandrel {

class CheckGroup {
 public:
  CheckGroup(SelfCheckFailures& failures, const QString& tempRoot) : failures_(failures), tempRoot_(tempRoot) {}

 protected:

  void check(bool condition, const char* sentence) { failures_.check(condition, QString::fromUtf8(sentence)); }
  // A timing check whose sentence ends with what it measured: "<sentence>; took 0.0123s".
  void checkTime(double seconds, double limit, const char* sentence);
  // False, after recording "could not write <fixture>: <reason>", when `result` failed.
  bool written(const Result<void>& result, const char* fixture);
  // `name` under the run's folder.
  QString path(const char* name) const;
  // `name` under the run's folder, emptied of what an earlier run left; nothing, after recording
  // that `fixture` could not be written, when it cannot be.
  std::optional<QString> freshFolder(const char* name, const char* fixture);

  SelfCheckFailures& failures_;
  const QString tempRoot_;
};

// One tool-health row per catalogue tool, in catalogue order: detected with the status
// `installed` gives for its id, or missing and not detected when it gives none.
std::vector<ToolHealth> catalogueToolHealth(
    const std::function<std::optional<HookStatus>(const QString& id)>& installed);

// A meter's label; "" when the meter is absent.
QString metricLabel(const std::optional<UsageMetric>& metric);
// The labels of a reading's meter rows, in order.
QStringList usageRowLabels(const UsageSnapshot& snapshot);

}  // namespace tandrel
