// Building a standard DNS query (RFC 1035 section 4.1): header and one question per record type.
#pragma once

#include <cstdint>
#include <string>

#include "dns/DnsRecords.h"

namespace vp {

inline constexpr const char* kMsgDnsInvalidQueryCount = "DNS query count is invalid";
inline constexpr const char* kMsgDnsInvalidHostName = "Host name is not valid for a DNS query";

// The query bytes: header with identifier id (RD set when recursion_desired), then one question
// for host per member of types in enumeration order. The zone-transfer members travel over TCP
// and add no question. Throws kDns with kMsgDnsInvalidQueryCount when no question is left, and
// with kMsgDnsInvalidHostName for an empty host, an empty label (one trailing dot aside), a
// label over 63 bytes or a name over 255 bytes in its wire form.
std::string BuildDnsQuery(std::uint16_t id, bool recursion_desired, TQueryType types,
                          const std::string& host, std::uint16_t query_class);

// The host as length-prefixed labels closed by a zero byte. Same host checks as BuildDnsQuery.
std::string EncodeDnsName(const std::string& host);

}  // namespace vp
