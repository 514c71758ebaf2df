// The library context of the listener's TLS contexts: the library's default algorithms and its
// legacy ones, where OpenSSL 3 keeps RC4.
//
// Tills of the Windows XP era speak TLS 1.0 with nothing but RC4 or 3DES, so the listener must be
// able to offer both; the upstream road must not. Keeping RC4 in a context of its own, rather than
// loading the legacy algorithms into the library's default context, leaves every other TLS context
// of the process exactly as the library makes it.
#pragma once

#include <memory>

#include "tls/SslLibrary.h"
#include "tls/SslOwned.h"

namespace vp {

class SslLibraryContext {
 public:
  // Throws ErrorKind::kSsl "Error creating SSL context." when the default algorithms cannot be
  // loaded. A library without the legacy ones (a system library whose legacy module is missing)
  // is no error: its listener offers the suites it has.
  explicit SslLibraryContext(std::shared_ptr<const SslLibrary> library);
  SslLibraryContext(const SslLibraryContext&) = delete;
  SslLibraryContext& operator=(const SslLibraryContext&) = delete;

  openssl::OSSL_LIB_CTX* get() const { return context_.get(); }
  // Whether RC4 can be had here.
  bool has_legacy() const { return static_cast<bool>(legacy_); }

 private:
  // Declared first, so it goes last: both providers are unloaded before their context is freed.
  SslOwned<openssl::OSSL_LIB_CTX> context_;
  SslOwned<openssl::OSSL_PROVIDER> default_;
  SslOwned<openssl::OSSL_PROVIDER> legacy_;
};

}  // namespace vp
