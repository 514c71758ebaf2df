// The Method and SSLVersions setters.
#include "tls/SslOptions.h"

namespace vp {
namespace {

const TIdSSLVersions kAllRealVersions = {TIdSSLVersion::sslvSSLv2, TIdSSLVersion::sslvSSLv3,
                                         TIdSSLVersion::sslvTLSv1, TIdSSLVersion::sslvTLSv1_1,
                                         TIdSSLVersion::sslvTLSv1_2};

}  // namespace

void TIdSSLOptions::SetMethod(TIdSSLVersion method) {
  method_ = method;
  versions_ = method == TIdSSLVersion::sslvSSLv23 ? kAllRealVersions : TIdSSLVersions{method};
}

void TIdSSLOptions::SetSSLVersions(TIdSSLVersions versions) {
  if (versions.size() == 1 && *versions.begin() != TIdSSLVersion::sslvSSLv23) {
    method_ = *versions.begin();
    versions_ = std::move(versions);
    return;
  }
  if (versions.empty()) {
    versions_.clear();
    method_ = TIdSSLVersion::sslvSSLv23;
    return;
  }
  method_ = TIdSSLVersion::sslvSSLv23;
  if (versions.erase(TIdSSLVersion::sslvSSLv23) && versions.empty()) versions = kAllRealVersions;
  versions_ = std::move(versions);
}

}  // namespace vp
