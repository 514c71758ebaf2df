// Heap release with the C library's allocator.
#include "platform/ProcessMemory.h"

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vp::platform {

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
  // glibc keeps freed memory in every thread's arena; trimming returns the free pages of all of
  // them, not only the top of the main heap.
  ::malloc_trim(0);
#endif
}

}  // namespace vp::platform
