// Environment variables on Windows.
#include "platform/Environment.h"

#include <cstdlib>

namespace vp::platform {

void SetEnvironmentValueForTesting(const std::string& name, const std::string& value) {
  // The C runtime's call updates the process environment block too, which is where OpenSSL's
  // Windows build reads its variables; an empty value removes the variable.
  ::_putenv_s(name.c_str(), value.c_str());
}

}  // namespace vp::platform
