// Many connected sockets watched at once for the moment each becomes readable: data, an orderly
// end, or an error waiting. One thread's wait covers them all, so that a connection that has not
// sent anything yet needs no thread of its own, and each wait costs what has become ready, not
// what is watched (epoll; on Windows an I/O completion port with a zero-byte read on each socket,
// where WSAPoll over 5000 sockets was measured at a quarter of a second a call under Wine).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Socket.h"

namespace vp::platform {

class SocketWatch {
 public:
  // Throws kSocket when the system cannot make the watch.
  SocketWatch();
  // Every socket must have been reported or dropped, and closed, before.
  ~SocketWatch();
  SocketWatch(const SocketWatch&) = delete;
  SocketWatch& operator=(const SocketWatch&) = delete;

  // Watches socket under key (non-zero) until a Wait reports it; the socket must stay open until
  // then or until Drop. Safe from any thread. Throws kSocket; the socket is then not watched.
  void Add(const Socket& socket, std::uintptr_t key);
  // Stops watching a socket that has not been reported, before it is closed.
  void Drop(const Socket& socket, std::uintptr_t key);
  // Waits until watched sockets have become readable, until timeout_ms has passed, or until Wake;
  // answers their keys, each once, after which they are no longer watched. One thread at a time.
  std::vector<std::uintptr_t> Wait(int timeout_ms);
  // Ends the current or next Wait early. Safe from any thread.
  void Wake();

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace vp::platform
