#include "base/descriptor_headroom.h"

#include <algorithm>

#include <sys/resource.h>

namespace tandrel {

bool isInDescriptorHeadroom(int fd) {
  rlimit limit{};
  if (fd < 0 || ::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return false;
  }
  const rlim_t headroom = std::min(static_cast<rlim_t>(kDescriptorHeadroom), limit.rlim_cur / 4);
  return static_cast<rlim_t>(fd) >= limit.rlim_cur - headroom;
}

}  // namespace tandrel
