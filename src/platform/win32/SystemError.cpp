// Windows error numbers to vp::Error.
#include "platform/win32/SystemError.h"

#include "platform/win32/Handles.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {

std::string SystemErrorText(unsigned long error_number) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error_number, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  UniqueLocalMemory<char*> buffer(text);
  std::string result = n && text ? std::string(text, n) : "Unknown error";
  while (!result.empty() &&
         (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
    result.pop_back();
  return result;
}

void ThrowSocketError(const char* call, int error_number) {
  std::string message = "Socket Error # " + std::to_string(error_number) + "\n" +
                        SystemErrorText(static_cast<unsigned long>(error_number));
  std::string detail = std::string(call) + " failed";
  switch (error_number) {
    case WSAETIMEDOUT:
    case WSAEWOULDBLOCK:
      throw Error(ErrorKind::kSocketTimeout, message, detail, error_number);
    case WSAECONNABORTED:  // 10053
    case WSAECONNRESET:    // 10054
    case WSAESHUTDOWN:     // 10058
      throw Error(ErrorKind::kConnectionClosed, message, detail, error_number);
    default:
      throw Error(ErrorKind::kSocket, message, detail, error_number);
  }
}

}  // namespace vp::platform
