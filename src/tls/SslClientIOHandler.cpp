// The upstream client's TLS transport: a handshake for every connection, on a context made from the
// handler's options, with the information and verify events routed back to the handler that made
// the connection.
#include "tls/SslClientIOHandler.h"

#include <mutex>

#include "base/Error.h"
#include "tls/SslContext.h"
#include "tls/SslSessionCache.h"
#include "tls/TlsIOHandler.h"

namespace vp {

// What a connection's app data points at. The handler detaches itself when it goes, so a
// connection that outlives it (its close_notify is sent later) calls nobody.
struct SslClientEventLink {
  TIdSSLIOHandlerSocketOpenSSL* handler = nullptr;  // guarded by both callback mutexes
};

namespace {

// Each event runs under its own process-wide lock, one thread at a time.
std::mutex g_info_mutex;
std::mutex g_verify_mutex;

SslClientEventLink* LinkOf(const openssl::SSL* ssl) {
  std::shared_ptr<const SslLibrary> library = SslLibrary::Get();
  return static_cast<SslClientEventLink*>(
      library->fn().SSL_get_ex_data(ssl, openssl::kAppDataIndex));
}

void InfoCallback(const openssl::SSL* ssl, int where, int ret) {
  try {
    std::lock_guard<std::mutex> lock(g_info_mutex);
    SslClientEventLink* link = LinkOf(ssl);
    if (!link || !link->handler || !link->handler->OnStatusInfoEx) return;
    link->handler->OnStatusInfoEx(const_cast<openssl::SSL*>(ssl), where, ret);
  } catch (...) {
    // An exception must not cross the library's C frames; the handshake goes on without it.
  }
}

int VerifyCallback(int preverify_ok, openssl::X509_STORE_CTX* store) {
  try {
    std::shared_ptr<const SslLibrary> library = SslLibrary::Get();
    const SslFunctions& fn = library->fn();
    auto* ssl = static_cast<openssl::SSL*>(
        fn.X509_STORE_CTX_get_ex_data(store, fn.SSL_get_ex_data_X509_STORE_CTX_idx()));
    std::lock_guard<std::mutex> lock(g_verify_mutex);
    SslClientEventLink* link = ssl ? LinkOf(ssl) : nullptr;
    if (!link || !link->handler || !link->handler->OnVerifyPeer) return preverify_ok;
    bool accepted = link->handler->OnVerifyPeer(
        fn.X509_STORE_CTX_get_current_cert(store), preverify_ok != 0,
        fn.X509_STORE_CTX_get_error_depth(store), fn.X509_STORE_CTX_get_error(store));
    return accepted ? 1 : 0;
  } catch (...) {
    return 0;  // a check that cannot run rejects the certificate
  }
}

}  // namespace

TIdSSLIOHandlerSocketOpenSSL::TIdSSLIOHandlerSocketOpenSSL()
    : link_(std::make_shared<SslClientEventLink>()), socket_timeout_ms_(kSslSocketTimeoutMs) {
  link_->handler = this;
  SSLOptions.SetSSLVersions(
      {TIdSSLVersion::sslvTLSv1, TIdSSLVersion::sslvTLSv1_1, TIdSSLVersion::sslvTLSv1_2});
}

TIdSSLIOHandlerSocketOpenSSL::~TIdSSLIOHandlerSocketOpenSSL() {
  std::scoped_lock lock(g_info_mutex, g_verify_mutex);
  link_->handler = nullptr;
}

std::unique_ptr<IOHandler> TIdSSLIOHandlerSocketOpenSSL::ConnectTls(platform::Socket& socket,
                                                                    const std::string& host,
                                                                    SslSessionCache* sessions,
                                                                    const std::string& peer) {
  if (SSLOptions.Mode == TIdSSLMode::sslmUnassigned) SSLOptions.Mode = TIdSSLMode::sslmClient;
  SslContextCallbacks callbacks;
  if (OnStatusInfoEx) callbacks.info = &InfoCallback;
  if (OnVerifyPeer) callbacks.verify = &VerifyCallback;
  // Made from the options as they are now (the proxy empties VerifyMode just before it posts).
  // The proxy's road checks nothing and loads no files, so every request shares one context;
  // the connection itself, its handshake and its server name stay per request.
  std::shared_ptr<SslContext> context =
      SslContext::Shared(SslLibrary::Get(), SSLOptions, callbacks);
  socket.SetTimeouts(socket_timeout_ms_, socket_timeout_ms_);
  auto connection = std::make_unique<TlsIOHandler>(std::move(context), socket, TlsRole::kClient);
  connection->KeepAlive(link_);
  connection->SetAppData(link_.get());
  connection->SetServerName(host);
  if (!SSLOptions.VerifyMode.empty()) sessions = nullptr;
  const std::string key = peer + "|" + host;
  if (sessions) sessions->Offer(*connection, key);
  connection->Handshake();
  if (sessions) sessions->Keep(*connection, key);
  return connection;
}

}  // namespace vp
