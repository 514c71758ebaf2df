// The upstream client's TLS transport: runs the client handshake on an already-connected socket,
// on a client context made from the handler's options (shared between connections when those
// options load no files and check nothing).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "io/IOHandler.h"
#include "platform/Socket.h"
#include "tls/SslOptions.h"

namespace vp {

// Opaque handles of the TLS library's objects, as the events see them.
using SslConnectionHandle = void*;   // SSL*
using SslCertificateHandle = void*;  // X509*

struct SslClientEventLink;
class SslSessionCache;

class TIdSSLIOHandlerSocketOpenSSL {
 public:
  // Versions TLS 1.0 to 1.2 (which makes the method the flexible one), mode taken as client.
  TIdSSLIOHandlerSocketOpenSSL();
  // Connections made earlier may outlive the handler; their events stop reaching it.
  ~TIdSSLIOHandlerSocketOpenSSL();
  TIdSSLIOHandlerSocketOpenSSL(const TIdSSLIOHandlerSocketOpenSSL&) = delete;
  TIdSSLIOHandlerSocketOpenSSL& operator=(const TIdSSLIOHandlerSocketOpenSSL&) = delete;

  TIdSSLOptions SSLOptions;

  // At every state change of a connection's handshake. Calls from all connections of the process
  // run one at a time.
  std::function<void(SslConnectionHandle connection, int where, int ret)> OnStatusInfoEx;
  // Only runs when VerifyMode holds sslvrfPeer. Calls run one at a time, process-wide.
  std::function<bool(SslCertificateHandle certificate, bool ok, int depth, int error)> OnVerifyPeer;

  // Takes the client context (SslContext::Shared) and runs the handshake, with 30000 ms receive
  // and send timeouts on the socket; the client's hello names host as the server (none when it is
  // empty). Throws "Could not load SSL library.", a context error, or "Error connecting with
  // SSL." plus a line break and the library's text. The socket must outlive the result.
  // With sessions, a session kept under peer (the address connected to) and host is offered, and
  // the new one kept; only while VerifyMode is empty, since a resumed handshake checks no
  // certificate and a session made without checks must never stand in for a check.
  std::unique_ptr<IOHandler> ConnectTls(platform::Socket& socket, const std::string& host,
                                        SslSessionCache* sessions = nullptr,
                                        const std::string& peer = {});

  // Replaces the 30000 ms socket timeouts in tests.
  void SetSocketTimeoutForTesting(int timeout_ms) { socket_timeout_ms_ = timeout_ms; }

 private:
  std::shared_ptr<SslClientEventLink> link_;
  int socket_timeout_ms_;
};

}  // namespace vp
