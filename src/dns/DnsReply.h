// Checking and reading a DNS reply (RFC 1035 section 4.1): a pure function over the bytes, so the
// resolver, its tests and the fuzzer share one parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dns/DnsRecords.h"

namespace vp {

inline constexpr const char* kMsgDnsPacketTooSmall = "DNS reply is too small";
inline constexpr const char* kMsgDnsInvalidIdentifier =
    "DNS reply does not carry the query's identifier";
inline constexpr const char* kMsgDnsFormatError = "DNS server reported a format error";
inline constexpr const char* kMsgDnsServerFailure = "DNS server reported a server failure";
inline constexpr const char* kMsgDnsNameError = "DNS server reported that the name does not exist";
inline constexpr const char* kMsgDnsNotImplemented =
    "DNS server reported that the query is not implemented";
inline constexpr const char* kMsgDnsRefused = "DNS server refused the query";
inline constexpr const char* kMsgDnsUnknownResponseCode =
    "DNS server answered with an unknown response code";
inline constexpr const char* kMsgDnsNoRecords = "DNS reply holds no records";
inline constexpr const char* kMsgDnsMalformedName = "DNS reply holds a malformed name";
inline constexpr const char* kMsgDnsMalformedRecord = "DNS reply holds a malformed record";

// RFC 1035 section 2.3.4: 63 bytes a label, 255 bytes a name in its wire form.
inline constexpr std::size_t kMaxDnsLabelLength = 63;
inline constexpr std::size_t kMaxDnsNameLength = 255;
// A name within kMaxDnsNameLength has at most 127 labels, and a sound reply never needs more
// pointers than labels; a longer chain is a loop.
inline constexpr int kMaxDnsNamePointers = 127;

// Checks and reads a reply to the query with identifier expected_id. Clears result once the
// header has passed its checks, then appends answer, authority and additional records in reply
// order. Every failure is an Error of kind kDns; a server's RCODE rides in code(). header and
// result keep what was read before a failure.
void ParseDnsReply(std::string_view reply, std::uint16_t expected_id, TDNSHeader& header,
                   TQueryResult& result);

// Reads the possibly compressed name at offset and moves offset past it: past the zero byte, or
// past the first pointer's two bytes. Throws kMsgDnsMalformedName.
std::string ReadDnsName(std::string_view reply, std::size_t& offset);

}  // namespace vp
