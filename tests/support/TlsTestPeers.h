// TLS peers for tests, on 127.0.0.1 only and built on the program's own TLS classes: a server
// that serves each connection with a test's session function, and a client with chosen versions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Socket.h"
#include "support/TestPaths.h"
#include "tls/SslClientIOHandler.h"
#include "tls/SslOptions.h"
#include "tls/SslServerIOHandler.h"
#include "tls/TlsIOHandler.h"

namespace vp::test {

// Server options with the test host's certificate and key and the given versions.
TIdSSLOptions TestServerOptions(TIdSSLVersions versions = {TIdSSLVersion::sslvTLSv1});

// Accepts connections on its own thread, one at a time, until destroyed. Each one runs the
// server handshake and then session(connection); a failed handshake is kept as LastError().
class TlsTestServer {
 public:
  using Session = std::function<void(TlsIOHandler& connection)>;
  // Throws the context error when the options do not make a context.
  TlsTestServer(const TIdSSLOptions& options, Session session, int socket_timeout_ms = 5000);
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  std::uint16_t port() const { return port_; }
  // The text of the last failed handshake, waiting up to timeout_ms for one to be recorded.
  std::string WaitForError(int timeout_ms);
  int handshakes() const { return handshakes_.load(); }

 private:
  void Run();

  TIdServerIOHandlerSSLOpenSSL handler_;
  Session session_;
  platform::Socket listening_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> handshakes_{0};
  std::mutex mutex_;
  std::string last_error_;  // guarded by mutex_
  std::thread thread_;
};

// A connected TLS client: connects to 127.0.0.1:port and runs the client handshake with the
// versions given, verifying nothing, and sending server_name as its server name when not empty.
class TlsTestClient {
 public:
  TlsTestClient(std::uint16_t port, TIdSSLVersions versions, const std::string& server_name = "");
  // A till of the Windows XP era: TLS 1.0 with the one named suite. Its context can also serve,
  // the only kind that the program makes where RC4 can be had.
  TlsTestClient(std::uint16_t port, const std::string& cipher_suite);
  IOHandler& io() { return *io_; }
  // The negotiated version as the library names it ("TLSv1").
  std::string Version() const;
  // Reads until the server closes, giving up after timeout_ms without bytes.
  std::string ReadToEnd(int timeout_ms = 5000);

 private:
  platform::Socket socket_;
  TIdSSLIOHandlerSocketOpenSSL handler_;
  std::unique_ptr<IOHandler> io_;
};

// The client handshake's error text against 127.0.0.1:port with these versions, or "" when it
// succeeded.
std::string TryTlsConnect(std::uint16_t port, TIdSSLVersions versions);

}  // namespace vp::test
