// The listener's TLS transport for modes 2 and 3: one context, built at start from the options
// and shared by every accepted connection until the listener stops.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "io/ServerIOHandler.h"
#include "tls/SslLibrary.h"
#include "tls/SslOptions.h"
#include "tls/TlsIOHandler.h"

namespace vp {

class SslContext;

class TIdServerIOHandlerSSLOpenSSL final : public TIdServerIOHandler {
 public:
  TIdServerIOHandlerSSLOpenSSL();
  ~TIdServerIOHandlerSSLOpenSSL() override;

  // Method TLS 1.0 only; CertFile and KeyFile are what the next Init() loads.
  TIdSSLOptions SSLOptions;

  // Loads the library and builds the context (certificate first, then the key). Throws "Could
  // not load SSL library.", "Could not load certificate." or "Could not load key, check
  // password." with a line break and the library's text, or another context error.
  void Init() override;
  // Runs the server handshake on the accepted socket, with its receive and send timeouts set.
  // Throws "Error accepting connection with SSL." with a line break and the library's text.
  std::unique_ptr<IOHandler> Accept(platform::Socket& socket) override;
  // Releases the context; connections still open keep it alive until they end.
  void Shutdown() override;

  // Replaces the 30000 ms socket timeouts, so that a stalled handshake ends quickly in tests.
  void SetSocketTimeoutForTesting(int timeout_ms) { socket_timeout_ms_ = timeout_ms; }

 private:
  std::shared_ptr<SslContext> Context() const;

  mutable std::mutex mutex_;
  std::shared_ptr<SslContext> context_;  // guarded by mutex_
  int socket_timeout_ms_ = kSslSocketTimeoutMs;
};

}  // namespace vp
