// A raw HTTP peer for tests: sends exact bytes to a server on loopback and reads its answer until
// the server closes, with a bound on the wait so a broken server fails the test instead of hanging.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Socket.h"

namespace vp::test {

inline constexpr int kAnswerWaitMs = 5000;

struct LoopbackAnswer {
  bool complete = false;  // the server closed the connection within the wait
  std::string raw;        // every byte received
  int status = 0;
  std::string status_line;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent
  std::string body;

  // The first header of that name (exact case), or "" when absent.
  std::string Header(const std::string& name) const;
};

// Connects to host:port (IPv4 or IPv6 text).
platform::Socket ConnectLoopback(std::uint16_t port, const std::string& host = "127.0.0.1");
// Reads until the peer closes or wait_ms pass without it.
LoopbackAnswer ReadAnswer(platform::Socket& socket, int wait_ms = kAnswerWaitMs);
// Connects, sends request as it is, and reads the answer.
LoopbackAnswer Exchange(std::uint16_t port, const std::string& request,
                        const std::string& host = "127.0.0.1");
// Splits raw answer bytes into status, headers and body.
LoopbackAnswer ParseAnswer(std::string raw, bool complete);

// A listener on 127.0.0.1 that never accepts, with its queue filled, so that a further connect
// goes unanswered, as with a peer that is down behind a firewall that drops. (Windows refuses
// such a connect instead.)
class FullListener {
 public:
  FullListener();
  std::uint16_t port() const { return port_; }

 private:
  platform::Socket listening_;
  std::uint16_t port_ = 0;
  std::vector<platform::Socket> queued_;
};

}  // namespace vp::test
