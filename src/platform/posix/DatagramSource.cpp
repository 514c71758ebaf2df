// recvfrom with the sender's address for the POSIX build.
#include "platform/DatagramSource.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/posix/SystemError.h"

namespace vp::platform {

std::size_t ReceiveFromWithSource(Socket& socket, char* buffer, std::size_t size,
                                  DatagramSource& source) {
  sockaddr_storage storage{};
  for (;;) {
    socklen_t len = sizeof storage;
    ssize_t n = ::recvfrom(static_cast<int>(socket.native()), buffer, size, 0,
                           reinterpret_cast<sockaddr*>(&storage), &len);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowSocketError("recvfrom", errno);
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET6) {
      const auto& a = reinterpret_cast<const sockaddr_in6&>(storage);
      inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
      source.port = ntohs(a.sin6_port);
    } else {
      const auto& a = reinterpret_cast<const sockaddr_in&>(storage);
      inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
      source.port = ntohs(a.sin_port);
    }
    source.address = text;
    return static_cast<std::size_t>(n);
  }
}

}  // namespace vp::platform
