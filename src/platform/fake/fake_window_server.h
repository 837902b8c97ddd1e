#pragma once

#include "platform/window_server.h"

#include <vector>

namespace tandrel {

// A window server for tests: reports the windows and compositor state the test sets, records
// the windows prepared as overlays or to stay above others, and fires workspace changes on request.
class FakeWindowServer final : public WindowServer {
 public:
  std::vector<WindowSnapshot> windows;
  bool compositor = false;
  std::vector<WId> preparedWindows;
  std::vector<WId> aboveWindows;
  int snapshotCalls = 0;

  std::vector<WindowSnapshot> currentWindowSnapshots() override {
    ++snapshotCalls;
    return windows;
  }
  bool hasCompositor() override { return compositor; }
  Result<void> prepareOverlayWindow(WId window) override {
    preparedWindows.push_back(window);
    return Result<void>::success();
  }
  Result<void> prepareWindowAboveOthers(WId window) override {
    aboveWindows.push_back(window);
    return Result<void>::success();
  }
  void setWorkspaceChangedHandler(std::function<void()> handler) override { workspaceChanged_ = std::move(handler); }

  void switchWorkspace() {
    if (workspaceChanged_) {
      workspaceChanged_();
    }
  }

 private:
  std::function<void()> workspaceChanged_;
};

}  // namespace tandrel
