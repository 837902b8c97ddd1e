#include "base/heap_memory.h"

#include <malloc.h>

namespace tandrel {

namespace {

constexpr int kOwnMappingBytes = 256 * 1024;
constexpr int kKeptFreeAtEndBytes = 1024 * 1024;

}  // namespace

void tuneHeapForLongRuns() {
  (void)::mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
  (void)::mallopt(M_TRIM_THRESHOLD, kKeptFreeAtEndBytes);
}

void returnFreeHeapMemory() { (void)::malloc_trim(0); }

}  // namespace tandrel
