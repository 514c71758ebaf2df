// The listener against clients that are slow on purpose, or gone quiet: each is dropped once its
// time is up, none keeps the others waiting or a stop from ending, and a connection whose thread
// cannot start is the only one lost.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Error.h"
#include "http/HttpServer.h"
#include "support/LoopbackHttp.h"
#include "support/TlsTestPeers.h"
#include "tls/SslLibrary.h"
#include "tls/SslServerIOHandler.h"

namespace vp {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kShortClientTimeoutMs = 500;
// Far above the shortened bound, far below a client that is never dropped.
constexpr auto kDropBound = 5s;

// A client that sends its request one byte at a time, never reaching the end.
class SlowLoris {
 public:
  SlowLoris(std::uint16_t port, std::string bytes)
      : socket_(test::ConnectLoopback(port)), bytes_(std::move(bytes)) {}
  // Sends the next byte, or with all sent looks for the end; false once the server has closed
  // the connection.
  bool Step() {
    if (closed_) return false;
    try {
      if (sent_ < bytes_.size()) {
        socket_.SendAll(std::string_view(bytes_).substr(sent_++, 1));
      } else if (socket_.WaitReadable(0)) {
        char byte;
        closed_ = socket_.Receive(&byte, 1) == 0;
      }
    } catch (const Error&) {
      closed_ = true;
    }
    return !closed_;
  }
  platform::Socket& socket() { return socket_; }

 private:
  platform::Socket socket_;
  std::string bytes_;
  std::size_t sent_ = 0;
  bool closed_ = false;
};

class SlowClientTest : public testing::Test {
 protected:
  void SetUp() override {
    server_.Limits.client_timeout_ms = kShortClientTimeoutMs;
    server_.Bindings = {{"127.0.0.1", 0, platform::IpFamily::kV4}};
    server_.OnCommandGet = [this](TIdContext&, TIdHTTPRequestInfo& request,
                                  TIdHTTPResponseInfo& response) {
      ++calls_;
      if (request.Path == "/slow") std::this_thread::sleep_for(2 * kShortClientTimeoutMs * 1ms);
      response.ResponseText = "served " + request.Path;
    };
  }
  void TearDown() override { server_.SetActive(false); }

  void Start() {
    server_.SetActive(true);
    port_ = server_.BoundPort();
  }

  // The server closed the connection without a word.
  static void ExpectDroppedUnanswered(platform::Socket& socket) {
    test::LoopbackAnswer answer = test::ReadAnswer(socket, 5000);
    EXPECT_TRUE(answer.complete);
    EXPECT_EQ(answer.raw, "");
  }

  TIdHTTPServer server_;
  std::uint16_t port_ = 0;
  std::atomic<int> calls_{0};
};

TEST_F(SlowClientTest, IdleAndSlowClientsAreDroppedOthersServedMeanwhile) {
  Start();
  std::vector<platform::Socket> idle;
  for (int i = 0; i < 20; ++i) idle.push_back(test::ConnectLoopback(port_));
  std::vector<std::unique_ptr<SlowLoris>> slow;
  const std::string head = "POST /a HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\n\r\n";
  for (int i = 0; i < 5; ++i) slow.push_back(std::make_unique<SlowLoris>(port_, head));
  const std::string half_body = head + "ab";
  for (int i = 0; i < 5; ++i) slow.push_back(std::make_unique<SlowLoris>(port_, half_body));

  const auto started = Clock::now();
  bool served_beside_them = false;
  std::size_t still_open = slow.size();
  while (still_open > 0 && Clock::now() - started < kDropBound) {
    still_open = 0;
    for (auto& loris : slow) still_open += loris->Step() ? 1 : 0;
    if (!served_beside_them)
      served_beside_them =
          test::Exchange(port_, "GET /beside HTTP/1.0\r\n\r\n").body == "served /beside";
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(served_beside_them);
  EXPECT_EQ(still_open, 0u) << "slow clients still connected after " << kDropBound.count() << " s";
  for (auto& loris : slow) ExpectDroppedUnanswered(loris->socket());
  for (platform::Socket& socket : idle) ExpectDroppedUnanswered(socket);
  EXPECT_EQ(calls_, 1);
}

TEST_F(SlowClientTest, TimeInsideTheHandlerIsNotTheClients) {
  Start();
  test::LoopbackAnswer answer = test::Exchange(port_, "GET /slow HTTP/1.0\r\n\r\n");
  EXPECT_EQ(answer.body, "served /slow");
}

TEST_F(SlowClientTest, SlowTlsHandshakeIsDroppedToo) {
  if (!SslLibraryFilesPresent()) GTEST_SKIP() << "the TLS library files are not present";
  TIdServerIOHandlerSSLOpenSSL tls;
  tls.SSLOptions = test::TestServerOptions();
  server_.SetIOHandler(&tls);
  Start();
  // A TLS record header that announces 512 bytes, then those bytes one at a time: each receive
  // returns long before the socket's own timeout.
  SlowLoris loris(port_, std::string("\x16\x03\x01\x02\x00", 5) + std::string(512, '\x01'));
  const auto started = Clock::now();
  while (loris.Step() && Clock::now() - started < kDropBound) std::this_thread::sleep_for(20ms);
  EXPECT_LT(Clock::now() - started, kDropBound);
  ExpectDroppedUnanswered(loris.socket());
  server_.SetActive(false);  // while its transport still exists
}

TEST_F(SlowClientTest, ThreadThatCannotStartLosesOnlyItsConnection) {
  Start();
  server_.FailThreadStartsForTesting(1);
  platform::Socket first = test::ConnectLoopback(port_);
  first.SendAll("GET /first HTTP/1.0\r\n\r\n");
  ExpectDroppedUnanswered(first);
  EXPECT_EQ(test::Exchange(port_, "GET /second HTTP/1.0\r\n\r\n").body, "served /second");
  EXPECT_EQ(calls_, 1);
}

}  // namespace
}  // namespace vp
