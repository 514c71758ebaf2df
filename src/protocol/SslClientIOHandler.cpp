// Placeholder until the TLS layer is built.
#include "protocol/SslClientIOHandler.h"

#include "platform/Error.h"
#include "protocol/SslServerIOHandler.h"

namespace vp {

TIdSSLIOHandlerSocketOpenSSL::TIdSSLIOHandlerSocketOpenSSL() {
  SSLOptions.SetSSLVersions({TIdSSLVersion::sslvTLSv1, TIdSSLVersion::sslvTLSv1_1,
                             TIdSSLVersion::sslvTLSv1_2});
}

TIdSSLIOHandlerSocketOpenSSL::~TIdSSLIOHandlerSocketOpenSSL() = default;

void TIdSSLIOHandlerSocketOpenSSL::SetServerName(SslConnectionHandle, const std::string&) {}

std::unique_ptr<IOHandler> TIdSSLIOHandlerSocketOpenSSL::ConnectTls(platform::Socket&) {
  throw Error(ErrorKind::kSslLibrary, kMsgCouldNotLoadSslLibrary);
}

}  // namespace vp
