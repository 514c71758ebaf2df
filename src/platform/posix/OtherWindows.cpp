// The terminal front end has no windows another program could read.
#include "platform/OtherWindows.h"

namespace vp::platform {

std::optional<std::string> ControlTextOfWindow(const std::string&, const std::string&, int) {
  return std::nullopt;
}

int VisibleWindowsOfClass(const std::string&, const std::string&) { return 0; }

}  // namespace vp::platform
