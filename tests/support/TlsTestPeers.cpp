// TLS test peers on loopback: bounded waits everywhere, so a failing test cannot hang.
#include "support/TlsTestPeers.h"

#include <chrono>

#include "base/Error.h"

namespace vp::test {
namespace {

constexpr int kPollMs = 50;

}  // namespace

TIdSSLOptions TestServerOptions(TIdSSLVersions versions) {
  TIdSSLOptions options;
  options.SetSSLVersions(std::move(versions));
  options.CertFile = TestCertFile("fakeFinaTest.crt");
  options.KeyFile = TestCertFile("fakeFinaTest.key");
  return options;
}

TlsTestServer::TlsTestServer(const TIdSSLOptions& options, Session session, int socket_timeout_ms)
    : session_(std::move(session)) {
  handler_.SSLOptions = options;
  handler_.SetSocketTimeoutForTesting(socket_timeout_ms);
  handler_.Init();
  listening_ = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listening_.Bind("127.0.0.1", 0);
  listening_.Listen(8);
  port_ = listening_.LocalPort();
  thread_ = std::thread([this] { Run(); });
}

TlsTestServer::~TlsTestServer() {
  stopping_ = true;
  thread_.join();
  handler_.Shutdown();
}

void TlsTestServer::Run() {
  while (!stopping_) {
    if (!listening_.WaitReadable(kPollMs)) continue;
    try {
      platform::Socket peer = listening_.Accept();
      std::unique_ptr<IOHandler> io = handler_.Accept(peer);
      ++handshakes_;
      if (session_) session_(static_cast<TlsIOHandler&>(*io));
    } catch (const std::exception& error) {
      std::lock_guard<std::mutex> lock(mutex_);
      last_error_ = error.what();
    }
  }
}

std::string TlsTestServer::WaitForError(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!last_error_.empty()) return last_error_;
    }
    if (std::chrono::steady_clock::now() > deadline) return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

TlsTestClient::TlsTestClient(std::uint16_t port, TIdSSLVersions versions,
                             const std::string& server_name) {
  socket_ = platform::Socket::ConnectTcp("127.0.0.1", port);
  handler_.SSLOptions.SetSSLVersions(std::move(versions));
  handler_.SetSocketTimeoutForTesting(5000);
  io_ = handler_.ConnectTls(socket_, server_name);
}

TlsTestClient::TlsTestClient(std::uint16_t port, const std::string& cipher_suite) {
  socket_ = platform::Socket::ConnectTcp("127.0.0.1", port);
  handler_.SSLOptions.SetSSLVersions({TIdSSLVersion::sslvTLSv1});
  handler_.SSLOptions.Mode = TIdSSLMode::sslmBoth;
  handler_.SSLOptions.CipherList = cipher_suite;
  handler_.SetSocketTimeoutForTesting(5000);
  io_ = handler_.ConnectTls(socket_, "");
}

std::string TlsTestClient::Version() const {
  return static_cast<const TlsIOHandler&>(*io_).ProtocolVersion();
}

std::string TlsTestClient::ReadToEnd(int timeout_ms) {
  std::string all;
  char buffer[4096];
  while (io_->WaitReadable(timeout_ms)) {
    std::size_t n = io_->Read(buffer, sizeof buffer);
    if (n == 0) break;
    all.append(buffer, n);
  }
  return all;
}

std::string TryTlsConnect(std::uint16_t port, TIdSSLVersions versions) {
  try {
    TlsTestClient client(port, std::move(versions));
    return "";
  } catch (const Error& error) {
    return error.what();
  }
}

}  // namespace vp::test
