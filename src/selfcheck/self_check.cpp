#include "selfcheck/self_check.h"

#include "selfcheck/fixture_builders.h"

#include <cstdio>

namespace tandrel {

bool timingChecksJudged() {
#if defined(__SANITIZE_ADDRESS__)
  return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return false;
#else
  return true;
#endif
#else
  return true;
#endif
}

void SelfCheckFailures::checkTiming(double seconds, double limit, const QString& message) {
  if (timingChecksJudged()) check(seconds < limit, message);
}

void SelfCheckFailures::notAvailable(const QString& what) {
  unavailable_.push_back(what);
  printLine(stderr, QStringLiteral("not available on this platform: ") + what);
}

}  // namespace tandrel
