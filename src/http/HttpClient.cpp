// One POST per call, redirects included, on a new connection or one the pool kept.
#include "http/HttpClient.h"

#include <algorithm>
#include <cctype>

#include "base/AsciiText.h"
#include "base/Error.h"
#include "http/HttpAnswer.h"
#include "http/HttpAnswerStream.h"
#include "http/HttpRedirect.h"
#include "io/BufferedReader.h"
#include "io/Watchdog.h"
#include "tls/TlsIOHandler.h"

namespace vp {
namespace {

// A body up to this size goes out in the same write as the head: one send call and one TLS record
// instead of two, and no small second segment for Nagle to hold back until the head is
// acknowledged (which delayed ACKs can stretch to 200 ms on Windows).
constexpr std::size_t kCoalesceLimit = 16 * 1024;
// Larger bodies are written straight from the caller's text in pieces, with work reported after
// each.
constexpr std::size_t kSendPiece = 64 * 1024;
constexpr std::size_t kHeadReserve = 512;
constexpr int kMaxInterimAnswers = 16;

std::uint16_t ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) throw Error(ErrorKind::kGeneric, kMsgInvalidPort + text);
  unsigned value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)))
      throw Error(ErrorKind::kGeneric, kMsgInvalidPort + text);
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) throw Error(ErrorKind::kGeneric, kMsgInvalidPort + text);
  return static_cast<std::uint16_t>(value);
}

// Interim answers (100 Continue and the like) come before the real one and carry no body.
HttpAnswerHead ReadFinalHead(BufferedReader& reader, int timeout_ms) {
  for (int interim = 0;; ++interim) {
    if (!reader.HasInput(timeout_ms)) throw Error(ErrorKind::kSocketTimeout, kMsgReadTimedOut);
    HttpAnswerHead head = ReadAnswerHead(reader);
    if (head.Code >= 200 || head.Code == 101) return head;
    if (interim >= kMaxInterimAnswers)
      throw Error(ErrorKind::kHttpProtocol, kMsgTooManyInterimAnswers);
  }
}

// A connection that ended under our request: closed or reset by the server, not timed out.
bool IsConnectionLoss(const Error& error) {
  return error.kind() == ErrorKind::kConnectionClosed || error.kind() == ErrorKind::kSocket;
}

}  // namespace

struct TIdHTTP::Target {
  std::uint16_t port = 0;
  bool tls = false;
};

TIdHTTP::TIdHTTP() = default;

TIdHTTP::~TIdHTTP() { Disconnect(); }

void TIdHTTP::Post(const std::string& url, std::string_view body, std::string& answer) {
  retried_ = false;
  RunBounded([&] { PostWithin(url, body, answer); });
}

void TIdHTTP::Open(const std::string& url) {
  RunBounded([&] {
    if (interrupted_) throw Error(ErrorKind::kCancelled, kMsgTransferCancelled);
    SetURL(url);
    Connect(ResolveTarget());
  });
}

const TlsIOHandler* TIdHTTP::TlsConnection() const {
  return dynamic_cast<const TlsIOHandler*>(io_);
}

void TIdHTTP::RunBounded(const std::function<void()>& work) {
  Disconnect();
  expired_ = false;
  try {
    Watch watch(DeadlineIn(Timeouts.post_ms), [this] { Expire(); });
    work();
  } catch (...) {
    Disconnect();
    const bool expired = expired_;
    const bool interrupted = interrupted_;
    interrupted_ = false;
    if (expired) throw Error(ErrorKind::kSocketTimeout, kMsgReadTimedOut);
    if (interrupted) throw Error(ErrorKind::kCancelled, kMsgTransferCancelled);
    throw;
  }
  interrupted_ = false;
}

void TIdHTTP::SetURL(const std::string& url) {
  url_ = SplitUrl(url);
  url_.scheme = AsciiLowerCopy(url_.scheme);
}

void TIdHTTP::ReportStep(TConnectStep step, const std::vector<std::string>& addresses) const {
  if (OnConnectStep) OnConnectStep(step, addresses);
}

void TIdHTTP::Expire() {
  expired_ = true;
  Interrupt();
}

// The post itself, while the watch of its whole time runs.
void TIdHTTP::PostWithin(const std::string& url, std::string_view body, std::string& answer) {
  const std::size_t answer_start = answer.size();
  std::string current = url;
  std::string method = "POST";
  bool with_body = true;
  int redirects = 0;
  try {
    if (interrupted_) throw Error(ErrorKind::kCancelled, kMsgTransferCancelled);
    for (;;) {
      SetURL(current);
      std::string next;
      bool done = Exchange(method, body, with_body, answer, next, redirects);
      Release();
      if (done) break;
      // A 303 asks for the result with a GET; every other redirect repeats the POST.
      if (response_code_ == 303) {
        method = "GET";
        with_body = false;
      }
      current = std::move(next);
    }
    // A cancel that came with the last bytes still fails the post: the caller asked to stop.
    if (interrupted_) throw Error(ErrorKind::kCancelled, kMsgTransferCancelled);
  } catch (...) {
    answer.resize(answer_start);
    throw;
  }
}

bool TIdHTTP::Exchange(const std::string& method, std::string_view body, bool with_body,
                       std::string& answer, std::string& next_url, int& redirects) {
  Target target = ResolveTarget();
  const bool reused = Open(target);
  try {
    return ExchangeOn(target, method, body, with_body, answer, next_url, redirects);
  } catch (const Error& error) {
    if (!reused || answer_begun_ || retried_ || interrupted_ || !IsConnectionLoss(error)) throw;
  }
  // A server closes an idle connection when it likes; the close may cross our request on the
  // way. Nothing of an answer came, so the request goes once more, on a connection of its own.
  retried_ = true;
  Disconnect();
  Connect(target);
  return ExchangeOn(target, method, body, with_body, answer, next_url, redirects);
}

bool TIdHTTP::ExchangeOn(const Target& target, const std::string& method, std::string_view body,
                         bool with_body, std::string& answer, std::string& next_url,
                         int& redirects) {
  keep_ = false;
  answer_begun_ = false;
  SendRequest(method, body, with_body, target);
  CappedIOHandler capped(*io_, kMaxAnswerBytes + kAnswerFramingAllowance);
  BufferedReader reader(capped);
  try {
    return ReadAnswer(reader, answer, next_url, redirects);
  } catch (...) {
    answer_begun_ = capped.received() > 0;
    throw;
  }
}

bool TIdHTTP::ReadAnswer(BufferedReader& reader, std::string& answer, std::string& next_url,
                         int& redirects) {
  HttpAnswerHead head = ReadFinalHead(reader, Timeouts.socket_ms);
  response_code_ = head.Code;
  auto progress = [this](std::uint64_t count) {
    ReportWork(TWorkMode::wmRead, static_cast<std::int64_t>(count));
  };

  std::string location = head.Headers.Value("Location");
  if (HandleRedirects && IsFollowableRedirect(head.Code, location)) {
    if (++redirects >= RedirectMaximum) return true;  // no error, and no answer
    next_url = ResolveRedirect(location, url_);
    return false;
  }
  if (head.Code >= 200 && head.Code < 300) {
    BodyFraming framing = FramingOf(head);
    if (OnWorkBegin)
      OnWorkBegin(TWorkMode::wmRead, framing.kind == BodyFraming::kLength
                                         ? static_cast<std::int64_t>(framing.length)
                                         : 0);
    ReadAnswerBody(reader, framing, answer, progress);
    // Bytes beyond the answer belong to nothing we asked for.
    keep_ = AnswerKeepsConnection(head, framing) && reader.Buffered() == 0;
    return true;
  }
  // The status is the failure; a body that cannot be read whole does not change that.
  std::string error_body;
  try {
    ReadAnswerBody(reader, FramingOf(head), error_body, nullptr);
  } catch (const Error&) {
    if (interrupted_) throw;
  }
  throw Error(ErrorKind::kHttpProtocol, head.StatusLine, std::move(error_body), head.Code);
}

TIdHTTP::Target TIdHTTP::ResolveTarget() const {
  Target target;
  if (url_.scheme == "https") {
    target.tls = true;
  } else if (url_.scheme != "http") {
    throw Error(ErrorKind::kGeneric, kMsgUnknownProtocol + url_.scheme);
  }
  if (target.tls && !IOHandler) throw Error(ErrorKind::kSslLibrary, kMsgIOHandlerNotValid);
  target.port = url_.port.empty() ? DefaultPortOf(url_.scheme) : ParsePort(url_.port);
  return target;
}

std::string TIdHTTP::PoolKey(const Target& target) const {
  std::string key = url_.scheme + "://" + url_.host + ":" + std::to_string(target.port);
  // A connection opened without checking the server's certificate must never stand in for one
  // whose check a client asks for.
  if (target.tls && !IOHandler->SSLOptions.VerifyMode.empty()) key += " checked";
  return key;
}

bool TIdHTTP::Open(const Target& target) {
  if (Pool) {
    if (std::unique_ptr<UpstreamConnection> kept = Pool->Take(PoolKey(target))) {
      // The bounds of this post, which may differ from those of the post that opened it.
      kept->socket.SetTimeouts(Timeouts.socket_ms, Timeouts.socket_ms);
      Adopt(std::move(kept));
      return true;
    }
  }
  Connect(target);
  return false;
}

void TIdHTTP::Connect(const Target& target) {
  const int timeout_ms = Timeouts.socket_ms;
  auto connection = std::make_unique<UpstreamConnection>();
  connection->key = PoolKey(target);
  platform::ResolvedHost host = platform::ResolvedHost::Resolve(url_.host, target.port);
  std::vector<std::string> addresses;
  if (OnConnectStep) addresses = host.Addresses();
  ReportStep(TConnectStep::kResolved, addresses);
  connection->socket = platform::Socket::ConnectTcp(host, timeout_ms, interrupted_);
  ReportStep(TConnectStep::kConnected, addresses);
  if (!target.tls) {
    connection->socket.SetTimeouts(timeout_ms, timeout_ms);  // the TLS layer sets its own
    connection->io = std::make_unique<PlainIOHandler>(connection->socket);
    Adopt(std::move(connection));
    return;
  }
  Adopt(std::move(connection));  // before the handshake, so that Interrupt reaches it
  connection_->io = IOHandler->ConnectTls(connection_->socket, url_.host,
                                          Pool ? &Pool->Sessions() : nullptr, connection_->key);
  // The TLS layer sets its own fixed timeouts; only a shortened test bound differs from them.
  if (timeout_ms != kUpstreamTimeoutMs) connection_->socket.SetTimeouts(timeout_ms, timeout_ms);
  io_ = connection_->io.get();
  ReportStep(TConnectStep::kHandshaken, addresses);
}

void TIdHTTP::Adopt(std::unique_ptr<UpstreamConnection> connection) {
  std::lock_guard<std::mutex> lock(socket_mutex_);
  connection_ = std::move(connection);
  io_ = connection_->io.get();
  if (interrupted_) connection_->socket.Interrupt();
}

void TIdHTTP::Release() {
  std::unique_ptr<UpstreamConnection> kept;
  {
    // An interrupted socket is dead for good; one kept now would fail its next post.
    std::lock_guard<std::mutex> lock(socket_mutex_);
    if (keep_ && Pool && !interrupted_ && connection_) {
      kept = std::move(connection_);
      io_ = nullptr;
    }
  }
  keep_ = false;
  if (kept) Pool->Put(std::move(kept));
  Disconnect();
}

void TIdHTTP::SendRequest(const std::string& method, std::string_view body, bool with_body,
                          const Target& target) {
  TIdHTTPRequest request;
  request.Method = method;
  request.Target = RequestTargetOf(url_);
  if (!target.tls || Pool) request.Connection = "keep-alive";
  if (with_body) request.ContentLength = body.size();
  request.Host = HostHeaderOf(url_, target.port);
  if (OnBeforeRequest) OnBeforeRequest(request);

  const bool coalesce = with_body && body.size() <= kCoalesceLimit;
  std::string head;
  head.reserve(kHeadReserve + (coalesce ? body.size() : 0));
  AppendRequestHead(request, head);
  if (!with_body) {
    io_->Write(head);
    return;
  }
  if (OnWorkBegin) OnWorkBegin(TWorkMode::wmWrite, static_cast<std::int64_t>(body.size()));
  if (coalesce) {
    head.append(body);
    io_->Write(head);
    ReportWork(TWorkMode::wmWrite, static_cast<std::int64_t>(body.size()));
    return;
  }
  io_->Write(head);
  for (std::size_t sent = 0; sent < body.size();) {
    std::size_t piece = std::min(kSendPiece, body.size() - sent);
    io_->Write(body.substr(sent, piece));
    sent += piece;
    ReportWork(TWorkMode::wmWrite, static_cast<std::int64_t>(sent));
  }
}

void TIdHTTP::ReportWork(TWorkMode mode, std::int64_t count) const {
  if (OnWork) OnWork(mode, count);
}

void TIdHTTP::Interrupt() {
  std::lock_guard<std::mutex> lock(socket_mutex_);
  interrupted_ = true;
  if (connection_) connection_->socket.Interrupt();
}

void TIdHTTP::Disconnect() {
  std::unique_ptr<UpstreamConnection> closing;
  std::lock_guard<std::mutex> lock(socket_mutex_);
  closing = std::move(connection_);
  io_ = nullptr;
}

}  // namespace vp
