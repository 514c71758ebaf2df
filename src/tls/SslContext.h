// A TLS context built from a TLS options record: the one owner of an SSL_CTX.
#pragma once

#include <memory>

#include "tls/SslLibrary.h"
#include "tls/SslOptions.h"
#include "tls/SslOwned.h"

namespace vp {

inline constexpr const char* kMsgErrorGettingSslMethod = "Error getting SSL method.";
inline constexpr const char* kMsgErrorCreatingSslContext = "Error creating SSL context.";
inline constexpr const char* kMsgCouldNotLoadRootCertificate = "Could not load root certificate.";
inline constexpr const char* kMsgCouldNotLoadCertificate = "Could not load certificate.";
inline constexpr const char* kMsgCouldNotLoadKey = "Could not load key, check password.";
inline constexpr const char* kMsgCouldNotLoadDhParameters = "Could not load DH Parameters.";
inline constexpr const char* kMsgSetCipherFailed = "SetCipher failed.";

// Used when the options name no cipher list.
inline constexpr const char* kDefaultCipherList = "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH";

// The callbacks a context installs; each is left out when null. They find their handler through
// the connection's app data (SSL_set_ex_data slot 0).
struct SslContextCallbacks {
  openssl::InfoCallback info = nullptr;
  openssl::VerifyCallback verify = nullptr;

  friend bool operator==(const SslContextCallbacks&, const SslContextCallbacks&) = default;
};

class SslLibraryContext;

class SslContext {
 public:
  // options.Mode must be assigned (server, client or both). A context that can serve is made in a
  // library context of its own where RC4 can be had, and its cipher list is taken as it is, so
  // the listener offers the RC4 and 3DES suites that old tills need; a client context never
  // offers them, whatever its list names. Throws vp::Error (kSsl) with the texts above; for the
  // root certificate, certificate, key and DH parameters the message goes on with a line break
  // and the library's error text.
  static std::shared_ptr<SslContext> Create(std::shared_ptr<const SslLibrary> library,
                                            const TIdSSLOptions& options,
                                            const SslContextCallbacks& callbacks);
  // Like Create, but one context serves every call with the same library, options and callbacks,
  // as long as its options read nothing from disk and check no peer (no trust locations,
  // certificate, key or parameters; VerifyMode empty). Such a context depends on its options
  // alone, so sharing it changes nothing on the wire, and the library's contexts are safe to use
  // from many threads at once. Every other call gets a context of its own, as Create makes it,
  // so files are read afresh each time.
  static std::shared_ptr<SslContext> Shared(std::shared_ptr<const SslLibrary> library,
                                            const TIdSSLOptions& options,
                                            const SslContextCallbacks& callbacks);
  SslContext(const SslContext&) = delete;
  SslContext& operator=(const SslContext&) = delete;
  ~SslContext();

  openssl::SSL_CTX* get() const { return ctx_.get(); }
  // Whether its connections check the peer's certificate (the options' VerifyMode was not empty).
  bool checks_peer() const { return checks_peer_; }
  const SslLibrary& library() const { return *ctx_.library(); }
  const std::shared_ptr<const SslLibrary>& shared_library() const { return ctx_.library(); }

 private:
  SslContext(std::unique_ptr<SslLibraryContext> library_context, SslOwned<openssl::SSL_CTX> ctx,
             bool checks_peer);

  // Null for a client context. Declared first, so it outlives the context made in it.
  std::unique_ptr<SslLibraryContext> library_context_;
  SslOwned<openssl::SSL_CTX> ctx_;
  bool checks_peer_;
};

}  // namespace vp
