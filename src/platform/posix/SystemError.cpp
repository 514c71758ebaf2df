// errno to vp::Error for the POSIX build.
#include "platform/posix/SystemError.h"

#include <cerrno>
#include <cstring>

namespace vp::platform {

std::string SystemErrorText(int error_number) {
  char buffer[256];
  // The GNU variant returns a pointer that may or may not be the buffer.
  const char* text = strerror_r(error_number, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("Unknown error");
}

void ThrowSocketError(const char* call, int error_number) {
  std::string message =
      "Socket Error # " + std::to_string(error_number) + "\n" + SystemErrorText(error_number);
  std::string detail = std::string(call) + " failed";
  switch (error_number) {
    case EAGAIN:
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case ETIMEDOUT:
      throw Error(ErrorKind::kSocketTimeout, message, detail, error_number);
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ESHUTDOWN:
      throw Error(ErrorKind::kConnectionClosed, message, detail, error_number);
    default:
      throw Error(ErrorKind::kSocket, message, detail, error_number);
  }
}

}  // namespace vp::platform
