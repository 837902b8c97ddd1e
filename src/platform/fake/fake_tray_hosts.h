#pragma once

#include "platform/tray_hosts.h"

namespace tandrel {

// Tray hosts for tests: runs what the test says, and tells of each change.
class FakeTrayHosts final : public TrayHosts {
 public:
  Running running() const override { return running_; }

  void set(Running running) {
    if (running == running_) {
      return;
    }
    running_ = running;
    Q_EMIT changed();
  }
  void setXEmbed(bool runs) { set({runs, running_.statusNotifier}); }

 private:
  Running running_;
};

}  // namespace tandrel
