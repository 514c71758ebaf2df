// The client side's memory of TLS sessions, so that the next connection to the same upstream
// resumes with an abbreviated handshake (one round trip instead of two) by ticket or session ID.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "tls/SslOwned.h"
#include "tls/TlsIOHandler.h"

namespace vp {

// A handful of upstreams at most (the test and the production endpoint), with room to spare.
inline constexpr std::size_t kMaxClientSessions = 16;

class SslSessionCache {
 public:
  SslSessionCache() = default;
  SslSessionCache(const SslSessionCache&) = delete;
  SslSessionCache& operator=(const SslSessionCache&) = delete;

  // Offers the session kept under key (the peer's address and the server name) to a connection
  // whose handshake has not run yet. A peer that no longer knows it answers with a full handshake.
  void Offer(TlsIOHandler& connection, const std::string& key);
  // After a successful handshake: keeps the connection's session under key when the peer made it
  // resumable, forgets the key's session when it did not. The oldest key goes when the cache is
  // full.
  void Keep(TlsIOHandler& connection, const std::string& key);
  // Forgets every session.
  void Clear();
  std::size_t size() const;

 private:
  struct Entry {
    std::string key;
    SslOwned<openssl::SSL_SESSION> session;
  };

  // The entry of key, or entries_.end(). Called with mutex_ held.
  std::vector<Entry>::iterator Find(const std::string& key);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // guarded; the most recently kept last
};

}  // namespace vp
