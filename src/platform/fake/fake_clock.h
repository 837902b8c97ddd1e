#pragma once

#include "platform/clock.h"

#include <map>

namespace tandrel {

// A clock that stands still until the test moves it. Scheduled work runs inside advance(), in
// the order of its due time (equal times in the order scheduled), with now() at its due time.
class FakeClock : public Clock {
 public:
  explicit FakeClock(QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC));
  ~FakeClock() override;
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  QDateTime now() const override;
  qint64 monotonicMs() const override { return elapsedMs_; }
  DelayedWork schedule(std::chrono::milliseconds delay, std::function<void()> work) override;

  // Moves time forward, running the work that falls due on the way.
  void advance(std::chrono::milliseconds by);
  // Scheduled work that is neither cancelled nor run.
  int pendingCount() const;

 private:
  QDateTime start_;
  qint64 elapsedMs_ = 0;
  quint64 sequence_ = 0;
  // (due time, sequence) -> work item
  std::map<std::pair<qint64, quint64>, std::shared_ptr<DelayedWork::State>> due_;
};

}  // namespace tandrel
