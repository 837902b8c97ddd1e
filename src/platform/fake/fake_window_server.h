#pragma once

#include "platform/window_server.h"

#include <map>
#include <vector>

namespace tandrel {

// A window server for tests: reports the windows and compositor state the test sets, records
// the windows prepared as overlays or to stay above others, and fires workspace changes on request.
class FakeWindowServer final : public WindowServer {
 public:
  std::vector<WindowSnapshot> windows;
  bool compositor = false;
  bool fullScreenState = true;  // the window manager marks full-screen windows
  std::vector<WId> preparedWindows;
  std::vector<WId> aboveWindows;
  // The shape each window was cut to last; a shape is refused while `shapes` is false.
  bool shapes = true;
  std::map<WId, QRegion> windowShapes;
  int snapshotCalls = 0;

  std::vector<WindowSnapshot> currentWindowSnapshots() override {
    ++snapshotCalls;
    return windows;
  }
  bool supportsFullScreenState() override { return fullScreenState; }
  bool hasCompositor() override { return compositor; }
  Result<void> prepareOverlayWindow(WId window) override {
    preparedWindows.push_back(window);
    return Result<void>::success();
  }
  Result<void> prepareWindowAboveOthers(WId window) override {
    aboveWindows.push_back(window);
    return Result<void>::success();
  }
  Result<void> setWindowShape(WId window, const QRegion& region) override {
    if (!shapes) {
      return Result<void>::failure(QStringLiteral("window shapes: not available on this platform"));
    }
    windowShapes[window] = region;
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
