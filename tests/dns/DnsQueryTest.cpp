// The query bytes and the host-name checks made before anything is sent.
#include <gtest/gtest.h>

#include <string>

#include "base/Error.h"
#include "dns/DnsQuery.h"

namespace vp {
namespace {

std::string Wire(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

TEST(DnsQueryBuild, WritesOneAQuestionWithRecursionDesired) {
  std::string expected = Wire({0xAB, 0xCD,     // ID
                               0x01, 0x00,     // QR 0, OPCODE 0, RD 1
                               0x00, 0x01,     // QDCOUNT 1
                               0x00, 0x00,     // ANCOUNT
                               0x00, 0x00,     // NSCOUNT
                               0x00, 0x00}) +  // ARCOUNT
                         Wire({3}) +
                         "cis" + Wire({7}) + "example" + Wire({2}) + "hr" +
                         Wire({0}) +                      // QNAME cis.example.hr
                         Wire({0x00, 0x01, 0x00, 0x01});  // QTYPE A, QCLASS IN
  EXPECT_EQ(BuildDnsQuery(0xABCD, true, {TQueryRecordType::qtA}, "cis.example.hr", kDnsClassIN),
            expected);
}

TEST(DnsQueryBuild, TrailingDotAsksTheSameQuestion) {
  TQueryType a{TQueryRecordType::qtA};
  EXPECT_EQ(BuildDnsQuery(7, true, a, "cis.example.hr.", 1),
            BuildDnsQuery(7, true, a, "cis.example.hr", 1));
}

TEST(DnsQueryBuild, ClearsRecursionDesiredOnRequest) {
  std::string query = BuildDnsQuery(7, false, {TQueryRecordType::qtA}, "a.example", 1);
  EXPECT_EQ(query[2], 0);
  EXPECT_EQ(query[3], 0);
}

TEST(DnsQueryBuild, WithoutAQuestionTypeTheQueryCountIsInvalid) {
  for (TQueryType types :
       {TQueryType{}, TQueryType{TQueryRecordType::qtAXFR, TQueryRecordType::qtIXFR}}) {
    try {
      BuildDnsQuery(7, true, types, "a.example", 1);
      ADD_FAILURE() << "a query without questions was built";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kDns);
      EXPECT_STREQ(error.what(), kMsgDnsInvalidQueryCount);
    }
  }
}

TEST(DnsQueryBuild, RejectsHostNamesThatHaveNoWireForm) {
  const std::string label63(63, 'a');
  const struct {
    const char* description;
    std::string host;
  } cases[] = {
      {"empty", ""},
      {"a lone dot", "."},
      {"empty label in the middle", "a..example"},
      {"leading dot", ".example"},
      {"two trailing dots", "example.."},
      {"label of 64 bytes", std::string(64, 'a') + ".example"},
      {"longer than 255 bytes", label63 + "." + label63 + "." + label63 + "." + label63},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    try {
      BuildDnsQuery(7, true, {TQueryRecordType::qtA}, c.host, 1);
      ADD_FAILURE() << "accepted";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kDns);
      EXPECT_STREQ(error.what(), kMsgDnsInvalidHostName);
    }
  }
}

TEST(DnsQueryBuild, AcceptsLabelsOf63Bytes) {
  std::string host = std::string(63, 'a') + ".example";
  EXPECT_EQ(EncodeDnsName(host),
            Wire({63}) + std::string(63, 'a') + Wire({7}) + "example" + Wire({0}));
}

}  // namespace
}  // namespace vp
