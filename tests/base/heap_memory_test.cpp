#include "base/heap_memory.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tandrel {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnAllocator = true;  // the sanitizer's allocator answers instead of malloc's
#else
constexpr bool kOwnAllocator = false;
#endif

constexpr std::size_t kMiB = 1024 * 1024;

std::size_t residentBytes() {
  long pages = 0;
  long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
      resident = 0;
    }
    std::fclose(statm);
  }
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Large temporaries get mappings of their own, also after a larger block was freed; a window's
// paint buffer (about a megabyte, made and freed every frame) comes from the heap.
TEST(HeapMemoryTest, OnlyBlocksAboveThePaintBuffersGetMappingsOfTheirOwn) {
  if (kOwnAllocator) {
    GTEST_SKIP() << "malloc is replaced in this build";
  }
  tuneHeapForLongRuns();
  // By default this free would raise the threshold to 8 MiB, and a 4 MiB block would come from
  // the heap.
  std::free(std::malloc(8 * kMiB));
  struct Case {
    std::size_t bytes;
    bool mapped;
  };
  const Case cases[] = {
      {1310720, false},  // a 640 x 512 paint buffer
      {4 * kMiB, true},
  };
  for (const Case& c : cases) {
    const auto mappedBefore = ::mallinfo2().hblks;
    void* block = std::malloc(c.bytes);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(::mallinfo2().hblks, mappedBefore + (c.mapped ? 1 : 0)) << c.bytes;
    std::free(block);
    EXPECT_EQ(::mallinfo2().hblks, mappedBefore) << c.bytes;
  }
}

TEST(HeapMemoryTest, FreedPiecesInsideTheHeapGoBackToTheSystem) {
  if (kOwnAllocator) {
    GTEST_SKIP() << "malloc is replaced in this build";
  }
  // 16 MiB in small pieces, all freed but the last, which keeps the others from the heap's end.
  std::vector<void*> pieces(16 * kMiB / 256);
  for (void*& piece : pieces) {
    piece = std::malloc(256);
    static_cast<char*>(piece)[0] = 1;
  }
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    std::free(pieces[i]);
  }
  const std::size_t before = residentBytes();
  returnFreeHeapMemory();
  const std::size_t after = residentBytes();
  std::free(pieces.back());
  EXPECT_GT(before, after + 8 * kMiB) << before << " bytes resident before, " << after << " after";
}

}  // namespace
}  // namespace tandrel
