// The root certificate installer: puts a certificate file into one of the current user's
// certificate stores, and judges a TLS server's certificate against the machine's trusted roots.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/CertStore.h"
#include "tls/SslClientIOHandler.h"

namespace vp {

// Keeps nothing between calls: make one, call one operation, let it go. Nothing here shows a
// message or raises an error of its own; a failure answers false or null.
class TKesCertStore {
 public:
  // False when the file does not exist, the store does not open or refuses the certificate (not
  // DER, damaged, the user declined). A file that exists but cannot be read raises the platform's
  // file error (ErrorKind::kFileOpen). A bare file name is taken from the current folder.
  bool AddCertificateFile(const std::string& file_name, const std::string& store_name);
  // Whether this process may add to the named store itself; false when only an elevated copy of
  // the program may (the machine's trust store files). A PKCS #12 file is always a store in memory.
  bool MayChangeStore(const std::string& store_name);
  // Whether the store holds the certificate of the file: the state read back after an elevated
  // copy of the program has added it. False when the file is missing or cannot be read.
  bool HoldsCertificateFile(const std::string& file_name, const std::string& store_name);
  // The whole stream's bytes, as one DER certificate, into the named store; an equal certificate
  // already there is replaced.
  bool AddCertificateStream(std::string_view stream, const std::string& store_name);
  // Takes the file's certificate out of the store; true when it is not there afterwards. False
  // when the file does not exist or the store does not open or refuses.
  bool RemoveCertificateFile(const std::string& file_name, const std::string& store_name);
  // A name whose extension is exactly ".pfx" is the path of a PKCS #12 file; any other name,
  // ".PFX" included, names a system store of the current user ("Root").
  std::unique_ptr<platform::CertStore> OpenStore(const std::string& store_name,
                                                 const std::string& password);
  // Null when the file is missing or does not open with that password; a file that exists but
  // cannot be read raises the platform's file error.
  std::unique_ptr<platform::CertStore> OpenPFXStore(const std::string& path,
                                                    const std::string& password);

  // Whether the TLS library's certificate chains to a root the machine trusts, is valid for server
  // authentication and is issued for server_name; an empty name skips the name check.
  bool VerifyX509(SslCertificateHandle certificate, const std::string& server_name);
  // The platform's context of the TLS library's certificate; null when the library is not loaded or
  // the platform refuses the encoding.
  std::unique_ptr<platform::CertContext> CertContextFromX509(SslCertificateHandle certificate);
  std::unique_ptr<platform::CertChain> GetServerAuthChain(const platform::CertContext& context);
  bool VerifyServerChain(const platform::CertContext* context, const std::string& server_name);
};

// Makes VerifyX509 the upstream forwarder's check of the certificates that the TLS library itself
// did not accept (TKesHttp::VerifyPeer), each call with a store of its own. Called once when the
// program starts.
void UseCertStoreForForwarderTrust();

}  // namespace vp
