// The process's environment variables, for tests that steer a library through them.
#pragma once

#include <string>

namespace vp::platform {

// Sets name to value for this process and the libraries it loaded; an empty value removes it.
void SetEnvironmentValueForTesting(const std::string& name, const std::string& value);

}  // namespace vp::platform
