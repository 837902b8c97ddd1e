#pragma once

#include <QString>

#include <vector>

namespace tandrel {

// The sentences of a self-test run's failed checks, in the order the checks ran. A failed check
// never stops the run; the same sentence reached twice is recorded twice.
class SelfCheckFailures {
 public:
  // Records `message` when `condition` is false.
  void check(bool condition, const QString& message) {
    if (!condition) messages_.push_back(message);
  }

  // A timing check: records `message` when `seconds` is `limit` or more. Builds with the address
  // sanitizer run everything several times slower, so there the time is not judged (the work
  // itself still ran).
  void checkTiming(double seconds, double limit, const QString& message);

  // A check of something this platform does not have: writes "not available on this platform: "
  // and `what` as one line on standard error at once, and counts neither as passed nor as failed.
  void notAvailable(const QString& what);

  const std::vector<QString>& messages() const { return messages_; }
  // What notAvailable() reported, in order.
  const std::vector<QString>& unavailable() const { return unavailable_; }

 private:
  std::vector<QString> messages_;
  std::vector<QString> unavailable_;
};

// Whether checkTiming() judges times in this build.
bool timingChecksJudged();

}  // namespace tandrel
