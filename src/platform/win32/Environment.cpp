// The C runtime's copy of the environment (getenv) and the process's own (child processes) are
// kept apart on Windows; both are set.
#include "platform/Environment.h"

#include <cstdlib>

#include "platform/win32/win32_api.h"

namespace vp::platform {

void SetEnvironmentVariableForTesting(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
  SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
}

}  // namespace vp::platform
