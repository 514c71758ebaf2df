// Routing by mode and path, the root certificate download, and the proxy's start and stop, over
// real loopback connections.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/Error.h"
#include "platform/FileSystem.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "proxy/SharedText.h"
#include "support/LoopbackHttp.h"
#include "support/TempDir.h"

namespace vp {
namespace {

using test::LoopbackAnswer;

class ProxyRouting : public testing::Test {
 protected:
  void SetUp() override { proxy_.SetActive(true); }

  LoopbackAnswer Get(const std::string& target) {
    return test::Exchange(proxy_.ListeningPortForTesting(),
                          "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
  }
  std::string BodyOfGet(const std::string& target) { return Get(target).body; }

  TProxyServer proxy_{0};
};

TEST_F(ProxyRouting, ModeOneServesBothPathsAndRefusesTheRest) {
  EXPECT_EQ(BodyOfGet("/FiskalizacijaServiceTest"), "Prazan zahtjev");
  EXPECT_EQ(BodyOfGet("/FiskalizacijaService"), "Prazan zahtjev");
  EXPECT_EQ(BodyOfGet("/FiskalizacijaServiceTest?wsdl"), "Prazan zahtjev");
  EXPECT_EQ(BodyOfGet("/Fiskalizacija%53erviceTest"), "Prazan zahtjev");
  for (const char* path : {"/fiskalizacijaservicetest", "/FiskalizacijaServiceTest/",
                           "/FiskalizacijaServiceTestX", "/", "/x/FiskalizacijaService"})
    EXPECT_EQ(BodyOfGet(path), "Neispravan zahtjev") << path;
}

TEST_F(ProxyRouting, TextAnswersCarryTypeAndLength) {
  LoopbackAnswer a = Get("/FiskalizacijaServiceTest");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.Header("Content-Type"), "text/html; charset=ISO-8859-1");
  EXPECT_EQ(a.Header("Content-Length"), "14");
  EXPECT_EQ(a.Header("Connection"), "close");
}

TEST_F(ProxyRouting, ModeChangeWithoutApplyChangesRoutingOnly) {
  proxy_.Settings().Mode = kModeHttpsTest;  // the listener keeps speaking plain HTTP
  EXPECT_EQ(BodyOfGet("/FiskalizacijaServiceTest"), "Prazan zahtjev");
  EXPECT_EQ(BodyOfGet("/FiskalizacijaService"), "Neispravan zahtjev");
  proxy_.Settings().Mode = kModeHttpsProduction;
  EXPECT_EQ(BodyOfGet("/FiskalizacijaService"), "Prazan zahtjev");
  EXPECT_EQ(BodyOfGet("/FiskalizacijaServiceTest"), "Neispravan zahtjev");
}

TEST_F(ProxyRouting, NoModeAnswersEmptyButStillOffersRootCertificate) {
  for (std::int32_t mode : {0, 4, -1}) {
    proxy_.Settings().Mode = mode;
    LoopbackAnswer a = Get("/FiskalizacijaServiceTest");
    EXPECT_EQ(a.status, 200) << mode;
    EXPECT_EQ(a.Header("Content-Length"), "0") << mode;
    EXPECT_EQ(a.body, "") << mode;
    EXPECT_NE(BodyOfGet("/rootcert"), "") << mode;
  }
}

TEST_F(ProxyRouting, ModeOutsideRangeKeepsThePreviousTransport) {
  proxy_.Settings().Mode = 9;
  proxy_.ApplySettings();
  EXPECT_TRUE(proxy_.IsActive());
  EXPECT_EQ(Get("/FiskalizacijaServiceTest").status, 200);
}

TEST_F(ProxyRouting, RootCertificateMissingNamesTheFullPath) {
  std::string path = AppFilePath("fakeFinaCA.crt");
  ASSERT_FALSE(platform::FileExists(path));
  EXPECT_EQ(BodyOfGet("/rootcert"), "Datoteka nije dostupna: " + path);
}

TEST_F(ProxyRouting, RootCertificateIsServedUnchanged) {
  std::string path = AppFilePath("fakeFinaCA.crt");
  const std::string der("\x30\x82\x03\x00\x00\x80\xff", 7);
  test::WriteFile(path, der);
  LoopbackAnswer a = Get("/rootcert");
  std::remove(path.c_str());
  EXPECT_EQ(a.body, der);
  EXPECT_EQ(a.Header("Content-Length"), "7");
  EXPECT_EQ(a.Header("Content-Disposition"), "attachment; filename=\"fakeFinaCA.crt\";");
}

TEST_F(ProxyRouting, BodyIsForwardedAndFailuresGiveEmptyAnswer) {
  // Nothing listens at the upstream address, so the post fails and the answer is empty.
  proxy_.Settings().URLTest = std::string("http://127.0.0.1:1/FiskalizacijaServiceTest");
  for (const std::string body : {"<soap/>", ""}) {
    LoopbackAnswer a =
        test::Exchange(proxy_.ListeningPortForTesting(),
                       "POST /FiskalizacijaServiceTest HTTP/1.0\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.Header("Content-Length"), "0");
    EXPECT_EQ(a.body, "");
  }
}

TEST(ProxyServerLifecycle, StopsRestartsAndClosesOpenConnections) {
  TProxyServer proxy(0);
  EXPECT_FALSE(proxy.IsActive());
  proxy.SetActive(true);
  EXPECT_TRUE(proxy.IsActive());
  EXPECT_TRUE(proxy.Settings().Active);

  platform::Socket waiting = test::ConnectLoopback(proxy.ListeningPortForTesting());
  proxy.SetActive(true);  // a second start stops first, closing what is open
  EXPECT_TRUE(test::ReadAnswer(waiting, 2000).complete);
  EXPECT_TRUE(proxy.IsActive());

  std::uint16_t port = proxy.ListeningPortForTesting();
  proxy.SetActive(false);
  EXPECT_FALSE(proxy.IsActive());
  EXPECT_FALSE(proxy.Settings().Active);
  EXPECT_THROW(test::ConnectLoopback(port), Error);
}

TEST(ProxyServerLifecycle, StartOnTakenPortFailsAndStaysStopped) {
  platform::Socket other = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  other.Bind("", 0);
  other.Listen(1);
  TProxyServer proxy(other.LocalPort());
  try {
    proxy.SetActive(true);
    FAIL() << "started on a taken port";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(proxy.IsActive());
  EXPECT_TRUE(proxy.Settings().Active);
}

TEST(ProxyServerLifecycle, TlsModeWithoutCertificatesFailsToStart) {
  TProxyServer proxy(0);
  proxy.Settings().Mode = kModeHttpsTest;
  EXPECT_THROW(proxy.SetActive(true), Error);
  EXPECT_FALSE(proxy.IsActive());
}

// A settings file of the test's own, in a data folder of its own.
class ProxyFromSettingsFile : public testing::Test {
 protected:
  ProxyFromSettingsFile() : saved_(platform::CommonAppDataFolder()) {
    platform::SetCommonAppDataFolderForTesting(appdata_.path());
    platform::ForceDirectories(appdata_.path() + "VormetraProxy");
  }
  ~ProxyFromSettingsFile() override { platform::SetCommonAppDataFolderForTesting(saved_); }

  void WriteSettings(const std::string& json) {
    test::WriteFile(appdata_.File("VormetraProxy") + platform::PathDelimiter() + "Settings.ini",
                    json);
  }

  test::TempDir appdata_;
  std::string saved_;
};

TEST_F(ProxyFromSettingsFile, StoredActiveStartsListeningInTheConstructor) {
  WriteSettings("{\"Active\":true,\"Mode\":1}");
  TProxyServer proxy(0);
  EXPECT_TRUE(proxy.IsActive());
  EXPECT_EQ(test::Exchange(proxy.ListeningPortForTesting(), "GET /x HTTP/1.0\r\n\r\n").body,
            "Neispravan zahtjev");
}

TEST_F(ProxyFromSettingsFile, StoredActiveOnTakenPortFailsTheConstruction) {
  WriteSettings("{\"Active\":true}");
  platform::Socket other = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  other.Bind("", 0);
  other.Listen(1);
  try {
    TProxyServer proxy(other.LocalPort());
    FAIL() << "constructed on a taken port";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
  }
}

TEST_F(ProxyFromSettingsFile, StartAndStopDoNotWriteTheFile) {
  const std::string stored = "{\"Active\":false,\"Mode\":1}";
  WriteSettings(stored);
  {
    TProxyServer proxy(0);
    proxy.SetActive(true);
    proxy.SetActive(false);
  }
  EXPECT_EQ(
      test::ReadFile(appdata_.File("VormetraProxy") + platform::PathDelimiter() + "Settings.ini"),
      stored);
}

TEST(ProxyHelpers, HostOfUrlDropsPortAndUser) {
  EXPECT_EQ(HostOfURL("https://cistest.apis-it.hr:8449/FiskalizacijaServiceTest"),
            "cistest.apis-it.hr");
  EXPECT_EQ(HostOfURL("https://user:pw@cis.porezna-uprava.hr/FiskalizacijaService"),
            "cis.porezna-uprava.hr");
  EXPECT_EQ(HostOfURL("/no/scheme"), "");
}

TEST(ProxyHelpers, AppFilePathUsesTheProgramsFolder) {
  std::string program = platform::ProgramFilePath();
  EXPECT_EQ(AppFilePath("fakeFina.key"), platform::ExtractFileDir(program) + "fakeFina.key");
}

TEST(ProxySettingsDefaults, MatchTheAuthorityEndpoints) {
  TProxySettings settings;
  EXPECT_FALSE(settings.Active);
  EXPECT_FALSE(settings.CallDNS);
  EXPECT_EQ(settings.Mode.load(), 1);
  EXPECT_EQ(settings.URLTest.get(), "https://cistest.apis-it.hr:8449/FiskalizacijaServiceTest");
  EXPECT_EQ(settings.URLProduction.get(),
            "https://cis.porezna-uprava.hr:8449/FiskalizacijaService");
  EXPECT_TRUE(settings.IPTest.get().ends_with(":8449"));
  EXPECT_TRUE(settings.IPProduction.get().ends_with(":8449"));
  EXPECT_EQ(HostOfURL(settings.URLTest), "cistest.apis-it.hr");
}

TEST(SharedTextTest, ReadersSeeWholeValuesWhileWriterReplaces) {
  const std::string a(4096, 'a'), b(17, 'b');
  SharedText text(a);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000 && !stop; ++i) text = (i % 2) ? a : b;
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string seen = text.get();
    if (seen != a && seen != b) ++torn;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace vp
