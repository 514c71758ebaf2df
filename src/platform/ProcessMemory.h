// The process's heap as the OS sees it.
#pragma once

namespace vp::platform {

// Sets the heap up for a server that runs a thread per open connection; call once at program
// start, before the threads. An allocator that gives threads heaps of their own keeps free memory
// in each of them, so their number is bounded by the processor count rather than by the threads.
void PrepareHeapForManyThreads();

// Hands the heap's free memory back to the OS, where the allocator would otherwise keep it for
// later use. Costs a walk over the heap; for idle moments only.
void ReleaseFreeMemory();

}  // namespace vp::platform
