// The hosts file of a Windows machine: the fixed path, as written, even where Windows lives on
// another drive.
#include "platform/FileSystemNative.h"

namespace vp::platform {

std::string NativeHostsFilePath() { return "c:\\Windows\\system32\\drivers\\etc\\hosts"; }

}  // namespace vp::platform
