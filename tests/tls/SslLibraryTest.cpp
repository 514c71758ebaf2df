// Loading the TLS library by name: missing files, missing functions, and the retry afterwards.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "support/TlsTestPeers.h"
#include "tls/SslLibrary.h"
#include "tls/SslServerIOHandler.h"

namespace vp {
namespace {

// Points the loader at other files for one test and back at the real ones afterwards.
class LibraryNames {
 public:
  LibraryNames(const std::string& ssl, const std::string& crypto) {
    SetSslLibraryNamesForTesting(ssl, crypto);
  }
  ~LibraryNames() { SetSslLibraryNamesForTesting("", ""); }
};

Error InitErrorOfServer() {
  TIdServerIOHandlerSSLOpenSSL handler;
  handler.SSLOptions = test::TestServerOptions();
  try {
    handler.Init();
  } catch (const Error& error) {
    return error;
  }
  handler.Shutdown();
  return Error(ErrorKind::kGeneric, "started");
}

TEST(SslLibraryLoad, RealLibraryLoadsOnceAndIsShared) {
  ASSERT_TRUE(SslLibraryFilesPresent());
  std::shared_ptr<const SslLibrary> first = SslLibrary::Get();
  EXPECT_EQ(SslLibrary::Get(), first);
  EXPECT_NE(first->fn().SSL_CTX_new_ex, nullptr);
  EXPECT_EQ(first->TakeErrorText(), "");
}

TEST(SslLibraryLoad, MissingFilesFailTheServerStart) {
  LibraryNames names("vp-no-such-libssl.so.3", "vp-no-such-libcrypto.so.3");
  EXPECT_FALSE(SslLibraryFilesPresent());
  Error error = InitErrorOfServer();
  EXPECT_STREQ(error.what(), "Could not load SSL library.");
  EXPECT_EQ(error.kind(), ErrorKind::kSslLibrary);
  EXPECT_NE(error.detail().find("vp-no-such-libssl.so.3"), std::string::npos) << error.detail();
  EXPECT_NE(error.detail().find("vp-no-such-libcrypto.so.3"), std::string::npos);
}

TEST(SslLibraryLoad, LibraryLackingFunctionsIsRefusedNamingEveryMissingOne) {
  LibraryNames names(test::TestStubLibrary(), test::TestStubLibrary());
  EXPECT_TRUE(SslLibraryFilesPresent()) << "the files are there, only functions lack";
  Error error = InitErrorOfServer();
  EXPECT_STREQ(error.what(), "Could not load SSL library.");
  for (const char* name : {"SSL_CTX_new_ex", "SSL_accept", "ERR_get_error", "BIO_s_mem"})
    EXPECT_NE(error.detail().find(name), std::string::npos) << name << " in " << error.detail();
  EXPECT_EQ(error.detail().find("OPENSSL_init_ssl"), std::string::npos) << "the stub has it";
}

TEST(SslLibraryLoad, LoadIsRetriedAfterAFailure) {
  {
    LibraryNames names("vp-no-such-libssl.so.3", "vp-no-such-libcrypto.so.3");
    EXPECT_THROW(SslLibrary::Get(), Error);
    EXPECT_THROW(SslLibrary::Get(), Error);
  }
  EXPECT_STREQ(InitErrorOfServer().what(), "started");
}

TEST(SslLibraryLoad, ObjectsKeepTheirLibraryWhenTheNamesChange) {
  std::shared_ptr<const SslLibrary> held = SslLibrary::Get();
  LibraryNames names("vp-no-such-libssl.so.3", "vp-no-such-libcrypto.so.3");
  held->ClearErrors();  // still loaded and callable
  EXPECT_EQ(held->TakeErrorText(), "");
}

}  // namespace
}  // namespace vp
