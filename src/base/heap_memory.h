#pragma once

namespace tandrel {

// How the app's heap gives memory back to the system over a long run.
//
// By default glibc's malloc raises its thresholds the first time a large block is freed: blocks up
// to that size are then carved out of the heaps instead of getting mappings of their own, and a
// heap keeps up to twice that much free at its end (up to 32 and 64 MiB). A long read, a painted
// window or a scan of a long transcript sets them high within minutes of the launch, after which
// the large temporaries of every later read stay inside the heaps, in whichever thread's heap made
// them, and the process only grows.

// Fixes both thresholds for the life of the process: a block of 2 MiB or more gets a mapping of
// its own, which is unmapped when it is freed, and a heap gives back what is free at its end past
// 4 MiB. Call once, first thing in main.
void tuneHeapForLongRuns();

// Gives the free pages inside every heap back to the system, for work that has just freed large
// temporaries (a scan of the agents' transcripts, a long read of the bridge file).
void returnFreeHeapMemory();

}  // namespace tandrel
