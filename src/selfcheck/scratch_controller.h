#pragma once

// An application controller a check builds over files of its own in the run's folder, so that
// nothing it does reaches the user's bridge file, audits, settings or socket: an empty bridge
// file, the action audit, the approval audit, the user defaults and the socket path all lie in
// one folder, requests go to a pending-action store of its own, and the window server only
// records what it is asked. Nothing is launched: surfaces exist only once the check rebuilds them.

#include "app/overlay_controller.h"
#include "platform/fake/fake_window_server.h"
#include "platform/user_defaults.h"
#include "requests/audit_writer.h"
#include "requests/pending_action_store.h"

#include <QString>

#include <memory>

namespace tandrel {

class ScratchController {
 public:
  // The folder `tempRoot`/`name`, emptied of what an earlier run left; its bridge file
  // "events.jsonl" is created empty.
  ScratchController(const QString& tempRoot, const QString& name);
  ~ScratchController();
  ScratchController(const ScratchController&) = delete;
  ScratchController& operator=(const ScratchController&) = delete;

  OverlayController& controller() { return *controller_; }
  UserDefaults& defaults() { return defaults_; }
  FakeWindowServer& windowServer() { return windowServer_; }

 private:
  const QString folder_;
  FakeWindowServer windowServer_;
  UserDefaults defaults_;
  AuditWriter audit_;
  PendingActionStore pendingActions_;
  std::unique_ptr<OverlayController> controller_;
};

}  // namespace tandrel
