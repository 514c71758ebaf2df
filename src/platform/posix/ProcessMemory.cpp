// Heap tuning and release with the C library's allocator.
#include "platform/ProcessMemory.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vp::platform {

void PrepareHeapForManyThreads() {
#if defined(__GLIBC__)
  // glibc makes up to eight arenas per processor, and each keeps what its threads freed. Two per
  // processor cost next to nothing in contention on the connection threads' short allocations.
  int arenas = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()) * 2);
  ::mallopt(M_ARENA_MAX, arenas);
#endif
}

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
  // Trimming returns the free pages of every arena, not only the top of the main heap.
  ::malloc_trim(0);
#endif
}

}  // namespace vp::platform
