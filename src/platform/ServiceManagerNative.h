// The system's own service manager, implemented once per platform.
#pragma once

#include "platform/ServiceManager.h"

namespace vp::platform {

ServiceManager& NativeServiceManager();

}  // namespace vp::platform
