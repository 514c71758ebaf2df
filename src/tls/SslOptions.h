// The options a TLS handler builds its context from.
#pragma once

#include <set>
#include <string>

namespace vp {

enum class TIdSSLVersion { sslvSSLv2, sslvSSLv23, sslvSSLv3, sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2 };
using TIdSSLVersions = std::set<TIdSSLVersion>;

enum class TIdSSLMode { sslmUnassigned, sslmClient, sslmServer, sslmBoth };

enum class TIdSSLVerifyMode { sslvrfPeer, sslvrfFailIfNoPeerCert, sslvrfClientOnce };
using TIdSSLVerifyModeSet = std::set<TIdSSLVerifyMode>;

class TIdSSLOptions {
 public:
  std::string RootCertFile;  // trusted roots (PEM)
  std::string CertFile;      // own certificate (PEM)
  std::string KeyFile;       // own private key (PEM)
  std::string DHParamsFile;  // Diffie-Hellman parameters (PEM)
  TIdSSLMode Mode = TIdSSLMode::sslmUnassigned;
  int VerifyDepth = 0;
  TIdSSLVerifyModeSet VerifyMode;
  std::string VerifyDirs;
  std::string CipherList;

  TIdSSLVersion Method() const { return method_; }
  const TIdSSLVersions& SSLVersions() const { return versions_; }
  // Method and SSLVersions keep each other consistent: a single version is also the method; a
  // method of sslvSSLv23 stands for every real version.
  void SetMethod(TIdSSLVersion method);
  void SetSSLVersions(TIdSSLVersions versions);

  friend bool operator==(const TIdSSLOptions&, const TIdSSLOptions&) = default;

 private:
  TIdSSLVersion method_ = TIdSSLVersion::sslvTLSv1;
  TIdSSLVersions versions_{TIdSSLVersion::sslvTLSv1};
};

}  // namespace vp
