// The connection check against TLS upstreams on 127.0.0.1 and against a port where nothing
// listens: its steps, the certificate it reports and its warnings, posting nothing.
#include <gtest/gtest.h>

#include "host/ConnectionCheck.h"
#include "http/HttpDate.h"
#include "platform/FileSystem.h"
#include "platform/Socket.h"
#include "proxy/ProxySettings.h"
#include "support/TempDir.h"
#include "support/TestUpstream.h"

namespace vp {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ConnectionCheck, WalksBothRoadsOfModeOneAndReportsTheCertificate) {
  test::TlsUpstreamTransport transport;
  test::TestUpstream upstream({{test::HttpAnswer(200, "OK", "never asked for")}},
                              transport.Factory());
  UpstreamSettings settings{kModeHttp, upstream.Url(kPathTest, "https"),
                            upstream.Url(kPathProduction, "https"), "", ""};
  ConnectionReport report = CheckConnection(settings);
  ASSERT_EQ(report.roads.size(), 2u);
  EXPECT_TRUE(report.Works());
  const std::int64_t now = UnixTimeNow();
  std::string text = FormatConnectionReport(report, now);
  const std::string port = std::to_string(upstream.port());
  for (const std::string& line :
       {"Testni poslužitelj: https://127.0.0.1:" + port + "/FiskalizacijaServiceTest\n",
        std::string("  Adresa iz podešavanja: 127.0.0.1\n"), "  Spajanje na port " + port,
        std::string("  TLS rukovanje: uspjelo ("), std::string(" ms), TLSv1.2\n"),
        std::string("  Certifikat izdan za: CN=upstream.invalid\n"),
        std::string("  Izdavatelj: CN=upstream.invalid\n"),
        std::string("  Upozorenje: certifikat ne glasi na 127.0.0.1.\n"),
        std::string("Produkcijski poslužitelj: "), std::string("  Veza radi.\n")})
    EXPECT_TRUE(Has(text, line)) << line << "\n" << text;
  // Nothing is posted: each connection ends without a byte of a request.
  ASSERT_TRUE(upstream.WaitForRequests(2));
  EXPECT_EQ(upstream.Requests(), (std::vector<std::string>{"", ""}));

  report.roads[0].certificate->not_after = now + 10 * 86400 + 60;
  EXPECT_TRUE(Has(FormatConnectionReport(report, now), "certifikat istječe za 10 dana.\n"));
}

TEST(ConnectionCheck, HttpsModeNamesTheHostOfTheUrlAndFindsItInTheCertificate) {
  test::TlsUpstreamTransport transport(test::TlsUpstreamTransport::Chain::kTwentyCertificates);
  test::TestUpstream upstream({{""}}, transport.Factory());
  UpstreamSettings settings{kModeHttpsTest, "https://127.0.0.1:1/x", "",
                            "127.0.0.1:" + std::to_string(upstream.port()), ""};
  ConnectionReport report = CheckConnection(settings);
  ASSERT_EQ(report.roads.size(), 1u);
  std::string text = FormatConnectionReport(report, UnixTimeNow());
  EXPECT_TRUE(Has(text, "  Certifikat izdan za: CN=127.0.0.1\n")) << text;
  EXPECT_FALSE(Has(text, "Upozorenje")) << text;
}

TEST(ConnectionCheck, RefusedPortFailsAtTheConnectAndEndsWithOne) {
  platform::Socket probe = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  probe.Bind("127.0.0.1", 0);
  const std::string address = "127.0.0.1:" + std::to_string(probe.LocalPort());
  probe.Close();  // nothing listens there now

  test::TempDir appdata;
  const std::string saved_appdata = platform::CommonAppDataFolder();
  platform::SetCommonAppDataFolderForTesting(appdata.path());
  {
    TProxySettings settings;
    settings.Mode = kModeHttpsProduction;
    settings.IPProduction = address;
    settings.Save();
    ConnectionReport report = CheckConnection(UpstreamSettingsOf(settings));
    std::string text = FormatConnectionReport(report, UnixTimeNow());
    EXPECT_TRUE(Has(text, "  Spajanje na port " + address.substr(10) + ": nije uspjelo (")) << text;
    EXPECT_TRUE(Has(text, "odbija vezu")) << text;
    EXPECT_TRUE(Has(text, "  Veza ne radi.\n")) << text;
  }
  EXPECT_EQ(RunConnectionCheck(), 1);
  platform::SetCommonAppDataFolderForTesting(saved_appdata);
}

}  // namespace
}  // namespace vp
