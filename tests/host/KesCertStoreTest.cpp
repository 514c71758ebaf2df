// The root certificate installer against a trust store of its own in a temp folder: real
// certificates made at build time, the real TLS library, and a stand-in for the update command.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/Error.h"
#include "host/ElevatedTasks.h"
#include "host/KesCertStore.h"
#include "platform/CertStore.h"
#include "proxy/KesHttp.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedUserPrompt.h"
#include "support/TempDir.h"
#include "support/TestUpstream.h"
#include "support/TlsTestPeers.h"
#include "tls/SslLibrary.h"

namespace vp {
namespace {

namespace fs = std::filesystem;
using test::TestCertFile;

constexpr const char* kOwnStore =
    "this machine keeps its roots in its own certificate service; the Wine run checks that";

std::string CertBytes(const std::string& name) { return test::ReadFile(TestCertFile(name)); }

// A TLS library certificate object made from a DER file of the test set.
class X509Object {
 public:
  explicit X509Object(const std::string& name)
      : library_(SslLibrary::Get()), der_(CertBytes(name)) {
    const auto* next = reinterpret_cast<const unsigned char*>(der_.data());
    x509_ = library_->fn().d2i_X509(nullptr, &next, static_cast<long>(der_.size()));
  }
  ~X509Object() {
    if (x509_) library_->fn().X509_free(x509_);
  }
  X509Object(const X509Object&) = delete;
  X509Object& operator=(const X509Object&) = delete;
  SslCertificateHandle get() const { return x509_; }

 private:
  std::shared_ptr<const SslLibrary> library_;
  std::string der_;
  openssl::X509* x509_ = nullptr;
};

// A trust store in a temp folder whose update command builds the bundle from the folder's files,
// as update-ca-certificates does, and counts its runs.
class KesCertStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::CurrentTrustStoreFiles();
    files_ = {dir_.File("local-roots"), dir_.File("bundle.pem"), dir_.File("update.sh")};
    WriteUpdateScript(0);
    platform::SetTrustStoreFilesForTesting(files_);
  }
  void TearDown() override { platform::SetTrustStoreFilesForTesting(saved_); }

  void WriteUpdateScript(int exit_code) {
    std::string script = "#!/bin/sh\n";
    script += "echo run >> '" + dir_.File("runs") + "'\n";
    script += "cat '" + files_.folder + "'/*.crt > '" + files_.bundle + "' 2>/dev/null\n";
    script += "exit " + std::to_string(exit_code) + "\n";
    test::WriteFile(files_.update_command, script);
    fs::permissions(files_.update_command, fs::perms::owner_all);
  }

  bool FileLayer() const { return platform::NativeCertService() == nullptr; }
  std::size_t UpdateRuns() const { return test::ReadFile(dir_.File("runs")).size() / 4; }

  std::vector<std::string> RootFiles() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(files_.folder, ignored))
      names.push_back(entry.path().filename().string());
    return names;
  }

  bool Add(const std::string& bytes, const std::string& store = "Root") {
    std::string path = dir_.File("input.crt");
    test::WriteFile(path, bytes);
    return TKesCertStore().AddCertificateFile(path, store);
  }

  test::TempDir dir_;
  platform::TrustStoreFiles files_;
  platform::TrustStoreFiles saved_;
};

TEST_F(KesCertStoreTest, RootGoesInAsPemNamedByItsDigestAndASecondAddReplacesIt) {
  if (!FileLayer()) GTEST_SKIP() << kOwnStore;
  ASSERT_TRUE(TKesCertStore().AddCertificateFile(TestCertFile("fakeFinaCA.crt"), "Root"));
  std::vector<std::string> first = RootFiles();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].rfind("vormetra-proxy-", 0), 0u) << first[0];
  EXPECT_EQ(first[0].size(), std::string("vormetra-proxy-0123456789abcdef.crt").size());
  std::string pem = test::ReadFile(files_.folder + "/" + first[0]);
  EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u);
  EXPECT_EQ(test::ReadFile(files_.bundle), pem);
  EXPECT_EQ(UpdateRuns(), 1u);

  // Store names are not case-sensitive, as on Windows; the same root replaces its copy.
  EXPECT_TRUE(TKesCertStore().AddCertificateFile(TestCertFile("fakeFinaCA.crt"), "ROOT"));
  EXPECT_EQ(RootFiles(), first);
  EXPECT_EQ(test::ReadFile(files_.bundle), pem);
  EXPECT_EQ(UpdateRuns(), 2u);

  EXPECT_TRUE(TKesCertStore().AddCertificateFile(TestCertFile("loopbackCA.crt"), "Root"));
  EXPECT_EQ(RootFiles().size(), 2u);
}

TEST_F(KesCertStoreTest, RemovingTakesOnlyThatRootsFileOutAndRebuildsTheBundle) {
  if (!FileLayer()) GTEST_SKIP() << kOwnStore;
  TKesCertStore store;
  ASSERT_TRUE(store.AddCertificateFile(TestCertFile("fakeFinaCA.crt"), "Root"));
  ASSERT_TRUE(store.AddCertificateFile(TestCertFile("loopbackCA.crt"), "Root"));
  EXPECT_TRUE(store.RemoveCertificateFile(TestCertFile("fakeFinaCA.crt"), "Root"));
  ASSERT_EQ(RootFiles().size(), 1u);
  EXPECT_EQ(test::ReadFile(files_.bundle), test::ReadFile(files_.folder + "/" + RootFiles()[0]));
  EXPECT_EQ(UpdateRuns(), 3u);
  // Gone already: nothing to do, and no needless rebuild.
  EXPECT_TRUE(store.RemoveCertificateFile(TestCertFile("fakeFinaCA.crt"), "Root"));
  EXPECT_EQ(UpdateRuns(), 3u);
  EXPECT_FALSE(store.RemoveCertificateFile(dir_.File("no-such.crt"), "Root"));
}

TEST_F(KesCertStoreTest, RefusesAnythingButOneWholeDerCertificate) {
  std::string der = CertBytes("fakeFinaCA.crt");
  EXPECT_FALSE(Add(CertBytes("fakeFinaTest.crt"))) << "PEM";
  EXPECT_FALSE(Add("")) << "empty";
  EXPECT_FALSE(Add(der.substr(0, der.size() / 2))) << "truncated";
  EXPECT_FALSE(Add(der.substr(0, der.size() - 1))) << "last byte missing";
  EXPECT_FALSE(Add(std::string(der.size(), '\0'))) << "zeros";
  EXPECT_FALSE(TKesCertStore().AddCertificateFile(dir_.File("no-such.crt"), "Root"));
  if (!FileLayer()) return;
  EXPECT_FALSE(Add(der + "\n")) << "trailing bytes";
  // Windows makes a store of any name; here there is only "Root".
  EXPECT_FALSE(TKesCertStore().AddCertificateStream(der, "CA"));
  EXPECT_TRUE(RootFiles().empty());
  EXPECT_EQ(UpdateRuns(), 0u);
}

TEST_F(KesCertStoreTest, WithoutRightsToTheStoreTheAddAnswersFalseAndLeavesNothing) {
  if (!FileLayer()) GTEST_SKIP() << kOwnStore;
  WriteUpdateScript(1);
  EXPECT_FALSE(TKesCertStore().AddCertificateFile(TestCertFile("fakeFinaCA.crt"), "Root"));
  EXPECT_TRUE(RootFiles().empty()) << "a root left behind would be trusted at the next update";
  EXPECT_EQ(UpdateRuns(), 1u);

  // A folder that cannot be made: the command never runs.
  test::WriteFile(dir_.File("plain-file"), "x");
  files_.folder = dir_.File("plain-file") + "/roots";
  platform::SetTrustStoreFilesForTesting(files_);
  EXPECT_FALSE(TKesCertStore().AddCertificateFile(TestCertFile("fakeFinaCA.crt"), "Root"));
  EXPECT_EQ(UpdateRuns(), 1u);
}

// The trust store of root, as a user sees it: a file stands where its folder would be made. The
// elevated copy (a double that runs the copy's task in place) has the rights.
TEST_F(KesCertStoreTest, WithoutRightsTheElevatedCopyAddsTheRootAndADeclinedOneIsNoSuccess) {
  if (!FileLayer()) GTEST_SKIP() << kOwnStore;
  test::WriteFile(dir_.File("blocked"), "x");
  std::string folder = files_.folder;
  files_.folder = dir_.File("blocked") + "/roots";
  platform::SetTrustStoreFilesForTesting(files_);
  EXPECT_FALSE(TKesCertStore().MayChangeStore("Root"));
  test::ScriptedUserPrompt prompt;
  test::RecordingLauncher launcher;
  launcher.OnLaunch([&](const test::Launch& launch) {
    files_.folder = folder;
    platform::SetTrustStoreFilesForTesting(files_);
    TKesCertStore().AddCertificateFile(launch.arguments.at(1), launch.arguments.at(2));
  });

  EXPECT_FALSE(AddCertificateWithRights(TestCertFile("fakeFinaCA.crt"), "Root")) << "declined";
  EXPECT_EQ(UpdateRuns(), 0u);
  prompt.QueueAnswers({platform::Answer::kYes});
  EXPECT_TRUE(AddCertificateWithRights(TestCertFile("fakeFinaCA.crt"), "Root"));
  ASSERT_EQ(launcher.launches().size(), 1u);
  EXPECT_EQ(launcher.launches()[0].arguments,
            (std::vector<std::string>{"/addcert", TestCertFile("fakeFinaCA.crt"), "Root"}));
  EXPECT_EQ(RootFiles().size(), 1u);
}

TEST_F(KesCertStoreTest, OnlyALowerCasePfxExtensionOpensAPkcs12File) {
  if (!FileLayer()) GTEST_SKIP() << kOwnStore;
  std::string der = CertBytes("fakeFinaCA.crt");
  test::WriteFile(dir_.File("bundle.pfx"), CertBytes("upstream.pfx"));
  test::WriteFile(dir_.File("BUNDLE.PFX"), CertBytes("upstream.pfx"));
  test::WriteFile(dir_.File("damaged.pfx"), der);
  TKesCertStore store;
  EXPECT_TRUE(store.AddCertificateStream(der, dir_.File("bundle.pfx")));
  EXPECT_FALSE(store.AddCertificateStream(CertBytes("fakeFinaTest.crt"), dir_.File("bundle.pfx")));
  EXPECT_NE(store.OpenStore(dir_.File("bundle.pfx"), ""), nullptr);
  EXPECT_EQ(store.OpenStore(dir_.File("bundle.pfx"), "wrong"), nullptr);
  EXPECT_EQ(store.OpenStore(dir_.File("damaged.pfx"), ""), nullptr);
  EXPECT_EQ(store.OpenStore(dir_.File("missing.pfx"), ""), nullptr);
  // Taken as the name of a system store, of which this machine has only "Root".
  EXPECT_EQ(store.OpenStore(dir_.File("BUNDLE.PFX"), ""), nullptr);
  EXPECT_FALSE(store.AddCertificateStream(der, dir_.File("BUNDLE.PFX")));
  EXPECT_TRUE(RootFiles().empty());
}

TEST_F(KesCertStoreTest, VerifyX509TrustsCertificatesOfTheInstalledRootForTheirName) {
  if (!FileLayer()) GTEST_SKIP() << kOwnStore;
  X509Object server("fakeFinaTest.der");
  X509Object client_only("loopback-client.der");
  ASSERT_NE(server.get(), nullptr);
  TKesCertStore store;
  EXPECT_FALSE(store.VerifyX509(server.get(), "")) << "no bundle yet";

  ASSERT_TRUE(store.AddCertificateFile(TestCertFile("loopbackCA.crt"), "Root"));
  EXPECT_FALSE(store.VerifyX509(server.get(), "")) << "another root";
  EXPECT_FALSE(store.VerifyX509(client_only.get(), "")) << "client authentication only";
  EXPECT_FALSE(store.VerifyX509(client_only.get(), "127.0.0.1"));

  ASSERT_TRUE(store.AddCertificateFile(TestCertFile("fakeFinaCA.crt"), "Root"));
  EXPECT_TRUE(store.VerifyX509(server.get(), "cistest.apis-it.hr"));
  EXPECT_TRUE(store.VerifyX509(server.get(), "")) << "no name, no name check";
  EXPECT_FALSE(store.VerifyX509(server.get(), "cis.porezna-uprava.hr"));
  EXPECT_FALSE(store.VerifyX509(server.get(), "127.0.0.1"));
  EXPECT_FALSE(store.VerifyX509(nullptr, ""));
  EXPECT_FALSE(store.VerifyServerChain(nullptr, ""));
}

TEST_F(KesCertStoreTest, ForwarderWithVerificationOnTrustsAnUpstreamOfTheInstalledRoot) {
  if (!FileLayer()) GTEST_SKIP() << kOwnStore;
  if (!SslLibraryFilesPresent()) GTEST_SKIP() << "the TLS library files are not present";
  TIdServerIOHandlerSSLOpenSSL tls;
  tls.SSLOptions.CertFile = TestCertFile("loopback.crt");
  tls.SSLOptions.KeyFile = TestCertFile("loopback.key");
  tls.SSLOptions.SetMethod(TIdSSLVersion::sslvTLSv1_2);
  tls.Init();
  test::TestUpstream upstream({{test::HttpAnswer(200, "OK", "trusted")}},
                              [&](platform::Socket& socket) { return tls.Accept(socket); });
  UseCertStoreForForwarderTrust();
  // The error's text, or "" when the post went through.
  auto post = [&](std::string& answer) -> std::string {
    TKesHttp kes;  // verification stays on
    try {
      kes.Post(upstream.Url("/", "https"), "q", answer);
    } catch (const Error& error) {
      return error.what();
    }
    return "";
  };

  std::string answer;
  std::string untrusted = post(answer);
  EXPECT_EQ(untrusted.rfind("Error connecting with SSL.", 0), 0u) << untrusted;
  ASSERT_TRUE(TKesCertStore().AddCertificateFile(TestCertFile("loopbackCA.crt"), "Root"));
  EXPECT_EQ(post(answer), "");
  EXPECT_EQ(answer, "trusted");

  TKesHttp::SetTrustCheck(nullptr);
  upstream.Stop();
  tls.Shutdown();
}

}  // namespace
}  // namespace vp
