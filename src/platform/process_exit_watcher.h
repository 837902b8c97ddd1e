#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace tandrel {

// How a watcher learns that its process ended.
enum class ProcessExitWatchMethod {
  // A pidfd (pidfd_open) whose readiness the main event loop watches.
  pidfd,
  // A timer on the main thread that reads /proc/<pid>/stat, for kernels without pidfd_open.
  procPoll,
  // Nothing is watched: the pid cannot name a process (0 or negative).
  none,
};

// Watches one process and reports, at most once and always later on the main thread (never from
// inside the constructor), that the process has exited. A zombie, exited but not yet reaped by
// its parent, counts as exited; so does a pid that names no process at all.
//
// Create, cancel and destroy it on the main thread. Destroying it cancels it; after cancel() the
// callback never runs, even when the exit was already noticed. A cancelled (or destroyed) watcher
// holds no file descriptor and no timer.
class ProcessExitWatcher {
 public:
  virtual ~ProcessExitWatcher() = default;

  virtual void cancel() = 0;
  // "app.tandrel.agent-pid-watcher.<pid>", the name the watcher's notifier carries.
  virtual QString label() const = 0;
  virtual ProcessExitWatchMethod method() const = 0;
};

using ProcessExitCallback = std::function<void()>;
using ProcessExitWatcherFactory =
    std::function<std::unique_ptr<ProcessExitWatcher>(qint32 pid, ProcessExitCallback onExit)>;

// "app.tandrel.agent-pid-watcher." followed by the pid in decimal.
QString processExitWatcherLabel(qint32 pid);

// The watcher of this machine (pidfd, with a /proc poll where that is unavailable).
ProcessExitWatcherFactory systemProcessExitWatcherFactory();

}  // namespace tandrel
