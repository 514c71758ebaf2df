// The certificate service of a machine that keeps its trusted roots as files (Debian's
// ca-certificates) rather than in a certificate service of the operating system: the system store
// "Root" is the folder of local roots and the bundle rebuilt from it, worked through the TLS
// library. Every call takes the trust store files in force at that moment.
#pragma once

#include <memory>
#include <string>

#include "platform/CertStore.h"

namespace vp {

class FileCertService : public platform::CertService {
 public:
  // "Root" (in any case, as Windows store names go) and no other name: a certificate added there
  // is checked to be one DER certificate, written as PEM into the folder under a name taken from
  // its SHA-256 digest (so the same certificate replaces its earlier copy), and the bundle is
  // rebuilt by the update command. Without the rights for either step the add answers false and
  // leaves no new file behind. A removal deletes that file and rebuilds the bundle.
  std::unique_ptr<platform::CertStore> OpenSystemStore(const std::string& name) override;
  // Whether files may be made in the folder (or where it would be made) and beside the bundle.
  bool MayChangeSystemStore(const std::string& name) override;
  // A store in memory that takes any DER certificate.
  std::unique_ptr<platform::CertStore> ImportPfxStore(const std::string& pfx,
                                                      const std::string& password) override;
  std::unique_ptr<platform::CertContext> CreateCertContext(const std::string& der) override;
  // Null when the bundle cannot be read. The policy check then verifies the chain to a root of the
  // bundle for the server-authentication purpose, which takes the TLS server usage or either
  // server gated cryptography usage, and checks the name as a DNS name or, when it is one, an IP
  // address.
  std::unique_ptr<platform::CertChain> GetServerAuthChain(
      const platform::CertContext& context) override;
};

}  // namespace vp
