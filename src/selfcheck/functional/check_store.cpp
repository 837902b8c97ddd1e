#include "selfcheck/functional/check_store.h"

#include "selfcheck/harness.h"

#include <QFile>

namespace tandrel {

EventStoreOptions storeOptionsWithoutAgentFolders(const QString& eventFile, const QString& auditFile) {
  EventStoreOptions options;
  options.eventFile = eventFile;
  options.auditFile = auditFile;
  options.codexSessionsRoot = std::nullopt;
  options.claudeProjectsRoot = std::nullopt;
  options.traeTrajectoryRoot = std::nullopt;
  options.cursorProjectsRoot = std::nullopt;
  options.traeLogsRoot = std::nullopt;
  return options;
}

EventStoreOptions emptyCheckStoreOptions(const QString& tempRoot, const QString& prefix) {
  const QString eventFile = scratchPath(tempRoot, prefix + QStringLiteral("-events.jsonl"));
  QFile file(eventFile);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.close();
  return storeOptionsWithoutAgentFolders(eventFile, scratchPath(tempRoot, prefix + QStringLiteral("-audit.jsonl")));
}

}  // namespace tandrel
