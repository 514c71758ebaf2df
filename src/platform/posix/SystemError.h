// errno to vp::Error, the POSIX half of the seam's one error mapping.
#pragma once

#include <string>

#include "base/Error.h"

namespace vp::platform {

std::string SystemErrorText(int error_number);
// Throws an Error of the kind that error_number stands for; call names the failed call.
[[noreturn]] void ThrowSocketError(const char* call, int error_number);

}  // namespace vp::platform
