// Heap tuning and release with the C library's allocator.
#include "platform/ProcessMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vp::platform {

namespace {

// Large enough that freeing it makes glibc trim the thread heap it lies in (64 KB and up), and
// below the size that glibc serves with a mapping of its own (128 KB).
constexpr std::size_t kHeapMarkSize = 96 * 1024;

}  // namespace

void PrepareHeapForManyThreads() {
#if defined(__GLIBC__)
  // glibc gives each busy thread a heap of its own, up to its own bound (eight per processor on a
  // 64-bit system), so connection threads rarely wait on each other's allocations. A trimmed heap
  // would keep 128 KB of free top for later growth; with no pad it keeps only what is in use. This
  // also fixes the trim and mapping thresholds, which glibc would otherwise raise after large
  // blocks.
  ::mallopt(M_TOP_PAD, 0);
#endif
}

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
  // Returns the free pages inside every heap; only the main heap's top is cut as well.
  ::malloc_trim(0);
#endif
}

std::size_t HeapBytesHeld() {
#if defined(__GLIBC__)
  return ::mallinfo2().arena;
#else
  return 0;
#endif
}

ThreadHeapMark MarkThreadHeapEnd() {
#if defined(__GLIBC__)
  return ThreadHeapMark(std::malloc(kHeapMarkSize));
#else
  return nullptr;
#endif
}

}  // namespace vp::platform
