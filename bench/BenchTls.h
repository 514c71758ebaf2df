// The benchmark's own TLS glue, on OpenSSL directly: the bench is not the product, so it links
// the library instead of loading it, and its errors are plain texts.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/Socket.h"

namespace vp::bench {

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslCtxFree>;
using SslPtr = std::unique_ptr<SSL, SslFree>;

// The oldest queued error of this thread, or what, when the queue is empty.
inline std::string TlsErrorText(const std::string& what) {
  unsigned long error = ERR_get_error();
  ERR_clear_error();
  if (!error) return what;
  char text[256];
  ERR_error_string_n(error, text, sizeof text);
  return what + ": " + text;
}

// A TLS connection object tied to an already connected socket, which it does not own.
inline SslPtr NewConnection(SSL_CTX* ctx, platform::Socket& socket) {
  SslPtr ssl(SSL_new(ctx));
  if (!ssl || SSL_set_fd(ssl.get(), static_cast<int>(socket.native())) != 1)
    throw std::runtime_error(TlsErrorText("SSL_new"));
  return ssl;
}

// Pins the context to exactly one protocol version. TLS 1.0 needs security level 0 in OpenSSL 3,
// whatever the system's configuration says.
inline void PinVersion(SSL_CTX* ctx, int version) {
  SSL_CTX_set_security_level(ctx, 0);
  if (SSL_CTX_set_min_proto_version(ctx, version) != 1 ||
      SSL_CTX_set_max_proto_version(ctx, version) != 1 ||
      SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0") != 1)
    throw std::runtime_error(TlsErrorText("protocol version"));
}

}  // namespace vp::bench
