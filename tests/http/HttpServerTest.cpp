// The HTTP listener over real loopback sockets: request reading, the answers it gives on its own,
// and start/stop behaviour under hostile clients.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <regex>
#include <thread>
#include <vector>

#include "base/Error.h"
#include "http/HttpConnection.h"
#include "http/HttpServer.h"
#include "http/MimeTable.h"
#include "platform/MimeRegistry.h"
#include "support/LoopbackHttp.h"
#include "support/TempDir.h"

namespace vp {
namespace {

using test::Exchange;
using test::LoopbackAnswer;

// What the handler saw of the last request.
struct Seen {
  int calls = 0;
  std::string command;
  std::string path;
  std::string query;
  std::optional<std::string> body;
};

class HttpServerTest : public testing::Test {
 protected:
  void SetUp() override {
    server_.Bindings = {{"127.0.0.1", 0, platform::IpFamily::kV4}};
    server_.OnCommandGet = [this](TIdContext& context, TIdHTTPRequestInfo& request,
                                  TIdHTTPResponseInfo& response) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++seen_.calls;
        seen_.command = request.Command;
        seen_.path = request.Path;
        seen_.query = request.QueryParams;
        seen_.body = request.Body;
      }
      if (handler_) handler_(context, request, response);
    };
    server_.SetActive(true);
    port_ = server_.BoundPort();
  }

  Seen seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

  LoopbackAnswer Send(const std::string& request) { return Exchange(port_, request); }

  TIdHTTPServer server_;
  std::uint16_t port_ = 0;
  TIdHTTPCommandEvent handler_;
  std::mutex mutex_;
  Seen seen_;
};

TEST_F(HttpServerTest, AnswersWithDefaultsInHeaderOrder) {
  handler_ = [](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& r) {
    r.ResponseText = "Prazan zahtjev";
  };
  LoopbackAnswer a = Send("GET /x HTTP/1.1\r\nHost: h\r\n\r\n");
  ASSERT_TRUE(a.complete);
  EXPECT_EQ(a.status_line, "HTTP/1.1 200 OK");
  ASSERT_EQ(a.headers.size(), 4u);
  EXPECT_EQ(a.headers[0], (std::pair<std::string, std::string>("Connection", "close")));
  EXPECT_EQ(a.headers[1],
            (std::pair<std::string, std::string>("Content-Type", "text/html; charset=ISO-8859-1")));
  EXPECT_EQ(a.headers[2], (std::pair<std::string, std::string>("Content-Length", "14")));
  EXPECT_EQ(a.headers[3].first, "Date");
  EXPECT_TRUE(std::regex_match(
      a.headers[3].second,
      std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|"
                 "Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d GMT")))
      << a.headers[3].second;
  EXPECT_EQ(a.body, "Prazan zahtjev");
}

TEST_F(HttpServerTest, EmptyAnswerHasLengthZeroAndNoType) {
  LoopbackAnswer a = Send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.Header("Content-Length"), "0");
  EXPECT_EQ(a.Header("Content-Type"), "");
  EXPECT_EQ(a.body, "");
}

TEST_F(HttpServerTest, AnswerBytesAboveAsciiPassUnchanged) {
  const std::string utf8 = "<a>\xC4\x8D\xC4\x87\xC5\xBE</a>";
  handler_ = [&](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& r) {
    r.ResponseText = utf8;
  };
  LoopbackAnswer a = Send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(a.body, utf8);
  EXPECT_EQ(a.Header("Content-Length"), std::to_string(utf8.size()));
}

TEST_F(HttpServerTest, BodyAbsentWithoutLengthAndEmptyWithLengthZero) {
  Send("GET /a HTTP/1.0\r\n\r\n");
  EXPECT_FALSE(seen().body.has_value());
  Send("POST /a HTTP/1.0\r\nContent-Length: 0\r\n\r\n");
  ASSERT_TRUE(seen().body.has_value());
  EXPECT_EQ(*seen().body, "");
}

TEST_F(HttpServerTest, ReadsExactlyContentLengthBytes) {
  Send("POST /a HTTP/1.0\r\nContent-Length: 5\r\n\r\nhelloEXTRA");
  ASSERT_TRUE(seen().body.has_value());
  EXPECT_EQ(*seen().body, "hello");
}

TEST_F(HttpServerTest, JoinsChunksAndDropsTrailers) {
  Send(
      "POST /a HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: Chunked\r\n\r\n"
      "5;ext=1\r\nhello\r\n 6 \r\n world\r\n0\r\nTrailer: x\r\n\r\n");
  ASSERT_EQ(seen().calls, 1);
  ASSERT_TRUE(seen().body.has_value());
  EXPECT_EQ(*seen().body, "hello world");
}

TEST_F(HttpServerTest, BadChunkSizeEndsConnectionWithoutAnswer) {
  for (const char* size : {"zz", "", "-5", "ffffffffffffffffff"}) {
    LoopbackAnswer a =
        Send(std::string("POST /a HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n") +
             size + "\r\nabc\r\n0\r\n\r\n");
    EXPECT_TRUE(a.complete) << size;
    EXPECT_EQ(a.raw, "") << size;
  }
  EXPECT_EQ(seen().calls, 0);
  EXPECT_EQ(Send("GET / HTTP/1.0\r\n\r\n").status, 200);  // and the server still serves
}

TEST_F(HttpServerTest, HostRequiredFromHttp11On) {
  EXPECT_EQ(Send("GET /a HTTP/1.0\r\n\r\n").status, 200);
  EXPECT_EQ(seen().calls, 1);
  LoopbackAnswer a = Send("GET /a HTTP/1.1\r\n\r\n");
  EXPECT_EQ(a.status_line, "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(a.body, "");
  EXPECT_EQ(a.Header("Connection"), "close");
  EXPECT_EQ(Send("GET /a HTTP/1.1\r\nHost:\r\n\r\n").status, 400);
  EXPECT_EQ(seen().calls, 1);
}

TEST_F(HttpServerTest, ExpectContinueGetsInterimLineBeforeBodyIsSent) {
  platform::Socket s = test::ConnectLoopback(port_);
  s.SendAll("POST /a HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\nExpect: 100-Continue\r\n\r\n");
  ASSERT_TRUE(s.WaitReadable(test::kAnswerWaitMs));
  char buffer[64];
  std::string interim(buffer, s.Receive(buffer, sizeof buffer));
  EXPECT_EQ(interim, "HTTP/1.1 100 Continue\r\n\r\n");
  s.SendAll("abc");
  LoopbackAnswer a = test::ReadAnswer(s);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(*seen().body, "abc");
}

TEST_F(HttpServerTest, OtherExpectationFails) {
  LoopbackAnswer a =
      Send("POST /a HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\nExpect: magic\r\n\r\n");
  EXPECT_EQ(a.status_line, "HTTP/1.1 417 Expectation Failed");
  EXPECT_EQ(seen().calls, 0);
}

TEST_F(HttpServerTest, BodyWithoutLengthGets411) {
  platform::Socket s = test::ConnectLoopback(port_);
  s.SendAll("POST /a HTTP/1.0\r\n\r\nsurprise");
  LoopbackAnswer a = test::ReadAnswer(s);
  EXPECT_EQ(a.status_line, "HTTP/1.1 411 Length Required");
  EXPECT_EQ(seen().calls, 0);
}

TEST_F(HttpServerTest, UnknownTransferCodingAndBadLengthGet400) {
  EXPECT_EQ(Send("POST /a HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip\r\n\r\n").status, 400);
  EXPECT_EQ(Send("POST /a HTTP/1.0\r\nContent-Length: -1\r\n\r\n").status, 400);
  EXPECT_EQ(Send("POST /a HTTP/1.0\r\nContent-Length: 12x\r\n\r\n").status, 400);
  EXPECT_EQ(seen().calls, 0);
}

TEST_F(HttpServerTest, OtherMethodsGetEmptyAnswerWithoutHandler) {
  for (const char* method : {"PUT", "OPTIONS", "DELETE", "BREW"}) {
    LoopbackAnswer a = Send(std::string(method) + " /a HTTP/1.0\r\n\r\n");
    EXPECT_EQ(a.status, 200) << method;
    EXPECT_EQ(a.Header("Content-Length"), "0") << method;
    EXPECT_EQ(a.body, "") << method;
  }
  EXPECT_EQ(seen().calls, 0);
}

TEST_F(HttpServerTest, MethodOverrideDecidesDispatch) {
  Send("PUT /a HTTP/1.0\r\nX-HTTP-Method-Override: post\r\nContent-Length: 1\r\n\r\nx");
  EXPECT_EQ(seen().calls, 1);
  EXPECT_EQ(seen().command, "POST");
  Send("GET /a HTTP/1.0\r\nX-HTTP-Method-Override: DELETE\r\n\r\n");
  EXPECT_EQ(seen().calls, 1);
}

TEST_F(HttpServerTest, HeadIsAnsweredLikeGetBodyIncluded) {
  handler_ = [](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& r) {
    r.ResponseText = "abc";
  };
  LoopbackAnswer a = Send("HEAD /a HTTP/1.0\r\n\r\n");
  EXPECT_EQ(seen().command, "HEAD");
  EXPECT_EQ(a.body, "abc");
}

TEST_F(HttpServerTest, DecodesPathAndSeparatesQuery) {
  Send("GET /Fiskalizacija%53ervice%u0054est?a=1&b=%20 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(seen().path, "/FiskalizacijaServiceTest");
  EXPECT_EQ(seen().query, "a=1&b=%20");
  Send("GET http://example.test:8449/dir/doc?q HTTP/1.0\r\n\r\n");
  EXPECT_EQ(seen().path, "/dir/doc");
  Send("OPTIONS * HTTP/1.0\r\nX-HTTP-Method-Override: GET\r\n\r\n");
  EXPECT_EQ(seen().path, "*");
}

TEST_F(HttpServerTest, HandlerErrorBecomes500WithItsMessage) {
  handler_ = [](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo&) {
    throw Error(ErrorKind::kGeneric, "Datoteka je nestala");
  };
  LoopbackAnswer a = Send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(a.status_line, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(a.body, "Datoteka je nestala");
}

TEST_F(HttpServerTest, OnlyFirstOfTwoRequestsIsAnswered) {
  // The second request's bytes wait behind a first one without length: the first is answered
  // (411, since those bytes cannot be told from a body) and the connection closes.
  LoopbackAnswer a = Send("GET /one HTTP/1.0\r\n\r\nGET /two HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(a.complete);
  EXPECT_EQ(a.status, 411);
  EXPECT_EQ(a.raw.find("HTTP/1.1", 5), std::string::npos);
  // With a length the first is served; the second is never read.
  a = Send("POST /one HTTP/1.0\r\nContent-Length: 1\r\n\r\nxGET /two HTTP/1.0\r\n\r\n");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.raw.find("HTTP/1.1", 5), std::string::npos);
  EXPECT_EQ(seen().calls, 1);
  EXPECT_EQ(seen().path, "/one");
}

TEST_F(HttpServerTest, LineLimitIs16384Bytes) {
  std::string at_limit = "GET /" + std::string(16384 - 14, 'a') + " HTTP/1.0";
  ASSERT_EQ(at_limit.size(), 16384u);
  EXPECT_EQ(Send(at_limit + "\r\n\r\n").status, 200);
  std::string header = "X: " + std::string(16385 - 3, 'b');
  LoopbackAnswer a = Send("GET / HTTP/1.0\r\n" + header + "\r\n\r\n");
  EXPECT_TRUE(a.complete);
  EXPECT_EQ(a.raw, "");
  // A line that never ends is cut off at the limit too, not buffered without end.
  platform::Socket s = test::ConnectLoopback(port_);
  try {
    s.SendAll("GET /" + std::string(100000, 'c'));
  } catch (const Error&) {
    // the server may reset before taking it all
  }
  EXPECT_EQ(test::ReadAnswer(s).raw, "");
}

TEST_F(HttpServerTest, HeaderCountLimitLets1025LinesPass) {
  auto request = [](int lines) {
    std::string r = "GET / HTTP/1.0\r\n";
    for (int i = 0; i < lines; ++i) r += "X-" + std::to_string(i) + ": v\r\n";
    return r + "\r\n";
  };
  EXPECT_EQ(Send(request(1025)).status, 200);
  LoopbackAnswer a = Send(request(1026));
  EXPECT_TRUE(a.complete);
  EXPECT_EQ(a.raw, "");
  EXPECT_EQ(seen().calls, 1);
}

TEST_F(HttpServerTest, RequestLineWithoutSpaceFailsSilently) {
  LoopbackAnswer a = Send("NONSENSE\r\n\r\n");
  EXPECT_TRUE(a.complete);
  EXPECT_EQ(a.raw, "");
}

TEST_F(HttpServerTest, UnsupportedAuthorizationFailsBasicPasses) {
  EXPECT_EQ(Send("GET / HTTP/1.0\r\nAuthorization: Basic dTpw\r\n\r\n").status, 200);
  EXPECT_EQ(Send("GET / HTTP/1.0\r\nAuthorization: Bearer xyz\r\n\r\n").raw, "");
  EXPECT_EQ(seen().calls, 1);
}

TEST_F(HttpServerTest, StopEndsIdleAndHalfSentConnectionsPromptly) {
  std::vector<platform::Socket> idle;
  for (int i = 0; i < 100; ++i) idle.push_back(test::ConnectLoopback(port_));
  platform::Socket half = test::ConnectLoopback(port_);
  half.SendAll("POST /a HTTP/1.0\r\nContent-Length: 100\r\n\r\nonly a part");
  platform::Socket gone = test::ConnectLoopback(port_);
  gone.SendAll("POST /a HTTP/1.0\r\nContent-Length: 100\r\n\r\nabc");
  gone.Close();  // disconnects mid-body
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  auto started = std::chrono::steady_clock::now();
  server_.SetActive(false);
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_FALSE(server_.Active());
  // Far below any read timeout: the stop closed the connections instead of waiting for them.
  EXPECT_LT(took, std::chrono::seconds(3));
  for (platform::Socket& socket : idle) EXPECT_TRUE(test::ReadAnswer(socket, 2000).complete);
  EXPECT_TRUE(test::ReadAnswer(half, 2000).complete);
  EXPECT_EQ(seen().calls, 0);
}

// Threads are kept for the next connection, and a burst larger than the connections served at
// once still gets in whole: those inside wait, turn slow and make room, until every connection of
// the burst is inside the handler at the same time, in a second burst larger than the first too.
TEST_F(HttpServerTest, ServesEveryOpenConnectionSideBySideBurstAfterBurst) {
  std::mutex burst_mutex;
  std::condition_variable arrived;
  int inside = 0;
  int expected = 0;
  handler_ = [&](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& response) {
    std::unique_lock<std::mutex> lock(burst_mutex);
    ++inside;
    arrived.notify_all();
    bool together =
        arrived.wait_for(lock, std::chrono::seconds(10), [&] { return inside >= expected; });
    response.ResponseText = together ? "together" : "alone";
  };
  for (int burst : {20, 30}) {
    {
      std::lock_guard<std::mutex> lock(burst_mutex);
      inside = 0;
      expected = burst;
    }
    std::vector<platform::Socket> clients;
    for (int i = 0; i < burst; ++i) {
      clients.push_back(test::ConnectLoopback(port_));
      clients.back().SendAll("GET / HTTP/1.0\r\n\r\n");
    }
    for (platform::Socket& client : clients)
      EXPECT_EQ(test::ReadAnswer(client, 15000).body, "together") << "burst of " << burst;
  }
}

class ServingLimitTest : public HttpServerTest {
 protected:
  // Serves at most busy connections at once; one served or waiting for slow_ms no longer counts.
  void Restart(unsigned busy, int slow_ms) {
    server_.SetActive(false);
    server_.Limits.busy_connections = busy;
    server_.Limits.slow_connection_ms = slow_ms;
    server_.SetActive(true);
    port_ = server_.BoundPort();
  }

  void SendGets(std::vector<platform::Socket>& clients, int count) {
    for (int i = 0; i < count; ++i) {
      clients.push_back(test::ConnectLoopback(port_));
      clients.back().SendAll("GET /" + std::to_string(i) + " HTTP/1.0\r\n\r\n");
    }
  }

  // Sends count requests whose handler takes a while, checks each is answered, and answers how
  // many were inside the handler at once at most.
  int MostServedAtOnce(int count) {
    std::mutex inside_mutex;
    int inside = 0;
    int most_inside = 0;
    handler_ = [&](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& response) {
      {
        std::lock_guard<std::mutex> lock(inside_mutex);
        most_inside = std::max(most_inside, ++inside);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      std::lock_guard<std::mutex> lock(inside_mutex);
      --inside;
      response.ResponseText = "done";
    };
    std::vector<platform::Socket> clients;
    SendGets(clients, count);
    for (platform::Socket& client : clients)
      EXPECT_EQ(test::ReadAnswer(client, 15000).body, "done");
    std::lock_guard<std::mutex> lock(inside_mutex);
    return most_inside;
  }
};

// Quick connections beyond the limit wait their turn, and every one is served.
TEST_F(ServingLimitTest, QuickConnectionsBeyondTheLimitWaitTheirTurn) {
  Restart(2, 60000);
  EXPECT_EQ(MostServedAtOnce(8), 2);
}

// However long connections take, no more threads serve them than the limit; the rest wait.
TEST_F(ServingLimitTest, SlowConnectionsGetNoMoreThreadsThanTheLimit) {
  server_.Limits.connection_threads = 2;
  Restart(100, 0);
  EXPECT_EQ(MostServedAtOnce(8), 2);
}

// A crowd of peers that hold their connections without a word never keeps the next till waiting
// for long: neither those being served nor those ahead of it in line.
TEST_F(ServingLimitTest, SilentConnectionsNeverKeepTheNextTillWaitingLong) {
  Restart(1, 200);
  handler_ = [](TIdContext&, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& response) {
    response.ResponseText = "served";
  };
  std::vector<platform::Socket> silent;
  for (int i = 0; i < 100; ++i) silent.push_back(test::ConnectLoopback(port_));
  std::vector<platform::Socket> till;
  SendGets(till, 1);
  // Well within the 30 s the silent ones may keep their places.
  EXPECT_EQ(test::ReadAnswer(till.front(), 10000).body, "served");
}

// A transport that hands over a request and keeps every write apart.
class RecordingIO final : public IOHandler {
 public:
  explicit RecordingIO(std::string input) : input_(std::move(input)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t n = std::min(size, input_.size() - offset_);
    std::copy_n(input_.data() + offset_, n, buffer);
    offset_ += n;
    return n;
  }
  void Write(std::string_view data) override { writes.emplace_back(data); }
  bool WaitReadable(int) override { return offset_ < input_.size(); }
  platform::Socket& socket() override { return socket_; }

  std::vector<std::string> writes;

 private:
  std::string input_;
  std::size_t offset_ = 0;
  platform::Socket socket_;
};

// Nagle holds a small second write back until the first is acknowledged, and a client that
// delays its ACKs makes that a 40 ms (on Windows 200 ms) stall: the answer goes out whole.
TEST(ServeOneRequest, AnswerGoesOutInOneWrite) {
  TIdHTTPCommandEvent handler = [](TIdContext&, TIdHTTPRequestInfo&,
                                   TIdHTTPResponseInfo& response) {
    response.ResponseText = "<answer/>";
  };
  HttpConnectionOptions options;
  options.on_command_get = &handler;
  RecordingIO io("POST /x HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc");
  ServeOneRequest(io, "127.0.0.1", options);
  ASSERT_EQ(io.writes.size(), 1u);
  EXPECT_EQ(io.writes[0].substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(io.writes[0].substr(io.writes[0].size() - 13), "\r\n\r\n<answer/>");
}

TEST_F(HttpServerTest, RestartsOnTheSamePortRightAfterStop) {
  Send("GET / HTTP/1.0\r\n\r\n");  // leaves a connection in TIME_WAIT on our side
  server_.SetActive(false);
  server_.Bindings = {{"127.0.0.1", port_, platform::IpFamily::kV4}};
  server_.SetActive(true);
  EXPECT_EQ(server_.BoundPort(), port_);
  EXPECT_EQ(Send("GET / HTTP/1.0\r\n\r\n").status, 200);
}

TEST(HttpServerStart, PortTakenByAnotherProgramFailsWithBindText) {
  platform::Socket other = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  other.Bind("127.0.0.1", 0);
  other.Listen(1);
  TIdHTTPServer server;
  server.Bindings = {{"127.0.0.1", other.LocalPort(), platform::IpFamily::kV4}};
  try {
    server.SetActive(true);
    FAIL() << "start succeeded on a taken port";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(error.kind(), ErrorKind::kBind);
  }
  EXPECT_FALSE(server.Active());
}

TEST(HttpServerStart, DefaultBindingsServeIPv4AndIPv6) {
  // Find a port that is free, then let the default bindings take it on both families.
  std::uint16_t port;
  {
    platform::Socket probe = platform::Socket::OpenTcp(platform::IpFamily::kV4);
    probe.Bind("127.0.0.1", 0);
    port = probe.LocalPort();
  }
  TIdHTTPServer server;
  server.DefaultPort = port;
  // Each answer names the peer's address as the listener took it from the accept.
  server.OnCommandGet = [](TIdContext&, TIdHTTPRequestInfo& q, TIdHTTPResponseInfo& r) {
    r.ResponseText = q.RemoteIP;
  };
  server.SetActive(true);
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n").body, "127.0.0.1");
  if (platform::HasIPv6()) {
    try {
      EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n", "::1").body, "::1");
    } catch (const Error&) {
      GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
  }
}

// Serves one file and returns the answer.
LoopbackAnswer ServeOneFile(const std::string& file) {
  TIdHTTPServer server;
  server.Bindings = {{"127.0.0.1", 0, platform::IpFamily::kV4}};
  server.OnCommandGet = [&](TIdContext& c, TIdHTTPRequestInfo&, TIdHTTPResponseInfo& r) {
    r.ServeFile(c, file);
  };
  server.SetActive(true);
  return Exchange(server.BoundPort(), "GET /rootcert HTTP/1.0\r\n\r\n");
}

TEST(ServeFile, SendsTypeDispositionLengthAndBytes) {
  test::TempDir dir;
  std::string cert = dir.File("fakeFinaCA.crt");
  const std::string bytes("\x30\x82\x01\x00\xff\x00zz", 8);
  test::WriteFile(cert, bytes);
  ResetMimeTableForTesting();
  LoopbackAnswer a = ServeOneFile(cert);
  EXPECT_EQ(a.Header("Content-Type"), MimeTypeForFile(cert));
  EXPECT_EQ(a.Header("Content-Disposition"), "attachment; filename=\"fakeFinaCA.crt\";");
  EXPECT_EQ(a.Header("Content-Length"), "8");
  EXPECT_EQ(a.body, bytes);
}

TEST(ServeFile, TypeIsWhatTheSystemRegisters) {
  test::TempDir dir;
  std::string mime = dir.File("mime.types");
  test::WriteFile(mime, "# comment\napplication/x-x509-ca-cert\t\tcrt der\n");
  if (!platform::SetMimeTypesFileForTesting(mime))
    GTEST_SKIP() << "the types come from the Windows registry, which a test cannot replace";
  ResetMimeTableForTesting();
  std::string cert = dir.File("fakeFinaCA.crt");
  test::WriteFile(cert, "x");
  EXPECT_EQ(ServeOneFile(cert).Header("Content-Type"), "application/x-x509-ca-cert");

  // Without a registered type the built-in list has no ".crt".
  platform::SetMimeTypesFileForTesting("");
  ResetMimeTableForTesting();
  EXPECT_EQ(MimeTypeForFile(cert), "application/octet-stream");
  EXPECT_EQ(MimeTypeForFile("a.HTML"), "text/html");
}

}  // namespace
}  // namespace vp
