// The proxy against upstreams that misbehave: each fault ends in the empty 200 answer within
// bounded time, with the upstream connection closed behind it; and a stop, a reload or the end
// of the proxy interrupts a forward under way instead of waiting for it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "http/HttpClient.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "support/LoopbackHttp.h"
#include "support/TestUpstream.h"
#include "tls/SslLibrary.h"

namespace vp {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::TestUpstream;
using test::UpstreamReply;

// Each socket call may take this long; the drip below stays inside it.
constexpr int kSocketTimeoutMs = 1000;
constexpr int kPostTimeoutMs = 1500;
constexpr int kDripMs = 100;
// Far above the shortened bounds, far below a forward that nothing bounds.
constexpr auto kFaultBound = 10s;
// What a stop may take, whatever the upstream is doing.
constexpr auto kStopBound = 2s;

const std::string kPost =
    "POST /FiskalizacijaServiceTest HTTP/1.0\r\nContent-Length: 4\r\n\r\n<r/>";

UpstreamReply Reply(std::string bytes, std::function<void(UpstreamReply&)> tweak = nullptr) {
  UpstreamReply reply{std::move(bytes)};
  if (tweak) tweak(reply);
  return reply;
}

class UpstreamFaultTest : public testing::Test {
 protected:
  void SetUp() override {
    proxy_ = std::make_unique<TProxyServer>(0);
    proxy_->UpstreamTimeouts = {kSocketTimeoutMs, kPostTimeoutMs};
    proxy_->Settings().CallDNS = false;
    proxy_->Settings().Mode = kModeHttp;
  }
  void TearDown() override { proxy_.reset(); }

  void ForwardTo(const std::string& url) {
    proxy_->Settings().URLTest = url;
    proxy_->SetActive(true);
    port_ = proxy_->ListeningPortForTesting();
  }

  // Posts on another thread, as a till that waits for its answer.
  std::thread PostInBackground() {
    return std::thread([port = port_] { test::Exchange(port, kPost); });
  }

  static void ExpectEmptyAnswer(const test::LoopbackAnswer& answer) {
    EXPECT_EQ(answer.status_line, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer.Header("Content-Length"), "0");
    EXPECT_EQ(answer.body, "");
  }

  std::unique_ptr<TProxyServer> proxy_;
  std::uint16_t port_ = 0;
};

TEST_F(UpstreamFaultTest, EachFaultGivesTheEmptyAnswerInBoundedTime) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
  // A fatal handshake_failure alert record, as a server sends it in answer to a hello.
  const std::string alert("\x15\x03\x03\x00\x02\x02\x28", 7);
  struct Row {
    const char* description;
    UpstreamReply reply;
    const char* scheme;
    bool client_closes;      // the upstream lingers until the proxy closes its side
    ForwardOutcome outcome;  // what the log says of it
  } rows[] = {
      {"reset mid-answer", Reply(head + "half", [](UpstreamReply& r) { r.reset = true; }), "http",
       false, ForwardOutcome::kConnectionReset},
      {"Content-Length larger than what arrives", Reply(head + "half"), "http", false,
       ForwardOutcome::kConnectionReset},
      {"answer of 50 MB", Reply(test::HttpAnswer(200, "OK", std::string(50 << 20, 'x'))), "http",
       false, ForwardOutcome::kAnswerTooLarge},
      {"answer that never ends",
       Reply("HTTP/1.1 200 OK\r\n\r\n", [](UpstreamReply& r) { r.endless = true; }), "http", true,
       ForwardOutcome::kAnswerTooLarge},
      {"one byte every 100 ms", Reply(head + "z", [](UpstreamReply& r) { r.drip_ms = kDripMs; }),
       "http", true, ForwardOutcome::kNoAnswerInTime},
      {"TLS alert mid-handshake",
       Reply(alert,
             [](UpstreamReply& r) {
               r.answer_before_request = true;
               r.hang = true;
             }),
       "https", true, ForwardOutcome::kTlsFailed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.description);
    if (std::string(row.scheme) == "https" && !SslLibraryFilesPresent()) continue;
    TestUpstream upstream({row.reply});
    ForwardTo(upstream.Url("/FiskalizacijaServiceTest", row.scheme));
    const auto started = Clock::now();
    ExpectEmptyAnswer(test::Exchange(port_, kPost));
    EXPECT_LT(Clock::now() - started, kFaultBound);
    std::optional<ForwardRecord> record = proxy_->Log().Last();
    ASSERT_TRUE(record);
    EXPECT_STREQ(OutcomeName(record->outcome), OutcomeName(row.outcome)) << record->reason;
    if (row.client_closes) {
      EXPECT_TRUE(upstream.WaitForClientCloses(1));
    }
  }
}

TEST_F(UpstreamFaultTest, ConnectNobodyAnswersGivesTheEmptyAnswer) {
  test::FullListener full;
  ForwardTo("http://127.0.0.1:" + std::to_string(full.port()) + "/FiskalizacijaServiceTest");
  const auto started = Clock::now();
  ExpectEmptyAnswer(test::Exchange(port_, kPost));
  EXPECT_LT(Clock::now() - started, kFaultBound);
  EXPECT_STREQ(OutcomeName(proxy_->Log().Last()->outcome), "connect-timed-out");
}

// The proxy checks no upstream certificate, so a long chain is just a long handshake.
TEST_F(UpstreamFaultTest, ChainOfTwentyCertificatesIsAcceptedLikeAnyOther) {
  if (!SslLibraryFilesPresent()) GTEST_SKIP() << "the TLS library files are not present";
  test::TlsUpstreamTransport chain(test::TlsUpstreamTransport::Chain::kTwentyCertificates);
  TestUpstream upstream({{test::HttpAnswer(200, "OK", "<Jir/>")}}, chain.Factory());
  ForwardTo(upstream.Url("/FiskalizacijaServiceTest", "https"));
  EXPECT_EQ(test::Exchange(port_, kPost).body, "<Jir/>");
}

// A stop must not wait for a forward: the drip below would hold it until the post's bound.
TEST_F(UpstreamFaultTest, StopReloadAndDestructionInterruptAForwardUnderWay) {
  proxy_->UpstreamTimeouts.post_ms = 60000;
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
  struct Row {
    const char* description;
    std::function<void(std::unique_ptr<TProxyServer>&)> stop;
  } rows[] = {
      {"stop", [](auto& proxy) { proxy->SetActive(false); }},
      {"reload", [](auto& proxy) { proxy->ApplySettings(); }},
      {"destruction", [](auto& proxy) { proxy.reset(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.description);
    TestUpstream upstream({Reply(head + "z", [](UpstreamReply& r) { r.drip_ms = kDripMs; })});
    ForwardTo(upstream.Url("/FiskalizacijaServiceTest"));
    std::thread till = PostInBackground();
    ASSERT_TRUE(upstream.WaitForRequests(1));
    std::this_thread::sleep_for(3 * kDripMs * 1ms);  // the drip is under way

    const auto started = Clock::now();
    row.stop(proxy_);
    EXPECT_LT(Clock::now() - started, kStopBound);
    EXPECT_TRUE(upstream.WaitForClientCloses(1));
    till.join();
  }
}

TEST_F(UpstreamFaultTest, StopInterruptsAConnectNobodyAnswers) {
  test::FullListener full;
  proxy_->UpstreamTimeouts = {60000, 60000};
  ForwardTo("http://127.0.0.1:" + std::to_string(full.port()) + "/FiskalizacijaServiceTest");
  std::thread till = PostInBackground();
  std::this_thread::sleep_for(300ms);  // the connect is under way (or, on Windows, refused)
  const auto started = Clock::now();
  proxy_->SetActive(false);
  EXPECT_LT(Clock::now() - started, kStopBound);
  till.join();
}

}  // namespace
}  // namespace vp
