// The process's environment variables, for tests that steer the parts of the program that read
// them (PATH for the elevation helpers, INVOCATION_ID for systemd, the VORMETRA_* overrides).
#pragma once

#include <string>

namespace vp::platform {

// Sets the variable for this process and the programs it starts; an empty value removes it.
void SetEnvironmentVariableForTesting(const std::string& name, const std::string& value);

}  // namespace vp::platform
