#pragma once

#include "platform/window_activator.h"

#include <QHash>

#include <mutex>
#include <vector>

namespace tandrel {

// A desktop whose windows the test lists: which window ids exist, which process owns each (the
// test also gives the parent of each process) and each window's WM_CLASS. Records every activation.
class FakeWindowActivator final : public WindowActivator {
 public:
  struct Window {
    quint64 id = 0;
    qint64 pid = 0;
    QString wmClass;
  };
  std::vector<Window> windows;        // topmost last, like _NET_CLIENT_LIST_STACKING
  QHash<qint64, qint64> parents;      // pid -> parent pid
  bool displayAvailable = true;
  mutable std::vector<quint64> activated;

  Result<void> activateWindow(quint64 windowID) const override {
    if (!displayAvailable) return unavailable();
    for (const Window& window : windows) {
      if (window.id == windowID) return record(window.id);
    }
    return Result<void>::failure(QStringLiteral("no such window"));
  }
  Result<void> activateWindowOfProcess(qint64 pid) const override {
    if (!displayAvailable) return unavailable();
    for (qint64 current = pid; current > 0; current = parents.value(current, 0)) {
      for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (it->pid == current) return record(it->id);
      }
    }
    return Result<void>::failure(QStringLiteral("no window belongs to the process or its parents"));
  }
  Result<void> activateWindowOfClass(const QStringList& classes) const override {
    if (!displayAvailable) return unavailable();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      if (classes.contains(it->wmClass, Qt::CaseInsensitive)) return record(it->id);
    }
    return Result<void>::failure(QStringLiteral("no window of that class"));
  }

 private:
  Result<void> record(quint64 id) const {
    std::lock_guard lock(mutex_);
    activated.push_back(id);
    return Result<void>::success();
  }
  static Result<void> unavailable() {
    return Result<void>::failure(QStringLiteral("window activation is not available on this platform"));
  }
  mutable std::mutex mutex_;
};

}  // namespace tandrel
