#include "base/heap_memory.h"

#include <malloc.h>

namespace tandrel {

namespace {

// Above the island's paint buffers (0.3 to 1.25 MB, made and freed every frame while it animates):
// mapping and unmapping each of them anew, about 30 a second, cost some 0.9 s of CPU a minute under
// a busy day's load. The large temporaries of a long read or scan are still mapped.
constexpr int kOwnMappingBytes = 2 * 1024 * 1024;
constexpr int kKeptFreeAtEndBytes = 4 * 1024 * 1024;

}  // namespace

void tuneHeapForLongRuns() {
  (void)::mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
  (void)::mallopt(M_TRIM_THRESHOLD, kKeptFreeAtEndBytes);
}

void returnFreeHeapMemory() { (void)::malloc_trim(0); }

}  // namespace tandrel
