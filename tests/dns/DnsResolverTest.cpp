// The resolver against a fake DNS server on 127.0.0.1: one datagram each way, and what the
// replies that are not parsed (none, too short) leave behind.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "base/Error.h"
#include "dns/DnsQuery.h"
#include "dns/DnsReply.h"
#include "dns/DnsResolver.h"
#include "support/FakeDnsServer.h"

namespace vp {
namespace {

namespace dns = test::dns;

constexpr int kShortWaitMs = 100;
// Replies and queries on loopback take microseconds; this only bounds a failing test.
constexpr int kReplyWaitMs = 3000;

TIdDNSResolver ResolverFor(const test::FakeDnsServer& server, int wait_ms = kReplyWaitMs) {
  TIdDNSResolver resolver;
  resolver.Host = "127.0.0.1";
  resolver.Port = server.port();
  resolver.WaitingTime = wait_ms;
  return resolver;
}

Error ResolveError(TIdDNSResolver& resolver, const std::string& name) {
  try {
    resolver.ResolveName(name);
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error";
  return Error(ErrorKind::kGeneric, "");
}

TEST(DnsResolver, ReadsTheARecordOfAReplyToItsQuery) {
  test::FakeDnsServer server({dns::AnswerA("10.1.2.3")});
  TIdDNSResolver resolver = ResolverFor(server);
  resolver.ResolveName("cis.example.hr");
  ASSERT_EQ(resolver.QueryResult().Count(), 1u);
  const auto& a = dynamic_cast<const TARecord&>(resolver.QueryResult()[0]);
  EXPECT_EQ(a.IPAddress, "10.1.2.3");
  EXPECT_EQ(a.Name, "cis.example.hr");

  ASSERT_EQ(server.QueryCount(), 1u);
  std::string query = server.Queries()[0];
  EXPECT_EQ(
      query.substr(2),
      BuildDnsQuery(0, true, {TQueryRecordType::qtA}, "cis.example.hr", kDnsClassIN).substr(2));
  EXPECT_EQ(query.substr(0, 2), resolver.PlainTextResult().substr(0, 2));
}

TEST(DnsResolver, UsesAFreshIdentifierForEveryQuery) {
  test::FakeDnsServer server({dns::AnswerA("10.1.2.3")});
  for (int i = 0; i < 8; ++i) {
    TIdDNSResolver resolver = ResolverFor(server);
    resolver.ResolveName("a.example");
  }
  std::set<std::string> ids;
  for (const std::string& query : server.Queries()) ids.insert(query.substr(0, 2));
  EXPECT_GT(ids.size(), 1u);
}

TEST(DnsResolver, ReportsTheNameErrorWithItsCode) {
  test::FakeDnsServer server({dns::AnswerRcode(3)});
  TIdDNSResolver resolver = ResolverFor(server);
  Error error = ResolveError(resolver, "missing.example");
  EXPECT_EQ(error.kind(), ErrorKind::kDns);
  EXPECT_STREQ(error.what(), kMsgDnsNameError);
  EXPECT_EQ(error.code(), 3);
  EXPECT_EQ(resolver.QueryResult().Count(), 0u);
}

TEST(DnsResolver, RejectsAReplyWithAnotherIdentifier) {
  test::FakeDnsServer server({dns::AnswerWrongId()});
  TIdDNSResolver resolver = ResolverFor(server);
  EXPECT_STREQ(ResolveError(resolver, "a.example").what(), kMsgDnsInvalidIdentifier);
  EXPECT_EQ(resolver.QueryResult().Count(), 0u);
}

TEST(DnsResolver, ElevenByteReplyIsTooSmall) {
  test::FakeDnsServer server({dns::AnswerBytes(std::string(11, '\0'))});
  TIdDNSResolver resolver = ResolverFor(server);
  EXPECT_STREQ(ResolveError(resolver, "a.example").what(), kMsgDnsPacketTooSmall);
}

TEST(DnsResolver, FourByteReplyIsKeptButNotRead) {
  test::FakeDnsServer server({dns::AnswerBytes("\x12\x34\x81\x83")});
  TIdDNSResolver resolver = ResolverFor(server);
  resolver.ResolveName("a.example");
  EXPECT_EQ(resolver.PlainTextResult(), "\x12\x34\x81\x83");
  EXPECT_EQ(resolver.QueryResult().Count(), 0u);
}

TEST(DnsResolver, NoReplyWithinTheWaitIsNoError) {
  test::FakeDnsServer server({dns::Silence()});
  TIdDNSResolver resolver = ResolverFor(server, kShortWaitMs);
  resolver.ResolveName("a.example");
  EXPECT_EQ(resolver.PlainTextResult(), "");
  EXPECT_EQ(resolver.QueryResult().Count(), 0u);
  // The query left before the wait began; the server thread may note it a little later.
  EXPECT_TRUE(server.WaitForQueries(1, kReplyWaitMs));
  EXPECT_EQ(server.QueryCount(), 1u);
}

TEST(DnsResolver, SendsNothingForAnInvalidHostName) {
  test::FakeDnsServer server({dns::AnswerA("10.1.2.3")});
  TIdDNSResolver resolver = ResolverFor(server);
  EXPECT_STREQ(ResolveError(resolver, "a..example").what(), kMsgDnsInvalidHostName);
  // A datagram on loopback arrives at once; a valid query after it must be the first one seen.
  resolver.ResolveName("a.example");
  ASSERT_EQ(server.QueryCount(), 1u);
  EXPECT_EQ(dns::QuestionName(server.Queries()[0]), "a.example");
}

}  // namespace
}  // namespace vp
