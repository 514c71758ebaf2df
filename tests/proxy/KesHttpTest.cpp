// The upstream forwarder: Host replacement, progress, cancellation and its TLS handler.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "proxy/KesHttp.h"
#include "support/TempDir.h"
#include "support/TestUpstream.h"
#include "tls/SslLibrary.h"

namespace vp {
namespace {

using test::ChunkedAnswer;
using test::HttpAnswer;
using test::TestUpstream;

constexpr const char* kNoTlsLibrary = "the TLS library files are not present on this machine";

class KesHttpTest : public testing::Test {
 protected:
  // Short for the silent upstreams, with room for a slow machine (or Wine) to answer in time.
  void SetUp() override { kes.Http->Timeouts.socket_ms = 1000; }

  std::optional<Error> PostTo(const std::string& url, const std::string& body,
                              std::string& answer) {
    try {
      kes.Post(url, body, answer);
      return std::nullopt;
    } catch (const Error& error) {
      return error;
    }
  }

  // The Host line the upstream saw in its first request.
  static std::string HostLineOf(const TestUpstream& upstream) {
    std::string request = upstream.Requests().at(0);
    std::size_t at = request.find("\r\nHost: ");
    return request.substr(at + 2, request.find("\r\n", at + 2) - at - 2);
  }

  TKesHttp kes;
};

TEST_F(KesHttpTest, CreateFollowsRedirectsAndAttachesTlsOnlyWithTheLibrary) {
  EXPECT_TRUE(kes.Http->HandleRedirects);
  EXPECT_EQ(kes.Http->RedirectMaximum, 15);
  EXPECT_TRUE(kes.HostHeader.empty());
  EXPECT_FALSE(kes.Status.Cancelled);
  if (!SslLibraryFilesPresent()) {
    EXPECT_EQ(kes.Http->IOHandler, nullptr);
    return;
  }
  ASSERT_NE(kes.Http->IOHandler, nullptr);
  const TIdSSLOptions& options = kes.Http->IOHandler->SSLOptions;
  EXPECT_EQ(options.Method(), TIdSSLVersion::sslvSSLv23);
  EXPECT_EQ(options.SSLVersions(),
            (TIdSSLVersions{TIdSSLVersion::sslvTLSv1, TIdSSLVersion::sslvTLSv1_1,
                            TIdSSLVersion::sslvTLSv1_2}));
  EXPECT_EQ(options.VerifyMode, TIdSSLVerifyModeSet{TIdSSLVerifyMode::sslvrfPeer});
  EXPECT_TRUE(kes.Http->IOHandler->OnVerifyPeer);
  // The client hands the URL's host to the handshake itself; no event needs to set it.
  EXPECT_FALSE(kes.Http->IOHandler->OnStatusInfoEx);
  kes.DisablePeerVerification();
  EXPECT_TRUE(options.VerifyMode.empty());
}

TEST_F(KesHttpTest, HostHeaderReplacesHostWithoutPort) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "ok")}});
  kes.HostHeader = "cistest.apis-it.hr";
  std::string answer;
  kes.Post(upstream.Url("/FiskalizacijaServiceTest"), "q", answer);
  EXPECT_EQ(HostLineOf(upstream), "Host: cistest.apis-it.hr");
  EXPECT_EQ(answer, "ok");
}

TEST_F(KesHttpTest, WithoutHostHeaderHostNamesThePort) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "ok")}});
  std::string answer;
  kes.Post(upstream.Url("/x"), "q", answer);
  EXPECT_EQ(HostLineOf(upstream), "Host: 127.0.0.1:" + std::to_string(upstream.port()));
}

TEST_F(KesHttpTest, DisablingVerificationLeavesHttpWorkingWithOrWithoutTlsHandler) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "plain")}});
  kes.DisablePeerVerification();
  std::string answer;
  kes.Post(upstream.Url("/"), "q", answer);
  EXPECT_EQ(answer, "plain");
}

TEST_F(KesHttpTest, HttpsWithoutTlsLibraryFails) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "x")}, {HttpAnswer(200, "OK", "x")}});
  SetSslLibraryNamesForTesting("vp-no-such-ssl-library", "vp-no-such-crypto-library");
  struct Restore {
    ~Restore() { SetSslLibraryNamesForTesting("", ""); }
  } restore;
  // Library files gone when the forwarder is made: it has no TLS handler at all.
  TKesHttp without_handler;
  std::string answer;
  try {
    without_handler.Post(upstream.Url("/", "https"), "q", answer);
    FAIL() << "https post without a TLS handler succeeded";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "IOHandler value is not valid");
  }
  // Library gone after the handler was made (the fixture's forwarder): the connect reports it.
  auto error = PostTo(upstream.Url("/", "https"), "q", answer);
  ASSERT_TRUE(error);
  EXPECT_STREQ(error->what(), "Could not load SSL library.");
  EXPECT_EQ(answer, "");
}

TEST(KesHttpProgress, RoundsToNearestWithHalvesToEven) {
  struct Row {
    const char* description;
    std::int64_t count;
    std::int32_t work_max;
    std::int32_t percentage;
  } rows[] = {
      {"start", 0, 8, 0},
      {"12.5 goes down to the even 12", 1, 8, 12},
      {"37.5 goes up to the even 38", 3, 8, 38},
      {"33.3 goes down", 1, 3, 33},
      {"66.7 goes up", 2, 3, 67},
      {"whole", 8, 8, 100},
      {"0.5 goes down to 0", 1, 200, 0},
      {"1.5 goes up to 2", 3, 200, 2},
      {"a negative total from the low 32 bits", -1, 1, -100},
      {"beyond the result's range", std::int64_t{1} << 40, 1, 2147483647},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ProgressPercentage(row.count, row.work_max), row.percentage) << row.description;
}

TEST_F(KesHttpTest, ReportsPercentagesForUploadAndAnnouncedDownload) {
  TestUpstream upstream(
      {{HttpAnswer(200, "OK", std::string(100000, 'a'))}, {ChunkedAnswer({"no total"})}});
  std::vector<int> seen;
  kes.OnProgress = [&](std::int32_t percentage, bool&) { seen.push_back(percentage); };
  std::string answer;
  kes.Post(upstream.Url("/"), std::string(80000, 'b'), answer);
  // Upload in pieces of 64 KiB, then the download of 100000 bytes the same way.
  EXPECT_EQ(seen, (std::vector<int>{0, 82, 100, 0, 66, 100}));
  EXPECT_EQ(kes.WorkMax, 100000);
  seen.clear();
  kes.Post(upstream.Url("/"), "tiny", answer);
  // A chunked answer announces no total, so only the upload reports.
  EXPECT_EQ(seen, (std::vector<int>{0, 100}));
}

TEST_F(KesHttpTest, CancelFromProgressFailsAtOnceAndMarksCancelled) {
  TestUpstream upstream({{HttpAnswer(200, "OK", "unwanted")}});
  kes.OnProgress = [](std::int32_t, bool& cancel) { cancel = true; };
  std::string answer;
  auto error = PostTo(upstream.Url("/"), std::string(200000, 'c'), answer);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ErrorKind::kCancelled);
  EXPECT_TRUE(kes.Status.Cancelled);
  EXPECT_EQ(answer, "");
  kes.Reset();
  EXPECT_FALSE(kes.Status.Cancelled);
}

TEST_F(KesHttpTest, CancelDuringDownloadFails) {
  TestUpstream upstream({{HttpAnswer(200, "OK", std::string(200000, 'd'))}});
  int calls = 0;
  // Upload reports 0 and 100; the download's first report cancels.
  kes.OnProgress = [&](std::int32_t, bool& cancel) { cancel = ++calls == 4; };
  std::string answer;
  auto error = PostTo(upstream.Url("/"), "q", answer);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ErrorKind::kCancelled);
  EXPECT_TRUE(kes.Status.Cancelled);
  EXPECT_EQ(answer, "");
}

TEST_F(KesHttpTest, VerifyPeerTrustsAcceptedCertificatesAndAsksTheStoreOtherwise) {
  EXPECT_TRUE(kes.VerifyPeer(nullptr, true, 0, 0));
  EXPECT_FALSE(kes.VerifyPeer(nullptr, false, 0, 10));

  TestUpstream upstream({{HttpAnswer(200, "OK", "")}});
  std::string answer;
  kes.Post(upstream.Url("/"), "q", answer);
  std::string asked_host = "none";
  TKesHttp::SetTrustCheck([&](SslCertificateHandle, const std::string& host) {
    asked_host = host;
    return true;
  });
  EXPECT_TRUE(kes.VerifyPeer(nullptr, false, 0, 10));
  EXPECT_EQ(asked_host, "127.0.0.1");
  TKesHttp::SetTrustCheck(nullptr);
}

TEST_F(KesHttpTest, HttpsPostReachesTlsUpstreamWithHostHeader) {
  if (!SslLibraryFilesPresent()) GTEST_SKIP() << kNoTlsLibrary;
  test::TlsUpstreamTransport tls;
  TestUpstream upstream({{HttpAnswer(200, "OK", "over tls \xC4\x8D")}}, tls.Factory());
  kes.HostHeader = "upstream.test";
  kes.DisablePeerVerification();
  std::string answer;
  kes.Post(upstream.Url("/FiskalizacijaServiceTest", "https"), "<soap/>", answer);
  EXPECT_EQ(answer, "over tls \xC4\x8D");
  std::string request = upstream.Requests().at(0);
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /FiskalizacijaServiceTest HTTP/1.0");
  // No "Connection: keep-alive" over TLS.
  EXPECT_EQ(request.find("Connection:"), std::string::npos);
  EXPECT_EQ(HostLineOf(upstream), "Host: upstream.test");
  EXPECT_EQ(request.substr(request.size() - 7), "<soap/>");
}

TEST_F(KesHttpTest, SilentHttpsUpstreamFailsAfterTheBound) {
  if (!SslLibraryFilesPresent()) GTEST_SKIP() << kNoTlsLibrary;
  test::TlsUpstreamTransport tls;
  TestUpstream upstream({{"", true}}, tls.Factory());
  kes.DisablePeerVerification();
  std::string answer;
  auto start = std::chrono::steady_clock::now();
  auto error = PostTo(upstream.Url("/", "https"), "q", answer);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_TRUE(error);
  EXPECT_STREQ(error->what(), "Read timed out.");
}

TEST_F(KesHttpTest, HttpsToPlainUpstreamFailsTheHandshake) {
  if (!SslLibraryFilesPresent()) GTEST_SKIP() << kNoTlsLibrary;
  // Plain bytes at once, where the client waits for the server's handshake.
  TestUpstream upstream({{HttpAnswer(200, "OK", "plain"), false, true}});
  kes.DisablePeerVerification();
  std::string answer;
  auto error = PostTo(upstream.Url("/", "https"), "q", answer);
  ASSERT_TRUE(error);
  EXPECT_EQ(std::string(error->what()).rfind("Error connecting with SSL.", 0), 0u);
  EXPECT_EQ(answer, "");
}

}  // namespace
}  // namespace vp
