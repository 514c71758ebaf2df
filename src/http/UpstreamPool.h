// Upstream connections kept open between posts, and the TLS sessions of the upstreams, so that a
// receipt pays one round trip to the authority instead of four (TCP's, TLS's two, the exchange).
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "io/IOHandler.h"
#include "io/Watchdog.h"
#include "platform/Socket.h"
#include "tls/SslSessionCache.h"

namespace vp {

// Enough for the tills of a shop posting at once; more would only hold sockets at the upstream.
inline constexpr std::size_t kMaxIdleConnections = 8;
// Below the keep-alive timeouts of common servers (Apache's is 5 s), so that we give a connection
// up before its server does, and never send on one the server is closing that very moment.
inline constexpr int kIdleConnectionMs = 4000;

// One open connection: the socket and the stream over it (plain or TLS). It lives at a fixed
// address, since the stream refers to the socket.
struct UpstreamConnection {
  platform::Socket socket;
  std::unique_ptr<IOHandler> io;  // over socket, so declared after it: it goes first
  std::string key;                // scheme, host and port it was opened to
  WatchClock::time_point idle_since;
};

class UpstreamPool {
 public:
  UpstreamPool() = default;
  UpstreamPool(const UpstreamPool&) = delete;
  UpstreamPool& operator=(const UpstreamPool&) = delete;

  // The most recently kept connection to key that is still usable, or null. A connection idle
  // for kIdleConnectionMs or more, or readable (the peer has closed it, or sent what nobody asked
  // for), is closed instead.
  std::unique_ptr<UpstreamConnection> Take(const std::string& key);
  // Keeps a connection whose answer has been read whole; the oldest goes when the pool is full.
  void Put(std::unique_ptr<UpstreamConnection> connection);
  // Closes every kept connection and forgets every session.
  void Clear();

  SslSessionCache& Sessions() { return sessions_; }
  std::size_t IdleCount() const;
  // Replaces kIdleConnectionMs in tests.
  void SetIdleLimitForTesting(int idle_ms) { idle_ms_ = idle_ms; }

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<UpstreamConnection>> idle_;  // guarded; oldest first
  SslSessionCache sessions_;
  int idle_ms_ = kIdleConnectionMs;
};

}  // namespace vp
