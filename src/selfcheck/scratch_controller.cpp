#include "selfcheck/scratch_controller.h"

#include "selfcheck/functional/check_store.h"
#include "selfcheck/harness.h"

#include <QFile>

namespace tandrel {

namespace {

// The folder, fresh, with an empty bridge file.
QString preparedFolder(const QString& tempRoot, const QString& name) {
  const QString folder = freshScratchFolder(tempRoot, name).value_or(scratchPath(tempRoot, name));
  QFile bridge(scratchPath(folder, QStringLiteral("events.jsonl")));
  if (bridge.open(QIODevice::WriteOnly | QIODevice::Truncate)) bridge.close();
  return folder;
}

}  // namespace

ScratchController::ScratchController(const QString& tempRoot, const QString& name)
    : folder_(preparedFolder(tempRoot, name)),
      defaults_(scratchPath(folder_, QStringLiteral("defaults.json"))),
      audit_(Clock::system(), scratchPath(folder_, QStringLiteral("approval-audit.jsonl"))) {
  OverlayControllerOptions options;
  options.store = storeOptionsWithoutAgentFolders(scratchPath(folder_, QStringLiteral("events.jsonl")),
                                                  scratchPath(folder_, QStringLiteral("audit.jsonl")));
  options.socketPath = scratchPath(folder_, QStringLiteral("tandrel.sock"));
  options.pendingActions = &pendingActions_;
  options.audit = &audit_;
  options.defaults = &defaults_;
  options.windowServer = &windowServer_;
  controller_ = std::make_unique<OverlayController>(std::move(options));
}

ScratchController::~ScratchController() = default;

}  // namespace tandrel
