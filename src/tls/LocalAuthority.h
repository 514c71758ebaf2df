// This machine's own certificate authority: a root made afresh, whose private key lives only in
// memory, and the server certificates it issues for the listener's HTTPS modes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tls/SslOwned.h"

namespace vp {

inline constexpr const char* kMsgCouldNotMakeCertificate = "Could not make certificate.";

// A certificate in PEM and its unencrypted private key in PEM (PKCS #8).
struct IssuedCertificate {
  std::string certificate_pem;
  std::string key_pem;
};

// Every key is RSA 2048, every signature SHA-256, every certificate valid for ten years from an
// hour ago (a clock a little behind does not reject a fresh set). Raises ErrorKind::kSsl
// "Could not make certificate." with the library's text in the detail.
class LocalAuthority {
 public:
  // The root permits only the given host names below it (a name constraint), so that even a key
  // that leaked could vouch for no other site. The constraint is not marked critical: a till's
  // old chain engine that does not know it must still accept the root, and every engine that does
  // know it enforces it either way.
  explicit LocalAuthority(const std::vector<std::string>& permitted_hosts);

  // The root certificate, DER.
  std::string RootDer() const;
  // A server certificate for host (its common name and only DNS name), for TLS server use only.
  // Any name is issued; whether a client accepts it is the name constraint's business.
  IssuedCertificate Issue(const std::string& host) const;

 private:
  std::shared_ptr<const SslLibrary> library_;
  SslOwned<openssl::EVP_PKEY> key_;
  SslOwned<openssl::X509> root_;
};

}  // namespace vp
