// The UDP exchange of the DNS client; building and reading the datagrams live in DnsQuery and
// DnsReply.
#include "dns/DnsResolver.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "base/Error.h"
#include "dns/DnsQuery.h"
#include "dns/DnsReply.h"

namespace vp {
namespace {

// One engine per thread: clients on different threads share no state.
std::mt19937& IdEngine() {
  thread_local std::mt19937 engine = [] {
    std::random_device device;
    // Mixed with the clock and the thread, in case the device is a fixed sequence.
    std::seed_seq seed{
        device(), device(),
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
        static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    return std::mt19937(seed);
  }();
  return engine;
}

}  // namespace

std::uint16_t NewDnsQueryId() {
  std::uniform_int_distribution<int> distribution(0, 65534);
  return static_cast<std::uint16_t>(distribution(IdEngine()));
}

void TIdDNSResolver::ResolveName(const std::string& name, std::uint16_t query_class) {
  if (IPVersion != platform::IpFamily::kV4) throw Error(ErrorKind::kDns, kMsgDnsIPv6NotSupported);
  std::uint16_t id = NewDnsQueryId();
  std::string query = BuildDnsQuery(id, AllowRecursiveQueries, QueryType, name, query_class);
  reply_ = Exchange(query);
  if (reply_.size() <= kDnsIgnoredReplySize) return;
  ParseDnsReply(reply_, id, header_, result_);
}

std::string TIdDNSResolver::Exchange(const std::string& query) const {
  platform::Socket socket = platform::Socket::OpenUdp(IPVersion);
  socket.SendTo(Host, Port, query);
  if (!socket.WaitReadable(std::max(WaitingTime, 0))) return {};
  // Any sender's datagram is taken; the identifier check is what ties it to the query.
  std::string reply(kDnsReplyBufferSize, '\0');
  reply.resize(socket.ReceiveFrom(reply.data(), reply.size()));
  return reply;
}

}  // namespace vp
