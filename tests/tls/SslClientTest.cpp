// The upstream client's TLS transport against real servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "base/Error.h"
#include "platform/Environment.h"
#include "support/TempDir.h"
#include "support/TlsTestPeers.h"
#include "tls/SslClientIOHandler.h"
#include "tls/SslContext.h"
#include "tls/TlsIOHandler.h"

namespace vp {
namespace {

using V = TIdSSLVersion;

// An upstream like the authority's as far as the client can tell: TLS 1.2 only, with a
// self-signed certificate issued for another name.
TIdSSLOptions UpstreamOptions() {
  TIdSSLOptions options;
  options.SetSSLVersions({V::sslvTLSv1_2});
  options.CertFile = test::TestCertFile("upstream.crt");
  options.KeyFile = test::TestCertFile("upstream.key");
  return options;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(SslClientConnect, ServerNameReachesTheServer) {
  std::mutex mutex;
  std::string seen;
  test::TlsTestServer server(test::TestServerOptions(), [&](TlsIOHandler& connection) {
    auto library = SslLibrary::Get();
    const char* name =
        library->fn().SSL_get_servername(connection.connection(), openssl::kTlsextNametypeHostName);
    std::lock_guard<std::mutex> lock(mutex);
    seen = name ? name : "(none)";
    connection.Write("x");
  });
  test::TlsTestClient client(server.port(), {V::sslvTLSv1, V::sslvTLSv1_1, V::sslvTLSv1_2},
                             "cistest.apis-it.hr");
  EXPECT_EQ(client.ReadToEnd(), "x");
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(seen, "cistest.apis-it.hr");
}

TEST(SslClientConnect, AcceptsAnyUpstreamCertificateWithVerifyModeEmpty) {
  test::TlsTestServer server(UpstreamOptions(),
                             [](TlsIOHandler& connection) { connection.Write("answer"); });
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
  TIdSSLIOHandlerSocketOpenSSL handler;
  handler.SSLOptions.VerifyMode = {TIdSSLVerifyMode::sslvrfPeer};
  std::atomic<int> verify_calls{0};
  handler.OnVerifyPeer = [&](SslCertificateHandle, bool, int, int) {
    return ++verify_calls, false;
  };
  handler.SSLOptions.VerifyMode.clear();  // as the proxy does before each post
  std::unique_ptr<IOHandler> io = handler.ConnectTls(socket, "195.29.166.133");
  EXPECT_EQ(static_cast<TlsIOHandler&>(*io).ProtocolVersion(), "TLSv1.2");
  char buffer[16];
  ASSERT_TRUE(io->WaitReadable(5000));
  EXPECT_EQ(std::string(buffer, io->Read(buffer, sizeof buffer)), "answer");
  EXPECT_EQ(verify_calls.load(), 0);
}

TEST(SslClientConnect, VerifyPeerDecidesWhenAsked) {
  test::TlsTestServer server(UpstreamOptions(), nullptr);
  for (bool accept : {false, true}) {
    platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
    TIdSSLIOHandlerSocketOpenSSL handler;
    handler.SSLOptions.VerifyMode = {TIdSSLVerifyMode::sslvrfPeer};
    bool saw_rejected = false;
    handler.OnVerifyPeer = [&](SslCertificateHandle certificate, bool ok, int, int) {
      EXPECT_NE(certificate, nullptr);
      if (!ok) saw_rejected = true;
      return accept;
    };
    try {
      handler.ConnectTls(socket, "");
      EXPECT_TRUE(accept);
    } catch (const Error& error) {
      EXPECT_FALSE(accept);
      EXPECT_EQ(FirstLine(error.what()), kMsgErrorConnectingSsl);
    }
    EXPECT_TRUE(saw_rejected) << "a self-signed certificate fails the library's own check";
  }
}

TEST(SslClientConnect, LibraryCheckRefusesSelfSignedWithoutVerifyEvent) {
  test::TlsTestServer server(UpstreamOptions(), nullptr);
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
  TIdSSLIOHandlerSocketOpenSSL handler;
  handler.SSLOptions.VerifyMode = {TIdSSLVerifyMode::sslvrfPeer};
  try {
    handler.ConnectTls(socket, "");
    FAIL() << "a self-signed certificate passed the library's check";
  } catch (const Error& error) {
    std::string text = error.what();
    EXPECT_EQ(FirstLine(text), kMsgErrorConnectingSsl);
    EXPECT_NE(text.find("certificate verify failed"), std::string::npos) << text;
  }
}

TEST(SslClientConnect, HandsOverTheCertificateForItsOwnChecks) {
  test::TlsTestServer server(UpstreamOptions(), nullptr);
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
  TIdSSLIOHandlerSocketOpenSSL handler;
  handler.SSLOptions.VerifyMode = {TIdSSLVerifyMode::sslvrfPeer};
  int der_length = 0;
  handler.OnVerifyPeer = [&](SslCertificateHandle certificate, bool, int, int) {
    der_length =
        SslLibrary::Get()->fn().i2d_X509(static_cast<openssl::X509*>(certificate), nullptr);
    return true;
  };
  handler.ConnectTls(socket, "");
  std::string pem = test::ReadFile(test::TestCertFile("upstream.crt"));
  EXPECT_GT(der_length, 500);
  EXPECT_LT(der_length, static_cast<int>(pem.size()));
}

// A reset is what a graceful close turns into on Windows when the hello crosses it.
TEST(SslClientConnect, ServerClosingDuringHandshakeIsEofViolation) {
  platform::Socket listening = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listening.Bind("127.0.0.1", 0);
  listening.Listen(1);
  for (bool reset : {false, true}) {
    platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", listening.LocalPort());
    platform::Socket accepted = listening.Accept();
    reset ? accepted.CloseWithReset() : accepted.Close();
    TIdSSLIOHandlerSocketOpenSSL handler;
    try {
      handler.ConnectTls(socket, "");
      ADD_FAILURE() << "handshake succeeded";
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()),
                "Error connecting with SSL.\nEOF was observed that violates the protocol")
          << (reset ? "after a reset" : "after a close");
    }
  }
}

// Every forwarded request makes its own handler; the proxy's road verifies nothing and loads no
// files, so the requests share one context, while each still sends its own server name.
TEST(SslClientConnect, RequestsShareOneContextAndEachSendsItsServerName) {
  std::mutex mutex;
  std::condition_variable recorded;
  std::vector<std::string> seen;
  test::TlsTestServer server(UpstreamOptions(), [&](TlsIOHandler& connection) {
    const char* name = SslLibrary::Get()->fn().SSL_get_servername(connection.connection(),
                                                                  openssl::kTlsextNametypeHostName);
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(name ? name : "(none)");
    recorded.notify_all();
  });
  // Both connections stay open, so a context of each one's own could not reuse the other's memory.
  std::vector<platform::Socket> sockets(2);
  std::vector<std::unique_ptr<IOHandler>> connections;
  for (const char* name : {"first.test", "second.test"}) {
    sockets[connections.size()] = platform::Socket::ConnectTcp("127.0.0.1", server.port());
    TIdSSLIOHandlerSocketOpenSSL handler;
    connections.push_back(handler.ConnectTls(sockets[connections.size()], name));
  }
  EXPECT_EQ(&static_cast<TlsIOHandler&>(*connections[0]).context(),
            &static_cast<TlsIOHandler&>(*connections[1]).context());
  // The server's side of a handshake may finish after ours.
  std::unique_lock<std::mutex> lock(mutex);
  recorded.wait_for(lock, std::chrono::seconds(5), [&] { return seen.size() >= 2; });
  EXPECT_EQ(seen, (std::vector<std::string>{"first.test", "second.test"}));
}

// A context that checks its peer loads the system's trust locations (SSL_CERT_FILE points them at
// the upstream's own certificate here), and is made afresh for each connection, so a change to
// those locations counts from the next one on.
TEST(SslClientConnect, VerifyingContextTrustsTheDefaultLocationsAnew) {
  test::TlsTestServer server(UpstreamOptions(), nullptr);
  struct CertFileVariable {
    CertFileVariable() {
      platform::SetEnvironmentVariableForTesting("SSL_CERT_FILE",
                                                 test::TestCertFile("upstream.crt"));
    }
    ~CertFileVariable() { platform::SetEnvironmentVariableForTesting("SSL_CERT_FILE", ""); }
  };
  {
    CertFileVariable variable;
    platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
    TIdSSLIOHandlerSocketOpenSSL handler;
    handler.SSLOptions.VerifyMode = {TIdSSLVerifyMode::sslvrfPeer};
    EXPECT_NO_THROW(handler.ConnectTls(socket, ""));
  }
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
  TIdSSLIOHandlerSocketOpenSSL handler;
  handler.SSLOptions.VerifyMode = {TIdSSLVerifyMode::sslvrfPeer};
  try {
    handler.ConnectTls(socket, "");
    FAIL() << "the certificate was still trusted once the variable was gone";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("certificate verify failed"), std::string::npos)
        << error.what();
  }
}

// Whatever the list names, the upstream road offers the authority no suite of the old tills.
TEST(SslClientConnect, NeverOffersRc4Or3des) {
  for (const char* suite : {"RC4-SHA", "RC4-MD5", "DES-CBC3-SHA"}) {
    TIdSSLOptions options;
    options.Mode = TIdSSLMode::sslmClient;
    options.CipherList = suite;
    try {
      SslContext::Create(SslLibrary::Get(), options, {});
      ADD_FAILURE() << suite << " offered";
    } catch (const Error& error) {
      EXPECT_STREQ(error.what(), "SetCipher failed.") << suite;
    }
  }
}

TEST(SslClientConnect, ConnectionOutlivesItsHandler) {
  test::TlsTestServer server(test::TestServerOptions(), [](TlsIOHandler& connection) {
    char buffer[8];
    connection.Read(buffer, sizeof buffer);
  });
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", server.port());
  std::unique_ptr<IOHandler> io;
  std::atomic<int> events{0};
  {
    TIdSSLIOHandlerSocketOpenSSL handler;
    handler.OnStatusInfoEx = [&](SslConnectionHandle, int, int) { ++events; };
    io = handler.ConnectTls(socket, "");
  }
  int during_handshake = events.load();
  EXPECT_GT(during_handshake, 0);
  io->Write("bye");
  io.reset();  // close_notify goes out; its event must not reach the freed handler
  EXPECT_EQ(events.load(), during_handshake);
}

}  // namespace
}  // namespace vp
