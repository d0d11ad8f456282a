#pragma once

// What one thread asks of the system and of the heap while it moves reports:
// every socket and descriptor transfer and every wait goes through libc's
// wrappers (send, recv, poll, read, write and their kin), which this program
// defines over libc's own and counts; every operator new is counted too. The
// counts are the calling thread's, so a device served by another thread of
// the same process does not blur them. A busy machine can slow a transfer but
// cannot change these numbers.

#include <cstdint>

namespace teelink::bench {

struct CCallCounts {
    uint64_t systemCalls = 0;
    uint64_t allocations = 0;
};

// This thread's counts so far.
CCallCounts ThreadCallCounts();

}  // namespace teelink::bench
