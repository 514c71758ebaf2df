// The process's heap as the OS sees it.
#pragma once

namespace vp::platform {

// Hands the heap's free memory back to the OS, where the allocator would otherwise keep it for
// later use. Costs a walk over the heap; for idle moments only.
void ReleaseFreeMemory();

}  // namespace vp::platform
