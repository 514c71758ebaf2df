// The reply parser on hand-made replies: section order, compression, response codes and every
// way a reply can be cut short or loop.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "base/Error.h"
#include "dns/DnsReply.h"

namespace vp {
namespace {

constexpr std::uint16_t kId = 0x1234;

std::string Wire(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

// ID 0x1234, QR RD RA, RCODE rcode; QDCOUNT, ANCOUNT, NSCOUNT, ARCOUNT as given.
std::string Header(int rcode, int qd, int an, int ns = 0, int ar = 0) {
  return Wire({0x12, 0x34,            // ID
               0x81, 0x80 | rcode,    // QR 1, RD 1, RA 1, RCODE
               0x00, qd, 0x00, an,    // QDCOUNT, ANCOUNT
               0x00, ns, 0x00, ar});  // NSCOUNT, ARCOUNT
}

// At offset 12: QNAME www.example (13 bytes, "example" at offset 16), QTYPE A, QCLASS IN.
std::string Question() {
  return Wire({3}) + "www" + Wire({7}) + "example" + Wire({0}) +  // QNAME
         Wire({0x00, 0x01, 0x00, 0x01});                          // QTYPE A, QCLASS IN
}

// TYPE, CLASS IN, TTL 300, RDLENGTH: the ten bytes after a record's owner name.
std::string Fixed(int type, int rdlength) {
  return Wire({0x00, type, 0x00, 0x01,            // TYPE, CLASS IN
               0x00, 0x00, 0x01, 0x2C,            // TTL 300
               rdlength >> 8, rdlength & 0xFF});  // RDLENGTH
}

struct Parsed {
  TDNSHeader header;
  TQueryResult result;
};

Parsed Parse(const std::string& reply) {
  Parsed p;
  ParseDnsReply(reply, kId, p.header, p.result);
  return p;
}

Error ParseError(const std::string& reply, Parsed& p) {
  try {
    ParseDnsReply(reply, kId, p.header, p.result);
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "the reply was accepted";
  return Error(ErrorKind::kGeneric, "");
}

Error ParseError(const std::string& reply) {
  Parsed p;
  return ParseError(reply, p);
}

const TARecord& AsA(const TResultRecord& record) {
  const auto* a = dynamic_cast<const TARecord*>(&record);
  EXPECT_NE(a, nullptr);
  static const TARecord kNone;
  return a ? *a : kNone;
}

TEST(DnsReplyParse, KeepsCnameBeforeTheARecordOfTheCanonicalName) {
  std::string reply = Header(0, 1, 2) + Question() +
                      // offset 29, answer 1: owner -> www.example, CNAME, RDATA cdn.example
                      Wire({0xC0, 0x0C}) + Fixed(5, 6) + Wire({3}) + "cdn" +
                      Wire({0xC0, 0x10}) +  // at 41: "cdn", -> "example"
                      // answer 2: owner -> cdn.example at 41, A 192.168.1.2
                      Wire({0xC0, 0x29}) + Fixed(1, 4) + Wire({192, 168, 1, 2});
  Parsed p = Parse(reply);
  ASSERT_EQ(p.result.Count(), 2u);
  EXPECT_EQ(p.result[0].RecType, TQueryRecordType::qtName);
  EXPECT_EQ(p.result[0].Name, "www.example");
  EXPECT_EQ(p.result[0].TTL, 300u);
  EXPECT_EQ(p.result[0].RDataLength, 6);
  EXPECT_EQ(p.result[1].RecType, TQueryRecordType::qtA);
  EXPECT_EQ(p.result[1].Name, "cdn.example");
  EXPECT_EQ(AsA(p.result[1]).IPAddress, "192.168.1.2");
  ASSERT_TRUE(p.result.Question.has_value());
  EXPECT_EQ(p.result.Question->Name, "www.example");
  EXPECT_EQ(p.result.Question->Type, 1);
  EXPECT_EQ(p.header.ANCount, 2);
}

TEST(DnsReplyParse, OwnerPointerToQuestionNameIsFollowedByItsFields) {
  std::string reply = Header(0, 1, 2) + Question() + Wire({0xC0, 0x0C}) + Fixed(1, 4) +
                      Wire({10, 0, 0, 1}) +                                    // A 10.0.0.1
                      Wire({0xC0, 0x0C}) + Fixed(1, 4) + Wire({10, 0, 0, 2});  // A 10.0.0.2
  Parsed p = Parse(reply);
  ASSERT_EQ(p.result.Count(), 2u);
  EXPECT_EQ(p.result[0].Name, "www.example");
  EXPECT_EQ(AsA(p.result[0]).IPAddress, "10.0.0.1");
  EXPECT_EQ(p.result[1].Name, "www.example");
  EXPECT_EQ(AsA(p.result[1]).IPAddress, "10.0.0.2");
}

TEST(DnsReplyParse, ReadsAnswerAuthorityAndAdditionalInOneList) {
  std::string reply = Header(0, 1, 1, 1, 1) + Question() + Wire({0xC0, 0x0C}) + Fixed(1, 4) +
                      Wire({1, 2, 3, 4}) +                                     // answer A
                      Wire({0xC0, 0x10}) + Fixed(2, 2) + Wire({0xC0, 0x0C}) +  // authority NS
                      Wire({0}) + Fixed(99, 1) + Wire({7});  // additional: root, type 99
  Parsed p = Parse(reply);
  ASSERT_EQ(p.result.Count(), 3u);
  EXPECT_EQ(p.result[0].RecType, TQueryRecordType::qtA);
  EXPECT_EQ(p.result[1].RecType, TQueryRecordType::qtNS);
  EXPECT_EQ(p.result[1].Name, "example");
  EXPECT_FALSE(p.result[2].RecType.has_value());
  EXPECT_EQ(p.result[2].TypeCode, 99);
  EXPECT_EQ(p.result[2].Name, "");
}

TEST(DnsReplyParse, SkipsEveryEchoedQuestionButKeepsOnlyALoneOne) {
  std::string reply = Header(0, 2, 1) + Question() + Question() + Wire({0xC0, 0x0C}) + Fixed(1, 4) +
                      Wire({1, 2, 3, 4});
  Parsed p = Parse(reply);
  ASSERT_EQ(p.result.Count(), 1u);
  EXPECT_EQ(AsA(p.result[0]).IPAddress, "1.2.3.4");
  EXPECT_FALSE(p.result.Question.has_value());
}

TEST(DnsReplyParse, ARecordShorterThanFourBytesHasNoAddress) {
  Parsed p = Parse(Header(0, 1, 1) + Question() + Wire({0xC0, 0x0C}) + Fixed(1, 0));
  ASSERT_EQ(p.result.Count(), 1u);
  EXPECT_EQ(AsA(p.result[0]).IPAddress, "");
}

TEST(DnsReplyParse, FollowsALongButFiniteChainOfPointers) {
  // Record 1 (root owner, type 99) carries twenty names in its RDATA, from offset 23: each one
  // label "x" and a pointer to the one before, the first "x" alone. Record 2's owner points at
  // the last of them.
  std::string chain;
  std::size_t previous = 23;
  chain += Wire({1}) + "x" + Wire({0});
  for (int i = 1; i < 20; ++i) {
    std::size_t here = 23 + chain.size();
    chain += Wire({1}) + "x" + Wire({0xC0, static_cast<int>(previous)});
    previous = here;
  }
  std::string reply = Header(0, 0, 2) + Wire({0}) + Fixed(99, static_cast<int>(chain.size())) +
                      chain + Wire({0xC0, static_cast<int>(previous)}) + Fixed(1, 4) +
                      Wire({1, 1, 1, 1});
  Parsed p = Parse(reply);
  ASSERT_EQ(p.result.Count(), 2u);
  std::string expected = "x";
  for (int i = 1; i < 20; ++i) expected += ".x";
  EXPECT_EQ(p.result[1].Name, expected);
}

struct ResponseCodeCase {
  const char* description;
  int rcode;
  const char* message;
};

TEST(DnsReplyParse, ReportsTheServersResponseCode) {
  const ResponseCodeCase cases[] = {
      {"format error", 1, kMsgDnsFormatError},
      {"server failure", 2, kMsgDnsServerFailure},
      {"name error", 3, kMsgDnsNameError},
      {"not implemented", 4, kMsgDnsNotImplemented},
      {"refused", 5, kMsgDnsRefused},
      {"first unlisted code", 6, kMsgDnsUnknownResponseCode},
      {"highest code", 15, kMsgDnsUnknownResponseCode},
  };
  for (const ResponseCodeCase& c : cases) {
    SCOPED_TRACE(c.description);
    Parsed p;
    Error error = ParseError(Header(c.rcode, 1, 0) + Question(), p);
    EXPECT_EQ(error.kind(), ErrorKind::kDns);
    EXPECT_STREQ(error.what(), c.message);
    EXPECT_EQ(error.code(), c.rcode);
    EXPECT_EQ(p.result.Count(), 0u);
  }
}

TEST(DnsReplyParse, ReplyWithoutRecordsIsAnError) {
  EXPECT_STREQ(ParseError(Header(0, 1, 0) + Question()).what(), kMsgDnsNoRecords);
  // Counts that promise records, but nothing after the header.
  EXPECT_STREQ(ParseError(Header(0, 1, 1)).what(), kMsgDnsNoRecords);
}

TEST(DnsReplyParse, RejectsAnotherIdentifierWithoutReadingFurther) {
  std::string reply =
      Header(0, 1, 1) + Question() + Wire({0xC0, 0x0C}) + Fixed(1, 4) + Wire({1, 2, 3, 4});
  reply[1] = 0x35;  // ID 0x1235
  Parsed p;
  Error error = ParseError(reply, p);
  EXPECT_EQ(error.kind(), ErrorKind::kDns);
  EXPECT_STREQ(error.what(), kMsgDnsInvalidIdentifier);
  EXPECT_EQ(p.header.ANCount, 0);
  EXPECT_EQ(p.result.Count(), 0u);
}

TEST(DnsReplyParse, RejectsAReplyShorterThanTheHeader) {
  Error error = ParseError(Header(0, 0, 0).substr(0, 11));
  EXPECT_EQ(error.kind(), ErrorKind::kDns);
  EXPECT_STREQ(error.what(), kMsgDnsPacketTooSmall);
}

struct MalformedCase {
  const char* description;
  std::string reply;
  const char* message;
};

TEST(DnsReplyParse, RejectsMalformedNamesAndRecords) {
  const std::string start = Header(0, 1, 1) + Question();  // the answer starts at offset 29
  const std::string long_label = Wire({63}) + std::string(63, 'a');
  const MalformedCase cases[] = {
      {"pointer to itself", start + Wire({0xC0, 29}), kMsgDnsMalformedName},
      {"two pointers pointing at each other", start + Wire({0xC0, 31, 0xC0, 29}),
       kMsgDnsMalformedName},
      {"pointer past the end", start + Wire({0xC0, 0xFF}) + Fixed(1, 0), kMsgDnsMalformedName},
      {"pointer cut off after its first byte", start + Wire({0xC0}), kMsgDnsMalformedName},
      {"label runs past the end", start + Wire({10}) + "abc", kMsgDnsMalformedName},
      {"name without its closing zero byte", start + Wire({3}) + "abc", kMsgDnsMalformedName},
      {"label loop growing past 255 bytes", start + long_label + Wire({0xC0, 29}),
       kMsgDnsMalformedName},
      {"four 63-byte labels, 257 bytes in wire form",
       start + long_label + long_label + long_label + long_label + Wire({0}) + Fixed(1, 0),
       kMsgDnsMalformedName},
      {"reserved label type 0x40", start + Wire({0x40, 0}) + Fixed(1, 0), kMsgDnsMalformedName},
      {"RDATA runs past the end", start + Wire({0xC0, 0x0C}) + Fixed(1, 4) + Wire({1, 2, 3}),
       kMsgDnsMalformedRecord},
      {"record fields cut off", start + Wire({0xC0, 0x0C, 0x00, 0x01, 0x00}),
       kMsgDnsMalformedRecord},
      {"question type cut off", Header(0, 1, 1) + Wire({0, 0x00}), kMsgDnsMalformedRecord},
      {"fewer records than counted",
       Header(0, 1, 2) + Question() + Wire({0xC0, 0x0C}) + Fixed(1, 4) + Wire({1, 2, 3, 4}),
       kMsgDnsMalformedName},
  };
  for (const MalformedCase& c : cases) {
    SCOPED_TRACE(c.description);
    Error error = ParseError(c.reply);
    EXPECT_EQ(error.kind(), ErrorKind::kDns);
    EXPECT_STREQ(error.what(), c.message);
  }
}

TEST(DnsReadName, DecodesUpToTheLongestLegalName) {
  // Four labels of 63, 63, 63 and 61 bytes: 255 bytes in wire form, the most RFC 1035 allows.
  std::string name = Wire({63}) + std::string(63, 'a') + Wire({63}) + std::string(63, 'b') +
                     Wire({63}) + std::string(63, 'c') + Wire({61}) + std::string(61, 'd') +
                     Wire({0});
  ASSERT_EQ(name.size(), 255u);
  std::size_t offset = 0;
  EXPECT_EQ(ReadDnsName(name, offset).size(), 253u);
  EXPECT_EQ(offset, 255u);
}

}  // namespace
}  // namespace vp
