#pragma once

// The services an OverlayController is built over in a test, each its own: a pending-action
// store on a fake clock, an audit file, a defaults file and the bridge's socket in a temporary
// home, with the start-up switches of the environment taken away.

#include "app/overlay_controller.h"

#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_process_exit_watchers.h"
#include "platform/user_defaults.h"
#include "requests/audit_writer.h"
#include "requests/pending_action_store.h"
#include "support/temp_home.h"

#include <optional>

namespace tandrel::test {

class OverlayControllerFixture {
 protected:
  OverlayControllerFixture()
      : audit(clock, home.file(QStringLiteral(".tandrel/audit.jsonl"))),
        pendingActions(clock, watchers.factory()),
        defaults(home.file(QStringLiteral("defaults.json"))) {
    home.setEnv("TANDREL_START_SETTINGS", std::nullopt);
    home.setEnv("TANDREL_START_EXPANDED", std::nullopt);
    home.setEnv("TANDREL_DEBUG_REGULAR", std::nullopt);
  }

  // Options over these services; a test adds what else it needs.
  OverlayControllerOptions fixtureOptions() {
    OverlayControllerOptions options;
    options.store.eventFile = home.file(QStringLiteral("events.jsonl"));
    options.socketPath = home.file(QStringLiteral(".tandrel/tandrel.sock"));
    options.pendingActions = &pendingActions;
    options.audit = &audit;
    options.defaults = &defaults;
    options.clock = &clock;
    return options;
  }

  TempHome home;
  FakeClock clock;
  FakeProcessExitWatchers watchers;
  AuditWriter audit;
  PendingActionStore pendingActions;
  UserDefaults defaults;
};

}  // namespace tandrel::test
