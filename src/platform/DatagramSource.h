// Receiving a datagram together with the address it came from, for the side of a UDP exchange
// that answers whoever asked (the fake DNS server of the tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Socket.h"

namespace vp::platform {

struct DatagramSource {
  std::string address;  // numeric, as inet_ntop writes it
  std::uint16_t port = 0;
};

// One datagram into buffer (cut to size), and its sender. Throws kSocket like ReceiveFrom.
std::size_t ReceiveFromWithSource(Socket& socket, char* buffer, std::size_t size,
                                  DatagramSource& source);

}  // namespace vp::platform
