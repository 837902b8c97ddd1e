#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>

#include <concepts>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace tandrel {

// Runs `work` on the main thread's event loop, after what is already queued there. Safe to call
// from any thread; dropped (with a log line) when there is no application object.
void postToMain(std::function<void()> work);

// Hands a result back to a QObject that lives on the main thread: `work(receiver)` runs there,
// and does nothing once the receiver has been destroyed.
template <typename T, typename F>
  requires std::derived_from<T, QObject>
void postToMain(T* receiver, F&& work) {
  QMetaObject::invokeMethod(
      receiver, [receiver, work = std::forward<F>(work)]() mutable { work(*receiver); },
      Qt::QueuedConnection);
}

// The same for objects held by shared_ptr: `work(receiver)` runs on the main thread only while
// something else still owns the receiver.
template <typename T, typename F>
void postToMain(std::weak_ptr<T> receiver, F&& work) {
  postToMain(std::function<void()>(
      [receiver = std::move(receiver), work = std::forward<F>(work)]() mutable {
        if (auto alive = receiver.lock()) {
          work(*alive);
        }
      }));
}

// A handle on work scheduled for later on the main thread (see Clock::schedule). Copies share
// the same work item. Cancel before it runs and it never runs; cancelling later does nothing.
class DelayedWork {
 public:
  struct State;

  DelayedWork() = default;
  explicit DelayedWork(std::shared_ptr<State> state) : state_(std::move(state)) {}

  void cancel();
  // Scheduled, not cancelled and not yet run.
  bool isPending() const;

 private:
  std::shared_ptr<State> state_;
};

struct DelayedWork::State {
  std::function<void()> work;
  bool done = false;  // ran or cancelled
  std::function<void()> onCancel;

  // Runs the work unless it ran or was cancelled already.
  void fire();
};

// A named serial queue: one worker thread that runs its tasks one at a time in the order they
// were added. The thread carries the label as its name (visible in ps and gdb): without the
// common "app.tandrel." prefix and cut to the 15 bytes Linux keeps. Destroying the queue lets the running task finish, drops the rest and joins
// the thread.
class SerialQueue {
 public:
  explicit SerialQueue(QString label);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const QString& label() const { return label_; }

  // Adds a task; false (and nothing added) once the queue is being destroyed.
  bool async(std::function<void()> task);

  // Blocks until every task added before this call has run. For shutdown and tests; never call it
  // from a task of the same queue.
  void drain();

  // Whether the caller runs on this queue's thread.
  bool isCurrent() const;

  // The label of the queue whose thread calls this, or an empty text on any other thread.
  static QString currentLabel();

 private:
  void run();

  QString label_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tandrel
