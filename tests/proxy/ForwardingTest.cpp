// Forwarding end to end in mode 1: a raw client posts to the proxy, which posts on to a scripted
// upstream on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "http/HttpClient.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "support/LoopbackHttp.h"
#include "support/TempDir.h"
#include "support/TestUpstream.h"
#include "tls/SslLibrary.h"

namespace vp {
namespace {

using test::HttpAnswer;
using RawHttpResponse = test::LoopbackAnswer;
using test::TestUpstream;

constexpr auto kBoundedWait = std::chrono::seconds(10);

std::string PostRequest(const std::string& path, const std::string& body) {
  return "POST " + path + " HTTP/1.1\r\nHost: localhost:8449\r\n" +
         "Content-Type: text/xml; charset=utf-8\r\nSOAPAction: \"http://e-porezna/racun\"\r\n" +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The body of the request the upstream received.
std::string BodyOf(const std::string& request) {
  return request.substr(request.find("\r\n\r\n") + 4);
}

class ForwardingTest : public testing::Test {
 protected:
  void SetUp() override {
    // Short for the silent upstreams, with room for a slow machine (or Wine) to answer in time.
    proxy = std::make_unique<TProxyServer>(0);
    proxy->UpstreamTimeouts.socket_ms = 1000;
    proxy->Settings().CallDNS = false;
    proxy->Settings().Mode = kModeHttp;
  }
  void TearDown() override { proxy.reset(); }

  void StartForwardingTo(const std::string& url) {
    proxy->Settings().URLTest = url;
    proxy->SetActive(true);
  }

  RawHttpResponse Send(const std::string& request) {
    return test::Exchange(proxy->ListeningPortForTesting(), request);
  }

  static void ExpectEmptyAnswer(const RawHttpResponse& response) {
    EXPECT_EQ(response.status_line, "HTTP/1.1 200 OK");
    EXPECT_EQ(response.Header("Content-Length"), "0");
    EXPECT_EQ(response.Header("Content-Type"), "");
    EXPECT_EQ(response.body, "");
  }

  std::unique_ptr<TProxyServer> proxy;
};

TEST_F(ForwardingTest, PassesBodyUpAndAnswerBytesBackUnchanged) {
  std::string answer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Jir>\xC4\x8D\xC5\xBE";
  for (int c = 0x80; c < 0x100; ++c) answer += static_cast<char>(c);
  answer += "</Jir>";
  TestUpstream upstream({{HttpAnswer(200, "OK", answer, "Content-Type: text/xml\r\n")}});
  StartForwardingTo(upstream.Url("/FiskalizacijaServiceTest"));
  const std::string body = "<soap:Envelope>Ra\xC4\x8Dun \xE8</soap:Envelope>";

  RawHttpResponse response = Send(PostRequest("/FiskalizacijaServiceTest?x=1", body));

  EXPECT_EQ(response.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(response.body, answer);
  EXPECT_EQ(response.Header("Content-Length"), std::to_string(answer.size()));
  EXPECT_EQ(response.Header("Content-Type"), "text/html; charset=ISO-8859-1");
  ASSERT_EQ(upstream.Requests().size(), 1u);
  const std::string request = upstream.Requests()[0];
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /FiskalizacijaServiceTest HTTP/1.0");
  EXPECT_EQ(BodyOf(request), body);
  // Only the body travels: none of the incoming request's own headers go upstream.
  EXPECT_EQ(request.find("SOAPAction"), std::string::npos);
  EXPECT_EQ(request.find("Content-Type"), std::string::npos);
  EXPECT_NE(request.find("\r\nHost: 127.0.0.1:" + std::to_string(upstream.port()) + "\r\n"),
            std::string::npos);
}

TEST_F(ForwardingTest, EmptyBodyIsForwardedAndNoBodyIsRefused) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "answered")}});
  StartForwardingTo(upstream.Url("/FiskalizacijaServiceTest"));

  RawHttpResponse empty = Send(PostRequest("/FiskalizacijaServiceTest", ""));
  EXPECT_EQ(empty.body, "answered");
  EXPECT_NE(upstream.Requests().at(0).find("\r\nContent-Length: 0\r\n"), std::string::npos);

  RawHttpResponse none = Send("GET /FiskalizacijaServiceTest HTTP/1.1\r\nHost: localhost\r\n\r\n");
  EXPECT_EQ(none.body, "Prazan zahtjev");
  EXPECT_EQ(none.Header("Content-Length"), "14");
  EXPECT_EQ(upstream.Requests().size(), 1u);
}

TEST_F(ForwardingTest, StopClosesTheKeptUpstreamConnections) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "kept"), true}});
  StartForwardingTo(upstream.Url("/FiskalizacijaServiceTest"));
  EXPECT_EQ(Send(PostRequest("/FiskalizacijaServiceTest", "<a/>")).body, "kept");
  EXPECT_EQ(proxy->UpstreamPoolForTesting().IdleCount(), 1u);

  proxy->SetActive(false);

  EXPECT_EQ(proxy->UpstreamPoolForTesting().IdleCount(), 0u);
  EXPECT_TRUE(upstream.WaitForClientCloses(1));
}

TEST_F(ForwardingTest, EveryUpstreamFailureGivesTheEmptyAnswer) {
  struct Row {
    const char* description;
    test::UpstreamReply reply;
  } rows[] = {
      {"SOAP fault with 500",
       {HttpAnswer(500, "Internal Server Error", "<soap:Fault>Greska</soap:Fault>")}},
      {"success without body", {HttpAnswer(200, "OK", "")}},
      {"silence", {"", true}},
      {"stall mid-answer", {"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nhalf", true}},
      {"close before answering", {"", false, true}},
      {"garbage", {"SSH-2.0-OpenSSH\r\n\r\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.description);
    TestUpstream upstream({row.reply});
    StartForwardingTo(upstream.Url("/FiskalizacijaServiceTest"));
    ExpectEmptyAnswer(Send(PostRequest("/FiskalizacijaServiceTest", "<r/>")));
  }
}

TEST_F(ForwardingTest, RefusedUpstreamGivesTheEmptyAnswer) {
  std::uint16_t closed_port;
  {
    platform::Socket probe = platform::Socket::OpenTcp(platform::IpFamily::kV4);
    probe.Bind("127.0.0.1", 0);
    closed_port = probe.LocalPort();
  }
  StartForwardingTo("http://127.0.0.1:" + std::to_string(closed_port) +
                    "/FiskalizacijaServiceTest");
  ExpectEmptyAnswer(Send(PostRequest("/FiskalizacijaServiceTest", "<r/>")));
}

TEST_F(ForwardingTest, HttpsUpstreamThatSpeaksPlainHttpGivesTheEmptyAnswer) {
  // Without the TLS library there is no TLS handler; with it the handshake fails. Either way the
  // point-of-sale program gets the empty answer.
  TestUpstream upstream({{HttpAnswer(200, "OK", "plain"), false, true}});
  StartForwardingTo(upstream.Url("/FiskalizacijaServiceTest", "https"));
  ExpectEmptyAnswer(Send(PostRequest("/FiskalizacijaServiceTest", "<r/>")));
}

TEST_F(ForwardingTest, StopDuringHungPostEndsInBoundedTime) {
  proxy->UpstreamTimeouts.socket_ms = 1500;
  TestUpstream upstream({{"", true}});
  StartForwardingTo(upstream.Url("/FiskalizacijaServiceTest"));
  const std::uint16_t port = proxy->ListeningPortForTesting();
  std::thread client(
      [port] { test::Exchange(port, PostRequest("/FiskalizacijaServiceTest", "<r/>")); });
  ASSERT_TRUE(upstream.WaitForRequests(1));
  auto start = std::chrono::steady_clock::now();
  proxy->SetActive(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kBoundedWait);
  EXPECT_FALSE(proxy->IsActive());
  client.join();
}

TEST_F(ForwardingTest, HttpsUpstreamAnswerComesBackUnchanged) {
  if (!SslLibraryFilesPresent())
    GTEST_SKIP() << "the TLS library files are not present on this machine";
  test::TlsUpstreamTransport tls;
  const std::string answer = "<Jir>\xC4\x8D\x80\xFF</Jir>";
  TestUpstream upstream({{HttpAnswer(200, "OK", answer)}}, tls.Factory());
  StartForwardingTo(upstream.Url("/FiskalizacijaServiceTest", "https"));
  RawHttpResponse response = Send(PostRequest("/FiskalizacijaServiceTest", "<soap/>"));
  EXPECT_EQ(response.body, answer);
  EXPECT_EQ(BodyOf(upstream.Requests().at(0)), "<soap/>");
}

}  // namespace
}  // namespace vp
