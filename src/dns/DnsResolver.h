// A small DNS client: one standard query over UDP to a given resolver, one datagram each way, and
// the records of the reply. Discovery uses it to learn the authority's addresses past the hosts
// file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dns/DnsRecords.h"
#include "platform/Socket.h"

namespace vp {

inline constexpr std::uint16_t kDnsPort = 53;
inline constexpr int kDefaultDnsWaitingTimeMs = 5000;
// Larger than any UDP reply a resolver sends without EDNS (512 bytes), with room for those that
// send more.
inline constexpr std::size_t kDnsReplyBufferSize = 8192;
// A reply this short cannot even hold an identifier and flags; it is kept but not read.
inline constexpr std::size_t kDnsIgnoredReplySize = 4;

inline constexpr const char* kMsgDnsIPv6NotSupported = "DNS queries over IPv6 are not supported";

class TIdDNSResolver {
 public:
  std::string Host;  // the resolver's numeric IPv4 address
  std::uint16_t Port = kDnsPort;
  platform::IpFamily IPVersion = platform::IpFamily::kV4;
  TQueryType QueryType{TQueryRecordType::qtA};
  int WaitingTime = kDefaultDnsWaitingTimeMs;
  bool AllowRecursiveQueries = true;

  // Sends one query for name with a fresh identifier and reads the reply into QueryResult. No
  // reply within WaitingTime, or one of kDnsIgnoredReplySize bytes or fewer, returns normally
  // with the records untouched. The host name is checked before anything is sent. Reply faults
  // throw kDns (see DnsReply.h); a failed send throws the socket's error.
  void ResolveName(const std::string& name, std::uint16_t query_class = kDnsClassIN);

  const TQueryResult& QueryResult() const { return result_; }
  const TDNSHeader& DNSHeader() const { return header_; }
  // The raw bytes of the last reply; empty when none came.
  const std::string& PlainTextResult() const { return reply_; }

 private:
  std::string Exchange(const std::string& query) const;

  TDNSHeader header_;
  TQueryResult result_;
  std::string reply_;
};

// A fresh query identifier, 0 to 65534.
std::uint16_t NewDnsQueryId();

}  // namespace vp
