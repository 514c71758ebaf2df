// The program's own certificate set, made with the loaded library: written beside the program for
// the settings' hosts, taken by the listener, and trusted by a client for those names only.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "host/KesCertStore.h"
#include "host/LocalCertificates.h"
#include "json/KesBase64.h"
#include "platform/CertStore.h"
#include "platform/FileSystem.h"
#include "proxy/ProxyServer.h"
#include "support/TempDir.h"
#include "support/TlsTestPeers.h"
#include "support/UnderWine.h"
#include "tls/LocalAuthority.h"

namespace vp {
namespace {

using V = TIdSSLVersion;
constexpr const char* kTestHost = "cistest.apis-it.hr";
constexpr const char* kProductionHost = "cis.porezna-uprava.hr";

std::string DerOfPem(const std::string& pem) {
  std::string body;
  std::size_t start = 0;
  while (start < pem.size()) {
    std::size_t end = pem.find('\n', start);
    if (end == std::string::npos) end = pem.size();
    if (pem.compare(start, 5, "-----") != 0) body += pem.substr(start, end - start);
    start = end + 1;
  }
  return TKesBase64::Decode(body);
}

// The library's certificate object for DER bytes.
SslOwned<openssl::X509> X509Of(const std::string& der) {
  auto library = SslLibrary::Get();
  const auto* next = reinterpret_cast<const unsigned char*>(der.data());
  return {library, library->fn().d2i_X509(nullptr, &next, static_cast<long>(der.size()))};
}

TEST(LocalCertificates, MadeBesideTheProgramTheyServeATillOverTls10) {
  ASSERT_FALSE(CertificateFilesPresent());
  ASSERT_TRUE(MakeCertificateFiles());
  EXPECT_TRUE(CertificateFilesPresent());
  std::string root = platform::ReadFileBytes(AppFilePath("fakeFinaCA.crt"));
  EXPECT_TRUE(X509Of(root)) << "the root is DER";

  for (const char* pair : {"fakeFinaTest", "fakeFina"}) {
    TIdSSLOptions options = test::TestServerOptions({V::sslvTLSv1});
    options.CertFile = AppFilePath(std::string(pair) + ".crt");
    options.KeyFile = AppFilePath(std::string(pair) + ".key");
    test::TlsTestServer server(options, [](TlsIOHandler&) {});
    test::TlsTestClient client(server.port(), {V::sslvTLSv1});
    EXPECT_EQ(client.Version(), "TLSv1") << pair;
  }

  ASSERT_TRUE(MakeCertificateFiles());
  EXPECT_NE(platform::ReadFileBytes(AppFilePath("fakeFinaCA.crt")), root) << "a new root each time";
  for (const char* name :
       {"fakeFinaCA.crt", "fakeFinaTest.crt", "fakeFinaTest.key", "fakeFina.crt", "fakeFina.key"})
    std::filesystem::remove(AppFilePath(name));
}

// A package installs the program under /usr, which is not the program's to write: its set goes
// into the data folder, made when missing, where every reader of AppFilePath finds it.
TEST(LocalCertificates, AProgramUnderUsrKeepsItsSetInTheDataFolder) {
  if (platform::PathDelimiter() != '/') GTEST_SKIP() << "the POSIX file-system hierarchy";
  std::string own = platform::ProgramFilePath();
  platform::SetProgramFilePathForTesting("/usr/lib/vormetra-proxy/vormetra-proxy");
  bool made = MakeCertificateFiles();
  std::string folder = AppFileFolder();
  platform::SetProgramFilePathForTesting(own);
  EXPECT_TRUE(made);
  EXPECT_EQ(folder,
            platform::IncludeTrailingDelimiter(platform::CommonAppDataFolder()) + "VormetraProxy/");
  EXPECT_TRUE(platform::FileExists(folder + "fakeFina.key"));
  EXPECT_FALSE(CertificateFilesPresent()) << "nothing beside a program elsewhere";
  for (const char* name :
       {"fakeFinaCA.crt", "fakeFinaTest.crt", "fakeFinaTest.key", "fakeFina.crt", "fakeFina.key"})
    std::filesystem::remove(folder + name);
}

TEST(LocalCertificates, HostNamesThatCouldCarryMoreIntoTheCertificateAreRefused) {
  test::TempDir dir;
  for (const char* host : {"", "a.hr,permitted;DNS:example.org", "a.hr:443", "a b.hr"})
    EXPECT_THROW(WriteCertificateFiles(dir.path(), host, kProductionHost), Error) << host;
  EXPECT_FALSE(platform::FileExists(dir.File("fakeFinaCA.crt")));
}

// On Linux the library's chain check against a trust store in a temp folder; under Wine the
// Windows chain engine against the prefix's own store.
TEST(LocalCertificates, TheRootVouchesForItsTwoHostsAndForNoOtherName) {
  if (platform::NativeCertService() != nullptr && !test::UnderWine())
    GTEST_SKIP() << "would add a root to this machine's own store";
  test::TempDir dir;
  std::string script = dir.File("update.sh");
  test::WriteFile(script, "#!/bin/sh\ncat '" + dir.File("roots") + "'/*.crt > '" +
                              dir.File("bundle.pem") + "'\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  platform::TrustStoreFiles saved = platform::CurrentTrustStoreFiles();
  platform::SetTrustStoreFilesForTesting({dir.File("roots"), dir.File("bundle.pem"), script});

  LocalAuthority authority({kTestHost, kProductionHost});
  ASSERT_TRUE(TKesCertStore().AddCertificateStream(authority.RootDer(), "Root"));
  auto verify = [&](const std::string& issued_for, const std::string& name) {
    SslOwned<openssl::X509> leaf = X509Of(DerOfPem(authority.Issue(issued_for).certificate_pem));
    return TKesCertStore().VerifyX509(leaf.get(), name);
  };
  EXPECT_TRUE(verify(kTestHost, kTestHost));
  EXPECT_TRUE(verify(kProductionHost, kProductionHost));
  EXPECT_FALSE(verify(kTestHost, kProductionHost));
  EXPECT_FALSE(verify("example.org", "example.org")) << "outside the name constraint";
  EXPECT_FALSE(verify("example.org", ""));
  platform::SetTrustStoreFilesForTesting(saved);
}

}  // namespace
}  // namespace vp
