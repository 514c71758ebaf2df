// The scriptable loopback upstream.
#include "support/TestUpstream.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>

#include "base/Error.h"
#include "support/TempDir.h"
#include "support/TestPaths.h"
#include "tls/SslLibrary.h"
#include "tls/TlsIOHandler.h"

namespace vp::test {
namespace {

// Bounds that keep a broken test from hanging: a request larger than this, a client that goes
// quiet, or a hang nobody ends.
constexpr std::size_t kMaxRequestBytes = 8 * 1024 * 1024;
constexpr int kReceiveTimeoutMs = 10000;
constexpr auto kMaxHang = std::chrono::seconds(20);
// How often a hanging connection looks whether its client has closed it.
constexpr int kHangPollMs = 50;
constexpr std::size_t kEndlessPiece = 64 * 1024;
// SSL_CTRL_EXTRA_CHAIN_CERT: the context sends the certificate after its own, and owns it.
constexpr int kCtrlExtraChainCert = 14;
constexpr int kChainAuthorities = 19;

// Whether the client closed the connection within timeout_ms: readable, with nothing to read.
bool ClientClosedWithin(IOHandler& io, int timeout_ms) {
  if (!io.WaitReadable(timeout_ms)) return false;
  char byte;
  try {
    return io.Read(&byte, 1) == 0;
  } catch (const Error&) {
    return true;  // a reset
  }
}

std::size_t ContentLengthOf(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::stoull(head.substr(at + 17)));
}

}  // namespace

std::string HttpAnswer(int code, const std::string& reason, const std::string& body,
                       const std::string& extra_headers) {
  return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n" + extra_headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string ChunkedAnswer(const std::vector<std::string>& chunks) {
  std::string answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  static const char kHex[] = "0123456789abcdef";
  for (const std::string& chunk : chunks) {
    std::string size;
    for (std::size_t n = chunk.size(); n > 0; n /= 16) size.insert(size.begin(), kHex[n % 16]);
    answer += size + "\r\n" + chunk + "\r\n";
  }
  return answer + "0\r\n\r\n";
}

std::string RedirectAnswer(int code, const std::string& location) {
  return HttpAnswer(code, "Redirect", "", "Location: " + location + "\r\n");
}

TestUpstream::IOFactory TestUpstream::Plain() {
  return [](platform::Socket& socket) { return std::make_unique<PlainIOHandler>(socket); };
}

TestUpstream::TestUpstream(std::vector<UpstreamReply> replies, IOFactory factory)
    : replies_(std::move(replies)), factory_(std::move(factory)) {
  listener_ = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listener_.Bind("127.0.0.1", 0);
  listener_.Listen(16);
  port_ = listener_.LocalPort();
  accept_thread_ = std::thread([this] { AcceptLoop(); });
}

TestUpstream::~TestUpstream() { Stop(); }

std::string TestUpstream::Url(const std::string& path, const std::string& scheme) const {
  return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> TestUpstream::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> done;
  for (const auto& connection : requests_)
    done.insert(done.end(), connection.begin(), connection.end());
  return done;
}

std::size_t TestUpstream::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

bool TestUpstream::WaitForRequests(std::size_t count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return recorded_ >= count; });
}

bool TestUpstream::WaitForClientCloses(std::size_t count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return client_closes_ >= count; });
}

void TestUpstream::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    for (Connection& connection : connections_) connection.socket.Interrupt();
  }
  changed_.notify_all();
  listener_.Interrupt();
  accept_thread_.join();
  // No new connection can appear now; each thread closes its own socket and ends.
  for (Connection& connection : connections_) connection.thread.join();
  listener_.Close();
}

void TestUpstream::AcceptLoop() {
  for (std::size_t index = 0;; ++index) {
    platform::Socket socket;
    try {
      socket = listener_.Accept();
    } catch (const Error&) {
      return;  // Stop() interrupted the listener
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    connections_.push_back(Connection{std::move(socket), {}});
    Connection& connection = connections_.back();
    requests_.emplace_back(1);
    connection.thread = std::thread([this, &connection, index] { Serve(connection, index); });
  }
}

void TestUpstream::Serve(Connection& connection, std::size_t index) {
  const UpstreamReply* reply =
      replies_.empty() ? nullptr : &replies_[std::min(index, replies_.size() - 1)];
  try {
    connection.socket.SetTimeouts(kReceiveTimeoutMs, kReceiveTimeoutMs);
    std::unique_ptr<IOHandler> io = factory_(connection.socket);
    if (reply && !reply->answer_before_request) Record(index, ReadRequest(*io));
    if (reply && !reply->bytes.empty()) io->Write(reply->bytes);
    for (std::size_t i = 0; reply && i < reply->more.size(); ++i) {
      std::string request = ReadRequest(*io);
      if (request.empty()) break;  // the client closed it
      Record(index, std::move(request));
      if (!reply->more[i].empty()) io->Write(reply->more[i]);
    }
    if (reply) Linger(*io, *reply);
  } catch (const std::exception&) {
    // The client went away or Stop() interrupted us; what arrived is recorded already.
  }
  CloseConnection(connection, reply && reply->reset);
}

std::string TestUpstream::ReadRequest(IOHandler& io) {
  std::string request;
  char buffer[16384];
  std::size_t head_end = std::string::npos;
  std::size_t wanted = kMaxRequestBytes;
  while (request.size() < wanted) {
    std::size_t n = 0;
    try {
      n = io.Read(buffer, sizeof buffer);
    } catch (const Error&) {
      break;
    }
    if (n == 0) break;
    request.append(buffer, n);
    if (head_end == std::string::npos) {
      head_end = request.find("\r\n\r\n");
      if (head_end != std::string::npos)
        wanted =
            std::min(kMaxRequestBytes, head_end + 4 + ContentLengthOf(request.substr(0, head_end)));
    }
  }
  return request;
}

void TestUpstream::Record(std::size_t index, std::string request) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string>& connection = requests_[index];
    if (connection.size() == 1 && connection[0].empty())
      connection[0] = std::move(request);
    else
      connection.push_back(std::move(request));
    ++recorded_;
  }
  changed_.notify_all();
}

void TestUpstream::Linger(IOHandler& io, const UpstreamReply& reply) {
  if (!reply.hang && reply.drip_ms <= 0 && !reply.endless) return;
  const auto give_up = std::chrono::steady_clock::now() + kMaxHang;
  const std::string piece(kEndlessPiece, 'z');
  try {
    while (std::chrono::steady_clock::now() < give_up && !Stopping()) {
      if (reply.endless) {
        io.Write(piece);
        continue;
      }
      if (ClientClosedWithin(io, reply.drip_ms > 0 ? reply.drip_ms : kHangPollMs)) break;
      if (reply.drip_ms > 0 && !Stopping()) io.Write("z");
    }
  } catch (const Error&) {
    // A write failed: the client has gone.
  }
  if (!Stopping() && std::chrono::steady_clock::now() < give_up) CountClientClose();
}

bool TestUpstream::Stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

void TestUpstream::CountClientClose() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++client_closes_;
  }
  changed_.notify_all();
}

void TestUpstream::CloseConnection(Connection& connection, bool reset) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reset)
    connection.socket.CloseWithReset();
  else
    connection.socket.Close();
}

TlsUpstreamTransport::TlsUpstreamTransport(Chain chain) {
  TIdSSLOptions options;
  options.SetMethod(TIdSSLVersion::sslvTLSv1_2);
  options.Mode = TIdSSLMode::sslmServer;
  // Made at build time. The self-signed one names another host: the forwarder must not care.
  const bool chained = chain == Chain::kTwentyCertificates;
  options.CertFile = TestCertFile(chained ? "chain-leaf.crt" : "upstream.crt");
  options.KeyFile = TestCertFile(chained ? "chain-leaf.key" : "upstream.key");
  std::shared_ptr<const SslLibrary> library = SslLibrary::Get();
  context_ = SslContext::Create(library, options, {});
  for (int i = 1; chained && i <= kChainAuthorities; ++i) {
    std::string number = (i < 10 ? "0" : "") + std::to_string(i);
    std::string der = ReadFile(TestCertFile("chain-" + number + ".der"));
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    openssl::X509* authority =
        library->fn().d2i_X509(nullptr, &bytes, static_cast<long>(der.size()));
    if (!authority ||
        library->fn().SSL_CTX_ctrl(context_->get(), kCtrlExtraChainCert, 0, authority) != 1)
      throw Error(ErrorKind::kSsl, "cannot add chain certificate " + number);
  }
}

TestUpstream::IOFactory TlsUpstreamTransport::Factory() {
  return [context = context_,
          resumed = resumed_](platform::Socket& socket) -> std::unique_ptr<IOHandler> {
    auto connection = std::make_unique<TlsIOHandler>(context, socket, TlsRole::kServer);
    connection->Handshake();
    if (context->library().fn().SSL_session_reused(connection->connection()) == 1) ++*resumed;
    return connection;
  };
}

}  // namespace vp::test
