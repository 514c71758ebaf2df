// Socket addresses for the Berkeley-style calls that both builds make (Winsock keeps the same
// structures). Include it after the system's socket headers, which declare the types it uses:
// arpa/inet.h and netinet/in.h on POSIX, winsock2.h and ws2tcpip.h on Windows.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "base/Error.h"

namespace vp::platform::socket_address {

// Fills storage for address:port of the family (AF_INET or AF_INET6), "" being the family's
// any-address; the length of what was filled in.
inline int Make(int family, const std::string& address, std::uint16_t port,
                sockaddr_storage* storage) {
  std::memset(storage, 0, sizeof *storage);
  if (family == AF_INET6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(port);
    a->sin6_addr = in6addr_any;
    if (!address.empty() && inet_pton(AF_INET6, address.c_str(), &a->sin6_addr) != 1)
      throw Error(ErrorKind::kSocket, "Invalid address: " + address);
    return sizeof *a;
  }
  auto* a = reinterpret_cast<sockaddr_in*>(storage);
  a->sin_family = AF_INET;
  a->sin_port = htons(port);
  a->sin_addr.s_addr = htonl(INADDR_ANY);
  if (!address.empty() && inet_pton(AF_INET, address.c_str(), &a->sin_addr) != 1)
    throw Error(ErrorKind::kSocket, "Invalid address: " + address);
  return sizeof *a;
}

inline std::string Text(const sockaddr_storage& storage) {
  char text[INET6_ADDRSTRLEN] = {};
  if (storage.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr, text,
              sizeof text);
  else
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(storage).sin_addr, text, sizeof text);
  return text;
}

inline std::uint16_t Port(const sockaddr_storage& storage) {
  if (storage.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6&>(storage).sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in&>(storage).sin_port);
}

}  // namespace vp::platform::socket_address
