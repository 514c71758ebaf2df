// Heap release with the C runtime's heap.
#include "platform/ProcessMemory.h"

#include <malloc.h>

namespace vp::platform {

// The Windows heap serves all threads from one heap with per-size buckets; nothing to bound.
void PrepareHeapForManyThreads() {}

void ReleaseFreeMemory() { ::_heapmin(); }

}  // namespace vp::platform
