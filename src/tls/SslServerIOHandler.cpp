// The listener's TLS transport: the shared server context and the accept handshake.
#include "tls/SslServerIOHandler.h"

#include "base/Error.h"
#include "tls/SslContext.h"
#include "tls/TlsIOHandler.h"

namespace vp {

TIdServerIOHandlerSSLOpenSSL::TIdServerIOHandlerSSLOpenSSL() = default;
TIdServerIOHandlerSSLOpenSSL::~TIdServerIOHandlerSSLOpenSSL() = default;

void TIdServerIOHandlerSSLOpenSSL::Init() {
  if (SSLOptions.Mode == TIdSSLMode::sslmUnassigned) SSLOptions.Mode = TIdSSLMode::sslmServer;
  // A changed certificate takes effect at the next start: the context is always built anew.
  std::shared_ptr<SslContext> context = SslContext::Create(SslLibrary::Get(), SSLOptions, {});
  std::lock_guard<std::mutex> lock(mutex_);
  context_ = std::move(context);
}

std::shared_ptr<SslContext> TIdServerIOHandlerSSLOpenSSL::Context() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return context_;
}

std::unique_ptr<IOHandler> TIdServerIOHandlerSSLOpenSSL::Accept(platform::Socket& socket) {
  std::shared_ptr<SslContext> context = Context();
  if (!context)
    throw Error(ErrorKind::kSsl, std::string(kMsgErrorAcceptingSsl) + "\nno TLS context");
  socket.SetTimeouts(socket_timeout_ms_, socket_timeout_ms_);
  auto connection = std::make_unique<TlsIOHandler>(std::move(context), socket, TlsRole::kServer);
  connection->Handshake();
  return connection;
}

void TIdServerIOHandlerSSLOpenSSL::Shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  context_.reset();
}

}  // namespace vp
