#include "platform/linux/pidfd_process_exit_watcher.h"

#include "base/descriptor_headroom.h"
#include "platform/dispatch.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>

#include <fcntl.h>

#include <sys/syscall.h>
#include <unistd.h>

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif

namespace tandrel {
namespace {

// What the posted exit report shares with its watcher: whether the watcher was cancelled in the
// meantime, and the callback.
struct WatchState {
  bool cancelled = false;
  ProcessExitCallback onExit;
};

class LinuxProcessExitWatcher final : public ProcessExitWatcher {
 public:
  LinuxProcessExitWatcher(qint32 pid, ProcessExitCallback onExit, bool forceProcPoll)
      : pid_(pid), label_(processExitWatcherLabel(pid)), state_(std::make_shared<WatchState>()) {
    state_->onExit = std::move(onExit);
    if (pid <= 0) {
      method_ = ProcessExitWatchMethod::none;
      return;
    }
    if (!forceProcPoll) {
      long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0U);
      if (isInDescriptorHeadroom(static_cast<int>(fd))) {
        ::close(static_cast<int>(fd));  // kept for the rest of the app: poll instead
        fd = -1;
        errno = EMFILE;
      }
      if (fd >= 0) {
        pidfd_ = static_cast<int>(fd);
        method_ = ProcessExitWatchMethod::pidfd;
        notifier_ = std::make_unique<QSocketNotifier>(pidfd_, QSocketNotifier::Read);
        notifier_->setObjectName(label_);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this] { reportExit(); });
        return;
      }
      if (errno == ESRCH) {
        method_ = ProcessExitWatchMethod::pidfd;
        reportExit();
        return;
      }
      // ENOSYS (old kernel), EPERM (a sandbox), EMFILE or ENFILE (no descriptor left, or only
      // the headroom): poll instead.
    }
    method_ = ProcessExitWatchMethod::procPoll;
    if (procSaysExited()) {
      reportExit();
      return;
    }
    timer_ = std::make_unique<QTimer>();
    timer_->setObjectName(label_);
    timer_->setInterval(kProcPollIntervalMs);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] {
      if (procSaysExited()) {
        reportExit();
      }
    });
    timer_->start();
  }

  ~LinuxProcessExitWatcher() override { cancel(); }

  void cancel() override {
    state_->cancelled = true;
    release();
  }

  QString label() const override { return label_; }
  ProcessExitWatchMethod method() const override { return method_; }

 private:
  // Only a pid that names no process (ENOENT, ESRCH) or a zombie state read from /proc means the
  // process exited. When /proc cannot be read for another reason (out of descriptors), kill with
  // signal 0 still tells whether the pid exists.
  bool procSaysExited() const {
    const QByteArray path = "/proc/" + QByteArray::number(pid_) + "/stat";
    int fd = -1;
    do {
      fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (errno == ENOENT || errno == ESRCH) {
        return true;
      }
      return ::kill(static_cast<pid_t>(pid_), 0) != 0 && errno == ESRCH;
    }
    char buffer[1024];
    ssize_t count = 0;
    do {
      count = ::read(fd, buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    const int readError = errno;
    ::close(fd);
    if (count <= 0) {
      return count < 0 && readError == ESRCH;  // reaped since the open
    }
    const std::optional<char> state = procStatState(QByteArray(buffer, static_cast<qsizetype>(count)));
    return state && (*state == 'Z' || *state == 'X');
  }

  // Runs inside the notifier's or the timer's own signal, so it only stops them; the posted
  // report (or cancel) releases them later.
  void reportExit() {
    if (fired_ || state_->cancelled) {
      return;
    }
    fired_ = true;
    if (notifier_) {
      notifier_->setEnabled(false);
    }
    if (timer_) {
      timer_->stop();
    }
    postToMain([weak = std::weak_ptr<WatchState>(state_)] {
      auto state = weak.lock();
      if (!state || state->cancelled) {
        return;
      }
      state->cancelled = true;  // at most once
      ProcessExitCallback onExit = std::move(state->onExit);
      state->onExit = nullptr;
      if (onExit) {
        onExit();
      }
    });
  }

  void release() {
    notifier_.reset();  // unregisters the descriptor before it is closed
    timer_.reset();
    if (pidfd_ >= 0) {
      ::close(pidfd_);
      pidfd_ = -1;
    }
  }

  qint32 pid_;
  QString label_;
  std::shared_ptr<WatchState> state_;
  ProcessExitWatchMethod method_ = ProcessExitWatchMethod::none;
  bool fired_ = false;
  int pidfd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::unique_ptr<QTimer> timer_;
};

}  // namespace

std::unique_ptr<ProcessExitWatcher> watchProcessExit(qint32 pid, ProcessExitCallback onExit,
                                                     bool forceProcPoll) {
  return std::make_unique<LinuxProcessExitWatcher>(pid, std::move(onExit), forceProcPoll);
}

ProcessExitWatcherFactory systemProcessExitWatcherFactory() {
  return [](qint32 pid, ProcessExitCallback onExit) {
    return watchProcessExit(pid, std::move(onExit));
  };
}

std::optional<char> procStatState(const QByteArray& statLine) {
  const qsizetype close = statLine.lastIndexOf(')');
  if (close < 0 || close + 2 >= statLine.size() || statLine.at(close + 1) != ' ') {
    return std::nullopt;
  }
  return statLine.at(close + 2);
}

}  // namespace tandrel
