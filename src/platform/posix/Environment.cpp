// Environment variables on POSIX.
#include "platform/Environment.h"

#include <cstdlib>

namespace vp::platform {

void SetEnvironmentValueForTesting(const std::string& name, const std::string& value) {
  if (value.empty())
    ::unsetenv(name.c_str());
  else
    ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace vp::platform
