#include "selfcheck/functional/check_store.h"

namespace tandrel {

EventStoreOptions checkStoreOptions(const QString& eventFile, const QString& auditFile) {
  EventStoreOptions options;
  options.eventFile = eventFile;
  options.auditFile = auditFile;
  options.codexSessionsRoot = std::nullopt;
  options.claudeProjectsRoot = std::nullopt;
  return options;
}

}  // namespace tandrel
