// The machine's trusted certificates: the stores that hold them and the chain engine that judges a
// server's certificate against them. Windows has a certificate service of its own (CryptoAPI);
// elsewhere the trusted roots are PEM files and a bundle built from them, which TLS libraries read,
// and the layer above works them with the TLS library.
#pragma once

#include <memory>
#include <string>

namespace vp::platform {

// An open certificate store, closed when its owner goes.
class CertStore {
 public:
  virtual ~CertStore() = default;
  // Adds one DER-encoded X.509 certificate byte for byte, replacing an equal one already there.
  // False when the store refuses it: not DER, damaged, or the user declined the system's own
  // confirmation.
  virtual bool AddEncodedCertificate(const std::string& der) = 0;
  // Whether the store holds a certificate equal to the DER bytes.
  virtual bool HoldsEncodedCertificate(const std::string& der) = 0;
  // Takes every copy of one DER-encoded X.509 certificate out of the store. True when none is left
  // (also when there was none); false when the bytes are not DER or the store refuses: no rights,
  // or the user declined the system's own confirmation.
  virtual bool RemoveEncodedCertificate(const std::string& der) = 0;
};

// A certificate as the chain engine holds it.
class CertContext {
 public:
  virtual ~CertContext() = default;
};

// The chain from a certificate up to a root, built for server authentication.
class CertChain {
 public:
  virtual ~CertChain() = default;
  // Whether the chain passes the TLS server policy for server_name (8-bit ANSI text): a trusted
  // root, in date, usable for server authentication, issued for that name. An empty name skips
  // the name check.
  virtual bool VerifySslServerPolicy(const std::string& server_name) const = 0;
};

class CertService {
 public:
  virtual ~CertService() = default;
  // The current user's system store of that name ("Root"), or null when it cannot be opened.
  virtual std::unique_ptr<CertStore> OpenSystemStore(const std::string& name) = 0;
  // Whether this process may add to that system store itself; false when it takes an elevated
  // copy of the program (the machine's trust store files belong to root).
  virtual bool MayChangeSystemStore(const std::string& name) = 0;
  // A store in memory with what a PKCS #12 file holds, or null when the bytes are not one or the
  // password does not open it.
  virtual std::unique_ptr<CertStore> ImportPfxStore(const std::string& pfx,
                                                    const std::string& password) = 0;
  // Null when the bytes are not a DER-encoded certificate.
  virtual std::unique_ptr<CertContext> CreateCertContext(const std::string& der) = 0;
  // The chain of a context this service made, asked for any of the server-authentication usages
  // (TLS web server, and both kinds of server gated cryptography); null when none can be built.
  virtual std::unique_ptr<CertChain> GetServerAuthChain(const CertContext& context) = 0;
};

// The certificate service of the operating system; null where it has none (POSIX).
CertService* NativeCertService();

// Where trusted roots lie as files, on a machine without a certificate service (Debian's
// ca-certificates layout). Unused on Windows, which answers empty names.
struct TrustStoreFiles {
  std::string folder;          // local roots, one PEM file each, named *.crt
  std::string bundle;          // every trusted root in one PEM file, as TLS libraries read them
  std::string update_command;  // a program that rebuilds the bundle from the folders
};

// POSIX: /usr/local/share/ca-certificates, /etc/ssl/certs/ca-certificates.crt and
// /usr/sbin/update-ca-certificates, unless a test has set others.
TrustStoreFiles CurrentTrustStoreFiles();
// Tests point the trust store at a temp folder and a script of their own; an empty folder
// restores the machine's.
void SetTrustStoreFilesForTesting(const TrustStoreFiles& files);

// Runs the update command with no arguments and its output discarded (errors still reach standard
// error), and waits for it. True when it ran and exited with status 0. Always false on Windows.
bool RunTrustStoreUpdate(const std::string& command);

}  // namespace vp::platform
