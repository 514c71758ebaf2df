// The TLS byte stream: the library's records pumped through memory buffers to and from a socket.
#include "tls/TlsIOHandler.h"

#include <algorithm>
#include <climits>

#include "base/Error.h"
#include "io/ProcessorGate.h"

namespace vp {
namespace {

// One TLS record's worth; a receive never asks for more than the socket has anyway.
constexpr std::size_t kChunk = 16 * 1024;

}  // namespace

TlsIOHandler::TlsIOHandler(std::shared_ptr<SslContext> context, platform::Socket& socket,
                           TlsRole role)
    : context_(std::move(context)),
      lib_(context_->library()),
      fn_(lib_.fn()),
      socket_(socket),
      role_(role) {
  const std::shared_ptr<const SslLibrary>& library = context_->shared_library();
  lib_.ClearErrors();
  ssl_ = SslOwned<openssl::SSL>(library, fn_.SSL_new(context_->get()));
  if (!ssl_) FailHandshake(lib_.TakeErrorText(), ErrorKind::kSsl);
  SslOwned<openssl::BIO> input(library, fn_.BIO_new(fn_.BIO_s_mem()));
  SslOwned<openssl::BIO> output(library, fn_.BIO_new(fn_.BIO_s_mem()));
  if (!input || !output) FailHandshake(lib_.TakeErrorText(), ErrorKind::kSsl);
  // From here the connection owns both buffers.
  input_ = input.release();
  output_ = output.release();
  fn_.SSL_set_bio(ssl_.get(), input_, output_);
}

TlsIOHandler::~TlsIOHandler() {
  if (established_ && !broken_) {
    lib_.ClearErrors();
    fn_.SSL_shutdown(ssl_.get());
    FlushOutputQuietly();
  }
  // The connection may outlive the handler that set the app data; callbacks during the free
  // must not reach it.
  fn_.SSL_set_ex_data(ssl_.get(), openssl::kAppDataIndex, nullptr);
  ssl_.reset();
  lib_.ClearErrors();
}

void TlsIOHandler::SetAppData(void* data) {
  fn_.SSL_set_ex_data(ssl_.get(), openssl::kAppDataIndex, data);
}

void TlsIOHandler::SetServerName(const std::string& host) {
  // A null name clears it.
  fn_.SSL_ctrl(ssl_.get(), openssl::kCtrlSetTlsextHostname, openssl::kTlsextNametypeHostName,
               host.empty() ? nullptr : const_cast<char*>(host.c_str()));
  lib_.ClearErrors();  // a rejected name (too long) leaves the hello without one
}

const char* TlsIOHandler::HandshakeMessage() const {
  return role_ == TlsRole::kServer ? kMsgErrorAcceptingSsl : kMsgErrorConnectingSsl;
}

void TlsIOHandler::FailHandshake(const std::string& text, ErrorKind kind) {
  throw Error(kind, std::string(HandshakeMessage()) + "\n" + text, text);
}

void TlsIOHandler::Handshake() {
  try {
    Negotiate();
    established_ = true;
  } catch (const Error& error) {
    broken_ = true;
    // A peer that closes while our bytes are on their way answers them with a reset, and Windows
    // reports that reset rather than the end of the stream before it once both have arrived. The
    // peer closed in the handshake either way.
    if (error.kind() == ErrorKind::kConnectionClosed)
      FailHandshake(kMsgEofViolatesProtocol, ErrorKind::kConnectionClosed);
    FailHandshake(error.what(), error.kind());
  }
}

// Throws the bare text of a failure (the library's, the socket's, or the end of the stream),
// which Handshake() puts under the role's message.
void TlsIOHandler::Negotiate() {
  for (;;) {
    lib_.ClearErrors();
    int ret = HandshakeStep();
    if (ret == 1) {
      // A client that resumed a session speaks last (its Finished), and its request follows at
      // once: sent apart, the request would wait for the Finished to be acknowledged (Nagle), a
      // round trip away. The first write, read or wait sends both together.
      if (role_ == TlsRole::kServer) FlushOutput();
      return;
    }
    int error = fn_.SSL_get_error(ssl_.get(), ret);
    if (error == openssl::kErrorWantRead) {
      FlushOutput();
      if (FillInput() == Fill::kData) continue;
      throw Error(ErrorKind::kConnectionClosed, kMsgEofViolatesProtocol);
    }
    bool eof = lib_.PeerClosedUnexpectedly();
    std::string text = lib_.TakeErrorText();
    FlushOutputQuietly();  // the alert that tells the peer why
    if (eof || (text.empty() && error == openssl::kErrorSyscall)) text = kMsgEofViolatesProtocol;
    if (text.empty()) text = "SSL error " + std::to_string(error);
    throw Error(ErrorKind::kSsl, text);
  }
}

// One call into the library's handshake. With its buffers in memory the call never waits for the
// network: it only computes. On the listener's side that is the heavy part of a connection, the
// private-key operation of about a millisecond, and under load dozens of connection threads would
// compute it at once on a few processors, slowing each other with switches and lock traffic, the
// unluckiest finishing last. Through the gate they compute a processor's worth at a time, in the
// order they came. The client's steps are short, and handing a slot on would cost them more than
// it saves. A handshake that checks its peer may wait on the machine's trust store inside the
// call, so it takes no slot either.
int TlsIOHandler::HandshakeStep() {
  if (role_ == TlsRole::kClient) return fn_.SSL_connect(ssl_.get());
  if (context_->checks_peer()) return fn_.SSL_accept(ssl_.get());
  ProcessorGate::Slot slot(ComputationGate());
  return fn_.SSL_accept(ssl_.get());
}

std::size_t TlsIOHandler::Read(char* buffer, std::size_t size) {
  if (size == 0) return 0;
  int want = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
  for (;;) {
    lib_.ClearErrors();
    int ret = fn_.SSL_read(ssl_.get(), buffer, want);
    if (ret > 0) return static_cast<std::size_t>(ret);
    int error = fn_.SSL_get_error(ssl_.get(), ret);
    if (error == openssl::kErrorZeroReturn) return 0;  // close_notify
    if (error != openssl::kErrorWantRead) FailRecord(error);
    FlushOutput();  // a renegotiation or key update may need an answer first
    // A peer that closes without close_notify ends the stream like a plain socket would.
    if (FillInput() == Fill::kEnd) return 0;
  }
}

void TlsIOHandler::Write(std::string_view data) {
  while (!data.empty()) {
    int chunk = static_cast<int>(std::min<std::size_t>(data.size(), kChunk));
    lib_.ClearErrors();
    int ret = fn_.SSL_write(ssl_.get(), data.data(), chunk);
    if (ret > 0) {
      data.remove_prefix(static_cast<std::size_t>(ret));
      FlushOutput();
      continue;
    }
    int error = fn_.SSL_get_error(ssl_.get(), ret);
    if (error != openssl::kErrorWantRead) FailRecord(error);
    FlushOutput();
    if (FillInput() == Fill::kEnd)
      throw Error(ErrorKind::kConnectionClosed, kMsgEofViolatesProtocol);
  }
}

bool TlsIOHandler::WaitReadable(int timeout_ms) {
  FlushOutput();  // the peer may be waiting for what we still hold
  if (fn_.SSL_pending(ssl_.get()) > 0) return true;
  if (fn_.BIO_ctrl_pending(input_) > 0) {
    // Bytes already received may complete a record; looking costs no socket call.
    lib_.ClearErrors();
    char byte;
    int ret = fn_.SSL_peek(ssl_.get(), &byte, 1);
    if (ret > 0) return true;
    int error = fn_.SSL_get_error(ssl_.get(), ret);
    FlushOutputQuietly();
    lib_.ClearErrors();
    if (error != openssl::kErrorWantRead) return true;  // Read reports the end or the error
  }
  return socket_.WaitReadable(timeout_ms);
}

std::string TlsIOHandler::ProtocolVersion() const {
  const char* version = fn_.SSL_get_version(ssl_.get());
  return version ? version : "";
}

TlsIOHandler::Fill TlsIOHandler::FillInput() {
  char buffer[kChunk];
  std::size_t n = socket_.Receive(buffer, sizeof buffer);
  if (n == 0) return Fill::kEnd;
  // A memory buffer takes everything it is given.
  fn_.BIO_write(input_, buffer, static_cast<int>(n));
  return Fill::kData;
}

void TlsIOHandler::FlushOutput() {
  char buffer[kChunk];
  while (fn_.BIO_ctrl_pending(output_) > 0) {
    int n = fn_.BIO_read(output_, buffer, sizeof buffer);
    if (n <= 0) return;
    socket_.SendAll(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
}

void TlsIOHandler::FlushOutputQuietly() {
  try {
    FlushOutput();
  } catch (const Error&) {
    // The peer has gone; there is nobody left to tell.
  }
}

void TlsIOHandler::FailRecord(int error) {
  broken_ = true;
  bool eof = lib_.PeerClosedUnexpectedly();
  std::string text = lib_.TakeErrorText();
  FlushOutputQuietly();
  if (eof) throw Error(ErrorKind::kConnectionClosed, kMsgEofViolatesProtocol, text);
  if (text.empty()) text = "SSL error " + std::to_string(error);
  throw Error(ErrorKind::kSsl, text, text);
}

}  // namespace vp
