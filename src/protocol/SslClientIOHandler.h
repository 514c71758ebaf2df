// The upstream client's TLS transport: makes a client context per connection and runs the client
// handshake on an already-connected socket.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Socket.h"
#include "protocol/IOHandler.h"
#include "protocol/SslOptions.h"

namespace vp {

// Opaque handles of the TLS library's objects, as the events see them.
using SslConnectionHandle = void*;  // SSL*
using SslCertificateHandle = void*;  // X509*

class TIdSSLIOHandlerSocketOpenSSL {
 public:
  TIdSSLIOHandlerSocketOpenSSL();
  ~TIdSSLIOHandlerSocketOpenSSL();
  TIdSSLIOHandlerSocketOpenSSL(const TIdSSLIOHandlerSocketOpenSSL&) = delete;
  TIdSSLIOHandlerSocketOpenSSL& operator=(const TIdSSLIOHandlerSocketOpenSSL&) = delete;

  TIdSSLOptions SSLOptions;

  // At every state change of a connection's handshake; the first call comes before the client's
  // first handshake message, so the server name can be set there (SetServerName).
  std::function<void(SslConnectionHandle connection, int where, int ret)> OnStatusInfoEx;
  // Only runs when VerifyMode holds sslvrfPeer.
  std::function<bool(SslCertificateHandle certificate, bool ok, int depth, int error)>
      OnVerifyPeer;

  // Sets the server name indication of a connection under handshake.
  void SetServerName(SslConnectionHandle connection, const std::string& host);

  // Makes the client context and runs the handshake, with 30000 ms receive and send timeouts on
  // the socket. Throws "Error connecting with SSL." plus a line break and the library's text.
  std::unique_ptr<IOHandler> ConnectTls(platform::Socket& socket);
};

}  // namespace vp
