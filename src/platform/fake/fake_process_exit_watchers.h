#pragma once

#include "platform/process_exit_watcher.h"

#include <map>
#include <vector>

namespace tandrel {

// A stand-in for tests: records the watchers it creates and reports exits only when told to.
class FakeProcessExitWatchers {
 public:
  FakeProcessExitWatchers();
  ~FakeProcessExitWatchers();
  FakeProcessExitWatchers(const FakeProcessExitWatchers&) = delete;
  FakeProcessExitWatchers& operator=(const FakeProcessExitWatchers&) = delete;

  ProcessExitWatcherFactory factory();

  // Runs the callback of every live (created, not cancelled, not yet fired) watcher of `pid`, at
  // once; returns how many ran.
  int exit(qint32 pid);
  // Watchers created so far, and those still live.
  int createdCount() const;
  int liveCount() const;
  // Pids of the live watchers, one entry per watcher.
  std::vector<qint32> livePids() const;

  struct Entry {
    qint32 pid = 0;
    ProcessExitCallback onExit;
    bool live = true;
  };

 private:
  std::shared_ptr<std::map<quint64, Entry>> entries_;
  quint64 next_ = 0;
};

}  // namespace tandrel
