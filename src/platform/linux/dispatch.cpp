#include "platform/dispatch.h"

#include "base/log.h"
#include "base/thread_name.h"

#include <QCoreApplication>


namespace tandrel {
namespace {
thread_local const SerialQueue* currentQueue = nullptr;
}  // namespace

void postToMain(std::function<void()> work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) {
    logWarning(QStringLiteral("work for the main thread dropped: no application object"));
    return;
  }
  QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void DelayedWork::State::fire() {
  if (done) {
    return;
  }
  done = true;
  onCancel = nullptr;
  auto run = std::move(work);
  work = nullptr;
  if (run) {
    run();
  }
}

void DelayedWork::cancel() {
  if (!state_ || state_->done) {
    return;
  }
  state_->done = true;
  state_->work = nullptr;
  if (auto onCancel = std::move(state_->onCancel)) {
    state_->onCancel = nullptr;
    onCancel();
  }
}

bool DelayedWork::isPending() const { return state_ && !state_->done; }

SerialQueue::SerialQueue(QString label) : label_(std::move(label)) {
  thread_ = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    tasks_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

bool SerialQueue::async(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      return false;
    }
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
  return true;
}

void SerialQueue::drain() {
  std::mutex doneMutex;
  std::condition_variable doneWake;
  bool done = false;
  const bool queued = async([&] {
    std::lock_guard lock(doneMutex);
    done = true;
    doneWake.notify_all();
  });
  if (!queued) {
    return;
  }
  std::unique_lock lock(doneMutex);
  doneWake.wait(lock, [&] { return done; });
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

QString SerialQueue::currentLabel() { return currentQueue ? currentQueue->label_ : QString(); }

void SerialQueue::run() {
  currentQueue = this;
  nameCurrentThread(label_);
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) {
        return;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace tandrel
