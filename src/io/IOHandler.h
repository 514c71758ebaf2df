// A byte stream over one connected socket, plain or TLS. The HTTP server and client read and write
// through it without knowing which.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/Socket.h"

namespace vp {

class IOHandler {
 public:
  virtual ~IOHandler() = default;
  // Returns at least one byte, or 0 when the peer has closed. Throws vp::Error.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  virtual void Write(std::string_view data) = 0;
  // True when Read would not block; timeout_ms < 0 waits without limit.
  virtual bool WaitReadable(int timeout_ms) = 0;
  // The socket underneath, for timeouts and for waking a blocked call from another thread.
  virtual platform::Socket& socket() = 0;
};

// The plain TCP transport: reads and writes go straight to the socket, which it does not own.
class PlainIOHandler final : public IOHandler {
 public:
  explicit PlainIOHandler(platform::Socket& socket) : socket_(socket) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    return socket_.Receive(buffer, size);
  }
  void Write(std::string_view data) override { socket_.SendAll(data); }
  bool WaitReadable(int timeout_ms) override { return socket_.WaitReadable(timeout_ms); }
  platform::Socket& socket() override { return socket_; }

 private:
  platform::Socket& socket_;
};

}  // namespace vp
