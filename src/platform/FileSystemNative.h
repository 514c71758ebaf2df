// What each platform's half of the file seam provides beneath the test overrides.
#pragma once

#include <string>

namespace vp::platform {

std::string NativeProgramFilePath();
std::string NativeCommonAppDataFolder();
std::string NativeHostsFilePath();

}  // namespace vp::platform
