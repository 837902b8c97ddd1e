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

  const std::vector<QString>& messages() const { return messages_; }

 private:
  std::vector<QString> messages_;
};

}  // namespace tandrel
