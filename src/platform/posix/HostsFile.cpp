// The hosts file of a POSIX machine.
#include "platform/FileSystemNative.h"

namespace vp::platform {

std::string NativeHostsFilePath() { return "/etc/hosts"; }

}  // namespace vp::platform
