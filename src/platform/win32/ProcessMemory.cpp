// Heap release with the C runtime's heap.
#include "platform/ProcessMemory.h"

#include <malloc.h>

namespace vp::platform {

// The Windows heap serves all threads from one heap with per-size buckets; nothing to bound.
void PrepareHeapForManyThreads() {}

void ReleaseFreeMemory() { ::_heapmin(); }

std::size_t HeapBytesHeld() { return 0; }

// One heap for all threads: a thread leaves nothing behind for a mark to return.
ThreadHeapMark MarkThreadHeapEnd() { return nullptr; }

}  // namespace vp::platform
