#include "app/hot_keys.h"

#include <algorithm>

namespace tandrel {

std::optional<PendingAction> latestPendingAction(const std::vector<PendingAction>& waiting) {
  if (waiting.empty()) {
    return std::nullopt;
  }
  return waiting.back();
}

std::optional<PendingAction> nextPendingActionToCycle(const std::vector<PendingAction>& waiting,
                                                      const std::optional<QString>& lastCycledRequestID) {
  if (waiting.empty()) {
    return std::nullopt;
  }
  if (lastCycledRequestID) {
    const auto last = std::find_if(waiting.begin(), waiting.end(), [&](const PendingAction& action) {
      return action.requestID == *lastCycledRequestID;
    });
    if (last != waiting.end() && std::next(last) != waiting.end()) {
      return *std::next(last);
    }
  }
  return waiting.front();
}

}  // namespace tandrel
