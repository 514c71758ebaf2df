// The upstream HTTP client against a scripted upstream on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "http/HttpAnswer.h"
#include "http/HttpAnswerStream.h"
#include "http/HttpClient.h"
#include "http/HttpClientRequest.h"
#include "http/HttpRedirect.h"
#include "io/BufferedReader.h"
#include "support/LoopbackHttp.h"
#include "support/TestUpstream.h"

namespace vp {
namespace {

using test::ChunkedAnswer;
using test::HttpAnswer;
using test::RedirectAnswer;
using test::TestUpstream;
using test::UpstreamReply;

// Short, so a test of a silent upstream ends soon; long enough that an upstream that does answer
// is never taken for a silent one on a loaded machine or under Wine, where each socket call costs
// far more than natively.
constexpr int kShortTimeoutMs = 1000;
// Far above the shortened bound, far below a hang: only a missing bound fails this.
constexpr auto kBoundedWait = std::chrono::seconds(10);

std::string ExpectedHead(const std::string& method, const std::string& target,
                         const std::string& host, const std::string& length) {
  std::string head = method + " " + target + " HTTP/1.0\r\n" + "Connection: keep-alive\r\n";
  if (!length.empty()) head += "Content-Length: " + length + "\r\n";
  return head + "Host: " + host + "\r\n" +
         "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n" +
         "Accept-Encoding: identity\r\n" +
         "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n" + "\r\n";
}

class HttpClientTest : public testing::Test {
 protected:
  void SetUp() override { http.Timeouts.socket_ms = kShortTimeoutMs; }

  // Posts body to path on upstream; returns the error, or nothing on success.
  std::optional<Error> PostTo(TestUpstream& upstream, const std::string& path,
                              const std::string& body, std::string& answer) {
    try {
      http.Post(upstream.Url(path), body, answer);
      return std::nullopt;
    } catch (const Error& error) {
      return error;
    }
  }

  // A post to upstream must fail within the bound, with that kind and message (any message when
  // null), and leave the answer empty.
  void ExpectPostFails(TestUpstream& upstream, ErrorKind kind, const char* message) {
    std::string answer;
    auto start = std::chrono::steady_clock::now();
    auto error = PostTo(upstream, "/", "q", answer);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kBoundedWait);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), kind) << error->what();
    if (message) {
      EXPECT_STREQ(error->what(), message);
    }
    EXPECT_EQ(answer, "");
  }

  std::string HostOf(const TestUpstream& upstream) {
    return "127.0.0.1:" + std::to_string(upstream.port());
  }

  TIdHTTP http;
};

TEST_F(HttpClientTest, SendsExactRequestHeadAndWholeBody) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "fine")}});
  const std::string body = "<soap:Envelope>\xC5\xA1</soap:Envelope>";
  std::string answer;
  http.Post(upstream.Url("/FiskalizacijaServiceTest?wsdl=1#frag"), body, answer);
  EXPECT_EQ(answer, "fine");
  ASSERT_EQ(upstream.Requests().size(), 1u);
  EXPECT_EQ(upstream.Requests()[0], ExpectedHead("POST", "/FiskalizacijaServiceTest?wsdl=1",
                                                 HostOf(upstream), std::to_string(body.size())) +
                                        body);
}

TEST_F(HttpClientTest, SendsLargeBodyWholeWithItsFullLength) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "")}});
  std::string body(300 * 1024 + 7, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31);
  std::string answer;
  http.Post(upstream.Url("/x"), body, answer);
  ASSERT_EQ(upstream.Requests().size(), 1u);
  EXPECT_EQ(upstream.Requests()[0],
            ExpectedHead("POST", "/x", HostOf(upstream), std::to_string(body.size())) + body);
}

TEST_F(HttpClientTest, EmptyBodyIsSentWithLengthZero) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "ok")}});
  std::string answer;
  http.Post(upstream.Url("/"), "", answer);
  EXPECT_EQ(upstream.Requests().at(0), ExpectedHead("POST", "/", HostOf(upstream), "0"));
}

TEST_F(HttpClientTest, PreparationHookReplacesHostLast) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "")}});
  http.OnBeforeRequest = [&](TIdHTTPRequest& request) {
    EXPECT_EQ(request.Host, HostOf(upstream));
    request.Host = "cistest.apis-it.hr";
  };
  std::string answer;
  http.Post(upstream.Url("/p"), "b", answer);
  EXPECT_EQ(upstream.Requests().at(0), ExpectedHead("POST", "/p", "cistest.apis-it.hr", "1") + "b");
}

TEST(HttpClientRequestHead, HostNamesThePortOnlyOffTheSchemeDefault) {
  struct Row {
    const char* description;
    const char* url;
    std::uint16_t port;
    const char* host;
  } rows[] = {
      {"http on 80", "http://example.hr/x", 80, "example.hr"},
      {"https on 443", "https://example.hr/x", 443, "example.hr"},
      {"https on 8449", "https://cistest.apis-it.hr:8449/x", 8449, "cistest.apis-it.hr:8449"},
      {"http on 443", "http://example.hr:443/x", 443, "example.hr:443"},
      {"IPv6 literal", "https://[::1]:8449/x", 8449, "[::1]:8449"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(HostHeaderOf(SplitUrl(row.url), row.port), row.host) << row.description;
  EXPECT_EQ(RequestTargetOf(SplitUrl("http://h")), "/");
  EXPECT_EQ(RequestTargetOf(SplitUrl("http://h/a/b?")), "/a/b");
}

TEST_F(HttpClientTest, ReadsBodiesByLengthChunkedAndToClose) {
  std::string chunked = ChunkedAnswer({"<a>", std::string(70000, 'x'), "</a>"});
  // A chunk extension and a trailer are read past and dropped.
  std::string extended =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3;ext=1\r\nabc\r\n0\r\nX-T: 1\r\n\r\n";
  TestUpstream upstream({{HttpAnswer(200, "OK", "by length")},
                         {chunked},
                         {extended},
                         {"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\nto the close"},
                         {HttpAnswer(200, "OK", "")},
                         {"HTTP/1.1 204 No Content\r\n\r\n", true}});
  const std::string expected[] = {
      "by length", "<a>" + std::string(70000, 'x') + "</a>", "abc", "to the close", "", ""};
  for (int i = 0; i < 6; ++i) {
    std::string answer;
    http.Post(upstream.Url("/" + std::to_string(i)), "q", answer);
    EXPECT_EQ(answer, expected[i]) << "answer " << i;
  }
}

TEST_F(HttpClientTest, KeepsEveryAnswerByteUnchanged) {
  std::string body;
  for (int c = 0; c < 256; ++c) body += static_cast<char>(c);
  TestUpstream upstream({{HttpAnswer(200, "OK", body)}, {ChunkedAnswer({body})}});
  for (int i = 0; i < 2; ++i) {
    std::string answer = "kept:";
    http.Post(upstream.Url("/"), "q", answer);
    EXPECT_EQ(answer, "kept:" + body);
  }
}

TEST_F(HttpClientTest, ServerErrorIsProtocolErrorWithBodyAndEmptyAnswer) {
  const std::string fault =
      "<soap:Fault><faultcode>soap:Server</faultcode><faultstring>Ne</faultstring></soap:Fault>";
  TestUpstream upstream({{HttpAnswer(500, "Internal Server Error", fault)}});
  std::string answer = "before";
  auto error = PostTo(upstream, "/", "q", answer);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ErrorKind::kHttpProtocol);
  EXPECT_STREQ(error->what(), "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(error->code(), 500);
  EXPECT_EQ(error->detail(), fault);
  EXPECT_EQ(answer, "before");
  EXPECT_EQ(http.ResponseCode(), 500);
}

TEST_F(HttpClientTest, NotModifiedClientErrorsAndRedirectWithoutLocationFail) {
  TestUpstream upstream({{"HTTP/1.1 304 Not Modified\r\n\r\n"},
                         {HttpAnswer(404, "Not Found", "no")},
                         {HttpAnswer(302, "Found", "moved")}});
  const int codes[] = {304, 404, 302};
  for (int code : codes) {
    std::string answer;
    auto error = PostTo(upstream, "/", "q", answer);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ErrorKind::kHttpProtocol);
    EXPECT_EQ(error->code(), code);
    EXPECT_EQ(answer, "");
  }
}

TEST_F(HttpClientTest, FollowsRedirectsWithSameMethodAndBody) {
  TestUpstream upstream({{RedirectAnswer(302, "/second")},
                         {RedirectAnswer(307, "third?x=1")},
                         {HttpAnswer(200, "OK", "arrived")}});
  http.HandleRedirects = true;
  std::string answer;
  http.Post(upstream.Url("/dir/first"), "payload", answer);
  EXPECT_EQ(answer, "arrived");
  auto requests = upstream.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], ExpectedHead("POST", "/dir/first", HostOf(upstream), "7") + "payload");
  EXPECT_EQ(requests[1], ExpectedHead("POST", "/second", HostOf(upstream), "7") + "payload");
  EXPECT_EQ(requests[2], ExpectedHead("POST", "/third?x=1", HostOf(upstream), "7") + "payload");
}

TEST_F(HttpClientTest, SeeOtherSwitchesToGetWithoutBody) {
  TestUpstream upstream({{RedirectAnswer(303, "/result")}, {HttpAnswer(200, "OK", "result")}});
  http.HandleRedirects = true;
  std::string answer;
  http.Post(upstream.Url("/submit"), "payload", answer);
  EXPECT_EQ(answer, "result");
  ASSERT_EQ(upstream.Requests().size(), 2u);
  EXPECT_EQ(upstream.Requests()[1], ExpectedHead("GET", "/result", HostOf(upstream), ""));
}

TEST_F(HttpClientTest, WithoutHandleRedirectsARedirectFails) {
  TestUpstream upstream({{RedirectAnswer(302, "/elsewhere")}});
  std::string answer;
  auto error = PostTo(upstream, "/", "q", answer);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 302);
  EXPECT_EQ(upstream.Requests().size(), 1u);
}

std::vector<UpstreamReply> RedirectChain(int redirects) {
  std::vector<UpstreamReply> replies;
  for (int i = 1; i <= redirects; ++i)
    replies.push_back({RedirectAnswer(302, "/r" + std::to_string(i))});
  replies.push_back({HttpAnswer(200, "OK", "end of chain")});
  return replies;
}

TEST_F(HttpClientTest, FollowsFourteenRedirects) {
  TestUpstream upstream(RedirectChain(14));
  http.HandleRedirects = true;
  std::string answer;
  http.Post(upstream.Url("/r0"), "q", answer);
  EXPECT_EQ(answer, "end of chain");
  EXPECT_EQ(upstream.Requests().size(), 15u);
}

TEST_F(HttpClientTest, FifteenthRedirectEndsWithEmptyAnswerAndNoError) {
  TestUpstream upstream(RedirectChain(15));
  http.HandleRedirects = true;
  std::string answer;
  EXPECT_FALSE(PostTo(upstream, "/r0", "q", answer));
  EXPECT_EQ(answer, "");
  auto requests = upstream.Requests();
  ASSERT_EQ(requests.size(), 15u);
  EXPECT_EQ(requests[14].substr(0, 19), "POST /r14 HTTP/1.0\r");
  // The counter starts afresh for every post.
  TestUpstream again(RedirectChain(14));
  http.Post(again.Url("/r0"), "q", answer);
  EXPECT_EQ(answer, "end of chain");
}

TEST_F(HttpClientTest, SkipsInterimContinue) {
  TestUpstream upstream({{"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nX: y\r\n\r\n" +
                          HttpAnswer(200, "OK", "after continue")}});
  std::string answer;
  http.Post(upstream.Url("/"), "q", answer);
  EXPECT_EQ(answer, "after continue");
}

TEST_F(HttpClientTest, SilentUpstreamFailsAfterTheBound) {
  TestUpstream upstream({{"", true}});
  ExpectPostFails(upstream, ErrorKind::kSocketTimeout, "Read timed out.");
}

TEST_F(HttpClientTest, StallMidAnswerFailsAndLeavesAnswerEmpty) {
  TestUpstream upstream({{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf", true},
                         {"HTTP/1.1 200 OK\r\nContent-Le", true}});
  for (int i = 0; i < 2; ++i) ExpectPostFails(upstream, ErrorKind::kSocketTimeout, nullptr);
}

// Every receive returns well within the socket bound, so only the bound on the whole post ends it.
TEST_F(HttpClientTest, DripFedAnswerFailsAtThePostBound) {
  http.Timeouts.post_ms = 600;
  UpstreamReply drip{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nz"};
  drip.drip_ms = 50;
  TestUpstream upstream({drip});
  ExpectPostFails(upstream, ErrorKind::kSocketTimeout, "Read timed out.");
  EXPECT_TRUE(upstream.WaitForClientCloses(1)) << "the connection was left open";
}

// A stop may interrupt a forward that has not begun to post yet; that post must not begin.
TEST_F(HttpClientTest, InterruptBeforeThePostFailsItAndTheNextPostWorks) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "second")}});
  http.Interrupt();
  std::string answer;
  auto error = PostTo(upstream, "/", "q", answer);
  ASSERT_TRUE(error);
  EXPECT_STREQ(error->what(), "Transfer cancelled.");
  EXPECT_FALSE(upstream.WaitForRequests(1, 200));
  EXPECT_FALSE(PostTo(upstream, "/", "q", answer));
  EXPECT_EQ(answer, "second");
}

TEST_F(HttpClientTest, ResetMidAnswerFails) {
  UpstreamReply reset{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf"};
  reset.reset = true;
  TestUpstream upstream({reset});
  ExpectPostFails(upstream, ErrorKind::kConnectionClosed, nullptr);
}

TEST_F(HttpClientTest, EarlyCloseFails) {
  TestUpstream upstream({{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf"},
                         {"", false, true},
                         {ChunkedAnswer({"abcdef"}).substr(0, 52)}});
  for (int i = 0; i < 3; ++i) {
    std::string answer;
    auto error = PostTo(upstream, "/", "q", answer);
    ASSERT_TRUE(error) << "answer " << i;
    EXPECT_EQ(answer, "");
  }
}

TEST_F(HttpClientTest, MalformedAnswersFailWithTheirReason) {
  struct Row {
    const char* description;
    std::string bytes;
    ErrorKind kind;
    const char* message;
  };
  std::string many_headers = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 1100; ++i) many_headers += "X-" + std::to_string(i) + ": v\r\n";
  Row rows[] = {
      {"too many header lines", many_headers + "\r\n", ErrorKind::kLimit,
       "Too many header lines in answer."},
      {"overlong header line", "HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'a') + "\r\n\r\n",
       ErrorKind::kLimit, "Max line length exceeded."},
      {"no status line", "<html>hello</html>\r\n\r\n", ErrorKind::kHttpProtocol,
       "Invalid status line in answer."},
      {"status without digits", "HTTP/1.1 OK\r\n\r\n", ErrorKind::kHttpProtocol,
       "Invalid status line in answer."},
      {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       ErrorKind::kHttpProtocol, "Invalid chunk in answer."},
      {"chunk size overlong",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\n",
       ErrorKind::kHttpProtocol, "Invalid chunk in answer."},
      {"chunk data without line end",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcdef\r\n",
       ErrorKind::kHttpProtocol, "Invalid chunk in answer."},
      {"huge chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffff\r\n",
       ErrorKind::kLimit, "Answer too large."},
      {"huge Content-Length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999\r\n\r\n",
       ErrorKind::kLimit, "Answer too large."},
      {"negative Content-Length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n",
       ErrorKind::kHttpProtocol, "Invalid Content-Length in answer."},
      {"two Content-Lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\ncontent-length: 2\r\n\r\nab",
       ErrorKind::kHttpProtocol, "Invalid Content-Length in answer."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.description);
    TestUpstream upstream({{row.bytes}});
    ExpectPostFails(upstream, row.kind, row.message);
  }
}

TEST(HttpAnswerLimit, AnswerToCloseIsCappedWhileItArrives) {
  // An upstream that streams without end must not grow our memory without end.
  class Endless final : public IOHandler {
   public:
    std::size_t Read(char* buffer, std::size_t size) override {
      std::fill(buffer, buffer + size, 'z');
      return size;
    }
    void Write(std::string_view) override {}
    bool WaitReadable(int) override { return true; }
    platform::Socket& socket() override { return socket_; }

   private:
    platform::Socket socket_;
  } endless;
  CappedIOHandler capped(endless, 1024 * 1024);
  BufferedReader reader(capped);
  std::string out;
  BodyFraming to_close;
  to_close.kind = BodyFraming::kToClose;
  try {
    ReadAnswerBody(reader, to_close, out, nullptr);
    FAIL() << "no limit";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Answer too large.");
  }
  EXPECT_LE(out.size(), 1024u * 1024u);
}

TEST_F(HttpClientTest, HttpsWithoutTlsHandlerFailsBeforeConnecting) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "x")}});
  std::string answer;
  try {
    http.Post(upstream.Url("/", "https"), "q", answer);
    FAIL() << "posted";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "IOHandler value is not valid");
  }
  EXPECT_FALSE(upstream.WaitForRequests(1, 100));
}

TEST_F(HttpClientTest, UnknownSchemeBadPortAndRefusedConnectionFail) {
  std::string answer;
  try {
    http.Post("ftp://127.0.0.1/x", "q", answer);
    FAIL();
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Unknown protocol: ftp");
  }
  try {
    http.Post("http://127.0.0.1:99999/x", "q", answer);
    FAIL();
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Invalid port: 99999");
  }
  std::uint16_t closed_port;
  {
    platform::Socket probe = platform::Socket::OpenTcp(platform::IpFamily::kV4);
    probe.Bind("127.0.0.1", 0);
    closed_port = probe.LocalPort();
  }
  try {
    http.Post("http://127.0.0.1:" + std::to_string(closed_port) + "/x", "q", answer);
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kSocket);
  }
}

TEST_F(HttpClientTest, ReportsWorkForUploadThenDownload) {
  std::string large(100 * 1024, 'u');
  TestUpstream upstream({{HttpAnswer(200, "OK", std::string(70000, 'd'))}});
  std::vector<std::string> events;
  http.OnWorkBegin = [&](TWorkMode mode, std::int64_t total) {
    events.push_back((mode == TWorkMode::wmWrite ? "begin write " : "begin read ") +
                     std::to_string(total));
  };
  http.OnWork = [&](TWorkMode mode, std::int64_t count) {
    events.push_back((mode == TWorkMode::wmWrite ? "write " : "read ") + std::to_string(count));
  };
  std::string answer;
  http.Post(upstream.Url("/"), large, answer);
  std::vector<std::string> expected = {"begin write 102400", "write 65536", "write 102400",
                                       "begin read 70000",   "read 65536",  "read 70000"};
  EXPECT_EQ(events, expected);
}

TEST_F(HttpClientTest, InterruptFromWorkEventFailsThePost) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "never")}});
  http.OnWorkBegin = [&](TWorkMode, std::int64_t) { http.Interrupt(); };
  std::string answer;
  auto error = PostTo(upstream, "/", "q", answer);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ErrorKind::kCancelled);
  EXPECT_STREQ(error->what(), "Transfer cancelled.");
  EXPECT_EQ(answer, "");
}

TEST(HttpRedirectResolve, ResolvesAgainstTheCurrentUrl) {
  UrlParts current = SplitUrl("https://host.hr:8449/a/b/page?old=1");
  struct Row {
    const char* location;
    const char* url;
  } rows[] = {
      {"http://other.hr/x", "http://other.hr/x"},
      {"//other.hr:81/y", "https://other.hr:81/y"},
      {"/root", "https://host.hr:8449/root"},
      {"sibling", "https://host.hr:8449/a/b/sibling"},
      {"../up", "https://host.hr:8449/a/b/../up"},
      {"?new=2", "https://host.hr:8449/a/b/page?new=2"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ResolveRedirect(row.location, current), row.url) << row.location;
  EXPECT_TRUE(IsFollowableRedirect(301, "/x"));
  EXPECT_FALSE(IsFollowableRedirect(304, "/x"));
  EXPECT_FALSE(IsFollowableRedirect(302, ""));
  EXPECT_FALSE(IsFollowableRedirect(200, "/x"));
}

}  // namespace
}  // namespace vp
