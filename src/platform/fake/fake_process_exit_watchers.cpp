#include "platform/fake/fake_process_exit_watchers.h"

namespace tandrel {
namespace {

class FakeProcessExitWatcher final : public ProcessExitWatcher {
 public:
  FakeProcessExitWatcher(std::weak_ptr<std::map<quint64, FakeProcessExitWatchers::Entry>> entries,
                         quint64 id, qint32 pid)
      : entries_(std::move(entries)), id_(id), pid_(pid) {}
  ~FakeProcessExitWatcher() override { cancel(); }

  void cancel() override {
    if (auto entries = entries_.lock()) {
      if (auto it = entries->find(id_); it != entries->end()) {
        it->second.live = false;
        it->second.onExit = nullptr;
      }
    }
  }
  QString label() const override { return processExitWatcherLabel(pid_); }
  ProcessExitWatchMethod method() const override { return ProcessExitWatchMethod::pidfd; }

 private:
  std::weak_ptr<std::map<quint64, FakeProcessExitWatchers::Entry>> entries_;
  quint64 id_;
  qint32 pid_;
};

}  // namespace

FakeProcessExitWatchers::FakeProcessExitWatchers()
    : entries_(std::make_shared<std::map<quint64, Entry>>()) {}

FakeProcessExitWatchers::~FakeProcessExitWatchers() = default;

ProcessExitWatcherFactory FakeProcessExitWatchers::factory() {
  return [this](qint32 pid, ProcessExitCallback onExit) -> std::unique_ptr<ProcessExitWatcher> {
    const quint64 id = next_++;
    (*entries_)[id] = Entry{pid, std::move(onExit), true};
    return std::make_unique<FakeProcessExitWatcher>(entries_, id, pid);
  };
}

int FakeProcessExitWatchers::exit(qint32 pid) {
  std::vector<ProcessExitCallback> due;
  for (auto& [id, entry] : *entries_) {
    if (entry.live && entry.pid == pid) {
      entry.live = false;
      due.push_back(std::move(entry.onExit));
      entry.onExit = nullptr;
    }
  }
  for (auto& onExit : due) {
    if (onExit) {
      onExit();
    }
  }
  return static_cast<int>(due.size());
}

int FakeProcessExitWatchers::createdCount() const { return static_cast<int>(entries_->size()); }

int FakeProcessExitWatchers::liveCount() const {
  int live = 0;
  for (const auto& [id, entry] : *entries_) {
    live += entry.live ? 1 : 0;
  }
  return live;
}

std::vector<qint32> FakeProcessExitWatchers::livePids() const {
  std::vector<qint32> pids;
  for (const auto& [id, entry] : *entries_) {
    if (entry.live) {
      pids.push_back(entry.pid);
    }
  }
  return pids;
}

}  // namespace tandrel
