// A POSIX program always has the standard streams its starter gave it.
#include "platform/Console.h"

namespace vp::platform {

void UseParentConsole() {}

}  // namespace vp::platform
