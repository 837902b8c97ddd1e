#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

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

// The Linux watcher: pidfd_open and a readiness notifier on the main event loop; where pidfd is
// unavailable (or `forceProcPoll` is set, for tests) a /proc/<pid>/stat poll every
// `kProcPollIntervalMs`. A pid that is already gone (ESRCH) is reported at once.
std::unique_ptr<ProcessExitWatcher> watchProcessExit(qint32 pid, ProcessExitCallback onExit,
                                                     bool forceProcPoll = false);
ProcessExitWatcherFactory systemProcessExitWatcherFactory();

inline constexpr int kProcPollIntervalMs = 250;

// The state letter of a /proc/<pid>/stat line (the field after the parenthesised command name,
// which may itself hold parentheses and blanks), or nothing when the line has none.
std::optional<char> procStatState(const QByteArray& statLine);

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
