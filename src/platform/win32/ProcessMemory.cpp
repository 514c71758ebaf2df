// Heap release with the C runtime's heap.
#include "platform/ProcessMemory.h"

#include <malloc.h>

namespace vp::platform {

void ReleaseFreeMemory() { ::_heapmin(); }

}  // namespace vp::platform
