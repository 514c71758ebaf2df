// The scriptable loopback upstream.
#include "support/TestUpstream.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>

#include "platform/Error.h"
#include "support/TempDir.h"
#include "support/TestPaths.h"

namespace vp::test {
namespace {

// Bounds that keep a broken test from hanging: a request larger than this, a client that goes
// quiet, or a hang nobody ends.
constexpr std::size_t kMaxRequestBytes = 8 * 1024 * 1024;
constexpr int kReceiveTimeoutMs = 10000;
constexpr auto kMaxHang = std::chrono::seconds(20);

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
  for (const std::string& request : requests_) done.push_back(request);
  return done;
}

bool TestUpstream::WaitForRequests(std::size_t count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return recorded_ >= count; });
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
    requests_.emplace_back();
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
    if (reply && reply->hang) Hang();
  } catch (const std::exception&) {
    // The client went away or Stop() interrupted us; what arrived is recorded already.
  }
  CloseConnection(connection);
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
    requests_[index] = std::move(request);
    ++recorded_;
  }
  changed_.notify_all();
}

void TestUpstream::Hang() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, kMaxHang, [&] { return stopping_; });
}

void TestUpstream::CloseConnection(Connection& connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  connection.socket.Close();
}

TlsUpstreamTransport::TlsUpstreamTransport() {
  // Made at build time, self-signed for another host name: the forwarder must not care.
  handler_.SSLOptions.KeyFile = TestCertFile("upstream.key");
  handler_.SSLOptions.CertFile = TestCertFile("upstream.crt");
  handler_.SSLOptions.SetMethod(TIdSSLVersion::sslvTLSv1_2);
  handler_.Init();
}

TlsUpstreamTransport::~TlsUpstreamTransport() { handler_.Shutdown(); }

TestUpstream::IOFactory TlsUpstreamTransport::Factory() {
  return [this](platform::Socket& socket) { return handler_.Accept(socket); };
}

}  // namespace vp::test
