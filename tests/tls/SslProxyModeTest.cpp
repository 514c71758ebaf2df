// The proxy in mode 2 serves over TLS 1.0 with the certificate files beside the program.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "platform/FileSystem.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "support/ProgramFiles.h"
#include "support/TlsTestPeers.h"
#include "tls/SslContext.h"

namespace vp {
namespace {

using V = TIdSSLVersion;

using test::FilesBesideProgram;

TEST(SslProxyMode2, ServesOverTls10WithTheTestCertificate) {
  FilesBesideProgram files({kTestCertFile, kTestKeyFile});
  TProxyServer proxy(0);
  proxy.Settings().Mode = kModeHttpsTest;
  proxy.Settings().CallDNS = false;
  proxy.SetActive(true);
  ASSERT_TRUE(proxy.IsActive());
  test::TlsTestClient client(proxy.ListeningPortForTesting(),
                             {V::sslvTLSv1, V::sslvTLSv1_1, V::sslvTLSv1_2}, "cistest.apis-it.hr");
  EXPECT_EQ(client.Version(), "TLSv1");
  client.io().Write("GET /wrong HTTP/1.1\r\nHost: cistest.apis-it.hr\r\n\r\n");
  std::string answer = client.ReadToEnd();
  EXPECT_EQ(answer.substr(0, answer.find("\r\n")), "HTTP/1.1 200 OK");
  EXPECT_NE(answer.find("\r\n\r\nNeispravan zahtjev"), std::string::npos) << answer;
  EXPECT_NE(test::TryTlsConnect(proxy.ListeningPortForTesting(), {V::sslvTLSv1_2}), "");
  proxy.SetActive(false);
}

// Tills of the Windows XP era offer TLS 1.0 with RC4 or 3DES alone. The Windows builds carry our
// own build of the library, which must serve both; the system's library of a native build may know
// neither suite, and then no context can even name it.
TEST(SslProxyMode2, ServesTillsThatOfferOnlyRc4Or3des) {
  FilesBesideProgram files({kTestCertFile, kTestKeyFile});
  TProxyServer proxy(0);
  proxy.Settings().Mode = kModeHttpsTest;
  proxy.Settings().CallDNS = false;
  proxy.SetActive(true);
  const bool own_library = platform::PathDelimiter() != '/';
  int served = 0;
  for (const char* suite : {"DES-CBC3-SHA", "RC4-SHA"}) {
    SCOPED_TRACE(suite);
    try {
      test::TlsTestClient till(proxy.ListeningPortForTesting(), suite);
      EXPECT_EQ(till.Version(), "TLSv1");
      till.io().Write("GET /wrong HTTP/1.1\r\nHost: cistest.apis-it.hr\r\n\r\n");
      EXPECT_NE(till.ReadToEnd().find("\r\n\r\nNeispravan zahtjev"), std::string::npos);
      ++served;
    } catch (const Error& error) {
      if (own_library || error.what() != std::string(kMsgSetCipherFailed))
        ADD_FAILURE() << error.what();
    }
  }
  proxy.SetActive(false);
  if (!served) GTEST_SKIP() << "the system's TLS library has neither suite";
}

TEST(SslProxyMode2, MissingKeyOrCertificateFailsTheStart) {
  {
    FilesBesideProgram files({kTestCertFile});
    TProxyServer proxy(0);
    proxy.Settings().Mode = kModeHttpsTest;
    proxy.Settings().CallDNS = false;
    try {
      proxy.SetActive(true);
      FAIL() << "started without a key";
    } catch (const Error& error) {
      std::string text = error.what();
      EXPECT_EQ(text.substr(0, text.find('\n')), "Could not load key, check password.");
    }
    EXPECT_FALSE(proxy.IsActive());
  }
  TProxyServer proxy(0);
  proxy.Settings().Mode = kModeHttpsTest;
  proxy.Settings().CallDNS = false;
  try {
    proxy.SetActive(true);
    FAIL() << "started without a certificate";
  } catch (const Error& error) {
    std::string text = error.what();
    EXPECT_EQ(text.substr(0, text.find('\n')), "Could not load certificate.");
  }
}

}  // namespace
}  // namespace vp
