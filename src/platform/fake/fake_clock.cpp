#include "platform/fake/fake_clock.h"

namespace tandrel {

FakeClock::FakeClock(QDateTime start) : start_(std::move(start)) {}

FakeClock::~FakeClock() {
  // Handles may outlive the clock; their cancel must not reach back into it.
  for (auto& [key, state] : due_) {
    state->onCancel = nullptr;
  }
}

QDateTime FakeClock::now() const { return start_.addMSecs(elapsedMs_); }

DelayedWork FakeClock::schedule(std::chrono::milliseconds delay, std::function<void()> work) {
  auto state = std::make_shared<DelayedWork::State>();
  state->work = std::move(work);
  const auto key = std::make_pair(elapsedMs_ + std::max<qint64>(delay.count(), 0), sequence_++);
  due_[key] = state;
  state->onCancel = [this, key] { due_.erase(key); };
  return DelayedWork(state);
}

void FakeClock::advance(std::chrono::milliseconds by) {
  const qint64 target = elapsedMs_ + by.count();
  while (!due_.empty() && due_.begin()->first.first <= target) {
    auto node = due_.extract(due_.begin());
    elapsedMs_ = std::max(elapsedMs_, node.key().first);
    node.mapped()->fire();
  }
  elapsedMs_ = target;
}

int FakeClock::pendingCount() const { return static_cast<int>(due_.size()); }

}  // namespace tandrel
