#pragma once

#include "platform/dispatch.h"

#include <QDateTime>

#include <chrono>
#include <functional>
#include <memory>

namespace tandrel {

// Time for everything whose behaviour depends on it: time-outs, throttles, staleness and
// animations. Production code takes a Clock& (usually Clock::system()); tests pass a FakeClock
// and move time forward by hand instead of sleeping.
class Clock {
 public:
  virtual ~Clock() = default;

  // The wall-clock time, in UTC.
  virtual QDateTime now() const = 0;
  // A monotonic time in milliseconds, for measuring intervals.
  virtual qint64 monotonicMs() const = 0;
  // Runs `work` on the main thread once `delay` has passed, unless the handle is cancelled first.
  // Call from the main thread.
  virtual DelayedWork schedule(std::chrono::milliseconds delay, std::function<void()> work) = 0;

  // The real clock: QDateTime, a steady clock and QTimer on the main thread's event loop.
  static Clock& system();
};

}  // namespace tandrel
