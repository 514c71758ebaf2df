// The listener's TLS transport: real handshakes on 127.0.0.1 and the start errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "base/Error.h"
#include "http/HttpServer.h"
#include "support/TempDir.h"
#include "support/TlsTestPeers.h"
#include "tls/SslContext.h"
#include "tls/SslServerIOHandler.h"
#include "tls/TlsIOHandler.h"

namespace vp {
namespace {

using V = TIdSSLVersion;

// The start error of a server handler with these files, or "" when Init succeeded.
std::string InitError(const std::string& cert, const std::string& key,
                      TIdSSLOptions* extra = nullptr) {
  TIdServerIOHandlerSSLOpenSSL handler;
  if (extra) handler.SSLOptions = *extra;
  handler.SSLOptions.CertFile = cert;
  handler.SSLOptions.KeyFile = key;
  try {
    handler.Init();
  } catch (const Error& error) {
    return error.what();
  }
  handler.Shutdown();
  return "";
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(SslServerHandshake, Tls10ClientExchangesBytes) {
  test::TlsTestServer server(test::TestServerOptions(), [](TlsIOHandler& connection) {
    char buffer[64];
    std::size_t n = connection.Read(buffer, sizeof buffer);
    connection.Write("echo:" + std::string(buffer, n));
  });
  test::TlsTestClient client(server.port(), {V::sslvTLSv1});
  EXPECT_EQ(client.Version(), "TLSv1");
  client.io().Write("hello");
  EXPECT_EQ(client.ReadToEnd(), "echo:hello");
}

// Old tills take no tickets and resume by session ID, so the listener keeps their sessions. A
// day of them must not grow the cache without end.
TEST(SslServerHandshake, SessionCacheStaysSmallWhateverTheClientCount) {
  std::shared_ptr<const SslLibrary> library = SslLibrary::Get();
  TIdSSLOptions server_options = test::TestServerOptions();
  server_options.Mode = TIdSSLMode::sslmServer;
  auto server = SslContext::Create(library, server_options, {});
  TIdSSLOptions client_options;
  client_options.SetMethod(V::sslvTLSv1);
  client_options.Mode = TIdSSLMode::sslmClient;
  auto client = SslContext::Create(library, client_options, {});
  library->fn().SSL_CTX_set_options(client->get(), openssl::kOpNoTicket);

  platform::Socket listening = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listening.Bind("127.0.0.1", 0);
  listening.Listen(8);
  const int kClients = 100;
  for (int i = 0; i < kClients; ++i) {
    platform::Socket to_server = platform::Socket::ConnectTcp("127.0.0.1", listening.LocalPort());
    ASSERT_TRUE(listening.WaitReadable(5000));
    platform::Socket to_client = listening.Accept();
    to_server.SetTimeouts(5000, 5000);
    to_client.SetTimeouts(5000, 5000);
    std::string refused;
    std::thread accepting([&] {
      try {
        TlsIOHandler(server, to_client, TlsRole::kServer).Handshake();
      } catch (const std::exception& error) {
        refused = error.what();
      }
    });
    EXPECT_NO_THROW(TlsIOHandler(client, to_server, TlsRole::kClient).Handshake());
    accepting.join();
    ASSERT_EQ(refused, "");
  }
  long kept = library->fn().SSL_CTX_ctrl(server->get(), openssl::kCtrlSessNumber, 0, nullptr);
  EXPECT_GT(kept, 0);   // sessions are kept for resumption...
  EXPECT_LE(kept, 64);  // ...but not one for every client there ever was
}

TEST(SslServerHandshake, LargeTransfersCrossManyRecords) {
  const std::size_t kSize = 300 * 1000;  // about twenty records each way
  test::TlsTestServer server(test::TestServerOptions(), [&](TlsIOHandler& connection) {
    std::string got;
    char buffer[8192];
    while (got.size() < kSize && connection.WaitReadable(5000)) {
      std::size_t n = connection.Read(buffer, sizeof buffer);
      if (n == 0) break;
      got.append(buffer, n);
    }
    connection.Write(got);
  });
  std::string payload(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i) payload[i] = static_cast<char>(i * 7 % 251);
  test::TlsTestClient client(server.port(), {V::sslvTLSv1});
  client.io().Write(payload);
  EXPECT_TRUE(client.ReadToEnd() == payload);
}

TEST(SslServerHandshake, ManyClientsAtOnceShareTheContext) {
  TIdServerIOHandlerSSLOpenSSL handler;
  handler.SSLOptions = test::TestServerOptions();
  TIdHTTPServer listener;
  listener.Bindings = {{"127.0.0.1", 0, platform::IpFamily::kV4}};
  listener.OnCommandGet = [](TIdContext&, TIdHTTPRequestInfo& request,
                             TIdHTTPResponseInfo& response) {
    response.ResponseText = request.Path;
  };
  listener.SetIOHandler(&handler);
  listener.SetActive(true);
  const int kClients = 8;
  std::vector<std::string> answers(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      try {
        test::TlsTestClient client(listener.BoundPort(), {V::sslvTLSv1});
        client.io().Write("GET /c" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\n\r\n");
        answers[i] = client.ReadToEnd();
      } catch (const std::exception& error) {
        answers[i] = error.what();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  listener.SetActive(false);
  for (int i = 0; i < kClients; ++i) {
    std::string tail = "\r\n\r\n/c" + std::to_string(i);
    EXPECT_EQ(answers[i].substr(answers[i].size() - std::min(answers[i].size(), tail.size())), tail)
        << answers[i];
  }
}

TEST(SslServerHandshake, FlexibleClientSettlesOnTls10) {
  test::TlsTestServer server(test::TestServerOptions(), nullptr);
  test::TlsTestClient client(server.port(), {V::sslvTLSv1, V::sslvTLSv1_1, V::sslvTLSv1_2});
  EXPECT_EQ(client.Version(), "TLSv1");
}

TEST(SslServerHandshake, RefusesClientOfferingOnlyNewerVersions) {
  test::TlsTestServer server(test::TestServerOptions(), nullptr);
  std::string client_error = test::TryTlsConnect(server.port(), {V::sslvTLSv1_2});
  EXPECT_EQ(FirstLine(client_error), kMsgErrorConnectingSsl);
  EXPECT_NE(client_error.find('\n'), std::string::npos) << "library text follows";
  std::string server_error = server.WaitForError(5000);
  EXPECT_EQ(FirstLine(server_error), kMsgErrorAcceptingSsl);
  EXPECT_NE(server_error.find("error:"), std::string::npos) << server_error;
  EXPECT_EQ(server.handshakes(), 0);
}

TEST(SslServerHandshake, PlainTextClientIsRefused) {
  test::TlsTestServer server(test::TestServerOptions(), nullptr);
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
  socket.SendAll("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(FirstLine(server.WaitForError(5000)), kMsgErrorAcceptingSsl);
}

TEST(SslServerHandshake, PeerClosingDuringHandshakeIsEofViolation) {
  test::TlsTestServer server(test::TestServerOptions(), nullptr);
  platform::Socket::ConnectTcp("127.0.0.1", server.port()).Close();
  EXPECT_EQ(server.WaitForError(5000), std::string(kMsgErrorAcceptingSsl) + "\n" +
                                           "EOF was observed that violates the protocol");
}

TEST(SslServerHandshake, SilentClientIsDroppedAfterItsTime) {
  TIdServerIOHandlerSSLOpenSSL handler;
  handler.SSLOptions = test::TestServerOptions();
  TIdHTTPServer listener;
  // A client that sends nothing never reaches the handshake: it waits with the listener, whose
  // bound is the handshake's 30 s unless shortened.
  listener.Limits.client_timeout_ms = 200;
  listener.Bindings = {{"127.0.0.1", 0, platform::IpFamily::kV4}};
  listener.SetIOHandler(&handler);
  listener.SetActive(true);
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", listener.BoundPort());
  // We send nothing; the server closes the connection.
  ASSERT_TRUE(socket.WaitReadable(10000));
  char byte;
  EXPECT_EQ(socket.Receive(&byte, 1), 0u);
  listener.SetActive(false);
}

TEST(SslServerHandshake, StalledHandshakeFailsWithTheSocketTimeout) {
  TIdServerIOHandlerSSLOpenSSL handler;
  handler.SSLOptions = test::TestServerOptions();
  handler.SetSocketTimeoutForTesting(200);
  handler.Init();
  platform::Socket listening = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listening.Bind("127.0.0.1", 0);
  listening.Listen(1);
  platform::Socket client = platform::Socket::ConnectTcp("127.0.0.1", listening.LocalPort());
  platform::Socket accepted = listening.Accept();
  try {
    handler.Accept(accepted);
    FAIL() << "handshake without a client hello";
  } catch (const Error& error) {
    EXPECT_EQ(FirstLine(error.what()), kMsgErrorAcceptingSsl);
    EXPECT_EQ(error.kind(), ErrorKind::kSocketTimeout);
  }
  handler.Shutdown();
}

TEST(SslServerStart, CertificateAndKeyErrors) {
  test::TempDir dir;
  const std::string cert = test::TestCertFile("fakeFinaTest.crt");
  const std::string key = test::TestCertFile("fakeFinaTest.key");
  const std::string missing = dir.File("missing.pem");
  test::WriteFile(dir.File("garbage.crt"), "not a certificate\n");
  struct Row {
    const char* what;
    std::string cert, key;
    const char* message;
  };
  const Row rows[] = {
      {"both files missing: the certificate goes first", missing, missing,
       kMsgCouldNotLoadCertificate},
      {"certificate missing", missing, key, kMsgCouldNotLoadCertificate},
      {"certificate not PEM", dir.File("garbage.crt"), key, kMsgCouldNotLoadCertificate},
      {"key missing", cert, missing, kMsgCouldNotLoadKey},
      {"key encrypted", cert, test::TestCertFile("encrypted.key"), kMsgCouldNotLoadKey},
      {"key of another certificate", cert, test::TestCertFile("mismatched.key"),
       kMsgCouldNotLoadKey},
      {"key of the other host", cert, test::TestCertFile("fakeFina.key"), kMsgCouldNotLoadKey},
  };
  for (const Row& row : rows) {
    std::string error = InitError(row.cert, row.key);
    EXPECT_EQ(FirstLine(error), row.message) << row.what;
    ASSERT_NE(error.find('\n'), std::string::npos) << row.what;
    EXPECT_FALSE(error.substr(error.find('\n') + 1).empty()) << row.what << ": library text";
  }
  EXPECT_EQ(InitError(cert, key), "");
}

TEST(SslServerStart, OtherContextErrors) {
  const std::string cert = test::TestCertFile("fakeFinaTest.crt");
  const std::string key = test::TestCertFile("fakeFinaTest.key");
  TIdSSLOptions options;
  options.CipherList = "NO-SUCH-CIPHER";
  EXPECT_EQ(InitError(cert, key, &options), kMsgSetCipherFailed);
  options = {};
  options.SetMethod(V::sslvSSLv3);
  EXPECT_EQ(InitError(cert, key, &options), kMsgErrorGettingSslMethod);
  options = {};
  options.DHParamsFile = test::TestCertFile("no-such-dh.pem");
  EXPECT_EQ(FirstLine(InitError(cert, key, &options)), kMsgCouldNotLoadDhParameters);
  options = {};
  options.RootCertFile = test::TestCertFile("no-such-root.pem");
  EXPECT_EQ(FirstLine(InitError(cert, key, &options)), kMsgCouldNotLoadRootCertificate);
}

TEST(SslServerStart, AcceptAfterShutdownFailsCleanly) {
  TIdServerIOHandlerSSLOpenSSL handler;
  handler.SSLOptions = test::TestServerOptions();
  handler.Init();
  handler.Shutdown();
  platform::Socket socket;
  EXPECT_THROW(handler.Accept(socket), Error);
}

}  // namespace
}  // namespace vp
