// Placeholder until the TLS layer is built: every start in a TLS mode fails cleanly.
#include "protocol/SslServerIOHandler.h"

#include "platform/Error.h"

namespace vp {

TIdServerIOHandlerSSLOpenSSL::TIdServerIOHandlerSSLOpenSSL() = default;
TIdServerIOHandlerSSLOpenSSL::~TIdServerIOHandlerSSLOpenSSL() = default;

void TIdServerIOHandlerSSLOpenSSL::Init() {
  throw Error(ErrorKind::kSslLibrary, kMsgCouldNotLoadSslLibrary);
}

std::unique_ptr<IOHandler> TIdServerIOHandlerSSLOpenSSL::Accept(platform::Socket&) {
  throw Error(ErrorKind::kSslLibrary, kMsgCouldNotLoadSslLibrary);
}

void TIdServerIOHandlerSSLOpenSSL::Shutdown() {}

}  // namespace vp
