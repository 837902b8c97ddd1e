#include "selfcheck/checks/check_group.h"

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

}  // namespace tandrel
