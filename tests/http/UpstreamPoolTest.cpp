// Upstream connections kept between posts, and TLS sessions resumed, against a scripted upstream
// on loopback.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/Error.h"
#include "http/HttpClient.h"
#include "http/UpstreamPool.h"
#include "support/TestUpstream.h"

namespace vp {
namespace {

using test::HttpAnswer;
using test::TestUpstream;
using test::UpstreamReply;

const std::string kKept = HttpAnswer(200, "OK", "kept");

class UpstreamPoolTest : public testing::Test {
 protected:
  void SetUp() override {
    http.Timeouts.socket_ms = 1000;
    http.Pool = pool;
  }

  // The answer, or the error's text.
  std::string Post(const std::string& url) {
    std::string answer;
    try {
      http.Post(url, "q", answer);
    } catch (const Error& error) {
      return error.what();
    }
    return answer;
  }

  std::shared_ptr<UpstreamPool> pool = std::make_shared<UpstreamPool>();
  TIdHTTP http;
};

TEST_F(UpstreamPoolTest, KeptConnectionServesTheNextPost) {
  TestUpstream upstream({{kKept, false, false, 0, false, false, {HttpAnswer(200, "OK", "again")}}});

  EXPECT_EQ(Post(upstream.Url("/")), "kept");
  EXPECT_EQ(Post(upstream.Url("/")), "again");

  EXPECT_EQ(upstream.Connections(), 1u);
  EXPECT_NE(upstream.Requests().at(1).find("\r\nConnection: keep-alive\r\n"), std::string::npos);
}

TEST_F(UpstreamPoolTest, AnswerThatClosesOrEndsWithTheConnectionIsNotKept) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "a", "Connection: close\r\n")},
                         {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nb"},
                         {"HTTP/1.1 200 OK\r\n\r\nc"}});

  EXPECT_EQ(Post(upstream.Url("/")), "a");
  EXPECT_EQ(Post(upstream.Url("/")), "b");
  EXPECT_EQ(Post(upstream.Url("/")), "c");
  EXPECT_EQ(pool->IdleCount(), 0u);
}

TEST_F(UpstreamPoolTest, IdleConnectionIsDropped) {
  pool->SetIdleLimitForTesting(0);
  TestUpstream upstream({{kKept, false, false, 0, false, false, {kKept}}});

  EXPECT_EQ(Post(upstream.Url("/")), "kept");
  EXPECT_EQ(Post(upstream.Url("/")), "kept");

  EXPECT_EQ(upstream.Connections(), 2u);
  EXPECT_EQ(upstream.Requests().size(), 2u);
}

TEST_F(UpstreamPoolTest, ConnectionTheUpstreamClosedIsNeverUsed) {
  TestUpstream upstream({{kKept}});
  EXPECT_EQ(Post(upstream.Url("/")), "kept");
  ASSERT_EQ(pool->IdleCount(), 1u);

  upstream.Stop();  // closes its side of every connection

  EXPECT_EQ(pool->Take("http://127.0.0.1:" + std::to_string(upstream.port())), nullptr);
  EXPECT_EQ(pool->IdleCount(), 0u);
}

TEST_F(UpstreamPoolTest, KeptConnectionLostBeforeTheAnswerIsRetriedOnceAndANewOneNever) {
  UpstreamReply kept_then_reset{kKept, false, false, 0, false, true, {""}};
  UpstreamReply reset_unanswered{"", false, false, 0, false, true};
  TestUpstream upstream({kept_then_reset, reset_unanswered});
  EXPECT_EQ(Post(upstream.Url("/")), "kept");

  // The kept connection fails, and so does the one the request is sent once more on.
  EXPECT_NE(Post(upstream.Url("/")), "kept");
  EXPECT_EQ(upstream.Connections(), 2u);
  EXPECT_EQ(upstream.Requests().size(), 3u);

  // A new connection that fails is not tried again.
  EXPECT_NE(Post(upstream.Url("/")), "kept");
  EXPECT_EQ(upstream.Connections(), 3u);
}

TEST_F(UpstreamPoolTest, KeptConnectionThatNeverAnswersFailsAtTheBoundWithoutRetry) {
  http.Timeouts.post_ms = 300;
  TestUpstream upstream({{kKept, true, false, 0, false, false, {""}}});
  EXPECT_EQ(Post(upstream.Url("/")), "kept");

  EXPECT_EQ(Post(upstream.Url("/")), "Read timed out.");
  EXPECT_EQ(upstream.Connections(), 1u);
}

TEST_F(UpstreamPoolTest, TlsSessionIsResumedUntilThePoolIsCleared) {
  test::TlsUpstreamTransport tls;
  http.IOHandler = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
  const std::string closing = HttpAnswer(200, "OK", "s", "Connection: close\r\n");
  TestUpstream upstream({{closing}}, tls.Factory());

  for (int i = 0; i < 3; ++i) EXPECT_EQ(Post(upstream.Url("/", "https")), "s");
  EXPECT_EQ(tls.ResumedHandshakes(), 2);

  pool->Clear();
  EXPECT_EQ(Post(upstream.Url("/", "https")), "s");
  EXPECT_EQ(tls.ResumedHandshakes(), 2);
  EXPECT_EQ(upstream.Connections(), 4u);
}

}  // namespace
}  // namespace vp
