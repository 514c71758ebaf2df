// A byte stream over TLS on one connected socket: the handshake, then records in and out.
//
// The TLS library never touches the socket itself. It works on two memory buffers, and this class
// moves the bytes between them and the socket with the platform's own calls, so the socket's
// timeouts, its errors and Interrupt() from another thread behave exactly as on a plain
// connection, on every platform.
#pragma once

#include <memory>
#include <string>

#include "base/Error.h"
#include "io/IOHandler.h"
#include "platform/Socket.h"
#include "tls/SslContext.h"
#include "tls/SslOwned.h"

namespace vp {

// Bounds each receive and send on a TLS connection, the handshake's included, on both sides.
inline constexpr int kSslSocketTimeoutMs = 30000;

inline constexpr const char* kMsgErrorAcceptingSsl = "Error accepting connection with SSL.";
inline constexpr const char* kMsgErrorConnectingSsl = "Error connecting with SSL.";
// The library text of a handshake that the peer ended by closing its socket.
inline constexpr const char* kMsgEofViolatesProtocol =
    "EOF was observed that violates the protocol";

enum class TlsRole { kServer, kClient };

class TlsIOHandler final : public IOHandler {
 public:
  // Makes the connection object on the context; the socket is not owned. Throws the role's
  // handshake error when the library cannot make it.
  TlsIOHandler(std::shared_ptr<SslContext> context, platform::Socket& socket, TlsRole role);
  // Sends close_notify when the handshake had succeeded, best effort, then frees the connection.
  ~TlsIOHandler() override;
  TlsIOHandler(const TlsIOHandler&) = delete;
  TlsIOHandler& operator=(const TlsIOHandler&) = delete;

  // What the context's callbacks find in the connection's app data. Set before Handshake().
  void SetAppData(void* data);
  // The server name indication the client's hello carries; an empty host sends none. Set before
  // Handshake().
  void SetServerName(const std::string& host);
  // Keeps an object alive as long as this connection (the target of the callbacks).
  void KeepAlive(std::shared_ptr<void> object) { kept_ = std::move(object); }

  // Runs the server or client handshake. Throws "Error accepting connection with SSL." or "Error
  // connecting with SSL.", a line break and the library's text (or the socket's, when a receive
  // timed out or failed; the error then keeps the socket error's kind).
  void Handshake();

  std::size_t Read(char* buffer, std::size_t size) override;
  void Write(std::string_view data) override;
  bool WaitReadable(int timeout_ms) override;
  platform::Socket& socket() override { return socket_; }

  // The library's connection object (SSL*), for the events and for tests.
  openssl::SSL* connection() const { return ssl_.get(); }
  // The context the connection was made on.
  const SslContext& context() const { return *context_; }
  // The negotiated protocol, as the library names it ("TLSv1", "TLSv1.2").
  std::string ProtocolVersion() const;

 private:
  enum class Fill { kData, kEnd };

  const char* HandshakeMessage() const;
  [[noreturn]] void FailHandshake(const std::string& text, ErrorKind kind);
  void Negotiate();
  int HandshakeStep();
  Fill FillInput();
  void FlushOutput();
  void FlushOutputQuietly();
  [[noreturn]] void FailRecord(int error);

  std::shared_ptr<SslContext> context_;
  const SslLibrary& lib_;
  const SslFunctions& fn_;
  platform::Socket& socket_;
  TlsRole role_;
  SslOwned<openssl::SSL> ssl_;
  openssl::BIO* input_ = nullptr;   // owned by ssl_
  openssl::BIO* output_ = nullptr;  // owned by ssl_
  bool established_ = false;
  bool broken_ = false;
  std::shared_ptr<void> kept_;
};

}  // namespace vp
