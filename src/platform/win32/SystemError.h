// GetLastError and WSAGetLastError to vp::Error, the Windows half of the seam's one error mapping.
#pragma once

#include <string>

#include "base/Error.h"

namespace vp::platform {

std::string SystemErrorText(unsigned long error_number);
[[noreturn]] void ThrowSocketError(const char* call, int error_number);

}  // namespace vp::platform
