#include "selfcheck/functional/check_store.h"

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

}  // namespace tandrel
