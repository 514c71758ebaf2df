// The process's heap as the OS sees it.
#pragma once

#include <cstdlib>
#include <memory>

namespace vp::platform {

// Sets the heap up for a server that runs a thread per open connection; call once at program
// start, before the threads.
void PrepareHeapForManyThreads();

// Hands the heap's free memory back to the OS, where the allocator would otherwise keep it for
// later use. Costs a walk over the heap; for idle moments only.
void ReleaseFreeMemory();

// Bytes the allocator holds in its heaps, in use or free; blocks it mapped on their own aside.
// Zero where the allocator does not tell.
std::size_t HeapBytesHeld();

struct HeapBlockDeleter {
  void operator()(void* block) const { std::free(block); }
};
using ThreadHeapMark = std::unique_ptr<void, HeapBlockDeleter>;

// A thread's last allocation, to be freed by another thread once this one has ended. An allocator
// that gives threads heaps of their own cuts the free top of such a heap only when a large block
// is freed in it, and what a thread frees as it exits is small; freeing the mark after the exit
// hands back all the thread left. Empty where the allocator needs no such help.
ThreadHeapMark MarkThreadHeapEnd();

}  // namespace vp::platform
