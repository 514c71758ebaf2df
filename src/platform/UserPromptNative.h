// The system's own prompt, implemented once per platform.
#pragma once

#include "platform/UserPrompt.h"

namespace vp::platform {

UserPrompt& NativeUserPrompt();

}  // namespace vp::platform
