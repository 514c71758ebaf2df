// recvfrom with the sender's address for the Windows build.
#include "platform/DatagramSource.h"

#include "platform/win32/SystemError.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {

std::size_t ReceiveFromWithSource(Socket& socket, char* buffer, std::size_t size,
                                  DatagramSource& source) {
  sockaddr_storage storage{};
  int len = sizeof storage;
  int n = ::recvfrom(static_cast<SOCKET>(socket.native()), buffer, static_cast<int>(size), 0,
                     reinterpret_cast<sockaddr*>(&storage), &len);
  if (n == SOCKET_ERROR) {
    int err = WSAGetLastError();
    // A datagram larger than the buffer arrives cut, with the sender still filled in.
    if (err != WSAEMSGSIZE) ThrowSocketError("recvfrom", err);
    n = static_cast<int>(size);
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (storage.ss_family == AF_INET6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(storage);
    inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
    source.port = ntohs(a.sin6_port);
  } else {
    auto& a = reinterpret_cast<sockaddr_in&>(storage);
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    source.port = ntohs(a.sin_port);
  }
  source.address = text;
  return static_cast<std::size_t>(n);
}

}  // namespace vp::platform
