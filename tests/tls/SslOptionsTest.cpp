// The Method and SSLVersions setters keep each other consistent.
#include <gtest/gtest.h>

#include "tls/SslClientIOHandler.h"
#include "tls/SslOptions.h"
#include "tls/SslServerIOHandler.h"

namespace vp {
namespace {

using V = TIdSSLVersion;
const TIdSSLVersions kAllReal = {V::sslvSSLv2, V::sslvSSLv3, V::sslvTLSv1, V::sslvTLSv1_1,
                                 V::sslvTLSv1_2};

TEST(SslOptions, DefaultsAreTls1Only) {
  TIdSSLOptions options;
  EXPECT_EQ(options.Method(), V::sslvTLSv1);
  EXPECT_EQ(options.SSLVersions(), TIdSSLVersions{V::sslvTLSv1});
  EXPECT_EQ(options.Mode, TIdSSLMode::sslmUnassigned);
  EXPECT_TRUE(options.VerifyMode.empty());
  EXPECT_TRUE(options.CipherList.empty());
  EXPECT_EQ(options.VerifyDepth, 0);
}

TEST(SslOptions, SettingMethodSetsVersions) {
  struct Row {
    const char* what;
    V method;
    TIdSSLVersions versions;
  };
  const Row rows[] = {
      {"SSL 2.0", V::sslvSSLv2, {V::sslvSSLv2}},
      {"SSL 3.0", V::sslvSSLv3, {V::sslvSSLv3}},
      {"TLS 1.0", V::sslvTLSv1, {V::sslvTLSv1}},
      {"TLS 1.1", V::sslvTLSv1_1, {V::sslvTLSv1_1}},
      {"TLS 1.2", V::sslvTLSv1_2, {V::sslvTLSv1_2}},
      {"flexible: every real version", V::sslvSSLv23, kAllReal},
  };
  for (const Row& row : rows) {
    TIdSSLOptions options;
    options.SetMethod(row.method);
    EXPECT_EQ(options.Method(), row.method) << row.what;
    EXPECT_EQ(options.SSLVersions(), row.versions) << row.what;
  }
}

TEST(SslOptions, SettingVersionsSetsMethod) {
  struct Row {
    const char* what;
    TIdSSLVersions set;
    V method;
    TIdSSLVersions versions;
  };
  const Row rows[] = {
      {"one real version is the method", {V::sslvTLSv1_1}, V::sslvTLSv1_1, {V::sslvTLSv1_1}},
      {"SSL 2.0 alone", {V::sslvSSLv2}, V::sslvSSLv2, {V::sslvSSLv2}},
      {"the client's three",
       {V::sslvTLSv1, V::sslvTLSv1_1, V::sslvTLSv1_2},
       V::sslvSSLv23,
       {V::sslvTLSv1, V::sslvTLSv1_1, V::sslvTLSv1_2}},
      {"the flexible member is dropped",
       {V::sslvSSLv23, V::sslvTLSv1, V::sslvTLSv1_2},
       V::sslvSSLv23,
       {V::sslvTLSv1, V::sslvTLSv1_2}},
      {"the flexible member alone stands for all real ones",
       {V::sslvSSLv23},
       V::sslvSSLv23,
       kAllReal},
      {"an empty set stays empty", {}, V::sslvSSLv23, {}},
  };
  for (const Row& row : rows) {
    TIdSSLOptions options;
    options.SetSSLVersions(row.set);
    EXPECT_EQ(options.Method(), row.method) << row.what;
    EXPECT_EQ(options.SSLVersions(), row.versions) << row.what;
  }
}

TEST(SslOptions, HandlersStartWithTheirSidesVersions) {
  TIdServerIOHandlerSSLOpenSSL server;
  EXPECT_EQ(server.SSLOptions.Method(), V::sslvTLSv1);
  EXPECT_EQ(server.SSLOptions.SSLVersions(), TIdSSLVersions{V::sslvTLSv1});
  TIdSSLIOHandlerSocketOpenSSL client;
  EXPECT_EQ(client.SSLOptions.Method(), V::sslvSSLv23);
  EXPECT_EQ(client.SSLOptions.SSLVersions(),
            (TIdSSLVersions{V::sslvTLSv1, V::sslvTLSv1_1, V::sslvTLSv1_2}));
  EXPECT_EQ(client.SSLOptions.Mode, TIdSSLMode::sslmUnassigned);
}

}  // namespace
}  // namespace vp
