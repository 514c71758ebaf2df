// The query side of the DNS client.
#include "dns/DnsQuery.h"

#include "base/Error.h"
#include "dns/DnsReply.h"

namespace vp {
namespace {

[[noreturn]] void InvalidHost(const std::string& host, const std::string& why) {
  throw Error(ErrorKind::kDns, kMsgDnsInvalidHostName, why + ": \"" + host + "\"");
}

void AppendU16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value & 0xFF);
}

bool IsQuestionType(TQueryRecordType type) {
  return type != TQueryRecordType::qtIXFR && type != TQueryRecordType::qtAXFR;
}

}  // namespace

std::string EncodeDnsName(const std::string& host) {
  std::string name = host;
  if (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty()) InvalidHost(host, "empty name");
  std::string wire;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = name.find('.', start);
    std::size_t end = dot == std::string::npos ? name.size() : dot;
    std::size_t length = end - start;
    if (length == 0) InvalidHost(host, "empty label");
    if (length > kMaxDnsLabelLength) InvalidHost(host, "label longer than 63 bytes");
    wire += static_cast<char>(length);
    wire.append(name, start, length);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  wire += '\0';
  if (wire.size() > kMaxDnsNameLength) InvalidHost(host, "name longer than 255 bytes");
  return wire;
}

std::string BuildDnsQuery(std::uint16_t id, bool recursion_desired, TQueryType types,
                          const std::string& host, std::uint16_t query_class) {
  std::uint16_t questions = 0;
  for (int i = 0; i < kQueryRecordTypeCount; ++i) {
    auto type = static_cast<TQueryRecordType>(i);
    if (types.Contains(type) && IsQuestionType(type)) ++questions;
  }
  if (questions == 0) throw Error(ErrorKind::kDns, kMsgDnsInvalidQueryCount);
  std::string name = EncodeDnsName(host);

  std::string query;
  AppendU16(query, id);
  AppendU16(query, recursion_desired ? kDnsFlagRD : 0);  // QR 0, OPCODE 0: a standard query
  AppendU16(query, questions);
  AppendU16(query, 0);  // ANCOUNT
  AppendU16(query, 0);  // NSCOUNT
  AppendU16(query, 0);  // ARCOUNT
  for (int i = 0; i < kQueryRecordTypeCount; ++i) {
    auto type = static_cast<TQueryRecordType>(i);
    if (!types.Contains(type) || !IsQuestionType(type)) continue;
    query += name;
    AppendU16(query, WireTypeOf(type));
    AppendU16(query, query_class);
  }
  return query;
}

}  // namespace vp
