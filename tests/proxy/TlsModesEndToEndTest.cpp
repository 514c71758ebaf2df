// Modes 2 and 3 end to end: a TLS 1.0 client, the proxy posing as the authority's host with the
// local certificate, and a TLS 1.2 upstream reached by address while the Host header names the
// real host.
#include <gtest/gtest.h>

#include <mutex>

#include "base/Error.h"
#include "http/HttpClient.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "support/LoopbackHttp.h"
#include "support/ProgramFiles.h"
#include "support/TestUpstream.h"
#include "support/TlsTestPeers.h"
#include "tls/SslLibrary.h"
#include "tls/TlsIOHandler.h"

namespace vp {
namespace {

using V = TIdSSLVersion;

struct ModeCase {
  const char* description;
  std::int32_t mode;
  const char* cert;
  const char* key;
  const char* path;
  const char* host;
};

const ModeCase kModes[] = {
    {"mode 2, test host", kModeHttpsTest, kTestCertFile, kTestKeyFile, kPathTest,
     "cistest.apis-it.hr"},
    {"mode 3, production host", kModeHttpsProduction, kProductionCertFile, kProductionKeyFile,
     kPathProduction, "cis.porezna-uprava.hr"},
};

class TlsModeEndToEnd : public testing::TestWithParam<ModeCase> {
 protected:
  void SetUp() override { proxy_.UpstreamTimeouts.socket_ms = 2000; }

  // An upstream speaking TLS 1.2 that notes the server name each client asked for.
  test::TestUpstream::IOFactory RecordingTls() {
    return [this](platform::Socket& socket) {
      std::unique_ptr<IOHandler> io = tls_.Factory()(socket);
      auto* connection = dynamic_cast<TlsIOHandler*>(io.get());
      const char* name = SslLibrary::Get()->fn().SSL_get_servername(
          connection->connection(), openssl::kTlsextNametypeHostName);
      std::lock_guard<std::mutex> lock(mutex_);
      server_name_ = name ? name : "(none)";
      return io;
    };
  }

  // Starts the proxy in the case's mode with its upstream address pointed at the test upstream.
  void StartProxy(std::uint16_t upstream_port) {
    const ModeCase& c = GetParam();
    proxy_.Settings().Mode = c.mode;
    proxy_.Settings().CallDNS = false;
    std::string address = "127.0.0.1:" + std::to_string(upstream_port);
    if (c.mode == kModeHttpsTest)
      proxy_.Settings().IPTest = address;
    else
      proxy_.Settings().IPProduction = address;
    proxy_.SetActive(true);
  }

  // Posts body over TLS 1.0 as the point-of-sale program would, naming the authority's host.
  test::LoopbackAnswer PostOverTls10(const std::string& body) {
    const ModeCase& c = GetParam();
    test::TlsTestClient client(proxy_.ListeningPortForTesting(), {V::sslvTLSv1}, c.host);
    EXPECT_EQ(client.Version(), "TLSv1");
    client.io().Write(std::string("POST ") + c.path + " HTTP/1.1\r\nHost: " + c.host +
                      ":8449\r\nContent-Type: text/xml\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\n\r\n" + body);
    return test::ParseAnswer(client.ReadToEnd(), true);
  }

  std::string ServerName() {
    std::lock_guard<std::mutex> lock(mutex_);
    return server_name_;
  }

  test::TlsUpstreamTransport tls_;
  std::mutex mutex_;
  std::string server_name_;
  TProxyServer proxy_{0};
};

TEST_P(TlsModeEndToEnd, ForwardsBodyByAddressNamingTheRealHost) {
  const ModeCase& c = GetParam();
  test::FilesBesideProgram files({c.cert, c.key});
  const std::string answer =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Jir>\xC4\x8D\xE8\x80</Jir>";
  test::TestUpstream upstream({{test::HttpAnswer(200, "OK", answer)}}, RecordingTls());
  StartProxy(upstream.port());
  const std::string body = "<soap:Envelope>Ra\xC4\x8Dun</soap:Envelope>";

  test::LoopbackAnswer got = PostOverTls10(body);

  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.body, answer);
  EXPECT_EQ(got.Header("Content-Length"), std::to_string(answer.size()));
  ASSERT_TRUE(upstream.WaitForRequests(1));
  EXPECT_EQ(upstream.Requests().at(0),
            std::string("POST ") + c.path + " HTTP/1.0\r\n" + "Connection: keep-alive\r\n" +
                "Content-Length: " + std::to_string(body.size()) + "\r\n" + "Host: " + c.host +
                "\r\n" +
                "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
                "Accept-Encoding: identity\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n" +
                body);
  // The name sent is the host part of the URL being requested: here the address.
  EXPECT_EQ(ServerName(), "127.0.0.1");
}

TEST_P(TlsModeEndToEnd, UpstreamSoapFaultGivesEmptyAnswer) {
  const ModeCase& c = GetParam();
  test::FilesBesideProgram files({c.cert, c.key});
  test::TestUpstream upstream(
      {{test::HttpAnswer(500, "Internal Server Error", "<soap:Fault>s001</soap:Fault>")}},
      RecordingTls());
  StartProxy(upstream.port());
  test::LoopbackAnswer got = PostOverTls10("<r/>");
  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.Header("Content-Length"), "0");
  EXPECT_EQ(got.body, "");
}

TEST_P(TlsModeEndToEnd, OtherPathAndModernClientsAreRefused) {
  const ModeCase& c = GetParam();
  test::FilesBesideProgram files({c.cert, c.key});
  test::TestUpstream upstream({{test::HttpAnswer(200, "OK", "x")}}, RecordingTls());
  StartProxy(upstream.port());
  EXPECT_NE(test::TryTlsConnect(proxy_.ListeningPortForTesting(), {V::sslvTLSv1_2}), "");
  test::TlsTestClient client(proxy_.ListeningPortForTesting(), {V::sslvTLSv1}, c.host);
  const char* other = c.mode == kModeHttpsTest ? kPathProduction : kPathTest;
  client.io().Write(std::string("POST ") + other + " HTTP/1.0\r\nContent-Length: 1\r\n\r\nx");
  EXPECT_EQ(test::ParseAnswer(client.ReadToEnd(), true).body, "Neispravan zahtjev");
}

INSTANTIATE_TEST_SUITE_P(Modes, TlsModeEndToEnd, testing::ValuesIn(kModes),
                         [](const testing::TestParamInfo<ModeCase>& info) {
                           return info.param.mode == kModeHttpsTest ? "Test" : "Production";
                         });

TEST(TlsLibraryMissing, ModeOneStillServesModeTwoCannotStart) {
  test::FilesBesideProgram files({kTestCertFile, kTestKeyFile});
  SetSslLibraryNamesForTesting("vp-no-such-ssl-library", "vp-no-such-crypto-library");
  struct Restore {
    ~Restore() { SetSslLibraryNamesForTesting("", ""); }
  } restore;
  test::TestUpstream upstream({{test::HttpAnswer(200, "OK", "x")}});

  TProxyServer proxy(0);
  proxy.UpstreamTimeouts.socket_ms = 2000;
  proxy.Settings().CallDNS = false;
  proxy.Settings().URLTest = upstream.Url(kPathTest, "https");
  proxy.SetActive(true);
  ASSERT_TRUE(proxy.IsActive());
  test::LoopbackAnswer got = test::Exchange(
      proxy.ListeningPortForTesting(),
      std::string("POST ") + kPathTest + " HTTP/1.0\r\nContent-Length: 4\r\n\r\n<r/>");
  EXPECT_EQ(got.status, 200);
  EXPECT_EQ(got.Header("Content-Length"), "0");

  proxy.Settings().Mode = kModeHttpsTest;
  try {
    proxy.SetActive(true);
    FAIL() << "mode 2 started without the TLS library";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Could not load SSL library.");
  }
  EXPECT_FALSE(proxy.IsActive());
}

}  // namespace
}  // namespace vp
